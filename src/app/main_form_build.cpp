#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/about_form.h"
#include "app/build_runner.h"
#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/option_binding.h"
#include "app/picture_preview.h"
#include "app/version.h"
#include "catalog/catalog_rules.h"
#include "catalog/html_color.h"
#include "catalog/picture_folder.h"
#include "codecs/codecs.h"
#include "settings/color_text.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace folivant {

namespace {

std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
  // A memo's lines as a string list sees them: a final line end adds no empty line.
  std::vector<std::string> lines;
  const QString text = memo->toPlainText();
  if (text.isEmpty()) return lines;
  QStringList parts = text.split(QLatin1Char('\n'));
  if (parts.size() > 1 && parts.back().isEmpty()) parts.removeLast();
  lines.reserve(static_cast<std::size_t>(parts.size()));
  for (const QString& p : parts) lines.push_back(S(p));
  return lines;
}

}  // namespace

// ---------------------------------------------------------------- settings

SettingsRecord TForm1::GatherRecord() const {
  SettingsRecord r;
  folivant::GatherOptions(*this, r);
  r.LastDir = S(lastDir_);
  r.BackGrnd = S(backGrnd_);
  for (std::size_t i = 0; i < kColorSlots; ++i) {
    r.ColorTexts[i] = S(colorText_[i]);
    r.Colors[i] = pickers_[i]->Color();
  }
  r.Window = Placement();
  return r;
}

void TForm1::SaveSettings(const QString& path) {
  try {
    folivant::SaveSettings(GatherRecord(), S(path));
  } catch (const EIniWriteError& e) {
    throw std::runtime_error(std::string(e.what()) + ": " + e.Reason());
  }
}

void TForm1::LoadSettings(const QString& path) {
  const QString problems = ApplySettingsFile(path, false);
  if (!problems.isEmpty()) dialogs_.Warning(this, problems);
}

QString TForm1::ApplySettingsFile(const QString& path, bool atStart) {
  const QString file = QDir::toNativeSeparators(path);
  // At start the layout's own values are no settings: a first run's state is the base.
  const SettingsLoad load =
      folivant::LoadSettings(S(path), atStart ? SettingsRecord{} : GatherRecord());
  if (!load.FileProblem.empty() && !atStart) {
    return QStringLiteral("Cannot load settings from %1: %2.\nThe current settings are kept.")
        .arg(file, Q(load.FileProblem));
  }
  ApplySettings(load);
  if (!load.FileProblem.empty()) {
    // Whatever the file holds stays as it is: closing does not write the defaults over it.
    saveOnExit_ = false;
    OptionsSaveSettingsOnExit1->setChecked(false);
    return QStringLiteral(
               "Cannot read the settings file %1: %2.\nThe window starts with the default "
               "settings and leaves that file as it is (Options, Save Settings On Exit is off).")
        .arg(file, Q(load.FileProblem));
  }
  if (atStart && load.Record.Window) RestorePlacement(*load.Record.Window);
  if (load.Errors.empty()) return {};
  QStringList lines;
  for (const std::string& p : load.Problems(S(file))) lines << Q(p);
  lines << QStringLiteral("Every other setting was applied; those colours stay as they were.");
  return lines.join(QLatin1Char('\n'));
}

void TForm1::ApplySettings(const SettingsLoad& load) {
  const SettingsRecord& r = load.Record;
  lastDir_ = Q(r.LastDir);
  backGrnd_ = Q(r.BackGrnd);
  ShowOptions(*this, r);
  for (int i = 0; i < kColorSlots; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    if (load.ColorApplied(i)) pickers_[slot]->SetColor(r.Colors[slot]);
    ColorChanged(i);
    // A text that is no colour stays, so a later save writes back what the file held.
    colorText_[slot] = Q(r.ColorTexts[slot]);
  }
  pictureDir_ = lastDir_;
}

WindowPlacement TForm1::Placement() const {
  WindowPlacement w;
  w.Maximized = isMaximized();
  // The frame's place, as move() takes it; the normal geometry is the inside's.
  const QRect normal = w.Maximized ? normalGeometry().translated(pos() - geometry().topLeft())
                                   : QRect(pos(), size());
  w.Left = normal.x();
  w.Top = normal.y();
  w.Width = normal.width();
  w.Height = normal.height();
  return w;
}

