#include "app/build_runner.h"

#include <sys/resource.h>
#include <unistd.h>

namespace folivant {

namespace {
constexpr int kWorkerNice = 5;
}  // namespace

class TBuildRunner::TObserver : public IBuildObserver {
 public:
  TObserver(TBuildRunner& runner, bool createTarget, std::function<void(const std::string&)> hook)
      : runner_(runner), createTarget_(createTarget), hook_(std::move(hook)) {}

  void Status(const std::string& text) override {
    runner_.RepeatCancel();
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.progress_.Status = QString::fromStdString(text);
    }
    runner_.Post();
    if (hook_) hook_(text);
  }
  void OverallProgress(int position, int maximum) override {
    runner_.RepeatCancel();
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.progress_.Overall = position;
      runner_.progress_.OverallMax = maximum;
    }
    runner_.Post();
  }
  // Copying is shown by bytes, so a slow share still shows movement.
  void CopyProgress(std::uint64_t done, std::uint64_t total) override {
    runner_.RepeatCancel();
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.progress_.Status = QStringLiteral("Copying pictures: %1 of %2 MB")
                                     .arg(done / 1048576.0, 0, 'f', 1)
                                     .arg(total / 1048576.0, 0, 'f', 1);
      runner_.progress_.Current = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    }
    runner_.Post();
  }
  void CurrentProgress(int percent) override {
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.progress_.Current = percent;
    }
    runner_.Post();
  }
  // Answered by the window before it starts the build; without leave, the build ends here
  // and the window asks the user, then starts it again with the answer.
  bool AskCreateTarget(const std::string&) override {
    runner_.asked_.store(true);
    return createTarget_;
  }
  void OpenDocument(const std::string& path) override {
    std::lock_guard lock(runner_.mutex_);
    runner_.openPath_ = path;
  }

 private:
  TBuildRunner& runner_;
  bool createTarget_;
  std::function<void(const std::string&)> hook_;
};

TBuildRunner::TBuildRunner(QObject* parent) : QObject(parent) {}

TBuildRunner::~TBuildRunner() {
  if (thread_.joinable()) {
    engine_->Cancel();
    thread_.join();
  }
}

void TBuildRunner::Start(TBuildRequest request, bool createTarget,
                         std::function<void(const std::string&)> statusHook) {
  if (thread_.joinable()) return;
  engine_ = std::make_unique<TBuildEngine>();
  cancel_.store(false);
  asked_.store(false);
  observer_ = std::make_unique<TObserver>(*this, createTarget, std::move(statusHook));
  {
    std::lock_guard lock(mutex_);
    progress_ = TProgress{};
    progress_.OverallMax = 3 * static_cast<int>(request.Pictures.size());
    posted_ = false;
    openPath_.clear();
    result_ = TBuildResult{};
  }
  thread_ = std::thread([this, request = std::move(request)] {
    // The build yields to the window: a lower priority for this thread, and so for the
    // engine's workers, which inherit it. Failure only costs smoothness.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
    TBuildResult result;
    try {
      result = engine_->Run(request, *observer_);
    } catch (const std::exception& e) {
      // The engine reports errors in its result; this is the last line of defence.
      result.Outcome = TBuildOutcome::boFailed;
      result.Message = e.what();
    } catch (...) {
      result.Outcome = TBuildOutcome::boFailed;
      result.Message = "The build stopped with an unknown error";
    }
    {
      std::lock_guard lock(mutex_);
      result_ = std::move(result);
    }
    emit Finished();
  });
}

void TBuildRunner::Cancel() {
  cancel_.store(true);
  if (engine_) engine_->Cancel();
}

void TBuildRunner::RepeatCancel() {
  // A Cancel is kept by the engine from before Run; repeating it costs nothing and covers a race.
  if (cancel_.load() && !engine_->CancelRequested()) engine_->Cancel();
}

TBuildResult TBuildRunner::Wait() {
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return result_;
}

TBuildRunner::TProgress TBuildRunner::TakeProgress() {
  std::lock_guard lock(mutex_);
  posted_ = false;
  return progress_;
}

std::string TBuildRunner::DocumentToOpen() const {
  std::lock_guard lock(mutex_);
  return openPath_;
}

void TBuildRunner::Post() {
  {
    std::lock_guard lock(mutex_);
    if (posted_) return;
    posted_ = true;
  }
  emit ProgressChanged();
}

}  // namespace folivant
