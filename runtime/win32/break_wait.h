// The console break as something to wait on. Win32 builds only: the Win32 window layer's input
// wait uses it.
#pragma once

namespace rts::os {

// A manual-reset event (a HANDLE) that is set when a console break is recorded and reset when
// it is cleared; null before InstallBreakHandler.
void* BreakEvent();

}  // namespace rts::os
