// ledwheel: paint a persistence-of-vision wheel and write it as PIC firmware tables.
#include "cli/cli.h"
#include "editor/program.h"
#include "runtime/startup.h"

int main(int argc, char** argv) {
  // Without a command the program is the dialog and the editor, as it always was.
  if (!cli::IsCommandLine(argc, argv)) return rts::Run(argc, argv, editor::DialogAndEditor);
  return cli::Main(argc, argv);
}
