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
std::atomic<int> g_interrupts{0};
std::atomic<folivant::TBuildEngine*> g_engine{nullptr};

// Only flags are set here; the build's own thread acts on them. The first Ctrl-C acts as
// Cancel: copies and pictures begun are finished, no catalog page is written. The second stops
// at once: the file being copied is dropped with its temporary file, and the program ends as
// soon as the pictures in flight give up. A third ends the program on the spot.
extern "C" void OnInterrupt(int) {
  const int count = g_interrupts.fetch_add(1) + 1;
  g_interrupt.store(true);
  if (folivant::TBuildEngine* engine = g_engine.load()) {
    if (count == 1) {
      engine->Cancel();
    } else {
      engine->Abort();
    }
  }
  if (count >= 2) ::signal(SIGINT, SIG_DFL);
}

}  // namespace

int main(int argc, char** argv) {
  static_assert(std::atomic<bool>::is_always_lock_free);
  static_assert(std::atomic<int>::is_always_lock_free);
  static_assert(std::atomic<folivant::TBuildEngine*>::is_always_lock_free);
  folivant::InstallCodecs();

  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
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
