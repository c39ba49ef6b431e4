// Win32 implementation of the runtime's operating-system seam.
#include <cxxabi.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "runtime/os.h"
#include "runtime/win32/break_wait.h"

namespace rts::os {
namespace {

// Descriptors are small numbers, as on the other platforms: 0 to 2 name the standard handles,
// the rest index this table. Main thread only, like the callers.
constexpr int kMaxHandles = 256;
std::array<HANDLE, kMaxHandles> handles = [] {
  std::array<HANDLE, kMaxHandles> a;
  a.fill(INVALID_HANDLE_VALUE);
  return a;
}();

HANDLE HandleOf(Fd fd) {
  switch (fd) {
    case kStdIn:
      return GetStdHandle(STD_INPUT_HANDLE);
    case kStdOut:
      return GetStdHandle(STD_OUTPUT_HANDLE);
    case kStdErr:
      return GetStdHandle(STD_ERROR_HANDLE);
    default:
      return fd > kStdErr && fd < kMaxHandles ? handles[size_t(fd)] : INVALID_HANDLE_VALUE;
  }
}

std::atomic<bool> break_recorded{false};
// Set by the control handler, so that a wait for input ends at once.
HANDLE break_event = nullptr;

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;  // the system's default
  break_recorded.store(true);
  if (break_event != nullptr) SetEvent(break_event);
  return TRUE;
}

// How often a pipe is looked at while nothing is in it: a break is seen within this.
constexpr DWORD kPipePollMs = 5;
// A console read that comes back empty may be Ctrl+C, whose handler runs a little later on a
// thread of its own; wait this long for it before calling it the end of input.
constexpr DWORD kBreakGraceMs = 200;

bool WaitForBreak(DWORD ms) {
  if (break_recorded.load()) return true;
  if (break_event != nullptr) WaitForSingleObject(break_event, ms);
  return break_recorded.load();
}

// One blocking read. Ctrl+C ends a console read with nothing read, and its handler may run a
// little later: grace_ms is how long to wait for it before calling it the end of input.
ReadStatus ReadBlocking(HANDLE h, char* buf, size_t cap, size_t* got, DWORD grace_ms) {
  DWORD n = 0;
  if (ReadFile(h, buf, DWORD(cap), &n, nullptr) && n > 0) {
    *got = n;
    return ReadStatus::kData;
  }
  return WaitForBreak(grace_ms) ? ReadStatus::kInterrupted : ReadStatus::kEnd;
}

// Reads of a pipe that cannot be looked into go through a thread of their own, so that the
// main thread waits where a break ends the wait. A read a break left unfinished is taken up
// by the next call: no bytes are lost.
struct PipeReader {
  HANDLE thread = nullptr;
  HANDLE request = nullptr;  // auto-reset: one read
  HANDLE done = nullptr;     // manual-reset: the read has finished
  HANDLE from = nullptr;
  std::array<char, 4096> buf{};
  DWORD got = 0;
  bool ok = false;
  bool pending = false;  // main thread's: a read was asked for and its result not yet taken
  std::string left;      // bytes of a finished read beyond what the caller could take
};
PipeReader reader;

DWORD WINAPI ReaderMain(void*) {
  for (;;) {
    WaitForSingleObject(reader.request, INFINITE);
    DWORD n = 0;
    reader.ok =
        ReadFile(reader.from, reader.buf.data(), DWORD(reader.buf.size()), &n, nullptr) && n > 0;
    reader.got = n;
    SetEvent(reader.done);
  }
}

ReadStatus ReadThroughThread(HANDLE h, char* buf, size_t cap, size_t* got) {
  if (reader.left.empty()) {
    if (reader.thread == nullptr) {
      reader.request = CreateEventA(nullptr, FALSE, FALSE, nullptr);
      reader.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
      if (reader.request != nullptr && reader.done != nullptr) {
        reader.thread = CreateThread(nullptr, 0, &ReaderMain, nullptr, 0, nullptr);
      }
      if (reader.thread == nullptr) return ReadBlocking(h, buf, cap, got, 0);
    }
    if (!reader.pending) {
      reader.from = h;
      ResetEvent(reader.done);
      reader.pending = true;
      SetEvent(reader.request);
    }
    // Short slices: some systems deliver the break only to a thread that comes back now and
    // then.
    while (WaitForSingleObject(reader.done, kPipePollMs * 4) != WAIT_OBJECT_0) {
      if (break_recorded.load()) return ReadStatus::kInterrupted;
    }
    reader.pending = false;
    if (!reader.ok) return ReadStatus::kEnd;
    reader.left.assign(reader.buf.data(), reader.got);
  }
  const size_t n = std::min(cap, reader.left.size());
  reader.left.copy(buf, n);
  reader.left.erase(0, n);
  *got = n;
  return ReadStatus::kData;
}

ReadStatus ReadPipe(HANDLE h, char* buf, size_t cap, size_t* got) {
  // An anonymous pipe cannot be waited on: look at it until bytes arrive, the writer goes, or
  // a break comes.
  for (;;) {
    if (break_recorded.load()) return ReadStatus::kInterrupted;
    DWORD avail = 0;
    if (!PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) return ReadStatus::kEnd;
      return ReadThroughThread(h, buf, cap, got);  // one that cannot be looked into
    }
    if (avail > 0) break;
    if (WaitForBreak(kPipePollMs)) return ReadStatus::kInterrupted;
  }
  return ReadBlocking(h, buf, cap, got, 0);
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH + 1];
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

