// The wizard window: six tabs from choosing pictures to building the catalog.
// The form assembles the tabs (tabs.h), the menus and the status bar, holds the picture list and
// what the settings file keeps, and wires the controls to its commands; TBuildController runs
// the builds. Errors: a command throws a std::exception whose text the user reads; Guard ends
// the command there and shows it in the error box.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/file_list.h"
#include "app/widgets.h"
#include "catalog/catalog_options.h"
#include "catalog/html_color.h"
#include "imaging/io_params.h"

class QAction;
class QLabel;
class QTabWidget;

namespace folivant {

class IDialogs;
struct TAlbumTree;
class TBuildController;
class TBuildTab;
class TFilesTab;
class TGeneralTab;
class THeaderTab;
class TImageTab;
class TPreviewLoader;
class TTableTab;
class TfrmAbout;
struct TPreview;
struct SettingsRecord;
struct SettingsLoad;
struct WindowPlacement;

// The program's name for the desktop: "folivant", so docks match the window to its desktop
// entry (StartupWMClass); the window's caption is "Folivant v1.7".
void ConfigureApplication();

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  struct TEnv {
    IDialogs* Dialogs = nullptr;  // required; outlives the window
    QString SettingsPath;         // the default settings file
    QString ProgramDir;           // where readme.txt is looked for
    int Jobs = 0;                 // build workers; 0: one per processor
    // Called on a build worker with every status text, after the window has been told.
    std::function<void(const std::string&)> WorkerStatusHook;
  };

  explicit TForm1(TEnv env, QWidget* parent = nullptr);
  ~TForm1() override;

  // File list.
  void SelectImageBtnClick();
  void AddFileButtonClick();
  void AddFolderButtonClick();  // one folder, as a tree of albums when the box says so
  void MoveUpButtonClick();
  void MoveDownButtonClick();
  void SortButtonClick();
  void DelPicButtonClick();
  void RemoveAllButtonClick();
  // Files and folders dropped on the list, in the order dropped; notLocal: dropped items that
  // were no local files (skipped, and counted in the status bar with the other files skipped).
  void DropFiles(const QStringList& paths, int notLocal = 0);

  // Wizard.
  // Next on tab (0 the first): on to the next tab; from the list only with enough pictures.
  void NextTabClick(int tab);
  void TargetBtnClick();
  void PageBtnClick();
  void EditBackChange();
  void JPEGQualChange();
  void HelpContents1Click();
  void GotoHomePage1Click();
  void AboutBtnClick();
  void CloseButtonClick();

  // Settings.
  void OptionsSavesettings1Click();
  void OptionsSavesettings2Click();
  void OptionsLoadSettings1Click();
  void OptionsSaveSettingsOnExit1Click();
  void SaveSettings(const QString& path);
  // Reads a settings file over the window's settings; what could not be used is told, by file
  // and key, and changes nothing.
  void LoadSettings(const QString& path);

  // Build.
  void BuildBtnClick();
  void RebuildAll1Click();  // the build, taking nothing from the build record
  void CancelButtonClick();

  // What the window holds besides its controls.
  const TFileList& FileList() const { return files_; }
  const QString& LastDir() const { return lastDir_; }
  const QString& BackgroundName() const { return backGrnd_; }
  // 0 background, 1 link, 2 active link, 3 visited link.
  const QString& ColorText(int i) const { return colorText_[static_cast<std::size_t>(i)]; }
  const QString& HtmlColor(int i) const { return colorHtml_[static_cast<std::size_t>(i)]; }
  const TIOParamsVals& ImageParams() const { return params_; }
  bool Building() const;
  bool SaveSettingsOnExit() const { return saveOnExit_; }
  QString StatusText() const;
  // The line that ended the latest build ("Built 3 pictures (3 made, 0 reused), 1 catalog page
  // in DIR", "Cancelled after 2 of 5 pictures"); empty before the first.
  QString BuildSummary() const;
  // The options as the next build would take them.
  CatalogOptions GatherOptions() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  void BuildUi();
  void WireFilesTab();
  void WireOptionTabs();
  void WireBuildTab();
  void BuildMenus();

  void ChooseFiles(bool replace);
  void RefreshListBox(int select);
  void ShowCount();
  void ColorChanged(int i);
  void RefreshSummary();
  void UpdatePreview();
  // The preview of the selected picture: asked for on every change of the selection, shown
  // when the worker has it.
  void RequestPicturePreview();
  void ShowPicturePreview(const QString& path, const TPreview& preview);
  // Runs a handler body; an exception ends the command and is shown in the error box.
  void Guard(const std::function<void()>& body);
  bool RefuseWhileBuilding();
  void SetStatus(const QString& text);
  // Reads the settings file; returns what the user must hear of it, empty when all went in.
  QString ApplySettingsFile(const QString& path, bool atStart);
  void ApplySettings(const SettingsLoad& load);
  WindowPlacement Placement() const;
  void RestorePlacement(const WindowPlacement& placement);
  // What a running build leaves no use for: the list's buttons, Select, Add, Load Settings and
  // Build, disabled while it runs.
  void SetIdleControlsEnabled(bool enabled);
  int SelectedIndex() const;
  // The Target Directory field with a relative path resolved against the last picture folder.
  QString ResolvedTarget() const;
  QString HelpFile() const;
  TColorResolver Resolver() const;
  SettingsRecord GatherRecord() const;
  // Albums (main_form_albums.cpp): a folder's pictures, with its sub-folders' when they become
  // albums; the list's text of entry i (its album, then its name); the list as a tree of
  // albums, or nullptr when no picture of it came with an album.
  void AddFolder(const std::string& path, std::vector<std::string>& pictures,
                 QStringList& problems);
  QString ListText(std::size_t i) const;
  std::shared_ptr<const TAlbumTree> ListTree() const;

  TEnv env_;
  IDialogs& dialogs_;
  TFileList files_;
  QString lastDir_;
  QString backGrnd_;
  std::array<QString, 4> colorText_;
  std::array<QString, 4> colorHtml_;
  TIOParamsVals params_;
  bool saveOnExit_ = true;
  bool shownOnce_ = false;
  bool forceBuild_ = false;
  bool placed_ = false;   // put where the settings file says, not centred
  QString pictureDir_;    // where the picture dialog opens
  QString startupError_;  // reading the settings file failed at creation; told when shown
  TPreviewLoader* previewLoader_ = nullptr;
  TfrmAbout* about_ = nullptr;
  QList<QWidget*> idleWidgets_;
  QList<QAction*> idleActions_;
  std::map<std::string, std::string> albumOf_;  // picture path -> album ("" the top one)

  QTabWidget* tabs_ = nullptr;
  TFilesTab* filesTab_ = nullptr;
  TGeneralTab* generalTab_ = nullptr;
  TTableTab* tableTab_ = nullptr;
  TImageTab* imageTab_ = nullptr;
  THeaderTab* headerTab_ = nullptr;
  TBuildTab* buildTab_ = nullptr;
  QAction* saveOnExitAction_ = nullptr;
  QLabel* statusPanel_ = nullptr;
  // Last: a build still running is stopped before the controls go.
  std::unique_ptr<TBuildController> build_;
};

}  // namespace folivant
