#include "catalog/engine/build_progress.h"

namespace folivant {

void TBuildProgress::Start(int n, int total, int head) {
  {
    std::lock_guard lock(mutex_);
    n_ = n;
    total_ = total;
    head_ = head;
    step_.assign(n, Current());
    percent_.assign(n, 0);
    held_ = true;
    Queue(-1, [total](IBuildObserver& o) { o.OverallProgress(0, total); });
  }
}

void TBuildProgress::Release() {
  {
    std::lock_guard lock(mutex_);
    if (!held_) return;
    held_ = false;
    if (steps_ > 0) {
      Queue(-1, [steps = steps_, total = total_](IBuildObserver& o) {
        o.OverallProgress(steps, total);
      });
    }
    QueueHead();
  }
  Deliver();
}

void TBuildProgress::Step(int index, TPictureStep step, const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    if (step != TPictureStep::psOpening) ++steps_;
    if (step != TPictureStep::psOpening && !held_) {
      Queue(index, [steps = steps_, total = total_](IBuildObserver& o) {
        o.OverallProgress(steps, total);
      });
    }
    if (step != TPictureStep::psDone) {
      step_[index] = {step, name};
      percent_[index] = 0;
      if (index == head_ && !held_)
        Queue(index, [step, name](IBuildObserver& o) { o.PictureStep(step, name); });
    }
  }
  Deliver();
}

void TBuildProgress::Percent(int index, int percent) {
  {
    std::lock_guard lock(mutex_);
    percent_[index] = percent;
    if (index == head_ && !held_)
      Queue(index, [percent](IBuildObserver& o) { o.CurrentProgress(percent); });
  }
  Deliver();
}

void TBuildProgress::Skip() {
  {
    std::lock_guard lock(mutex_);
    steps_ += kStepsPerPicture;
    if (!held_) {
      Queue(-1, [steps = steps_, total = total_](IBuildObserver& o) {
        o.OverallProgress(steps, total);
      });
    }
  }
  Deliver();
}

void TBuildProgress::HeadMoved(int head) {
  {
    std::lock_guard lock(mutex_);
    head_ = head;
    if (!held_) QueueHead();
  }
  Deliver();
}

void TBuildProgress::QueueHead() {
  if (head_ < n_ && step_[head_].Step != TPictureStep::psDone) {
    Queue(-1, [now = step_[head_], percent = percent_[head_]](IBuildObserver& o) {
      o.PictureStep(now.Step, now.File);
      o.CurrentProgress(percent);
    });
  }
}

void TBuildProgress::Warning(const std::string& message) {
  {
    std::lock_guard lock(mutex_);
    Queue(-1, [message](IBuildObserver& o) { o.Warning(message); });
  }
  Deliver();
}

void TBuildProgress::PictureDone(int index) {
  {
    std::lock_guard lock(mutex_);
    Queue(index, [index](IBuildObserver& o) { o.PictureDone(index); });
  }
  Deliver();
}

void TBuildProgress::Queue(int index, Call call) {
  queue_.emplace_back(index, std::move(call));
}

void TBuildProgress::Deliver() {
  {
    std::lock_guard lock(mutex_);
    if (delivering_ || held_) return;  // the worker delivering takes this call too
    delivering_ = true;
  }
  for (;;) {
    std::pair<int, Call> next;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) {
        delivering_ = false;
        return;
      }
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      next.second(observer_);
    } catch (...) {
      // A report that failed changes nothing in the build, unless it was about a picture.
      if (next.first >= 0) failed_(next.first);
    }
  }
}

}  // namespace folivant
