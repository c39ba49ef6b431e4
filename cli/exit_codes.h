// The exit codes of the commands, one set for all of them.
#pragma once

namespace cli {

constexpr int kExitOk = 0;          // done; for check and firmware: the wheel runs the file
constexpr int kExitFile = 1;        // a file or its data: missing, unreadable, damaged, unwritable
constexpr int kExitUsage = 2;       // the command line itself
constexpr int kExitWillNotRun = 3;  // check and firmware: the wheel cannot show the file

}  // namespace cli
