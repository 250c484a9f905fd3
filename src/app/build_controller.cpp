#include "app/build_controller.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <algorithm>

#include "app/build_runner.h"
#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/tabs.h"
#include "app/widgets.h"
#include "catalog/engine/location_copy.h"

namespace folivant {

namespace {

QString Count(int n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

}  // namespace

TBuildController::TBuildController(QMainWindow& window, IDialogs& dialogs, TBuildTab& tab,
                                   THost host)
    : window_(window), dialogs_(dialogs), tab_(tab), host_(std::move(host)) {
  runner_ = std::make_unique<TBuildRunner>();
  connect(runner_.get(), &TBuildRunner::ProgressChanged, this, &TBuildController::FlushProgress);
  connect(runner_.get(), &TBuildRunner::Finished, this, &TBuildController::Finished);
}

TBuildController::~TBuildController() {
  if (!active_) return;
  runner_->Cancel();
  runner_->Wait();
  active_ = false;
  QApplication::restoreOverrideCursor();
}

void TBuildController::Start(TBuildRequest request) {
  request_ = std::make_unique<TBuildRequest>(std::move(request));
  Run(false);
}

void TBuildController::Run(bool createTarget) {
  const int n = static_cast<int>(request_->Pictures.size());
  cancelRequested_ = false;
  active_ = true;
  host_.SetIdleControlsEnabled(false);
  for (QPushButton* b : {tab_.OpenCatalogButton, tab_.OpenFolderButton}) b->hide();
  tab_.SummaryLabel->clear();
  tab_.OverallProgress->setRange(0, kStepsPerPicture * n);
  tab_.OverallProgress->setValue(0);
  tab_.FileProgress->setValue(0);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  tab_.CancelButton->show();
  runner_->Start(TBuildRequest(*request_), createTarget, host_.WorkerStatusHook);
}

void TBuildController::Cancel() {
  cancelRequested_ = true;
  host_.SetStatus(QStringLiteral("Cancelling..."));
  runner_->Cancel();
}

bool TBuildController::MayClose() {
  if (!active_) {
    closing_ = false;
    return true;
  }
  // The pictures in flight are finished while the event loop keeps turning; the window,
  // greyed, closes when the worker reports it has stopped.
  if (closing_) return false;
  closing_ = true;
  window_.centralWidget()->setEnabled(false);
  window_.menuBar()->setEnabled(false);
  Cancel();
  return false;
}

void TBuildController::FlushProgress() {
  const TBuildRunner::TProgress p = runner_->TakeProgress();
  if (!active_) return;
  // Once cancelled, the status says so until the worker has stopped.
  if (!p.Status.isEmpty() && !cancelRequested_) host_.SetStatus(p.Status);
  TGradientProgressBar* overall = tab_.OverallProgress;
  if (p.OverallMax > 0) overall->setRange(0, p.OverallMax);
  overall->setValue(std::clamp(p.Overall, 0, overall->maximum()));
  tab_.FileProgress->setValue(std::clamp(p.Current, 0, 100));
}

void TBuildController::PutBack() {
  active_ = false;
  tab_.CancelButton->hide();
  host_.SetIdleControlsEnabled(true);
  QApplication::restoreOverrideCursor();
  host_.SetStatus(QStringLiteral("Ready."));
  tab_.FileProgress->setValue(0);
  tab_.OverallProgress->setValue(0);
}

void TBuildController::ShowEnd(const TBuildResult& r) {
  const int total = static_cast<int>(request_->Pictures.size());
  const QString dir = QDir::toNativeSeparators(Q(request_->Options.TargetDir));
  QString text;
  if (r.Outcome == TBuildOutcome::boDone) {
    text = QStringLiteral("Built %1 (%2 made, %3 reused), %4 in %5")
               .arg(Count(r.PicturesDone, "picture", "pictures"))
               .arg(r.PicturesDone - r.PicturesReused)
               .arg(r.PicturesReused)
               .arg(Count(r.PagesWritten, "catalog page", "catalog pages"), dir);
  } else {
    text = QStringLiteral("Cancelled after %1 of %2 pictures; no catalog page was written")
               .arg(r.PicturesDone)
               .arg(total);
  }
  host_.SetStatus(text);
  if (r.PicturesLocated > 0) text += QLatin1Char('\n') + Q(LocatedPicturesText(r.PicturesLocated));
  tab_.SummaryLabel->setText(text);
  tab_.OpenCatalogButton->setVisible(r.Outcome == TBuildOutcome::boDone);
  tab_.OpenFolderButton->show();
}

void TBuildController::Finished() {
  if (!active_) return;  // already wound up
  const TBuildResult result = runner_->Wait();
  PutBack();
  if (closing_) {
    // The user asked to close: an error is still told, nothing is opened.
    if (result.Outcome == TBuildOutcome::boFailed) dialogs_.Critical(&window_, Q(result.Message));
    closing_ = false;
    window_.close();
    return;
  }
  switch (result.Outcome) {
    case TBuildOutcome::boFailed:
      dialogs_.Critical(&window_, Q(result.Message));
      break;
    case TBuildOutcome::boRefused:
      if (!result.Message.empty()) {
        dialogs_.Information(&window_, QStringLiteral("Information"), Q(result.Message));
      } else if (runner_->AskedToCreate() && !cancelRequested_ &&
                 dialogs_.AskYesNo(&window_, QStringLiteral("Target directory does not exist. Do "
                                                            "you want to make it?"))) {
        Run(true);  // the same snapshot, now allowed to make the folder
        return;
      }
      break;
    case TBuildOutcome::boDone: {
      ShowEnd(result);
      const std::string doc = runner_->DocumentToOpen();
      if (!doc.empty()) dialogs_.OpenUrl(QUrl::fromLocalFile(Q(doc)));
      break;
    }
    case TBuildOutcome::boCancelled:
      ShowEnd(result);
      break;
  }
  TellWarnings(result);
}

void TBuildController::TellWarnings(const TBuildResult& result) {
  // Files kept in the target that differ from the pictures given: the catalog shows them,
  // not the pictures, so the user must hear of it.
  if (result.Warnings.empty()) return;
  QStringList lines;
  for (const std::string& w : result.Warnings) lines << Q(w);
  dialogs_.Warning(&window_, lines.join(QLatin1Char('\n')));
}

}  // namespace folivant