// The exported name nearest below addr in module, which exports every function of the
// program (the link exports them for this). Empty when none is found.
std::string ExportedName(HMODULE module, uintptr_t addr) {
  const auto base = reinterpret_cast<const uint8_t*>(module);
  const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return std::string();
  const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0 || dir.Size == 0) return std::string();
  const auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  const auto functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
  const uintptr_t rva = addr - reinterpret_cast<uintptr_t>(base);
  DWORD best = 0;
  const char* best_name = nullptr;
  for (DWORD k = 0; k < exports->NumberOfNames; ++k) {
    const DWORD f = functions[ordinals[k]];
    if (f <= rva && f >= best) {
      best = f;
      best_name = reinterpret_cast<const char*>(base + names[k]);
    }
  }
  if (best_name == nullptr) return std::string();
  int status = 0;
  char* demangled = abi::__cxa_demangle(best_name, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : best_name;
  std::free(demangled);
  return name;
}

FileProblem Problem(DWORD e) {
  FileProblem p;
  switch (e) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
      p.kind = FileProblem::Kind::kMissing;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      p.kind = FileProblem::Kind::kDenied;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      p.kind = FileProblem::Kind::kExists;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      p.kind = FileProblem::Kind::kFull;
      break;
    case ERROR_INVALID_HANDLE:
      p.kind = FileProblem::Kind::kNotOpen;
      break;
    default:
      p.kind = FileProblem::Kind::kOther;
  }
  p.text = ErrorText(e);
  return p;
}

// A descriptor for h, or kNoFd (h closed) when the table is full.
Fd Store(HANDLE h) {
  for (int k = kStdErr + 1; k < kMaxHandles; ++k) {
    if (handles[size_t(k)] == INVALID_HANDLE_VALUE) {
      handles[size_t(k)] = h;
      return k;
    }
  }
  CloseHandle(h);
  return kNoFd;
}

Fd Open(const std::string& name, DWORD access, DWORD disposition, FileProblem* problem) {
  HANDLE h =
      CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *problem = Problem(GetLastError());
    return kNoFd;
  }
  const Fd fd = Store(h);
  if (fd == kNoFd) *problem = Problem(ERROR_TOO_MANY_OPEN_FILES);
  return fd;
}

// Why no file can be made beside name: its directory is missing or is no directory. Whether
// it may be written is told by the system when the file is made.
FileProblem DirectoryProblem(const std::string& name) {
  const size_t slash = name.find_last_of("\\/");
  if (slash == std::string::npos) return FileProblem{};
  const std::string directory = slash == 0 ? name.substr(0, 1) : name.substr(0, slash);
  const DWORD attrs = GetFileAttributesA(directory.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileProblem{};
  }
  return Problem(attrs == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_PATH_NOT_FOUND);
}

// The file to remove when a console break ends the program; empty for none. Written by the
// main thread, read by the control handler's thread.
std::mutex remove_lock;
std::string remove_on_break;

BOOL WINAPI RemoveAndEnd(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  std::lock_guard<std::mutex> hold(remove_lock);
  // Opened with FILE_SHARE_DELETE: gone once the ending program's handles close.
  if (!remove_on_break.empty()) DeleteFileA(remove_on_break.c_str());
  return FALSE;  // on to the system's handler, which ends the program
}

}  // namespace

