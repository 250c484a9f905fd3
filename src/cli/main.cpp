// folivant-build: builds a picture catalog from the command line.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/cli_signals.h"
#include "codecs/codecs.h"

int main(int argc, char** argv) {
  folivant::InstallCodecs();

  // Before any other thread starts, so that every thread leaves the interrupts to the watcher.
  // Never destroyed: the watcher may still take a signal while the program exits.
  static auto* const interrupts = new folivant::CliInterrupts;
  folivant::CliEnvironment env;
  env.ProgressIsTerminal = ::isatty(STDERR_FILENO) == 1;
  folivant::WatchInterrupts(*interrupts, env.ProgressIsTerminal);
  env.Interrupts = interrupts;

  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = folivant::RunCli(args, std::cout, std::cerr, env);
  std::cout.flush();
  return status;
}
