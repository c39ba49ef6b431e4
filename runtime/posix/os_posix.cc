// POSIX implementation of the runtime's operating-system seam.
#include <cxxabi.h>
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "runtime/os.h"
#include "runtime/posix/break_wait.h"

namespace rts::os {
namespace {

volatile sig_atomic_t break_recorded = 0;

void OnBreak(int) { break_recorded = 1; }

sigset_t BreakSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

Fd CreateForWrite(const std::string& name, CreateError* err) {
  *err = CreateError::kNone;
  struct stat st;
  // Root ignores permission bits, so a read-only file would be truncated; refuse it ourselves.
  if (stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    *err = CreateError::kOther;
    return kNoFd;
  }
  Fd fd;
  do {
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) return fd;
  switch (errno) {
    case ENOENT:
    case ENOTDIR:
      *err = CreateError::kPathNotFound;
      break;
    case EMFILE:
    case ENFILE:
      *err = CreateError::kTooManyOpen;
      break;
    default:
      *err = CreateError::kOther;
  }
  return kNoFd;
}

uint32_t WriteAll(Fd fd, const char* data, size_t n) {
  while (n > 0) {
    ssize_t k = write(fd, data, n);
    if (k < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOSPC) return kErrorDiskFull;
      return static_cast<uint32_t>(errno);
    }
    data += k;
    n -= static_cast<size_t>(k);
  }
  return 0;
}

WaitOutcome WaitReadableOrBreak(int fd, int timeout_ms) {
  // Block the break while checking the flag, and let ppoll unblock it only for the wait: a break
  // between the check and the wait would otherwise leave us asleep until input arrives.
  sigset_t block = BreakSet();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &block, &old);
  WaitOutcome outcome = WaitOutcome::kBreak;
  if (!break_recorded) {
    struct timespec limit = {timeout_ms / 1000, long(timeout_ms % 1000) * 1000000L};
    struct pollfd p = {fd, POLLIN, 0};
    const int r = ppoll(&p, 1, timeout_ms < 0 ? nullptr : &limit, &old);
    if (r > 0) {
      outcome = (p.revents & POLLNVAL) ? WaitOutcome::kError : WaitOutcome::kReady;
    } else if (r == 0) {
      outcome = WaitOutcome::kTimeout;
    } else if (errno == EINTR) {
      outcome = break_recorded ? WaitOutcome::kBreak : WaitOutcome::kInterrupted;
    } else {
      outcome = WaitOutcome::kError;
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return outcome;
}

ReadStatus ReadOnce(Fd fd, char* buf, size_t cap, size_t* got) {
  *got = 0;
  for (;;) {
    switch (WaitReadableOrBreak(fd, -1)) {
      case WaitOutcome::kReady:
        break;
      case WaitOutcome::kBreak:
      case WaitOutcome::kInterrupted:
        return ReadStatus::kInterrupted;
      case WaitOutcome::kTimeout:
      case WaitOutcome::kError:
        return ReadStatus::kEnd;
    }
    const ssize_t k = read(fd, buf, cap);
    if (k > 0) {
      *got = static_cast<size_t>(k);
      return ReadStatus::kData;
    }
    if (k < 0 && errno == EINTR) return ReadStatus::kInterrupted;
    if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    return ReadStatus::kEnd;  // end of input, or a descriptor that cannot be read
  }
}

void Close(Fd fd) { close(fd); }

bool IsRegularFile(Fd fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

std::string ProgramPath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path);
  if (n <= 0) return std::string();
  return std::string(path, static_cast<size_t>(n));
}

void InstallBreakHandler() {
  struct sigaction sa = {};
  sa.sa_handler = OnBreak;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked console read must come back with EINTR
  sigaction(SIGINT, &sa, nullptr);
}

bool BreakRecorded() { return break_recorded != 0; }

void ClearBreak() { break_recorded = 0; }

void RunWithBreakBlocked(const std::function<void()>& fn) {
  sigset_t block = BreakSet();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &block, &old);
  try {
    fn();
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    throw;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

std::vector<std::string> CallHistory(size_t skip, size_t max, bool* truncated) {
  skip += 1;  // this function
  const size_t capacity = skip + max + 1;
  std::vector<void*> frames(capacity);
  int n = backtrace(frames.data(), static_cast<int>(capacity));
  size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  *truncated = count > skip + max;
  std::vector<std::string> out;
  const std::string program = ProgramPath();
  for (size_t k = skip; k < count && out.size() < max; ++k) {
    // A return address points behind the call; step back into the call instruction.
    const char* addr = static_cast<const char*>(frames[k]) - 1;
    Dl_info info = {};
    std::string module = program;
    std::string function;
    uintptr_t offset = reinterpret_cast<uintptr_t>(addr);
    if (dladdr(addr, &info) != 0) {
      if (info.dli_fbase != nullptr) offset -= reinterpret_cast<uintptr_t>(info.dli_fbase);
      if (info.dli_fname != nullptr && info.dli_fname[0] != '\0') module = info.dli_fname;
      if (info.dli_sname != nullptr) {
        int status = 0;
        char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
        function = status == 0 && demangled != nullptr ? demangled : info.dli_sname;
        std::free(demangled);
      }
    }
    char hex[32];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(offset));
    // Offset inside the module (addr2line -e <module> resolves it), the module, and the
    // function when the module exports its name.
    std::string entry = std::string(hex) + "  " + module;
    if (!function.empty()) entry += "  " + function;
    out.push_back(entry);
  }
  return out;
}

}  // namespace rts::os
