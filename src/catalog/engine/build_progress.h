// What a build tells its observer while its workers run: the overall steps, the status and
// percent of the oldest picture in flight, warnings and finished pictures.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "catalog/engine/build_engine.h"

namespace folivant {

// Workers post; the observer is called outside the workers' locks, one call at a time and in
// the order posted, by whichever worker finds nobody delivering. A slow observer holds up
// that one worker, never the others.
class TBuildProgress {
 public:
  // failed: an observer call about picture index threw.
  TBuildProgress(IBuildObserver& observer, std::function<void(int index)> failed)
      : observer_(observer), failed_(std::move(failed)) {}

  // Before the workers start: n pictures in the list, steps in all, the first in flight.
  // Nothing reaches the observer until Release: the copies, told meanwhile by the build
  // itself, come first. Steps and percents posted before then are summed up at Release.
  void Start(int n, int total, int head);
  void Release();
  // Picture index starts a step; name is the file the status names.
  void Step(int index, TPictureStep step, const std::string& name);
  void Percent(int index, int percent);
  void Skip();  // a picture taken from the build record: its three steps at once
  // The oldest picture in flight is now head (n: none).
  void HeadMoved(int head);
  void Warning(const std::string& message);
  void PictureDone(int index);

 private:
  using Call = std::function<void(IBuildObserver&)>;
  // Under mutex_: queues a call about picture index (-1: none).
  void Queue(int index, Call call);
  void QueueHead();  // under mutex_: the head's step and percent
  void Deliver();    // outside mutex_

  IBuildObserver& observer_;
  std::function<void(int)> failed_;
  std::mutex mutex_;
  std::deque<std::pair<int, Call>> queue_;
  bool delivering_ = false;
  bool held_ = false;
  int n_ = 0, steps_ = 0, total_ = 0, head_ = 0;
  struct Current {
    TPictureStep Step = TPictureStep::psDone;  // psDone: not begun
    std::string File;
  };
  std::vector<Current> step_;  // latest step per picture
  std::vector<int> percent_;   // latest current-file percent per picture
};

}  // namespace folivant
