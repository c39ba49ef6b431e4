// Process start and end: the termination list, the failure report, the console break.
#pragma once

namespace rts {

using TerminationProc = void (*)();

// Appends p to the termination list, which runs last-registered-first at program end, after a
// normal end and after a failure report alike. Main thread only.
void RegisterTermination(TerminationProc p);

// Runs the termination list once (later calls do nothing).
void RunTerminationList();

// Starts the runtime core (break handler, command line for "errinfo.$$$"), calls body and
// ends the run: body's result is the exit code after a normal end; an rts::Failure gives the
// failure report and exit code 9. The termination list runs in every case. Returns the exit
// code for main to return.
int Run(int argc, char** argv, int (*body)());

// Ctrl+C: the signal handler only records the break. Every blocking wait on the main thread
// calls CheckBreak at its next safe point, which raises failure 21 "USER BREAK".
bool BreakPending();
void CheckBreak();

}  // namespace rts
