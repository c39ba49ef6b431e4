// Text-file output with the exact bytes IM.txt needs.
#pragma once

#include <cstdint>
#include <string_view>

namespace FIO {

using File = int32_t;

// IOresult codes.
constexpr int32_t allRight = 0;
constexpr int32_t fileNotFound = 2;
constexpr int32_t tooManyOpen = 4;
constexpr int32_t otherProblem = -1;

// Module start, with the file-channel layer: registers the write-out of open buffers and opens
// the standard channels. Runs once; later calls do nothing.
void Start();

// Creates name, or empties it. On failure raises (number = IOresult code,
// "FIO.Create: cannot open file " + name) and does not return.
File Create(std::string_view name);
void WrStr(File f, std::string_view s);
void WrInt(File f, int32_t v, int32_t w);
void WrLn(File f);
void Close(File f);
int32_t IOresult();

}  // namespace FIO
