// Process start and end: the termination list, the failure report, the console break.
#include "runtime/startup.h"

#include <array>
#include <cassert>
#include <optional>

#include "runtime/channel.h"
#include "runtime/failure.h"
#include "runtime/os.h"

namespace rts {
namespace {

constexpr int kMaxTermination = 32;
constexpr uint32_t kUserBreak = 21;
constexpr const char* kErrInfo = "errinfo.$$$";

struct Core {
  std::array<TerminationProc, kMaxTermination> termination = {};
  int termination_count = 0;
  std::string command_rest;  // the command line after the program name, from its first blank
};

Core core;

void WriteOut(std::string_view s) { os::WriteAll(os::kStdOut, s.data(), s.size()); }

// The errinfo lines; a write that fails drops the rest.
void WriteErrInfo(os::Fd fd, const std::string& report_line, const Failure& f) {
  auto line = [fd](const std::string& s) {
    const std::string l = s + "\r\n";
    return os::WriteAll(fd, l.data(), l.size()) == 0;
  };
  if (!line(os::ProgramPath() + core.command_rest) || !line(report_line)) return;
  for (const std::string& entry : f.history()) {
    if (!line(entry)) return;
  }
  if (f.history_truncated()) line("#RTS: History stack was truncated: not enough room.");
}

// Runs what is left of the list; on_failure sees each failure a procedure raises, and the
// procedures after it still run.
template <class OnFailure>
void RunTermination(OnFailure on_failure) {
  // Each procedure leaves the list before it runs, so a second call runs nothing again.
  while (core.termination_count > 0) {
    TerminationProc p = core.termination[--core.termination_count];
    try {
      p();
    } catch (const Failure& f) {
      on_failure(f);
    }
  }
}

}  // namespace

void RegisterTermination(TerminationProc p) {
  assert(core.termination_count < kMaxTermination);
  core.termination[core.termination_count++] = p;
}

void RunTerminationList() {
  std::optional<Failure> first;
  RunTermination([&first](const Failure& f) {
    if (!first) first = f;
  });
  if (first) throw *first;
}

std::string ReportLine(uint32_t number, std::string_view text) {
  std::string line = "#RTS: unhandled exception #" + std::to_string(number);
  if (!text.empty()) {
    line += ": ";
    line += text;
  }
  return line;
}

void WriteFailureReport(const Failure& f) {
  // Text the program wrote before the failure must come out before the report.
  try {
    channels::StdOut().Flush();
  } catch (const Failure&) {
    // Standard output is failing; the report below tries anyway.
  }
  const std::string line = ReportLine(f.number(), f.text());
  WriteOut(line + "\r\n\r\n");
  os::CreateError err;
  os::Fd fd = os::CreateForWrite(kErrInfo, &err);
  if (fd == os::kNoFd) {
    WriteOut("#RTS: Can't create file errinfo.$$$\r\n");
    return;
  }
  WriteOut("File errinfo.$$$ created.\r\n");
  WriteErrInfo(fd, line, f);
  os::Close(fd);
}

void WriteMessage(std::string_view text) {
  try {
    channels::StdOut().Flush();
  } catch (const Failure&) {
  }
  const std::string line = "ledwheel: " + std::string(text) + "\n";
  os::WriteAll(os::kStdErr, line.data(), line.size());
}

int Run(int argc, char** argv, int (*body)()) {
  core.command_rest.clear();
  for (int k = 1; k < argc; ++k) {
    core.command_rest += ' ';
    core.command_rest += argv[k];
  }
  os::InstallBreakHandler();
  int code = 0;
  bool reported = false;
  try {
    code = body();
  } catch (const Failure& f) {
    WriteFailureReport(f);
    reported = true;
    code = kExitFailure;
  } catch (const InputEnded&) {
    WriteMessage("standard input ended before a number was typed");
    code = kExitInputEnded;
  }
  RunTermination([&](const Failure& f) {
    // Data lost at the final write-out must not end as a success; one report per run.
    if (reported) return;
    WriteFailureReport(f);
    reported = true;
    code = kExitFailure;
  });
  return code;
}

bool BreakPending() { return os::BreakRecorded(); }

void CheckBreak() {
  if (!os::BreakRecorded()) return;
  os::ClearBreak();
  Raise(kUserBreak, "USER BREAK");
}

}  // namespace rts
