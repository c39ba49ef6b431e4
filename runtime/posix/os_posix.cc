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
#include <cstring>

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

FileProblem Problem(int e) {
  FileProblem p;
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      p.kind = FileProblem::Kind::kMissing;
      break;
    case EACCES:
    case EPERM:
      p.kind = FileProblem::Kind::kDenied;
      break;
    case EISDIR:
      p.kind = FileProblem::Kind::kIsDirectory;
      break;
    case EEXIST:
      p.kind = FileProblem::Kind::kExists;
      break;
    case ENOSPC:
    case EDQUOT:
      p.kind = FileProblem::Kind::kFull;
      break;
    case EBADF:
      p.kind = FileProblem::Kind::kNotOpen;
      break;
    default:
      p.kind = FileProblem::Kind::kOther;
  }
  p.text = std::strerror(e);
  return p;
}

// fd moved above the standard descriptors: with standard output closed, a file opened now would
// otherwise become the program's standard output.
Fd AboveStandard(Fd fd) {
  if (fd < 0 || fd > kStdErr) return fd;
  const Fd moved = fcntl(fd, F_DUPFD_CLOEXEC, kStdErr + 1);
  const int e = errno;
  close(fd);
  errno = e;
  return moved;
}

// The descriptor a name of the program's own descriptors stands for (/dev/fd/N,
// /proc/self/fd/N, /proc/PID/fd/N), or -1.
int DescriptorNamed(const std::string& name) {
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), own}) {
    if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    return std::atoi(digits.c_str());
  }
  return -1;
}

std::string DirectoryOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : name.substr(0, slash);
}

// Why no new file can be made beside name; kNone when one can.
FileProblem DirectoryProblem(const std::string& name) {
  if (access(DirectoryOf(name).c_str(), W_OK | X_OK) == 0) return FileProblem{};
  return Problem(errno);
}

// The file to remove when a break or a termination signal ends the program; empty for none.
char remove_on_break[PATH_MAX + 1] = {};
volatile sig_atomic_t remove_armed = 0;

void RemoveAndEnd(int sig) {
  if (remove_armed) unlink(remove_on_break);
  signal(sig, SIG_DFL);
  raise(sig);  // the end the signal would have given, exit status included
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

bool ResolveOutput(const std::string& name, OutputTarget* target, FileProblem* problem) {
  *target = OutputTarget{};
  std::string at = name;
  // As many links as the system follows itself.
  for (int hop = 0; hop <= 40; ++hop) {
    if (const int d = DescriptorNamed(at); d >= 0) {
      target->kind = OutputTarget::Kind::kDescriptor;
      target->descriptor = d;
      return true;
    }
    struct stat st;
    if (lstat(at.c_str(), &st) != 0) {
      if (errno != ENOENT) {
        *problem = Problem(errno);
        return false;
      }
      target->kind = OutputTarget::Kind::kMissing;
      target->name = at;
      target->directory = DirectoryProblem(at);
      return true;
    }
    if (S_ISLNK(st.st_mode)) {
      std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
      const ssize_t n = readlink(at.c_str(), link.data(), link.size());
      if (n < 0 || static_cast<size_t>(n) >= link.size()) {
        *problem = Problem(n < 0 ? errno : ENAMETOOLONG);
        return false;
      }
      link.resize(static_cast<size_t>(n));
      at = link.starts_with('/') ? link : DirectoryOf(at) + "/" + link;
      continue;
    }
    target->name = at;
    if (S_ISDIR(st.st_mode)) {
      target->kind = OutputTarget::Kind::kDirectory;
    } else if (S_ISREG(st.st_mode)) {
      target->kind = OutputTarget::Kind::kFile;
      target->read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
      target->directory = DirectoryProblem(at);
    } else {
      target->kind = OutputTarget::Kind::kDevice;
      target->name = name;
    }
    return true;
  }
  *problem = Problem(ELOOP);
  return false;
}

Fd CreateNew(const std::string& name, const std::string& like, FileProblem* problem) {
  Fd fd;
  do {
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  fd = AboveStandard(fd);
  if (fd < 0) {
    *problem = Problem(errno);
    return kNoFd;
  }
  struct stat st;
  if (!like.empty() && stat(like.c_str(), &st) == 0) {
    // The owner first: a change of owner clears the set-id bits that the mode then sets again.
    // Only root may give a file away; others keep at least the group where they may.
    if (fchown(fd, st.st_uid, st.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
      // Neither: the file is the user's own, as any file they make.
    }
    if (fchmod(fd, st.st_mode & 07777) != 0) {
      // The mode of a file of their own: left as made.
    }
  }
  return fd;
}

Fd OpenDevice(const std::string& name, FileProblem* problem) {
  Fd fd;
  do {
    fd = open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  fd = AboveStandard(fd);
  if (fd < 0) *problem = Problem(errno);
  return fd < 0 ? kNoFd : fd;
}

Fd DuplicateDescriptor(int d, FileProblem* problem) {
  const Fd fd = fcntl(d, F_DUPFD_CLOEXEC, kStdErr + 1);
  if (fd < 0) *problem = Problem(errno);
  return fd < 0 ? kNoFd : fd;
}

Fd OpenForRead(const std::string& name, FileProblem* problem) {
  Fd fd;
  do {
    fd = open(name.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  fd = AboveStandard(fd);
  if (fd < 0) {
    *problem = Problem(errno);
    return kNoFd;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    *problem = Problem(EISDIR);
    return kNoFd;
  }
  return fd;
}

int64_t ReadSome(Fd fd, char* buf, size_t cap, FileProblem* problem) {
  for (;;) {
    const ssize_t n = read(fd, buf, cap);
    if (n >= 0) return n;
    if (errno != EINTR) {
      *problem = Problem(errno);
      return -1;
    }
  }
}

int64_t RegularFileSize(Fd fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

bool Rename(const std::string& from, const std::string& to, FileProblem* problem) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  *problem = Problem(errno);
  return false;
}

void Remove(const std::string& name) { unlink(name.c_str()); }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && S_ISREG(sa.st_mode) &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string ErrorText(uint32_t code) {
  return std::strerror(code == kErrorDiskFull ? ENOSPC : static_cast<int>(code));
}

void RemoveOnBreak(const std::string& name) {
  remove_armed = 0;
  if (name.empty() || name.size() > PATH_MAX) return;
  std::memcpy(remove_on_break, name.c_str(), name.size() + 1);
  for (int sig : kEndingSignals) {
    struct sigaction old = {};
    sigaction(sig, nullptr, &old);
    // A signal the program handles itself, or was started to ignore, does not end it.
    if (old.sa_handler != SIG_DFL && old.sa_handler != RemoveAndEnd) continue;
    struct sigaction sa = {};
    sa.sa_handler = RemoveAndEnd;
    sigemptyset(&sa.sa_mask);
    for (int other : kEndingSignals) sigaddset(&sa.sa_mask, other);
    sigaction(sig, &sa, nullptr);
  }
  remove_armed = 1;
}

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

void SurviveBrokenPipes() {
  // Blocked on this thread rather than ignored by the whole program: threads that never talk to
  // the display keep the usual end.
  sigset_t block;
  sigemptyset(&block);
  sigaddset(&block, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &block, nullptr);
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
