// folivant-build: builds a picture catalog from the command line.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "codecs/codecs.h"

namespace {

std::atomic<bool> g_interrupt{false};
std::atomic<folivant::TBuildEngine*> g_engine{nullptr};

// Ctrl-C acts as Cancel: pictures begun are finished, no catalog page is written. The handler
// resets itself, so a second Ctrl-C ends the program at once.
extern "C" void OnInterrupt(int) {
  g_interrupt.store(true);
  if (folivant::TBuildEngine* engine = g_engine.load()) engine->Cancel();
}

}  // namespace

int main(int argc, char** argv) {
  static_assert(std::atomic<bool>::is_always_lock_free);
  static_assert(std::atomic<folivant::TBuildEngine*>::is_always_lock_free);
  folivant::InstallCodecs();

  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &sa, nullptr);

  folivant::CliEnvironment env;
  env.ProgressIsTerminal = ::isatty(STDERR_FILENO) == 1;
  env.Interrupt = &g_interrupt;
  env.RunningEngine = &g_engine;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = folivant::RunCli(args, std::cout, std::cerr, env);
  std::cout.flush();
  return status;
}
