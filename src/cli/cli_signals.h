// Interrupts of folivant-build: Ctrl-C (SIGINT), SIGTERM (timeout, Slurm's time limit, a pod
// being deleted) and SIGHUP (a closed terminal) all count alike.
#pragma once

#include <atomic>
#include <mutex>

#include "catalog/engine/build_engine.h"

namespace folivant {

// The interrupts so far and the build they act on. The first cancels the build (copies and
// pictures begun are finished, no catalog page is written), the second aborts it.
class CliInterrupts {
 public:
  // The build about to run (nullptr when it has ended); interrupts that came before reach it.
  void Attach(TBuildEngine* engine);
  // One more interrupt, by signal sig.
  void Interrupt(int sig);
  int Count() const { return count_.load(); }
  // The exit status of an interrupted build: 128 + the first interrupt's signal.
  int ExitStatus() const;

 private:
  void PassOn();
  std::atomic<int> count_{0};
  std::atomic<int> firstSignal_{0};
  std::mutex mutex_;  // the engine is not destroyed while an interrupt is passed on
  TBuildEngine* engine_ = nullptr;
};

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread, and so in every thread started from
// it later, and takes them on a thread of its own: a handler cannot run while its thread waits
// in a read that only a fatal signal ends (a share that stopped answering), so the count would
// stay at one. The third interrupt ends the process at once by that signal's default action.
// terminal: say on standard error what each interrupt does.
void WatchInterrupts(CliInterrupts& interrupts, bool terminal);

}  // namespace folivant
