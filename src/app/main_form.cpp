#include "app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "app/about_form.h"
#include "app/build_controller.h"
#include "app/dialogs.h"
#include "app/form_util.h"
#include "app/option_binding.h"
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

TForm1::TForm1(TEnv env, QWidget* parent)
    : QMainWindow(parent), env_(std::move(env)), dialogs_(*env_.Dialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  previewLoader_ = new TPreviewLoader(this);
  connect(previewLoader_, &TPreviewLoader::Ready, this, &TForm1::ShowPicturePreview);
  BuildUi();
  build_ = std::make_unique<TBuildController>(
      *this, dialogs_, *buildTab_,
      TBuildController::THost{[this](const QString& text) { SetStatus(text); },
                              [this](bool enabled) { SetIdleControlsEnabled(enabled); },
                              env_.WorkerStatusHook});
  WireFilesTab();
  WireOptionTabs();
  WireBuildTab();
  BuildMenus();
  // Every control starts at its option's default.
  ShowOptions(*this, SettingsRecord{});
  // Labels show names of files and folders and what was typed: never read as markup.
  for (QLabel* label : findChildren<QLabel*>())
    if (!qobject_cast<THyperlinkLabel*>(label)) label->setTextFormat(Qt::PlainText);
  about_ = new TfrmAbout(dialogs_, this);
  about_->hide();

  // The layout was drawn for a small bitmap font; with the desktop's font the window opens at
  // the size its controls ask for, never less than the original client area, and may be made
  // as small as its layout allows (it fits a 1024 x 600 screen) or as large as the screen.
  centralWidget()->layout()->activate();
  const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  resize(sizeHint().expandedTo(QSize(487, 341 + chrome)));
  FormCreate();
}

TForm1::~TForm1() = default;

void ConfigureApplication() {
  // No display name: Qt would append a display name to every window title that does not end
  // with it ("Warning — Folivant v1.7"); the captions show exactly as the program sets them.
  // The name is the window's class on X11 (the desktop entry's StartupWMClass); the desktop
  // file name is its application id on Wayland.
  QApplication::setApplicationName(QStringLiteral("folivant"));
  QApplication::setDesktopFileName(QStringLiteral("org.example.folivant"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("folivant")));
}

// ---------------------------------------------------------------- layout

void TForm1::BuildUi() {
  tabs_ = Named(new QTabWidget(this), "PageControl1");
  // Every tab header stays in sight: the window grows to show them all.
  tabs_->setUsesScrollButtons(false);
  tabs_->tabBar()->setElideMode(Qt::ElideNone);
  tabs_->addTab(filesTab_ = new TFilesTab, QStringLiteral("Select Files"));
  tabs_->addTab(generalTab_ = new TGeneralTab, QStringLiteral("General Options"));
  tabs_->addTab(tableTab_ = new TTableTab, QStringLiteral("Table Options"));
  tabs_->addTab(imageTab_ = new TImageTab, QStringLiteral("Image Options"));
  tabs_->addTab(headerTab_ = new THeaderTab, QStringLiteral("Header/Footer"));
  tabs_->addTab(buildTab_ = new TBuildTab, QStringLiteral("Build"));
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == 1) Guard([this] { UpdatePreview(); });
    if (index == 2) Guard([this] { RefreshSummary(); });
  });
  const TWizardTab* wizard[5] = {filesTab_, generalTab_, tableTab_, imageTab_, headerTab_};
  for (int i = 0; i < 5; ++i) {
    connect(wizard[i]->NextButton(), &QPushButton::clicked, this,
            [this, i] { Guard([this, i] { NextTabClick(i); }); });
    connect(wizard[i]->HomeLink(), &THyperlinkLabel::Open, this,
            [this](const QString& url) { dialogs_.OpenUrl(QUrl(url)); });
  }

  auto* central = new QWidget(this);
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(4, 4, 4, 0);
  v->addWidget(tabs_);
  setCentralWidget(central);

  auto* bar = Named(new QStatusBar(this), "StatusBar1");
  statusPanel_ = Named(new QLabel(QStringLiteral("Ready."), bar), "StatusPanel");
  statusPanel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // never widens
  bar->addWidget(statusPanel_, 1);
  setStatusBar(bar);
}

void TForm1::WireFilesTab() {
  TFilesTab& tab = *filesTab_;
  connect(tab.List, &TDropList::Dropped, this, [this](const QStringList& paths, int notLocal) {
    Guard([&] { DropFiles(paths, notLocal); });
  });
  connect(tab.List, &QListWidget::itemSelectionChanged, this, &TForm1::RequestPicturePreview);
  connect(tab.RemoveKey, &QAction::triggered, this,
          [this] { Guard([this] { DelPicButtonClick(); }); });
  const std::pair<QPushButton*, void (TForm1::*)()> buttons[] = {
      {tab.SelectButton, &TForm1::SelectImageBtnClick},
      {tab.AddButton, &TForm1::AddFileButtonClick},
      {tab.AddFolderButton, &TForm1::AddFolderButtonClick},
      {tab.MoveUpButton, &TForm1::MoveUpButtonClick},
      {tab.MoveDownButton, &TForm1::MoveDownButtonClick},
      {tab.SortButton, &TForm1::SortButtonClick},
      {tab.RemoveButton, &TForm1::DelPicButtonClick},
      {tab.RemoveAllButton, &TForm1::RemoveAllButtonClick},
  };
  for (const auto& b : buttons) {
    const auto handler = b.second;
    connect(b.first, &QPushButton::clicked, this,
            [this, handler] { Guard([=, this] { (this->*handler)(); }); });
    idleWidgets_ << b.first;
  }
}

