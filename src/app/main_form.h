// The wizard window: six tabs from choosing pictures to building the catalog.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/file_list.h"
#include "app/widgets.h"
#include "catalog/catalog_options.h"
#include "catalog/html_color.h"
#include "imaging/io_params.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace folivant {

class IDialogs;
class TBuildRunner;
class TPreviewLoader;
class TfrmAbout;
struct TPreview;
struct TBuildRequest;
struct TBuildResult;
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
  void MoveUpButtonClick();
  void MoveDownButtonClick();
  void SortButtonClick();
  void DelPicButtonClick();
  void RemoveAllButtonClick();
  // Files and folders dropped on the list, in the order dropped; notLocal: dropped items that
  // were no local files (skipped, and counted in the status bar with the other files skipped).
  void DropFiles(const QStringList& paths, int notLocal = 0);

  // Wizard.
  void NextButton1Click();
  void NextButton2Click();
  void NextButton3Click();
  void NextButton4Click();
  void NextButton5Click();
  void TabSheet2Enter();
  void TabSheet3Enter();
  void TargetBtnClick();
  void PageBtnClick();
  void EditBackChange();
  void thrButtonClick();
  void twrButtonClick();
  void JPEGQualChange();
  void JavaProtectClick();
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
  QWidget* BuildFilesTab();
  QWidget* BuildGeneralTab();
  QWidget* BuildTableTab();
  QWidget* BuildImageTab();
  QWidget* BuildHeaderTab();
  QWidget* BuildBuildTab();
  void BuildMenus();
  QWidget* BottomRow(int tab, QPushButton* next);

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
  void FlushProgress();
  void StartBuild(bool createTarget);
  void BuildFinished();
  void PutBackAfterBuild();
  void ShowBuildEnd(const TBuildResult& result);
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

  TEnv env_;
  IDialogs& dialogs_;
  TFileList files_;
  QString lastDir_;
  QString backGrnd_;
  std::array<QString, 4> colorText_;
  std::array<QString, 4> colorHtml_;
  TIOParamsVals params_;
  bool saveOnExit_ = true;
  bool cancelRequested_ = false;
  bool shownOnce_ = false;
  bool buildActive_ = false;
  bool closing_ = false;  // closed during a build: waiting for the worker to stop
  bool forceBuild_ = false;
  bool placed_ = false;                     // put where the settings file says, not centred
  std::unique_ptr<TBuildRequest> request_;  // the running build's snapshot, kept for a restart
  QString pictureDir_;                      // where the picture dialog opens
  QString startupError_;  // reading the settings file failed at creation; told when shown
  std::unique_ptr<TBuildRunner> runner_;
  TPreviewLoader* previewLoader_ = nullptr;
  TfrmAbout* about_ = nullptr;
  QList<QWidget*> idleWidgets_;
  QList<QAction*> idleActions_;

  // Controls, named as their objectName.
  QTabWidget* PageControl1 = nullptr;
  QListWidget* ListBox1 = nullptr;
  QLabel* Label11 = nullptr;
  QLabel* PreviewImage = nullptr;
  QLabel* PreviewCaption = nullptr;
  QLineEdit* EditTarget = nullptr;
  QLineEdit* EditBack = nullptr;
  QLineEdit* IndexTitle = nullptr;
  QLineEdit* MetaTagEdit = nullptr;
  std::array<TColorPickerButton*, 4> pickers_{};
  QWidget* Panel2 = nullptr;
  QLabel* BackgroundLabel = nullptr;
  QLabel* LinkLabel = nullptr;
  QLabel* ActiveLinkLabel = nullptr;
  QLabel* VisitedLinkLabel = nullptr;
  QLineEdit* PageEdit = nullptr;
  QLineEdit* CatalogEdit = nullptr;
  QLineEdit* PreviousEdit = nullptr;
  QLineEdit* NextEdit = nullptr;
  QLineEdit* TableRows = nullptr;
  QLineEdit* TableCols = nullptr;
  TUpDown* UpDown1 = nullptr;
  TUpDown* UpDown2 = nullptr;
  QLabel* Panel1 = nullptr;
  QLineEdit* TableBorderEdit = nullptr;
  QLineEdit* TableCellPadEdit = nullptr;
  QLineEdit* TableCellSpaceEdit = nullptr;
  TUpDown* UpDown6 = nullptr;
  TUpDown* UpDown7 = nullptr;
  TUpDown* UpDown8 = nullptr;
  QButtonGroup* alignGroup_ = nullptr;
  QRadioButton* thrButton = nullptr;
  QRadioButton* twrButton = nullptr;
  QLineEdit* thumbHeight = nullptr;
  QLineEdit* thumbWidth = nullptr;
  QLineEdit* JPEGQual = nullptr;
  TUpDown* UpDown3 = nullptr;
  TUpDown* UpDown4 = nullptr;
  TUpDown* UpDown5 = nullptr;
  QCheckBox* ProgrCheckBox = nullptr;
  QComboBox* FilterComboBox = nullptr;
  QCheckBox* JavaProtect = nullptr;
  QLineEdit* AlertEdit = nullptr;
  QCheckBox* JavaOpen = nullptr;
  QCheckBox* AutoRotateCheck = nullptr;
  QPlainTextEdit* HeaderMemo = nullptr;
  QPlainTextEdit* FooterMemo = nullptr;
  TGradientProgressBar* CurrentProgress = nullptr;
  TGradientProgressBar* ProgressBar1 = nullptr;
  QCheckBox* PreviewCheckBox = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* BuildBtn = nullptr;
  QLabel* BuildSummaryLabel = nullptr;
  QPushButton* OpenCatalogBtn = nullptr;
  QPushButton* OpenFolderBtn = nullptr;
  QAction* BuildCatalog1 = nullptr;
  QAction* OptionsSaveSettingsOnExit1 = nullptr;
  QLabel* StatusPanel = nullptr;
};

}  // namespace folivant
