#include "app/main_form.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <stdexcept>
#include <utility>

#include "app/build_controller.h"
#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/option_binding.h"
#include "app/tabs.h"
#include "catalog/catalog_rules.h"
#include "catalog/engine/album_build.h"
#include "catalog/html_color.h"
#include "settings/color_text.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

namespace folivant {

// ---------------------------------------------------------------- settings

SettingsRecord TForm1::GatherRecord() const {
  SettingsRecord r;
  folivant::GatherOptions(*this, r);
  r.LastDir = S(lastDir_);
  r.BackGrnd = S(backGrnd_);
  for (std::size_t i = 0; i < kColorSlots; ++i) {
    r.ColorTexts[i] = S(colorText_[i]);
    r.Colors[i] = generalTab_->Pickers[i]->Color();
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
    saveOnExitAction_->setChecked(false);
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
    if (load.ColorApplied(i)) generalTab_->Pickers[slot]->SetColor(r.Colors[slot]);
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
  saveOnExit_ = saveOnExitAction_->isChecked();
}

// ---------------------------------------------------------------- build

CatalogOptions TForm1::GatherOptions() const {
  CatalogOptions o = MakeCatalogOptions(GatherRecord(), Resolver());
  // What the settings file does not store.
  o.TableAlign = tableTab_->Alignment();
  o.ThumbMode = imageTab_->FixedWidth() ? TThumbMode::tmFixedWidth : TThumbMode::tmFixedHeight;
  o.HeaderLines = headerTab_->HeaderLines();
  o.FooterLines = headerTab_->FooterLines();
  o.ShowInBrowser = buildTab_->ShowInBrowserCheck->isChecked();
  return o;
}

void TForm1::BuildBtnClick() {
  if (build_->Active()) return;
  const std::shared_ptr<const TAlbumTree> tree = ListTree();
  if (files_.Count() < (tree ? 1u : kMinPictures)) {
    dialogs_.Information(this, QStringLiteral("Information"),
                         QString::fromUtf8(kTooFewPicturesText));
    return;
  }
  // Every typed number is checked before anything is written, the target folder included.
  CheckTableFields(GatherOptions());
  QLineEdit* targetEdit = generalTab_->TargetEdit;
  if (targetEdit->text().trimmed().isEmpty())
    throw std::runtime_error(
        "No Target Directory is given: type or choose the folder the catalog goes to on the "
        "General Options tab");
  const QString target = ResolvedTarget();
  if (QDir::isRelativePath(target))
    throw std::runtime_error("The Target Directory " + S(target) +
                             " is relative, and no picture folder is known to resolve it against");
  // The user sees the folder the catalog goes to.
  if (target != targetEdit->text()) targetEdit->setText(target);
  TBuildRequest request;
  request.Options = GatherOptions();
  for (std::size_t i = 0; i < files_.Count(); ++i)
    request.Pictures.push_back({files_.Names()[i], files_.Paths()[i]});
  request.Params = params_;
  request.Jobs = env_.Jobs;
  request.Force = forceBuild_;
  if (tree) {  // in the order the albums are built
    request.Pictures = AlbumTreePictures(*tree);
    request.Tree = tree;
  }
  build_->Start(std::move(request));
}

void TForm1::RebuildAll1Click() {
  forceBuild_ = true;
  BuildBtnClick();
  forceBuild_ = false;
}

void TForm1::CancelButtonClick() {
  build_->Cancel();
}

void TForm1::SetIdleControlsEnabled(bool enabled) {
  for (QWidget* w : idleWidgets_) w->setEnabled(enabled);
  for (QAction* a : idleActions_) a->setEnabled(enabled);
}

QString TForm1::BuildSummary() const {
  return buildTab_->SummaryLabel->text();
}

}  // namespace folivant