void TForm1::WireOptionTabs() {
  TGeneralTab& general = *generalTab_;
  connect(general.TargetButton, &QPushButton::clicked, this,
          [this] { Guard([this] { TargetBtnClick(); }); });
  connect(general.BackgroundButton, &QPushButton::clicked, this,
          [this] { Guard([this] { PageBtnClick(); }); });
  connect(general.BackgroundEdit, &QLineEdit::textChanged, this,
          [this] { Guard([this] { EditBackChange(); }); });
  for (int i = 0; i < 4; ++i) {
    TColorPickerButton* picker = general.Pickers[static_cast<std::size_t>(i)];
    picker->SetAskColor([this](const QColor& initial) { return dialogs_.Color(this, initial); });
    connect(picker, &TColorPickerButton::Changed, this,
            [this, i] { Guard([this, i] { ColorChanged(i); }); });
  }
  for (QLineEdit* field : {tableTab_->RowsEdit, tableTab_->ColumnsEdit})
    connect(field, &QLineEdit::textChanged, this, [this] { Guard([this] { RefreshSummary(); }); });
  connect(imageTab_->QualityEdit, &QLineEdit::textChanged, this,
          [this] { Guard([this] { JPEGQualChange(); }); });
}

void TForm1::WireBuildTab() {
  TBuildTab& tab = *buildTab_;
  idleWidgets_ << tab.BuildButton;
  connect(tab.QuitButton, &QPushButton::clicked, this,
          [this] { Guard([this] { CloseButtonClick(); }); });
  connect(tab.AboutButton, &QPushButton::clicked, this,
          [this] { Guard([this] { AboutBtnClick(); }); });
  connect(tab.CancelButton, &QPushButton::clicked, this,
          [this] { Guard([this] { CancelButtonClick(); }); });
  connect(tab.BuildButton, &QPushButton::clicked, this,
          [this] { Guard([this] { BuildBtnClick(); }); });
  const auto open = [this](const QString& name) {
    const QString dir = ResolvedTarget();
    dialogs_.OpenUrl(QUrl::fromLocalFile(name.isEmpty() ? dir : QDir(dir).filePath(name)));
  };
  connect(tab.OpenCatalogButton, &QPushButton::clicked, this,
          [open] { open(QStringLiteral("page1.html")); });
  connect(tab.OpenFolderButton, &QPushButton::clicked, this, [open] { open({}); });
}

void TForm1::BuildMenus() {
  // The first key is the one the menu shows; the others are the desktop's usual ones.
  auto add = [this](QMenu* menu, const char* name, const QString& text,
                    const QList<QKeySequence>& keys, void (TForm1::*handler)()) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    connect(a, &QAction::triggered, this,
            [this, handler] { Guard([=, this] { (this->*handler)(); }); });
    return a;
  };
  const auto ctrl = [](Qt::Key k) { return QKeySequence(Qt::CTRL | k); };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  idleActions_ << add(file, "SelectFiles1", QStringLiteral("&Select Files ..."), {Qt::Key_F3},
                      &TForm1::SelectImageBtnClick);
  idleActions_ << add(file, "AddFiles1", QStringLiteral("&Add Files..."),
                      {ctrl(Qt::Key_A), QKeySequence::Open}, &TForm1::AddFileButtonClick);
  file->addSeparator();
  idleActions_ << add(file, "BuildCatalog1", QStringLiteral("&Build Catalog"), {ctrl(Qt::Key_B)},
                      &TForm1::BuildBtnClick);
  idleActions_ << add(file, "RebuildAll1", QStringLiteral("&Rebuild All"), {},
                      &TForm1::RebuildAll1Click);
  file->addSeparator();
  add(file, "Quit1", QStringLiteral("&Quit"), {ctrl(Qt::Key_X), QKeySequence::Quit},
      &TForm1::CloseButtonClick);

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  options->setObjectName(QStringLiteral("Options1"));
  add(options, "OptionsSavesettings1", QStringLiteral("&Save Settings"), {ctrl(Qt::Key_S)},
      &TForm1::OptionsSavesettings1Click);
  add(options, "OptionsSavesettings2", QStringLiteral("Save Settings &As..."),
      {QKeySequence::SaveAs}, &TForm1::OptionsSavesettings2Click);
  options->addSeparator();
  idleActions_ << add(options, "OptionsLoadSettings1", QStringLiteral("&Load Settings..."),
                      {ctrl(Qt::Key_L)}, &TForm1::OptionsLoadSettings1Click);
  options->addSeparator();
  saveOnExitAction_ =
      add(options, "OptionsSaveSettingsOnExit1", QStringLiteral("Save Settings On &Exit"), {},
          &TForm1::OptionsSaveSettingsOnExit1Click);
  saveOnExitAction_->setCheckable(true);
  saveOnExitAction_->setChecked(true);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  add(help, "HelpContents1", QStringLiteral("&Contents"), {Qt::Key_F1},
      &TForm1::HelpContents1Click);
  help->addSeparator();
  add(help, "GotoHomePage1", QStringLiteral("&Go To Home Page"), {Qt::Key_F10},
      &TForm1::GotoHomePage1Click);
  add(help, "About1", QStringLiteral("&About"), {Qt::Key_F12}, &TForm1::AboutBtnClick);
}

}  // namespace folivant
