#include "cli/cli_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace folivant {

namespace {

sigset_t InterruptSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, sig);
  return set;
}

void Say(const char* text) {
  // On a line of its own, over the progress bar; a closed terminal simply drops it.
  const std::string line = std::string("\r\x1b[Kfolivant-build: ") + text + "\n";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

[[noreturn]] void EndNow(int sig) {
  ::signal(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);
}

}  // namespace

void CliInterrupts::Attach(TBuildEngine* engine) {
  std::lock_guard lock(mutex_);
  engine_ = engine;
  PassOn();
}

void CliInterrupts::Interrupt(int sig) {
  int none = 0;
  firstSignal_.compare_exchange_strong(none, sig);
  count_.fetch_add(1);
  std::lock_guard lock(mutex_);
  PassOn();
}

int CliInterrupts::ExitStatus() const {
  const int sig = firstSignal_.load();
  return 128 + (sig != 0 ? sig : SIGINT);
}

void CliInterrupts::PassOn() {
  if (!engine_) return;
  const int count = count_.load();
  if (count >= 1) engine_->Cancel();
  if (count >= 2) engine_->Abort();
}

void WatchInterrupts(CliInterrupts& interrupts, bool terminal) {
  const sigset_t set = InterruptSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([&interrupts, set, terminal] {
    for (;;) {
      int sig = 0;
      if (::sigwait(&set, &sig) != 0) continue;
      interrupts.Interrupt(sig);
      const int count = interrupts.Count();
      if (count >= 3) EndNow(sig);
      if (!terminal) continue;
      Say(count == 1 ? "stopping once the pictures begun are finished (interrupt again to stop "
                       "at once)"
                     : "stopping at once (a third interrupt ends the program on the spot)");
    }
  }).detach();
}

}  // namespace folivant
