// Waiting on a descriptor that the console break cuts short. POSIX builds only: the X11
// layer's input wait and the console reads use it.
#pragma once

namespace rts::os {

enum class WaitOutcome { kReady, kBreak, kInterrupted, kTimeout, kError };

// Sleeps until fd is readable or has hung up (kReady), a console break has been recorded, also
// one recorded before the call (kBreak; the break stays recorded for rts::CheckBreak), another
// signal arrived (kInterrupted), or timeout_ms passes (kTimeout; negative: no limit). kError
// when fd cannot be waited on. The break cannot slip in between the check and the sleep.
// Calling thread only; the program's other threads keep the break blocked.
WaitOutcome WaitReadableOrBreak(int fd, int timeout_ms);

}  // namespace rts::os
