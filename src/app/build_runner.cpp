#include "app/build_runner.h"

#include <sys/resource.h>
#include <unistd.h>

#include "catalog/engine/album_build.h"

namespace folivant {

namespace {
constexpr int kWorkerNice = 5;

QString StepText(TPictureStep step, const std::string& file) {
  static const char* const kVerb[] = {"Opening file ", "Resampling file ", "Saving file "};
  return QString::fromUtf8(kVerb[static_cast<int>(step)]) + QString::fromStdString(file);
}
}  // namespace

class TBuildRunner::TObserver : public IBuildObserver {
 public:
  TObserver(TBuildRunner& runner, std::function<void(const std::string&)> hook)
      : runner_(runner), hook_(std::move(hook)) {}

  void PictureStep(TPictureStep step, const std::string& file) override {
    Status(StepText(step, file));
  }
  void Ended() override { Status(QStringLiteral("Ready.")); }
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
  void TargetMade(const std::string&) override { runner_.asked_.store(true); }
  void OpenDocument(const std::string& path) override {
    std::lock_guard lock(runner_.mutex_);
    runner_.openPath_ = path;
  }

 private:
  void Status(const QString& text) {
    runner_.RepeatCancel();
    {
      std::lock_guard lock(runner_.mutex_);
      runner_.progress_.Status = text;
    }
    runner_.Post();
    if (hook_) hook_(text.toStdString());
  }

  TBuildRunner& runner_;
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
  observer_ = std::make_unique<TObserver>(*this, std::move(statusHook));
  request.CreateTarget = createTarget;
  {
    std::lock_guard lock(mutex_);
    progress_ = TProgress{};
    progress_.OverallMax = kStepsPerPicture * static_cast<int>(request.Pictures.size());
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
      result = request.Tree ? RunAlbumTree(*engine_, request, *request.Tree, *observer_)
                            : engine_->Run(request, *observer_);
    } catch (const std::exception& e) {
      // The engine reports errors in its result; this is the last line of defence.
      result.Outcome = TBuildOutcome::boFailed;
      result.Message = e.what();
    } catch (...) {
      result.Outcome = TBuildOutcome::boFailed;
      result.Message = "The build stopped with an unknown error";
    }
    if (result.Refusal == TRefusal::rfTargetMissing) asked_.store(true);
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