std::string ErrorText(uint32_t code) {
  if (code == kErrorDiskFull) code = ERROR_DISK_FULL;
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string words = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                            words.back() == '.')) {
    words.pop_back();
  }
  if (words.empty()) {
    char number[32];
    std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
    words = number;
  }
  return words;
}

bool ResolveOutput(const std::string& name, OutputTarget* target, FileProblem* problem) {
  *target = OutputTarget{};
  target->name = name;
  const DWORD attrs = GetFileAttributesA(name.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    target->kind = OutputTarget::Kind::kDirectory;
    return true;
  }
  // Opened for nothing but a look: what it is, and where a link leads.
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) {
      *problem = Problem(e);
      return false;
    }
    target->kind = OutputTarget::Kind::kMissing;
    target->directory = DirectoryProblem(name);
    return true;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    target->kind = OutputTarget::Kind::kDevice;
  } else {
    target->kind = OutputTarget::Kind::kFile;
    target->read_only = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) != 0;
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A link: the file it names is replaced, the link stays.
      char path[MAX_PATH + 8];
      const DWORD n = GetFinalPathNameByHandleA(h, path, sizeof path, FILE_NAME_NORMALIZED);
      if (n > 0 && n < sizeof path) target->name.assign(path, n);
    }
  }
  CloseHandle(h);
  return true;
}

Fd CreateNew(const std::string& name, const std::string&, FileProblem* problem) {
  return Open(name, GENERIC_WRITE, CREATE_NEW, problem);
}

Fd OpenDevice(const std::string& name, FileProblem* problem) {
  return Open(name, GENERIC_WRITE, OPEN_EXISTING, problem);
}

Fd DuplicateDescriptor(int, FileProblem* problem) {
  *problem = Problem(ERROR_INVALID_HANDLE);  // no name leads to a descriptor here
  return kNoFd;
}

Fd OpenForRead(const std::string& name, FileProblem* problem) {
  const DWORD attrs = GetFileAttributesA(name.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    problem->kind = FileProblem::Kind::kIsDirectory;
    problem->text = "is a directory";
    return kNoFd;
  }
  return Open(name, GENERIC_READ, OPEN_EXISTING, problem);
}

int64_t ReadSome(Fd fd, char* buf, size_t cap, FileProblem* problem) {
  DWORD n = 0;
  const DWORD chunk = cap > 0x10000000 ? 0x10000000 : DWORD(cap);
  if (ReadFile(HandleOf(fd), buf, chunk, &n, nullptr)) return n;
  const DWORD e = GetLastError();
  if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;
  *problem = Problem(e);
  return -1;
}

int64_t RegularFileSize(Fd fd) {
  HANDLE h = HandleOf(fd);
  LARGE_INTEGER size;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) return -1;
  return size.QuadPart;
}

bool Rename(const std::string& from, const std::string& to, FileProblem* problem) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *problem = Problem(GetLastError());
  return false;
}

void Remove(const std::string& name) { DeleteFileA(name.c_str()); }

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION info[2];
  const std::string* names[2] = {&a, &b};
  for (int k = 0; k < 2; ++k) {
    HANDLE h =
        CreateFileA(names[k]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info[k]);
    CloseHandle(h);
    if (!ok) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

void RemoveOnBreak(const std::string& name) {
  static bool installed = false;
  {
    std::lock_guard<std::mutex> hold(remove_lock);
    // A program with its own break handler goes on after a break: nothing to remove then.
    remove_on_break = break_event == nullptr ? name : std::string();
  }
  if (!installed && !name.empty() && break_event == nullptr) {
    installed = SetConsoleCtrlHandler(RemoveAndEnd, TRUE) != 0;
  }
}

Fd CreateForWrite(const std::string& name, CreateError* err) {
  *err = CreateError::kNone;
  // Some systems (Wine run by root among them) let CREATE_ALWAYS empty a read-only file;
  // refuse it ourselves.
  const DWORD attrs = GetFileAttributesA(name.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY) != 0 &&
      (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    *err = CreateError::kOther;
    return kNoFd;
  }
  Fd fd = kNoFd;
  for (int k = kStdErr + 1; k < kMaxHandles; ++k) {
    if (handles[size_t(k)] == INVALID_HANDLE_VALUE) {
      fd = k;
      break;
    }
  }
  if (fd == kNoFd) {
    *err = CreateError::kTooManyOpen;
    return kNoFd;
  }
  HANDLE h =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    handles[size_t(fd)] = h;
    return fd;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      *err = CreateError::kPathNotFound;
      break;
    case ERROR_TOO_MANY_OPEN_FILES:
      *err = CreateError::kTooManyOpen;
      break;
    default:
      *err = CreateError::kOther;
  }
  return kNoFd;
}

