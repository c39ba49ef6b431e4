// The narrow operating-system seam of the runtime: descriptors, the break signal, the program
// path and the call history. runtime/posix/ and runtime/win32/ implement it, one of them per
// build; nothing here names an OS type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace rts::os {

using Fd = int;
constexpr Fd kNoFd = -1;
constexpr Fd kStdIn = 0;
constexpr Fd kStdOut = 1;
constexpr Fd kStdErr = 2;

// Error code reported for a device that is full, whatever the platform calls it.
constexpr uint32_t kErrorDiskFull = 112;

enum class CreateError { kNone, kPathNotFound, kTooManyOpen, kOther };

// Creates name for writing (on POSIX mode 0666 less the umask; on Windows sharing reading and
// writing), or empties it when it exists. Returns kNoFd and sets *err on failure. An existing
// read-only regular file (no write permission bit; the read-only attribute) is refused with
// kOther and left untouched, also when the system would let us write it (root, Wine as root).
Fd CreateForWrite(const std::string& name, CreateError* err);

// Writes all n bytes, going on after interruptions and short writes. Returns 0, or the error
// code to report: kErrorDiskFull for a full device, else the system's own error number.
uint32_t WriteAll(Fd fd, const char* data, size_t n);

enum class ReadStatus { kData, kEnd, kInterrupted };
// One read of at most cap bytes into buf; *got is the count for kData (never 0). kEnd when the
// input is exhausted or cannot be read at all. kInterrupted when a signal arrived while waiting;
// a break recorded before the call also gives kInterrupted, so a break is never slept through.
ReadStatus ReadOnce(Fd fd, char* buf, size_t cap, size_t* got);

void Close(Fd fd);

// True for a regular disk file (only those are buffered by the channels).
bool IsRegularFile(Fd fd);

// Full path of the running program file; empty when the system cannot say.
std::string ProgramPath();

// Installs the console break handler (Ctrl+C and Ctrl+Break; interrupts blocking reads, never
// restarts them). The handler only records the break.
void InstallBreakHandler();
bool BreakRecorded();
void ClearBreak();

// Runs fn with the break signal blocked on the calling thread, then restores the mask. Threads
// created inside fn inherit the blocked mask.
void RunWithBreakBlocked(const std::function<void()>& fn);

// Describes the active calls, innermost first, leaving out the innermost `skip` frames of the
// caller and this function itself. At most max entries; *truncated says more were active.
std::vector<std::string> CallHistory(size_t skip, size_t max, bool* truncated);

}  // namespace rts::os
