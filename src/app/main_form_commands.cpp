#include "app/main_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/about_form.h"
#include "app/build_controller.h"
#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/picture_preview.h"
#include "app/tabs.h"
#include "app/version.h"
#include "catalog/catalog_rules.h"
#include "catalog/html_color.h"
#include "catalog/picture_folder.h"
#include "codecs/codecs.h"
#include "settings/color_text.h"
#include "settings/settings.h"

namespace folivant {

// ---------------------------------------------------------------- life cycle

void TForm1::FormCreate() {
  InstallCodecs();
  setWindowTitle(AppTitle());
  buildTab_->OverallProgress->setValue(0);
  imageTab_->FilterCombo->setCurrentIndex(0);
  // Told once the window is up, over it.
  try {
    startupError_ = ApplySettingsFile(env_.SettingsPath, true);
  } catch (const std::exception& e) {
    startupError_ = Q(e.what());
  }
  imageTab_->AlertEdit->setEnabled(imageTab_->ProtectCheck->isChecked());
  buildTab_->CancelButton->hide();
  // The thumbnails are written with the quality the field shows, from the first build on.
  Guard([this] { JPEGQualChange(); });
}

void TForm1::FormClose() {
  if (saveOnExit_) Guard([this] { SaveSettings(env_.SettingsPath); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!build_->MayClose()) {
    // Closed again when the build has stopped; the settings are saved then.
    event->ignore();
    return;
  }
  centralWidget()->setEnabled(true);
  menuBar()->setEnabled(true);
  FormClose();
  event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  const QScreen* s = screen();
  if (s && !placed_) move(s->availableGeometry().center() - rect().center());
  tabs_->setCurrentIndex(0);
  filesTab_->List->setFocus();
  if (!startupError_.isEmpty()) {
    // After this event, so the box is placed over the window where it now stands.
    QTimer::singleShot(0, this,
                       [this] { dialogs_.Warning(this, std::exchange(startupError_, {})); });
  }
}

void TForm1::Guard(const std::function<void()>& body) {
  if (build_ && build_->Closing()) return;  // a shortcut while the window waits to close
  try {
    body();
  } catch (const std::exception& e) {
    dialogs_.Critical(this, Q(e.what()));
  } catch (...) {
    dialogs_.Critical(this, QStringLiteral("Unknown error"));
  }
}

bool TForm1::RefuseWhileBuilding() {
  if (!build_->Active()) return false;
  dialogs_.Information(this, QStringLiteral("Information"), kBusyText);
  return true;
}

void TForm1::SetStatus(const QString& text) {
  statusPanel_->setText(text);
}

QString TForm1::StatusText() const {
  return statusPanel_->text();
}

bool TForm1::Building() const {
  return build_->Active();
}

// ---------------------------------------------------------------- file list

void TForm1::ChooseFiles(bool replace) {
  if (RefuseWhileBuilding()) return;
  const QStringList chosen =
      dialogs_.OpenFiles(this, QStringLiteral("Select Graphic Files"), pictureDir_, kPictureFilter);
  if (chosen.isEmpty()) return;
  lastDir_ = Q(TFileList::FolderOf(S(chosen.first())));
  generalTab_->TargetEdit->setText(lastDir_);
  pictureDir_ = lastDir_;
  // The folder is checked, not made current: nothing in this program depends on the working
  // directory.
  if (generalTab_->TargetEdit->text().isEmpty() ||
      !QFileInfo(generalTab_->TargetEdit->text()).isDir())
    dialogs_.Warning(this, QStringLiteral("Cannot find directory %1")
                               .arg(QDir::toNativeSeparators(generalTab_->TargetEdit->text())));
  if (replace) files_.Clear();
  int last = -1;
  for (const QString& f : chosen) last = static_cast<int>(files_.Add(S(f)));
  (void)last;
  buildTab_->OverallProgress->setMaximum(static_cast<int>(files_.Count()));
  RefreshListBox(-1);
  ShowCount();
}

void TForm1::SelectImageBtnClick() {
  ChooseFiles(true);
}

void TForm1::AddFileButtonClick() {
  ChooseFiles(false);
}

int TForm1::SelectedIndex() const {
  const QList<QListWidgetItem*> sel = filesTab_->List->selectedItems();
  return sel.isEmpty() ? -1 : filesTab_->List->row(sel.first());
}

void TForm1::MoveUpButtonClick() {
  if (RefuseWhileBuilding()) return;
  const int i = SelectedIndex();
  if (i < 0 || !files_.MoveUp(static_cast<std::size_t>(i))) return;
  RefreshListBox(i - 1);
}

void TForm1::MoveDownButtonClick() {
  if (RefuseWhileBuilding()) return;
  const int i = SelectedIndex();
  if (i < 0 || !files_.MoveDown(static_cast<std::size_t>(i))) return;
  RefreshListBox(i + 1);
}

void TForm1::SortButtonClick() {
  if (RefuseWhileBuilding()) return;
  files_.Sort();
  RefreshListBox(-1);
}

void TForm1::DelPicButtonClick() {
  if (RefuseWhileBuilding()) return;
  const int i = SelectedIndex();
  if (i < 0) return;
  files_.Remove(static_cast<std::size_t>(i));
  RefreshListBox(-1);
  ShowCount();
}

void TForm1::RemoveAllButtonClick() {
  if (RefuseWhileBuilding()) return;
  files_.Clear();
  RefreshListBox(-1);
  ShowCount();
}

void TForm1::DropFiles(const QStringList& paths, int notLocal) {
  if (RefuseWhileBuilding()) return;
  std::vector<std::string> pictures;
  int skipped = notLocal;
  QStringList problems;
  for (const QString& dropped : paths) {
    const std::string path = S(QDir::cleanPath(dropped));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      AddFolder(path, pictures, problems);  // what the command line takes from it
    } else if (IsPictureName(TFileList::NameOf(path)) &&
               std::filesystem::is_regular_file(path, ec)) {
      pictures.push_back(path);
    } else {
      ++skipped;
    }
  }
  if (files_.Count() == 0 && !pictures.empty()) {
    lastDir_ = Q(TFileList::FolderOf(pictures.front()));
    generalTab_->TargetEdit->setText(lastDir_);
    pictureDir_ = lastDir_;
  }
  for (const std::string& p : pictures) files_.Add(p);
  buildTab_->OverallProgress->setMaximum(static_cast<int>(files_.Count()));
  RefreshListBox(-1);
  ShowCount();
  QString note = pictures.size() == 1 ? QStringLiteral("Added 1 picture.")
                                      : QStringLiteral("Added %1 pictures.").arg(pictures.size());
  if (skipped == 1) note += QStringLiteral(" Skipped 1 file that is not a picture.");
  if (skipped > 1) note += QStringLiteral(" Skipped %1 files that are not pictures.").arg(skipped);
  for (const QString& p : problems) note += QLatin1Char(' ') + p + QLatin1Char('.');
  SetStatus(note);
}

void TForm1::RequestPicturePreview() {
  const int i = SelectedIndex();
  if (i < 0 || static_cast<std::size_t>(i) >= files_.Count()) {
    previewLoader_->Request({}, {});
    filesTab_->PreviewImage->clear();
    filesTab_->PreviewCaption->clear();
    return;
  }
  const QString path = Q(files_.Paths()[static_cast<std::size_t>(i)]);
  filesTab_->PreviewImage->clear();
  filesTab_->PreviewCaption->setText(Q(files_.Names()[static_cast<std::size_t>(i)]));
  previewLoader_->Request(path, kPreviewBox);
}

void TForm1::ShowPicturePreview(const QString& path, const TPreview& preview) {
  const int i = SelectedIndex();
  // The list may have changed under a preview that was on its way.
  if (i < 0 || static_cast<std::size_t>(i) >= files_.Count() ||
      Q(files_.Paths()[static_cast<std::size_t>(i)]) != path)
    return;
  const QString name = Q(files_.Names()[static_cast<std::size_t>(i)]);
  if (preview.Image.isNull()) {
    filesTab_->PreviewImage->setText(preview.Error);
    filesTab_->PreviewCaption->setText(name);
    return;
  }
  filesTab_->PreviewImage->setPixmap(QPixmap::fromImage(preview.Image));
  filesTab_->PreviewCaption->setText(QStringLiteral("%1\n%2 \u00d7 %3")
                                         .arg(name)
                                         .arg(preview.FullSize.width())
                                         .arg(preview.FullSize.height()));
}

void TForm1::RefreshListBox(int select) {
  filesTab_->List->clear();
  for (std::size_t i = 0; i < files_.Count(); ++i) filesTab_->List->addItem(ListText(i));
  if (select >= 0 && select < filesTab_->List->count()) {
    filesTab_->List->setCurrentRow(select);
    filesTab_->List->item(select)->setSelected(true);
  } else {
    filesTab_->List->clearSelection();
    filesTab_->List->setCurrentRow(-1);
  }
}

void TForm1::ShowCount() {
  filesTab_->ItemsCount->setText(QStringLiteral("Items count: %1").arg(files_.Count()));
  // The page summary follows the list, so it never shows a count the list no longer has.
  RefreshSummary();
}

// ---------------------------------------------------------------- wizard

void TForm1::NextTabClick(int tab) {
  if (tab > 0 || files_.Count() >= kMinPictures) {
    tabs_->setCurrentIndex(tab + 1);
    return;
  }
  dialogs_.Information(this, QStringLiteral("Information"), QString::fromUtf8(kTooFewPicturesText));
}

void TForm1::UpdatePreview() {
  generalTab_->ShowColors(palette());
}

void TForm1::RefreshSummary() {
  tableTab_->ShowPageCount(files_.Count());
}

QString TForm1::ResolvedTarget() const {
  const QString text = generalTab_->TargetEdit->text();
  if (text.isEmpty() || QDir::isAbsolutePath(text)) return text;
  if (text == QStringLiteral("~") || text.startsWith(QStringLiteral("~/")))
    return QDir::cleanPath(QDir::homePath() + text.mid(1));
  // Where the user picked the pictures, not wherever the program was started from.
  QString base = lastDir_;
  if (!QDir::isAbsolutePath(base) && files_.Count() > 0)
    base = Q(TFileList::FolderOf(files_.Paths().front()));
  if (!QDir::isAbsolutePath(base)) return text;
  return QDir::cleanPath(QDir(base).filePath(text));
}

void TForm1::TargetBtnClick() {
  const QString dir = dialogs_.Folder(this, QStringLiteral("Select folder"), ResolvedTarget());
  if (!dir.isEmpty()) generalTab_->TargetEdit->setText(dir);
}

void TForm1::PageBtnClick() {
  const QString start = generalTab_->BackgroundEdit->text().isEmpty()
                            ? pictureDir_
                            : QFileInfo(generalTab_->BackgroundEdit->text()).absolutePath();
  const QString file = dialogs_.OpenFile(this, QStringLiteral("Select BackGround"), start,
                                         kBackgroundFilter, {}, true);
  if (file.isEmpty()) return;
  generalTab_->BackgroundEdit->setText(file);
  backGrnd_ = Q(TFileList::NameOf(S(generalTab_->BackgroundEdit->text())));
}

void TForm1::EditBackChange() {
  backGrnd_ = generalTab_->BackgroundEdit->text();
}

void TForm1::JPEGQualChange() {
  params_.JpegQuality = ParseWholeNumber(S(imageTab_->QualityEdit->text()));
}

QString TForm1::HelpFile() const {
  const QString beside = QDir(env_.ProgramDir).filePath(QStringLiteral("readme.txt"));
  if (QFileInfo(beside).isFile()) return beside;
  // An installed program keeps it in share/folivant (not share/doc, which systems may leave
  // out when they install packages).
  const QString installed =
      QDir(env_.ProgramDir).filePath(QStringLiteral("../share/folivant/readme.txt"));
  if (QFileInfo(installed).isFile()) return QDir::cleanPath(installed);
  return {};
}

void TForm1::HelpContents1Click() {
  const QString file = HelpFile();
  if (file.isEmpty()) {
    dialogs_.Plain(this, QStringLiteral("Open Error"),
                   QStringLiteral("Could not open help file !"));
    return;
  }
  dialogs_.OpenUrl(QUrl::fromLocalFile(file));
}

void TForm1::GotoHomePage1Click() {
  dialogs_.OpenUrl(QUrl(HomePage()));
}

void TForm1::AboutBtnClick() {
  dialogs_.Exec(*about_);
}

void TForm1::CloseButtonClick() {
  close();
}

// ---------------------------------------------------------------- colours

TColorResolver TForm1::Resolver() const {
  const QPalette pal = palette();
  return [pal](TColor value) { return QColorToColorValue(ResolveColor(value, pal)); };
}

void TForm1::ColorChanged(int i) {
  const auto slot = static_cast<std::size_t>(i);
  const TColor value = generalTab_->Pickers[slot]->Color();
  colorHtml_[slot] = Q(folivant::HtmlColor(value, Resolver()));
  colorText_[slot] = Q(ColorToString(value));
  UpdatePreview();
}

}  // namespace folivant
