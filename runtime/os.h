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

// Files for the command line: outputs replaced through a new file beside them, inputs read with
// their causes of failure. Main thread only, unless said otherwise.

// What went wrong with a file, in kinds a caller acts on; text is the system's own words.
struct FileProblem {
  enum class Kind { kNone, kMissing, kDenied, kIsDirectory, kExists, kFull, kNotOpen, kOther };
  Kind kind = Kind::kNone;
  std::string text;
};

// The longest name a directory entry may have, in bytes.
constexpr size_t kMaxNameBytes = 255;

// What an output name leads to once its symbolic links are followed.
struct OutputTarget {
  enum class Kind {
    kMissing,     // nothing: a new file is made at name (a dangling link's target)
    kFile,        // a regular file at name, replaced
    kDirectory,   // not an output
    kDevice,      // a device or pipe, opened at name and written in place
    kDescriptor,  // one of the program's own descriptors (/dev/stdout), written in place
  };
  Kind kind = Kind::kMissing;
  std::string name;        // kMissing, kFile: the final name; kDevice: the name given
  int descriptor = -1;     // kDescriptor
  bool read_only = false;  // kFile: no write permission bit, or the read-only attribute
  // kMissing, kFile: why no new file can be made in its directory (kNone when one can).
  FileProblem directory;
};
// Follows name's symbolic links by their text, so that a dangling link leads to the file it
// names. False with *problem for a name that cannot be followed (a loop, a directory that may
// not be entered).
bool ResolveOutput(const std::string& name, OutputTarget* target, FileProblem* problem);

// Makes name, a new file, for writing: fails with kExists when anything has that name, a link
// included, which is never followed. With like not empty, the file gets like's permissions and
// owner where the system allows (on Windows nothing is copied). The descriptor is never one of
// the standard ones, even when those are closed.
Fd CreateNew(const std::string& name, const std::string& like, FileProblem* problem);
// Opens an existing device or pipe at name for writing, neither creating nor emptying it.
Fd OpenDevice(const std::string& name, FileProblem* problem);
// A new descriptor for the program's own descriptor d; kNotOpen when d is closed.
Fd DuplicateDescriptor(int d, FileProblem* problem);

// Opens name for reading (a pipe without a writer waits for one, as any reader does).
Fd OpenForRead(const std::string& name, FileProblem* problem);
// One read of at most cap bytes, going on after interruptions: the count, 0 at the end, -1 with
// *problem on an error. Any thread, one at a time for a descriptor.
int64_t ReadSome(Fd fd, char* buf, size_t cap, FileProblem* problem);
// The size of a regular file; -1 for anything else (a pipe, a device).
int64_t RegularFileSize(Fd fd);

// Renames from to to, replacing to when it exists.
bool Rename(const std::string& from, const std::string& to, FileProblem* problem);
void Remove(const std::string& name);
// True when both names lead to the same existing regular file.
bool SameFile(const std::string& a, const std::string& b);
// The system's words for an error code as WriteAll returns it.
std::string ErrorText(uint32_t code);

// While name is set, a break (Ctrl+C) or a request to terminate that ends the program removes
// that file on the way out; an empty name stops it. A break the program handles itself
// (InstallBreakHandler) or ignores does not end it, and removes nothing.
void RemoveOnBreak(const std::string& name);

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

// From now on the calling thread's writes to a pipe or socket whose reader has gone (an X server
// that went away) fail with an error instead of ending the program.
void SurviveBrokenPipes();

// Describes the active calls, innermost first, leaving out the innermost `skip` frames of the
// caller and this function itself. At most max entries; *truncated says more were active.
std::vector<std::string> CallHistory(size_t skip, size_t max, bool* truncated);

}  // namespace rts::os
