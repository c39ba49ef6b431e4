// Text-file output with the exact bytes IM.txt needs.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/os.h"

namespace FIO {

using File = int32_t;

// IOresult codes.
constexpr int32_t allRight = 0;
constexpr int32_t fileNotFound = 2;
constexpr int32_t tooManyOpen = 4;
constexpr int32_t otherProblem = -1;

// ShareMode values.
constexpr int32_t ShareCompat = 3;  // other processes may read and write a created file

// The settings table. Nothing in the program changes it; these are its start values.
struct Settings {
  bool IOcheck = true;    // a failed operation raises a failure instead of returning quietly
  bool ChopOff = false;   // a number wider than its field is written whole
  char PrefixChar = ' ';  // fill before a right-aligned number
  char SuffixChar = ' ';  // fill after a left-aligned number
  int32_t ShareMode = ShareCompat;
};
const Settings& settings();

// Module start, with the file-channel layer: registers the write-out of open buffers and opens
// the standard channels. Runs once; later calls do nothing.
void Start();

// Creates name, or empties it. On failure raises (number = IOresult code,
// "FIO.Create: cannot open file " + name) and does not return.
File Create(std::string_view name);
// Hands fd, a file the caller has already opened for writing under name, to the next
// Create(name): that Create writes through fd instead of opening the name a second time, and
// Close closes it. For callers that make the file themselves (exclusively, say) and pass it to
// a writer that creates its file by name. EndHandOver ends the offer: true when Create took fd,
// false when it did not (fd is the caller's again). Main thread only.
void HandOver(std::string_view name, rts::os::Fd fd);
bool EndHandOver();

// Append the text of s / v in decimal in a field of |w| (right-aligned for w > 0, left-aligned
// for w < 0, never cut) / CR LF. Disk files collect into a 256-byte buffer. A write the system
// refuses raises failure 4 "IOException.hardDeviceError XXXXXXXXH" (a full disk: 00000070H),
// possibly at a later call than the one whose bytes were lost.
void WrStr(File f, std::string_view s);
void WrInt(File f, int32_t v, int32_t w);
void WrLn(File f);
// Writes out the buffer and closes f; f is invalid afterwards, even when the write-out raises.
void Close(File f);
// Code of the last file operation: allRight, fileNotFound, tooManyOpen or otherProblem.
int32_t IOresult();

}  // namespace FIO
