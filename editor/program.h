// The program without arguments: the dialog, then the editor.
#pragma once

namespace editor {

// The run's body for rts::Run: starts the modules in their order, asks the two numbers, runs the
// editor and writes IM.txt when asked. Returns the exit code. Main thread only; once per run.
int DialogAndEditor();

}  // namespace editor
