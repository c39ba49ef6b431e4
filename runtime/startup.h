// Process start and end: the termination list, the failure report, the console break.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rts {

class Failure;

// Exit codes besides the body's own.
constexpr int kExitFailure = 9;     // after a failure report
constexpr int kExitInputEnded = 1;  // standard input ended while a number was awaited

using TerminationProc = void (*)();

// Appends p to the termination list, which runs last-registered-first at program end, after a
// normal end and after a failure report alike. Main thread only.
void RegisterTermination(TerminationProc p);

// Runs the termination list once (later calls do nothing). Every procedure runs even when one
// raises; the first failure raised is raised again afterwards.
void RunTerminationList();

// Starts the runtime core (break handler, command line for "errinfo.$$$"), calls body and
// ends the run: body's result is the exit code after a normal end; an rts::Failure gives the
// failure report and exit code 9 (also when the termination list raises one after a normal
// end, e.g. a full disk at the final write-out); rts::InputEnded gives a one-line message on
// standard error and kExitInputEnded. The termination list runs in every case. Returns the
// exit code for main to return.
int Run(int argc, char** argv, int (*body)());

// A message for the user outside the console's own bytes: flushes what the standard output
// channel buffers, then writes "ledwheel: <text>" and a line end on standard error.
void WriteMessage(std::string_view text);

// "#RTS: unhandled exception #<number as unsigned>", then ": <text>" unless text is empty.
std::string ReportLine(uint32_t number, std::string_view text);

// The failure report: the report line and an empty line on standard output (written directly,
// after whatever the standard output channel still buffers), then "errinfo.$$$" in the
// current directory and the line saying whether it could be created.
void WriteFailureReport(const Failure& f);

// Ctrl+C: the signal handler only records the break. Every blocking wait on the main thread
// calls CheckBreak at its next safe point, which raises failure 21 "USER BREAK".
bool BreakPending();
void CheckBreak();

}  // namespace rts
