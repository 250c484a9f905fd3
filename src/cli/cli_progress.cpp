#include "cli/cli_progress.h"

#include <signal.h>
#include <spawn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>
#include <ostream>
#include <sstream>

extern char** environ;

namespace folivant {

namespace {

constexpr const char* kProgram = "folivant-build";
constexpr int kBarWidth = 24;

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string AmountOf(std::uint64_t done, std::uint64_t total) {
  const bool giga = total >= 10'000'000'000u;
  const double unit = giga ? 1e9 : 1e6;
  auto number = [&](std::uint64_t bytes) {
    const double value = static_cast<double>(bytes) / unit;
    char buf[32];
    std::snprintf(buf, sizeof buf, value < 99.95 ? "%.1f" : "%.0f", value);
    return std::string(buf);
  };
  return number(done) + " of " + number(total) + (giga ? " GB" : " MB");
}

CliProgress::CliProgress(std::ostream& err, bool terminal, bool quiet,
                         const std::vector<TPictureEntry>& pictures,
                         std::function<double()> seconds)
    : err_(err),
      terminal_(terminal && !quiet),
      quiet_(quiet),
      pictures_(pictures),
      seconds_(seconds ? std::move(seconds) : SteadySeconds),
      start_(seconds_()),
      phaseStart_(start_),
      lastLine_(start_) {}

void CliProgress::PictureStep(TPictureStep step, const std::string& file) {
  if (step == TPictureStep::psOpening) current_ = file;
  Draw(false);
}

void CliProgress::Ended() {
  ClearBar();
}

void CliProgress::OverallProgress(int position, int maximum) {
  // The pictures begin: the copies' time says nothing about theirs.
  if (position == 0 && !finished_) phaseStart_ = seconds_();
  copying_ = false;
  steps_ = position;
  maxSteps_ = maximum;
  Draw(false);
}

void CliProgress::CopyProgress(std::uint64_t done, std::uint64_t total) {
  if (!copying_) phaseStart_ = seconds_();
  copying_ = true;
  copied_ = done;
  toCopy_ = total;
  // Without a terminal: a line after the first second, then one every five.
  const double now = seconds_();
  if (!terminal_ && !quiet_ && done < total && now - lastLine_ >= (lastLine_ == start_ ? 1 : 5)) {
    lastLine_ = now;
    err_ << "Copying pictures " << AmountOf(done, total) << "\n" << std::flush;
  }
  Draw(false);
}

void CliProgress::TargetMade(const std::string& dir) {
  if (!quiet_) err_ << "Creating target directory " << dir << "\n";
}

void CliProgress::KeptDifferentFile(const std::string& message) {
  if (drawn_) err_ << "\r\x1b[K";
  drawn_ = false;
  err_ << kProgram << ": warning: " << message << "\n";
}

void CliProgress::OpenDocument(const std::string& path) {
  // The browser gets the interrupts this program leaves to its watching thread.
  posix_spawnattr_t attr;
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setsigmask(&attr, &none);
  const char* argv[] = {"xdg-open", path.c_str(), nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "xdg-open", nullptr, &attr, const_cast<char* const*>(argv), environ) !=
      0) {
    err_ << kProgram << ": warning: cannot start xdg-open to show " << path << "\n";
  }
  posix_spawnattr_destroy(&attr);
}

void CliProgress::PictureDone(int index) {
  ++done_;
  if (!terminal_ && !quiet_) {
    err_ << "[" << done_ << "/" << pictures_.size() << "] " << pictures_[index].Name << "\n";
  }
  Draw(true);
}

void CliProgress::Draw(bool force) {
  if (!terminal_ || finished_ || (!copying_ && maxSteps_ <= 0)) return;
  const double now = seconds_();
  if (!force && drawn_ && now - lastDraw_ < 0.1) return;
  lastDraw_ = now;
  drawn_ = true;
  double part;
  int filled;
  std::ostringstream label;
  if (copying_) {
    part = toCopy_ > 0 ? static_cast<double>(copied_) / static_cast<double>(toCopy_) : 0;
    filled = toCopy_ > 0 ? static_cast<int>(copied_ * kBarWidth / toCopy_) : 0;
    label << "Copying pictures " << AmountOf(copied_, toCopy_);
  } else {
    part = static_cast<double>(steps_) / maxSteps_;
    filled = steps_ * kBarWidth / maxSteps_;
    std::string name = current_;
    if (name.size() > 24) name = name.substr(0, 21) + "...";
    label << done_ << "/" << pictures_.size() << "  " << std::left << std::setw(24) << name;
  }
  filled = std::clamp(filled, 0, kBarWidth);
  std::ostringstream line;
  line << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '-') << "] "
       << label.str() << "  " << Clock(now - start_);
  if (part > 0 && part < 1)
    line << ", " << Clock((now - phaseStart_) * (1 - part) / part) << " left";
  line << "\x1b[K";
  err_ << line.str() << std::flush;
}

void CliProgress::ClearBar() {
  if (drawn_) err_ << "\r\x1b[K" << std::flush;
  drawn_ = false;
  finished_ = true;  // the reports after the end only reset the bars
}

}  // namespace folivant
