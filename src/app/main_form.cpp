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
#include "settings/settings.h"

namespace folivant {

namespace {

template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  return Named(new QPushButton(text, parent), name);
}

QLineEdit* Edit(const char* name, const QString& text, QWidget* parent) {
  return Named(new QLineEdit(text, parent), name);
}

// A label whose access key (Alt and its underlined letter) moves the focus to buddy.
QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

// "Name" label before a field with a spinner after it.
QWidget* SpinField(QLineEdit* edit, TUpDown* updown, QWidget* parent) {
  auto* w = new QWidget(parent);
  auto* h = new QHBoxLayout(w);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(1);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
  h->addWidget(edit);
  h->addWidget(updown);
  h->addStretch();
  return w;
}

}  // namespace

TForm1::TForm1(TEnv env, QWidget* parent)
    : QMainWindow(parent), env_(std::move(env)), dialogs_(*env_.Dialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  runner_ = std::make_unique<TBuildRunner>();
  connect(runner_.get(), &TBuildRunner::ProgressChanged, this, &TForm1::FlushProgress);
  connect(runner_.get(), &TBuildRunner::Finished, this, &TForm1::BuildFinished);
  previewLoader_ = new TPreviewLoader(this);
  connect(previewLoader_, &TPreviewLoader::Ready, this, &TForm1::ShowPicturePreview);
  BuildUi();
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

TForm1::~TForm1() {
  if (buildActive_) {
    // Destroyed without closing (the program is ending): stop the build first.
    runner_->Cancel();
    runner_->Wait();
    buildActive_ = false;
    QApplication::restoreOverrideCursor();
  }
}

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
  PageControl1 = Named(new QTabWidget(this), "PageControl1");
  // Every tab header stays in sight: the window grows to show them all.
  PageControl1->setUsesScrollButtons(false);
  PageControl1->tabBar()->setElideMode(Qt::ElideNone);
  PageControl1->addTab(BuildFilesTab(), QStringLiteral("Select Files"));
  PageControl1->addTab(BuildGeneralTab(), QStringLiteral("General Options"));
  PageControl1->addTab(BuildTableTab(), QStringLiteral("Table Options"));
  PageControl1->addTab(BuildImageTab(), QStringLiteral("Image Options"));
  PageControl1->addTab(BuildHeaderTab(), QStringLiteral("Header/Footer"));
  PageControl1->addTab(BuildBuildTab(), QStringLiteral("Build"));
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (index == 1) Guard([this] { TabSheet2Enter(); });
    if (index == 2) Guard([this] { TabSheet3Enter(); });
  });

  auto* central = new QWidget(this);
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(4, 4, 4, 0);
  v->addWidget(PageControl1);
  setCentralWidget(central);

  auto* bar = Named(new QStatusBar(this), "StatusBar1");
  StatusPanel = Named(new QLabel(QStringLiteral("Ready."), bar), "StatusPanel");
  StatusPanel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // never widens
  bar->addWidget(StatusPanel, 1);
  setStatusBar(bar);
}

QWidget* TForm1::BottomRow(int tab, QPushButton* next) {
  auto* row = new QWidget;
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->addStretch();
  auto* link = new THyperlinkLabel(HomePage(), HomePage(), row);
  link->setObjectName(QStringLiteral("HomeLink%1").arg(tab));
  connect(link, &THyperlinkLabel::Open, this,
          [this](const QString& url) { dialogs_.OpenUrl(QUrl(url)); });
  h->addWidget(link);
  h->addStretch();
  h->addWidget(next);
  return row;
}