uint32_t WriteAll(Fd fd, const char* data, size_t n) {
  HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return ERROR_INVALID_HANDLE;
  while (n > 0) {
    DWORD done = 0;
    const DWORD chunk = n > 0x10000000 ? 0x10000000 : DWORD(n);
    if (!WriteFile(h, data, chunk, &done, nullptr)) {
      const DWORD e = GetLastError();
      return e == ERROR_HANDLE_DISK_FULL ? kErrorDiskFull : uint32_t(e);
    }
    if (done == 0) return kErrorDiskFull;  // a device that takes nothing more is full
    data += done;
    n -= done;
  }
  return 0;
}

ReadStatus ReadOnce(Fd fd, char* buf, size_t cap, size_t* got) {
  *got = 0;
  if (break_recorded.load()) return ReadStatus::kInterrupted;
  HANDLE h = HandleOf(fd);
  if (h == INVALID_HANDLE_VALUE || h == nullptr || cap == 0) return ReadStatus::kEnd;
  if (GetFileType(h) == FILE_TYPE_PIPE) return ReadPipe(h, buf, cap, got);
  DWORD mode = 0;
  const bool console = GetConsoleMode(h, &mode) != 0;
  return ReadBlocking(h, buf, cap, got, console ? kBreakGraceMs : 0);
}

void Close(Fd fd) {
  HANDLE h = HandleOf(fd);
  if (h != INVALID_HANDLE_VALUE && h != nullptr) CloseHandle(h);
  if (fd > kStdErr && fd < kMaxHandles) handles[size_t(fd)] = INVALID_HANDLE_VALUE;
}

bool IsRegularFile(Fd fd) {
  HANDLE h = HandleOf(fd);
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetFileType(h) == FILE_TYPE_DISK;
}

std::string ProgramPath() { return ModulePath(nullptr); }

void InstallBreakHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    break_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // Critical-error dialogs would stop an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS);
  });
  SetConsoleCtrlHandler(OnControl, TRUE);
}

bool BreakRecorded() { return break_recorded.load(); }

void* BreakEvent() { return break_event; }

void ClearBreak() {
  break_recorded.store(false);
  if (break_event != nullptr) ResetEvent(break_event);
}

// The control handler runs on a thread of its own and only records the break, so our threads
// never see it: nothing to block.
void RunWithBreakBlocked(const std::function<void()>& fn) { fn(); }

// A write to a closed pipe is an error on Windows already.
void SurviveBrokenPipes() {}

std::vector<std::string> CallHistory(size_t skip, size_t max, bool* truncated) {
  skip += 1;  // this function
  // Walk the stack with the unwind tables every x64 image carries.
  std::vector<uintptr_t> frames;
  const size_t wanted = skip + max + 1;
  CONTEXT context{};
  RtlCaptureContext(&context);
  while (frames.size() < wanted && context.Rip != 0) {
    frames.push_back(uintptr_t(context.Rip));
    DWORD64 image_base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context.Rip, &image_base, nullptr);
    if (entry == nullptr) {
      // A leaf function: the return address is on top of the stack.
      context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
      context.Rsp += 8;
    } else {
      void* handler_data = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, image_base, context.Rip, entry, &context, &handler_data,
                       &establisher, nullptr);
    }
  }
  // The first frame is this function's own position, not a return address.
  if (!frames.empty()) frames.front() += 1;
  *truncated = frames.size() > skip + max;
  std::vector<std::string> out;
  for (size_t k = skip; k < frames.size() && out.size() < max; ++k) {
    // A return address points behind the call; step back into the call instruction.
    const uintptr_t addr = frames[k] - 1;
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(addr), &module);
    uintptr_t offset = addr;
    std::string path = ProgramPath();
    std::string function;
    if (module != nullptr) {
      offset -= reinterpret_cast<uintptr_t>(module);
      const std::string m = ModulePath(module);
      if (!m.empty()) path = m;
      function = ExportedName(module, addr);
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(offset));
    // Offset from the module's load address (add the image base for addr2line), the module,
    // and the function when the module exports its name.
    std::string entry = std::string(hex) + "  " + path;
    if (!function.empty()) entry += "  " + function;
    out.push_back(entry);
  }
  return out;
}

}  // namespace rts::os
