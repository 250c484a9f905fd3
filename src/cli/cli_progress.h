// What folivant-build shows while a build runs: a progress bar on a terminal, lines otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "catalog/engine/build_engine.h"

namespace folivant {

// "12.3 of 130 MB": both in the unit of the total, one decimal below 100.
std::string AmountOf(std::uint64_t done, std::uint64_t total);

class CliProgress : public IBuildObserver {
 public:
  // seconds: a steady clock (the default one when empty). quiet: only warnings and errors.
  CliProgress(std::ostream& err, bool terminal, bool quiet,
              const std::vector<TPictureEntry>& pictures, std::function<double()> seconds = {});

  void PictureStep(TPictureStep step, const std::string& file) override;
  void Ended() override;
  void OverallProgress(int position, int maximum) override;
  void CurrentProgress(int) override { Draw(false); }
  void CopyProgress(std::uint64_t done, std::uint64_t total) override;
  void TargetMade(const std::string& dir) override;
  void KeptDifferentFile(const std::string& message) override;
  void Warning(const std::string& message) override { KeptDifferentFile(message); }
  void Error(const std::string& message) override { message_ = message; }
  void OpenDocument(const std::string& path) override;
  void PictureDone(int index) override;

  const std::string& Message() const { return message_; }
  double Elapsed() const { return seconds_() - start_; }

 private:
  void Draw(bool force);
  void ClearBar();

  std::ostream& err_;
  bool terminal_;
  bool quiet_;
  const std::vector<TPictureEntry>& pictures_;
  std::function<double()> seconds_;
  double start_;
  double phaseStart_;  // of the copies, then of the pictures: the time left is the phase's
  double lastDraw_ = 0;
  double lastLine_;  // the last copy line written when standard error is no terminal
  bool drawn_ = false;
  bool finished_ = false;
  bool copying_ = false;
  std::uint64_t copied_ = 0, toCopy_ = 0;
  int steps_ = 0;
  int maxSteps_ = 0;
  int done_ = 0;
  std::string current_;
  std::string message_;
};

}  // namespace folivant