QWidget* TForm1::BuildFilesTab() {
  auto* page = Named(new QWidget, "TabSheet1");
  auto* group = Named(new QGroupBox(QStringLiteral("File List"), page), "GroupBox1");
  auto* list = Named(new TDropList(group), "ListBox1");
  ListBox1 = list;
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(list, &TDropList::Dropped, this, [this](const QStringList& paths, int notLocal) {
    Guard([&] { DropFiles(paths, notLocal); });
  });
  connect(ListBox1, &QListWidget::itemSelectionChanged, this, &TForm1::RequestPicturePreview);
  auto* del = Named(new QAction(QStringLiteral("Remove"), ListBox1), "DeleteKey");
  del->setShortcut(QKeySequence::Delete);
  del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(del, &QAction::triggered, this, [this] { Guard([this] { DelPicButtonClick(); }); });
  ListBox1->addAction(del);

  auto* buttons = new QVBoxLayout;
  struct B {
    const char* name;
    const char* text;
    void (TForm1::*handler)();
  };
  const B defs[] = {
      {"SelectImageBtn", "&Select...", &TForm1::SelectImageBtnClick},
      {"AddFileButton", "&Add ...", &TForm1::AddFileButtonClick},
      {"MoveUpButton", "Move &up", &TForm1::MoveUpButtonClick},
      {"MoveDownButton", "Move &down", &TForm1::MoveDownButtonClick},
      {"SortButton", "Sor&t List", &TForm1::SortButtonClick},
      {"DelPicButton", "&Remove", &TForm1::DelPicButtonClick},
      {"RemoveAllButton", "Remove A&ll", &TForm1::RemoveAllButtonClick},
  };
  for (const B& d : defs) {
    QPushButton* b = Button(d.name, QString::fromLatin1(d.text), group);
    auto handler = d.handler;
    connect(b, &QPushButton::clicked, this,
            [this, handler] { Guard([=, this] { (this->*handler)(); }); });
    buttons->addWidget(b);
    idleWidgets_ << b;
  }
  buttons->addStretch();
  auto* gl = new QHBoxLayout(group);
  gl->addWidget(ListBox1, 1);
  gl->addLayout(buttons);

  auto* previewGroup = Named(new QGroupBox(QStringLiteral("Preview"), page), "GroupBoxPreview");
  PreviewImage = Named(new QLabel(previewGroup), "PreviewImage");
  PreviewImage->setFrameShape(QFrame::StyledPanel);
  PreviewImage->setFixedSize(kPreviewBox + QSize(4, 4));
  PreviewImage->setAlignment(Qt::AlignCenter);
  PreviewImage->setWordWrap(true);
  PreviewCaption = Named(new QLabel(previewGroup), "PreviewCaption");
  PreviewCaption->setFixedWidth(kPreviewBox.width());
  PreviewCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  PreviewCaption->setWordWrap(true);
  auto* pv = new QVBoxLayout(previewGroup);
  pv->addWidget(PreviewImage);
  pv->addWidget(PreviewCaption);
  pv->addStretch();

  Label11 = Named(new QLabel(QStringLiteral("Items count"), page), "Label11");
  auto* next = Button("NextButton1", QStringLiteral("&Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton1Click(); }); });

  auto* top = new QHBoxLayout;
  top->addWidget(group, 1);
  top->addWidget(previewGroup);
  auto* v = new QVBoxLayout(page);
  v->addLayout(top, 1);
  v->addWidget(Label11);
  v->addWidget(BottomRow(1, next));
  return page;
}

QWidget* TForm1::BuildGeneralTab() {
  auto* page = Named(new QWidget, "TabSheet2");
  auto* group = Named(new QGroupBox(QStringLiteral("Options"), page), "GroupBox2");
  EditTarget = Edit("EditTarget", {}, group);
  auto* targetBtn = Button("TargetBtn", QStringLiteral("&Select"), group);
  EditBack = Edit("EditBack", {}, group);
  auto* pageBtn = Button("PageBtn", QStringLiteral("S&elect"), group);
  IndexTitle = Edit("IndexTitle", {}, group);
  MetaTagEdit = Edit("MetaTagEdit", {}, group);
  connect(targetBtn, &QPushButton::clicked, this, [this] { Guard([this] { TargetBtnClick(); }); });
  connect(pageBtn, &QPushButton::clicked, this, [this] { Guard([this] { PageBtnClick(); }); });
  connect(EditBack, &QLineEdit::textChanged, this, [this] { Guard([this] { EditBackChange(); }); });

  auto* grid = new QGridLayout;
  grid->addWidget(Caption(QStringLiteral("&Target Directory:"), EditTarget, group), 0, 0);
  grid->addWidget(EditTarget, 0, 1);
  grid->addWidget(targetBtn, 0, 2);
  grid->addWidget(Caption(QStringLiteral("&Background Image"), EditBack, group), 1, 0);
  grid->addWidget(EditBack, 1, 1);
  grid->addWidget(pageBtn, 1, 2);
  grid->addWidget(Caption(QStringLiteral("&Content Title:"), IndexTitle, group), 2, 0);
  grid->addWidget(IndexTitle, 2, 1, 1, 2);
  grid->addWidget(Caption(QStringLiteral("Add &META tag(s):"), MetaTagEdit, group), 3, 0);
  grid->addWidget(MetaTagEdit, 3, 1, 1, 2);

  // Colours: four pickers beside a preview panel.
  auto* colors = Named(new QGroupBox(QStringLiteral("Color Options"), group), "GroupBox3");
  const char* pickerNames[4] = {"BackColorPickerButton", "LinkColorPickerButton",
                                "ALinkColorPickerButton", "VLinkColorPickerButton"};
  const char* rowNames[4] = {"Bac&kground", "&Link", "&Active Link", "&Visited Link"};
  const SettingsRecord defaults;
  auto* cg = new QGridLayout(colors);
  cg->setVerticalSpacing(2);
  for (int i = 0; i < 4; ++i) {
    auto* p = Named(new TColorPickerButton(defaults.Colors[static_cast<std::size_t>(i)], colors),
                    pickerNames[i]);
    p->SetAskColor([this](const QColor& initial) { return dialogs_.Color(this, initial); });
    connect(p, &TColorPickerButton::Changed, this,
            [this, i] { Guard([this, i] { ColorChanged(i); }); });
    pickers_[static_cast<std::size_t>(i)] = p;
    cg->addWidget(Caption(QString::fromLatin1(rowNames[i]), p, colors), i, 0);
    cg->addWidget(p, i, 1);
  }
  Panel2 = Named(new QWidget(colors), "Panel2");
  Panel2->setAutoFillBackground(true);
  auto* pv = new QVBoxLayout(Panel2);
  pv->setSpacing(1);
  BackgroundLabel = Named(new QLabel(QStringLiteral("Background"), Panel2), "BackgroundLabel");
  LinkLabel = Named(new QLabel(QStringLiteral("Link"), Panel2), "LinkLabel");
  ActiveLinkLabel = Named(new QLabel(QStringLiteral("Active Link"), Panel2), "ActiveLinkLabel");
  VisitedLinkLabel = Named(new QLabel(QStringLiteral("Visited Link"), Panel2), "VisitedLinkLabel");
  for (QLabel* l : {BackgroundLabel, LinkLabel, ActiveLinkLabel, VisitedLinkLabel})
    pv->addWidget(l);
  cg->addWidget(Panel2, 0, 2, 4, 1);

  auto* captions = Named(new QGroupBox(QStringLiteral("Captions"), group), "GroupBox4");
  PageEdit = Edit("PageEdit", {}, captions);
  CatalogEdit = Edit("CatalogEdit", {}, captions);
  PreviousEdit = Edit("PreviousEdit", {}, captions);
  NextEdit = Edit("NextEdit", {}, captions);
  auto* cf = new QGridLayout(captions);
  cf->setVerticalSpacing(2);
  cf->addWidget(Caption(QStringLiteral("&Page"), PageEdit, captions), 0, 0);
  cf->addWidget(PageEdit, 0, 1);
  cf->addWidget(Caption(QStringLiteral("Catalo&g"), CatalogEdit, captions), 1, 0);
  cf->addWidget(CatalogEdit, 1, 1);
  cf->addWidget(Caption(QStringLiteral("P&revious"), PreviousEdit, captions), 2, 0);
  cf->addWidget(PreviousEdit, 2, 1);
  cf->addWidget(Caption(QStringLiteral("Ne&xt"), NextEdit, captions), 3, 0);
  cf->addWidget(NextEdit, 3, 1);

  auto* lower = new QHBoxLayout;
  lower->addWidget(colors, 3);
  lower->addWidget(captions, 2);
  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addLayout(lower);

  auto* next = Button("NextButton2", QStringLiteral("&Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton2Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(2, next));
  return page;
}

QWidget* TForm1::BuildTableTab() {
  auto* page = Named(new QWidget, "TabSheet3");
  auto* group = Named(new QGroupBox(QStringLiteral("Table Options"), page), "GroupBox5");
  TableRows = Edit("TableRows", {}, group);
  TableCols = Edit("TableCols", {}, group);
  UpDown1 = Named(OptionSpinner(TableRows, "TableRows", group), "UpDown1");
  UpDown2 = Named(OptionSpinner(TableCols, "TableCols", group), "UpDown2");
  Panel1 = Named(new QLabel(group), "Panel1");
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setAlignment(Qt::AlignCenter);
  Panel1->setAutoFillBackground(true);
  {
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    pal.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(pal);
  }
  Panel1->setMinimumWidth(
      Panel1->fontMetrics().horizontalAdvance(QStringLiteral("Items: 00000   Pages: 00000")) + 16);
  connect(TableRows, &QLineEdit::textChanged, this,
          [this] { Guard([this] { TabSheet3Enter(); }); });
  connect(TableCols, &QLineEdit::textChanged, this,
          [this] { Guard([this] { TabSheet3Enter(); }); });

  TableBorderEdit = Edit("TableBorderEdit", {}, group);
  TableCellPadEdit = Edit("TableCellPadEdit", {}, group);
  TableCellSpaceEdit = Edit("TableCellSpaceEdit", {}, group);
  UpDown6 = Named(OptionSpinner(TableBorderEdit, "Border", group), "UpDown6");
  UpDown7 = Named(OptionSpinner(TableCellPadEdit, "Cellpadding", group), "UpDown7");
  UpDown8 = Named(OptionSpinner(TableCellSpaceEdit, "Cellspacing", group), "UpDown8");

  auto* grid = new QGridLayout;
  grid->addWidget(Caption(QStringLiteral("&Rows:"), TableRows, group), 0, 0);
  grid->addWidget(SpinField(TableRows, UpDown1, group), 0, 1);
  grid->addWidget(Caption(QStringLiteral("&Columns:"), TableCols, group), 1, 0);
  grid->addWidget(SpinField(TableCols, UpDown2, group), 1, 1);
  grid->addWidget(Panel1, 0, 2, 2, 1);
  grid->addWidget(Caption(QStringLiteral("&Border:"), TableBorderEdit, group), 2, 0);
  grid->addWidget(SpinField(TableBorderEdit, UpDown6, group), 2, 1);
  grid->addWidget(Caption(QStringLiteral("Cell &Padding:"), TableCellPadEdit, group), 3, 0);
  grid->addWidget(SpinField(TableCellPadEdit, UpDown7, group), 3, 1);
  grid->addWidget(Caption(QStringLiteral("Cell &Spacing:"), TableCellSpaceEdit, group), 4, 0);
  grid->addWidget(SpinField(TableCellSpaceEdit, UpDown8, group), 4, 1);
  grid->setColumnStretch(3, 1);

  auto* align = Named(new QGroupBox(QStringLiteral("Table Alignment"), group), "RadioGroup1");
  alignGroup_ = new QButtonGroup(align);
  auto* ah = new QHBoxLayout(align);
  const char* alignNames[4] = {"Left", "Center", "Right", "Default"};
  const char* alignCaptions[4] = {"&Left", "C&enter", "R&ight", "&Default"};
  for (int i = 0; i < 4; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(alignCaptions[i]), align);
    r->setObjectName(QStringLiteral("RadioGroup1_%1").arg(QString::fromLatin1(alignNames[i])));
    alignGroup_->addButton(r, i);
    ah->addWidget(r);
  }
  alignGroup_->button(3)->setChecked(true);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(align);
  gv->addStretch();

  auto* next = Button("NextButton3", QStringLiteral("&Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton3Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(3, next));
  return page;
}

QWidget* TForm1::BuildImageTab() {
  auto* page = Named(new QWidget, "TabSheet4");
  auto* group = Named(new QGroupBox(QStringLiteral("Thumbnail Parameters"), page), "GroupBox6");
  thrButton = Named(new QRadioButton(QStringLiteral("Hei&ght (pixels)"), group), "thrButton");
  twrButton = Named(new QRadioButton(QStringLiteral("&Width (pixels)"), group), "twrButton");
  thrButton->setChecked(true);
  thumbHeight = Edit("thumbHeight", {}, group);
  thumbWidth = Edit("thumbWidth", {}, group);
  JPEGQual = Edit("JPEGQual", {}, group);
  for (QLineEdit* e : {thumbHeight, thumbWidth, JPEGQual}) e->setReadOnly(true);
  UpDown3 = Named(OptionSpinner(thumbHeight, "ThumbHeight", group), "UpDown3");
  UpDown4 = Named(OptionSpinner(thumbWidth, "ThumbWidth", group), "UpDown4");
  UpDown5 = Named(OptionSpinner(JPEGQual, "JPEGQuality", group), "UpDown5");
  thumbWidth->setEnabled(false);
  connect(thrButton, &QRadioButton::clicked, this, [this] { Guard([this] { thrButtonClick(); }); });
  connect(twrButton, &QRadioButton::clicked, this, [this] { Guard([this] { twrButtonClick(); }); });
  connect(JPEGQual, &QLineEdit::textChanged, this, [this] { Guard([this] { JPEGQualChange(); }); });

  ProgrCheckBox = Named(new QCheckBox(QStringLiteral("&Progressive JPEG"), group), "ProgrCheckBox");
  FilterComboBox = Named(new QComboBox(group), "FilterComboBox");
  FilterComboBox->addItems({QStringLiteral("None"), QStringLiteral("Triangle"),
                            QStringLiteral("Hermite"), QStringLiteral("Bell"),
                            QStringLiteral("BSpline"), QStringLiteral("Lanczos3"),
                            QStringLiteral("Mitchell")});
  JavaProtect =
      Named(new QCheckBox(
                QStringLiteral("P&rotect Images From Right Mouse Clicking (IE and Netscape only)"),
                group),
            "JavaProtect");
  connect(JavaProtect, &QCheckBox::toggled, this,
          [this] { Guard([this] { JavaProtectClick(); }); });
  AlertEdit = Edit("AlertEdit", {}, group);
  JavaOpen =
      Named(new QCheckBox(QStringLiteral("Open Images In New Window &Using JavaScript"), group),
            "JavaOpen");
  AutoRotateCheck =
      Named(new QCheckBox(QStringLiteral("Turn pictures upright (&EXIF orientation)"), group),
            "AutoRotateCheck");

  auto* grid = new QGridLayout;
  grid->addWidget(thrButton, 0, 0);
  grid->addWidget(SpinField(thumbHeight, UpDown3, group), 0, 1);
  grid->addWidget(twrButton, 1, 0);
  grid->addWidget(SpinField(thumbWidth, UpDown4, group), 1, 1);
  grid->addWidget(Caption(QStringLiteral("&JPEG quality (%)"), JPEGQual, group), 0, 2);
  grid->addWidget(SpinField(JPEGQual, UpDown5, group), 0, 3);
  grid->addWidget(ProgrCheckBox, 1, 2, 1, 2);
  grid->addWidget(Caption(QStringLiteral("Resampling Fil&ter"), FilterComboBox, group), 2, 0);
  grid->addWidget(FilterComboBox, 2, 1, 1, 2, Qt::AlignLeft);
  grid->setColumnStretch(4, 1);

  auto* alert = new QHBoxLayout;
  alert->addWidget(Caption(QStringLiteral("Right &Click Text:"), AlertEdit, group));
  alert->addWidget(AlertEdit, 1);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(JavaProtect);
  gv->addLayout(alert);
  gv->addWidget(JavaOpen);
  gv->addWidget(AutoRotateCheck);
  gv->addStretch();

  auto* next = Button("NextButton4", QStringLiteral("&Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton4Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(4, next));
  return page;
}

QWidget* TForm1::BuildHeaderTab() {
  auto* page = Named(new QWidget, "TabSheet5");
  auto* group = Named(new QGroupBox(QStringLiteral("Header/Footer"), page), "GroupBox7");
  HeaderMemo = Named(new QPlainTextEdit(group), "HeaderMemo");
  FooterMemo = Named(new QPlainTextEdit(group), "FooterMemo");
  for (QPlainTextEdit* m : {HeaderMemo, FooterMemo}) {
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // They take the room the other tabs leave rather than asking for more.
    m->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    m->setMinimumHeight(m->fontMetrics().lineSpacing() * 4);
  }
  auto* gv = new QVBoxLayout(group);
  gv->addWidget(
      Caption(QStringLiteral("Hea&der (insert only HTML code below)"), HeaderMemo, group));
  gv->addWidget(HeaderMemo, 1);
  gv->addWidget(
      Caption(QStringLiteral("Foo&ter (insert only HTML code below)"), FooterMemo, group));
  gv->addWidget(FooterMemo, 1);

  auto* next = Button("NextButton5", QStringLiteral("&Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton5Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(5, next));
  return page;
}

QWidget* TForm1::BuildBuildTab() {
  auto* page = Named(new QWidget, "TabSheet6");
  auto* group = Named(new QGroupBox(QStringLiteral("Actions"), page), "GroupBox8");
  CurrentProgress = Named(new TGradientProgressBar(group), "CurrentProgress");
  ProgressBar1 = Named(new TGradientProgressBar(group), "ProgressBar1");
  PreviewCheckBox =
      Named(new QCheckBox(QStringLiteral("&Show in browser after completition"), group),
            "PreviewCheckBox");
  PreviewCheckBox->setChecked(true);
  auto* quit = Button("CloseButton", QStringLiteral("&Quit"), group);
  auto* about = Button("AboutBtn", QStringLiteral("&About"), group);
  CancelButton = Button("CancelButton", QStringLiteral("&Cancel"), group);
  BuildBtn = Button("BuildBtn", QStringLiteral("&Build"), group);
  idleWidgets_ << BuildBtn;
  connect(quit, &QPushButton::clicked, this, [this] { Guard([this] { CloseButtonClick(); }); });
  connect(about, &QPushButton::clicked, this, [this] { Guard([this] { AboutBtnClick(); }); });
  connect(CancelButton, &QPushButton::clicked, this,
          [this] { Guard([this] { CancelButtonClick(); }); });
  connect(BuildBtn, &QPushButton::clicked, this, [this] { Guard([this] { BuildBtnClick(); }); });

  // How the latest build ended, and the way to what it made.
  BuildSummaryLabel = Named(new QLabel(group), "BuildSummary");
  BuildSummaryLabel->setWordWrap(true);
  BuildSummaryLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  OpenCatalogBtn = Button("OpenCatalogBtn", QStringLiteral("Open Ca&talog"), group);
  OpenFolderBtn = Button("OpenFolderBtn", QStringLiteral("Open Fol&der"), group);
  for (QPushButton* b : {OpenCatalogBtn, OpenFolderBtn}) b->hide();
  const auto open = [this](const QString& name) {
    const QString dir = ResolvedTarget();
    dialogs_.OpenUrl(QUrl::fromLocalFile(name.isEmpty() ? dir : QDir(dir).filePath(name)));
  };
  connect(OpenCatalogBtn, &QPushButton::clicked, this,
          [open] { open(QStringLiteral("page1.html")); });
  connect(OpenFolderBtn, &QPushButton::clicked, this, [open] { open({}); });
  auto* done = new QHBoxLayout;
  done->addWidget(BuildSummaryLabel, 1);
  done->addWidget(OpenCatalogBtn);
  done->addWidget(OpenFolderBtn);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(quit);
  buttons->addWidget(about);
  buttons->addStretch();
  buttons->addWidget(CancelButton);
  buttons->addWidget(BuildBtn);

  auto* gv = new QVBoxLayout(group);
  gv->addWidget(new QLabel(QStringLiteral("Current file progress"), group));
  gv->addWidget(CurrentProgress);
  gv->addWidget(new QLabel(QStringLiteral("Overall progress"), group));
  gv->addWidget(ProgressBar1);
  gv->addWidget(PreviewCheckBox);
  gv->addLayout(done);
  gv->addStretch();
  gv->addLayout(buttons);

  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  return page;
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
  BuildCatalog1 = add(file, "BuildCatalog1", QStringLiteral("&Build Catalog"), {ctrl(Qt::Key_B)},
                      &TForm1::BuildBtnClick);
  QAction* rebuildAll =
      add(file, "RebuildAll1", QStringLiteral("&Rebuild All"), {}, &TForm1::RebuildAll1Click);
  idleActions_ << BuildCatalog1 << rebuildAll;
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
  OptionsSaveSettingsOnExit1 =
      add(options, "OptionsSaveSettingsOnExit1", QStringLiteral("Save Settings On &Exit"), {},
          &TForm1::OptionsSaveSettingsOnExit1Click);
  OptionsSaveSettingsOnExit1->setCheckable(true);
  OptionsSaveSettingsOnExit1->setChecked(true);

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