void TForm1::RestorePlacement(const WindowPlacement& w) {
  const QScreen* screen = QGuiApplication::screenAt(QPoint(w.Left + 40, w.Top + 10));
  // Where no screen shows the title bar any more (a monitor gone), the window is centred.
  if (!screen)
    screen = QGuiApplication::primaryScreen();
  else {
    move(w.Left, w.Top);
    placed_ = true;
  }
  QSize size(w.Width, w.Height);
  if (screen) size = size.boundedTo(screen->availableGeometry().size());
  resize(size.expandedTo(minimumSizeHint()));
  if (w.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::OptionsSavesettings1Click() {
  SaveSettings(env_.SettingsPath);
}

void TForm1::OptionsSavesettings2Click() {
  const QString file = dialogs_.SaveFile(this, QStringLiteral("Save Settings As"),
                                         QFileInfo(env_.SettingsPath).absolutePath(), kIniFilter,
                                         QStringLiteral("ini"));
  if (!file.isEmpty()) SaveSettings(file);
}

void TForm1::OptionsLoadSettings1Click() {
  if (RefuseWhileBuilding()) return;
  const QString file = dialogs_.OpenFile(this, QStringLiteral("Load Settings"),
                                         QFileInfo(env_.SettingsPath).absolutePath(), kIniFilter,
                                         QStringLiteral("ini"), false);
  if (!file.isEmpty()) LoadSettings(file);
}

void TForm1::OptionsSaveSettingsOnExit1Click() {
  saveOnExit_ = OptionsSaveSettingsOnExit1->isChecked();
}

// ---------------------------------------------------------------- build

CatalogOptions TForm1::GatherOptions() const {
  CatalogOptions o = MakeCatalogOptions(GatherRecord(), Resolver());
  // What the settings file does not store.
  static const char* const kAlign[4] = {"left", "center", "right", ""};
  const int align = alignGroup_->checkedId();
  o.TableAlign = (align >= 0 && align < 4) ? kAlign[align] : "";
  o.ThumbMode = twrButton->isChecked() ? TThumbMode::tmFixedWidth : TThumbMode::tmFixedHeight;
  o.HeaderLines = MemoLines(HeaderMemo);
  o.FooterLines = MemoLines(FooterMemo);
  o.ShowInBrowser = PreviewCheckBox->isChecked();
  return o;
}

void TForm1::BuildBtnClick() {
  if (buildActive_) return;
  if (files_.Count() < 3) {
    dialogs_.Information(this, QStringLiteral("Information"),
                         QStringLiteral("You MUST select at least 3 files !"));
    return;
  }
  // Every typed number is checked before anything is written, the target folder included.
  CheckTableFields(GatherOptions());
  if (EditTarget->text().trimmed().isEmpty())
    throw std::runtime_error(
        "No Target Directory is given: type or choose the folder the catalog goes to on the "
        "General Options tab");
  const QString target = ResolvedTarget();
  if (QDir::isRelativePath(target))
    throw std::runtime_error("The Target Directory " + S(target) +
                             " is relative, and no picture folder is known to resolve it against");
  // The user sees the folder the catalog goes to.
  if (target != EditTarget->text()) EditTarget->setText(target);
  request_ = std::make_unique<TBuildRequest>();
  request_->Options = GatherOptions();
  for (std::size_t i = 0; i < files_.Count(); ++i)
    request_->Pictures.push_back({files_.Names()[i], files_.Paths()[i]});
  request_->Params = params_;
  request_->Jobs = env_.Jobs;
  request_->Force = forceBuild_;
  // A missing folder is asked about when the engine reaches it, after it has checked the
  // names: a list it would refuse is told before the user is asked anything.
  StartBuild(false);
}

void TForm1::StartBuild(bool createTarget) {
  const int n = static_cast<int>(request_->Pictures.size());
  cancelRequested_ = false;
  buildActive_ = true;
  SetIdleControlsEnabled(false);
  for (QPushButton* b : {OpenCatalogBtn, OpenFolderBtn}) b->hide();
  BuildSummaryLabel->clear();
  ProgressBar1->setRange(0, 3 * n);
  ProgressBar1->setValue(0);
  CurrentProgress->setValue(0);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  CancelButton->show();
  runner_->Start(TBuildRequest(*request_), createTarget, env_.WorkerStatusHook);
}

void TForm1::RebuildAll1Click() {
  forceBuild_ = true;
  BuildBtnClick();
  forceBuild_ = false;
}

void TForm1::CancelButtonClick() {
  cancelRequested_ = true;
  SetStatus(QStringLiteral("Cancelling..."));
  runner_->Cancel();
}

void TForm1::FlushProgress() {
  const TBuildRunner::TProgress p = runner_->TakeProgress();
  if (!buildActive_) return;
  // Once cancelled, the status says so until the worker has stopped.
  if (!p.Status.isEmpty() && !cancelRequested_) SetStatus(p.Status);
  if (p.OverallMax > 0) ProgressBar1->setRange(0, p.OverallMax);
  ProgressBar1->setValue(std::clamp(p.Overall, 0, ProgressBar1->maximum()));
  CurrentProgress->setValue(std::clamp(p.Current, 0, 100));
}

void TForm1::SetIdleControlsEnabled(bool enabled) {
  for (QWidget* w : idleWidgets_) w->setEnabled(enabled);
  for (QAction* a : idleActions_) a->setEnabled(enabled);
}

void TForm1::PutBackAfterBuild() {
  buildActive_ = false;
  CancelButton->hide();
  SetIdleControlsEnabled(true);
  QApplication::restoreOverrideCursor();
  SetStatus(QStringLiteral("Ready."));
  CurrentProgress->setValue(0);
  ProgressBar1->setValue(0);
}

QString TForm1::BuildSummary() const {
  return BuildSummaryLabel->text();
}

namespace {

QString Count(int n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

}  // namespace

void TForm1::ShowBuildEnd(const TBuildResult& r) {
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
  SetStatus(text);
  BuildSummaryLabel->setText(text);
  OpenCatalogBtn->setVisible(r.Outcome == TBuildOutcome::boDone);
  OpenFolderBtn->show();
}

void TForm1::BuildFinished() {
  if (!buildActive_) return;  // already wound up
  const TBuildResult result = runner_->Wait();
  PutBackAfterBuild();
  if (closing_) {
    // The user asked to close: an error is still told, nothing is opened.
    if (result.Outcome == TBuildOutcome::boFailed) dialogs_.Critical(this, Q(result.Message));
    closing_ = false;
    close();
    return;
  }
  switch (result.Outcome) {
    case TBuildOutcome::boFailed:
      dialogs_.Critical(this, Q(result.Message));
      break;
    case TBuildOutcome::boRefused:
      if (!result.Message.empty()) {
        dialogs_.Information(this, QStringLiteral("Information"), Q(result.Message));
      } else if (runner_->AskedToCreate() && !cancelRequested_ &&
                 dialogs_.AskYesNo(this, QStringLiteral("Target directory does not exist. Do "
                                                        "you want to make it?"))) {
        StartBuild(true);  // the same snapshot, now allowed to make the folder
        return;
      }
      break;
    case TBuildOutcome::boDone: {
      ShowBuildEnd(result);
      const std::string doc = runner_->DocumentToOpen();
      if (!doc.empty()) dialogs_.OpenUrl(QUrl::fromLocalFile(Q(doc)));
      break;
    }
    case TBuildOutcome::boCancelled:
      ShowBuildEnd(result);
      break;
  }
  // Files kept in the target that differ from the pictures given: the catalog shows them,
  // not the pictures, so the user must hear of it.
  if (!result.Warnings.empty()) {
    QStringList lines;
    for (const std::string& w : result.Warnings) lines << Q(w);
    dialogs_.Warning(this, lines.join(QLatin1Char('\n')));
  }
}

}  // namespace folivant
