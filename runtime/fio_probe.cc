// Test program: drives FIO and failures through rts::Run, so tests can see the whole end of a
// run (report, errinfo.$$$, exit code) as a separate process.
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/failure.h"
#include "runtime/fio.h"
#include "runtime/io.h"
#include "runtime/startup.h"

namespace {

int g_argc;
char** g_argv;

std::string Arg(int k) { return k < g_argc ? g_argv[k] : ""; }

void Order1() { IO::WrStr("term1\n"); }
void Order2() { IO::WrStr("term2\n"); }
void LateFailure() { rts::Raise(4, "lost at the end"); }

int Deep(int n);
// Called through a volatile pointer so the compiler cannot turn the recursion into a loop.
int (*volatile g_deep)(int) = Deep;

int Deep(int n) {
  if (n > 0) return g_deep(n - 1) + 1;
  rts::Raise(5, "deep");
}

int Body() {
  FIO::Start();
  IO::Start();
  const std::string cmd = Arg(1);
  if (cmd == "create") {  // create NAME: one line "A"
    FIO::File f = FIO::Create(Arg(2));
    FIO::WrStr(f, "A");
    FIO::WrLn(f);
    FIO::Close(f);
  } else if (cmd == "noclose") {  // noclose NAME COUNT: left for the termination list
    FIO::File f = FIO::Create(Arg(2));
    for (int k = 0; k < std::atoi(Arg(3).c_str()); ++k) FIO::WrStr(f, "x");
  } else if (cmd == "raise") {  // raise NUMBER TEXT, after unfinished console text
    IO::WrStr("partial");
    rts::Raise(static_cast<uint32_t>(std::strtoul(Arg(2).c_str(), nullptr, 10)), Arg(3));
  } else if (cmd == "deep") {  // deep N: a failure N calls down
    return Deep(std::atoi(Arg(2).c_str()));
  } else if (cmd == "order") {  // termination procedures run last registered first
    rts::RegisterTermination(Order1);
    rts::RegisterTermination(Order2);
  } else if (cmd == "termfail") {  // a termination procedure raises after a normal end
    rts::RegisterTermination(Order1);
    rts::RegisterTermination(LateFailure);
  } else if (cmd == "read") {  // read: echo numbers until the input ends
    for (;;) {
      IO::WrStr(std::to_string(IO::RdInt()) + "\n");
    }
  }
  return std::atoi(Arg(4).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  return rts::Run(argc, argv, Body);
}
