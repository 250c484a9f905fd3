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

const QString kPictureFilter = QStringLiteral(
    "Image Files|*.jpg; *.jpeg; *.gif; *.png; *.webp; *.heic; *.heif; *.avif; *.tif; *.tiff|"
    "JPG Files|*.jpg; *.jpeg|GIF Files|*.gif|PNG Files|*.png|WebP Files|*.webp|"
    "HEIF Files|*.heic; *.heif; *.avif|TIFF Files|*.tif; *.tiff");
// Page backgrounds must be pictures browsers show.
const QString kBackgroundFilter = QStringLiteral(
    "Image Files|*.jpg; *.jpeg; *.gif; *.png|JPG Files|*.jpg; *.jpeg|GIF Files|*.gif|"
    "PNG Files|*.png");
const QString kIniFilter = QStringLiteral("INI Files|*.ini");
const QString kBusyText = QStringLiteral("Not possible while a catalog is being built.");
// The picture preview's box: small enough that the window still fits a 1366 x 768 screen.
constexpr QSize kPreviewBox(224, 168);

std::string S(const QString& s) {
  return s.toStdString();
}
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

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

TForm1::TForm1(TEnv env, QWidget* parent)
    : QMainWindow(parent), env_(std::move(env)), dialogs_(*env_.Dialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  runner_ = std::make_unique<TBuildRunner>();
  connect(runner_.get(), &TBuildRunner::ProgressChanged, this, &TForm1::FlushProgress);
  connect(runner_.get(), &TBuildRunner::Finished, this, &TForm1::BuildFinished);
  previewLoader_ = new TPreviewLoader(this);
  connect(previewLoader_, &TPreviewLoader::Ready, this, &TForm1::ShowPicturePreview);
  BuildUi();
  BuildMenus();
  about_ = new TfrmAbout(dialogs_, this);
  about_->hide();
  FormCreate();

  // The layout was drawn for a small bitmap font; with the desktop's font the window takes
  // the size its controls need, and never less than the original client area.
  centralWidget()->layout()->activate();
  const QSize need = sizeHint();
  const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
  setFixedSize(need.expandedTo(QSize(487, 341 + chrome)));
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
  QApplication::setApplicationName(AppTitle());
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
  bar->addWidget(StatusPanel, 1);
  bar->setSizeGripEnabled(false);
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

  auto* buttons = new QVBoxLayout;
  struct B {
    const char* name;
    const char* text;
    void (TForm1::*handler)();
  };
  const B defs[] = {
      {"SelectImageBtn", "Select...", &TForm1::SelectImageBtnClick},
      {"AddFileButton", "Add ...", &TForm1::AddFileButtonClick},
      {"MoveUpButton", "Move up", &TForm1::MoveUpButtonClick},
      {"MoveDownButton", "Move down", &TForm1::MoveDownButtonClick},
      {"SortButton", "Sort List", &TForm1::SortButtonClick},
      {"DelPicButton", "Remove", &TForm1::DelPicButtonClick},
      {"RemoveAllButton", "Remove All", &TForm1::RemoveAllButtonClick},
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
  auto* next = Button("NextButton1", QStringLiteral("Next"), page);
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
  auto* targetBtn = Button("TargetBtn", QStringLiteral("Select"), group);
  EditBack = Edit("EditBack", {}, group);
  auto* pageBtn = Button("PageBtn", QStringLiteral("Select"), group);
  IndexTitle = Edit("IndexTitle", QStringLiteral("Image Catalog"), group);
  MetaTagEdit = Edit("MetaTagEdit", {}, group);
  connect(targetBtn, &QPushButton::clicked, this, [this] { Guard([this] { TargetBtnClick(); }); });
  connect(pageBtn, &QPushButton::clicked, this, [this] { Guard([this] { PageBtnClick(); }); });
  connect(EditBack, &QLineEdit::textChanged, this, [this] { Guard([this] { EditBackChange(); }); });

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Target Directory:"), group), 0, 0);
  grid->addWidget(EditTarget, 0, 1);
  grid->addWidget(targetBtn, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Background Image"), group), 1, 0);
  grid->addWidget(EditBack, 1, 1);
  grid->addWidget(pageBtn, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Content Title:"), group), 2, 0);
  grid->addWidget(IndexTitle, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Add META tag(s):"), group), 3, 0);
  grid->addWidget(MetaTagEdit, 3, 1, 1, 2);

  // Colours: four pickers beside a preview panel.
  auto* colors = Named(new QGroupBox(QStringLiteral("Color Options"), group), "GroupBox3");
  const char* pickerNames[4] = {"BackColorPickerButton", "LinkColorPickerButton",
                                "ALinkColorPickerButton", "VLinkColorPickerButton"};
  const char* rowNames[4] = {"Background", "Link", "Active Link", "Visited Link"};
  const TColorValue defaults[4] = {0xFFFFFF, 0x990000, 0x990000, 0x800080};
  auto* cg = new QGridLayout(colors);
  cg->setVerticalSpacing(2);
  for (int i = 0; i < 4; ++i) {
    auto* p = Named(new TColorPickerButton(defaults[i], colors), pickerNames[i]);
    p->SetAskColor([this](const QColor& initial) { return dialogs_.Color(this, initial); });
    connect(p, &TColorPickerButton::Changed, this,
            [this, i] { Guard([this, i] { ColorChanged(i); }); });
    pickers_[static_cast<std::size_t>(i)] = p;
    cg->addWidget(new QLabel(QString::fromLatin1(rowNames[i]), colors), i, 0);
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
  PageEdit = Edit("PageEdit", QStringLiteral("Page"), captions);
  CatalogEdit = Edit("CatalogEdit", QStringLiteral("Catalog"), captions);
  PreviousEdit = Edit("PreviousEdit", QStringLiteral("Previous"), captions);
  NextEdit = Edit("NextEdit", QStringLiteral("Next"), captions);
  auto* cf = new QGridLayout(captions);
  cf->setVerticalSpacing(2);
  cf->addWidget(new QLabel(QStringLiteral("Page"), captions), 0, 0);
  cf->addWidget(PageEdit, 0, 1);
  cf->addWidget(new QLabel(QStringLiteral("Catalog"), captions), 1, 0);
  cf->addWidget(CatalogEdit, 1, 1);
  cf->addWidget(new QLabel(QStringLiteral("Previous"), captions), 2, 0);
  cf->addWidget(PreviousEdit, 2, 1);
  cf->addWidget(new QLabel(QStringLiteral("Next"), captions), 3, 0);
  cf->addWidget(NextEdit, 3, 1);

  auto* lower = new QHBoxLayout;
  lower->addWidget(colors, 3);
  lower->addWidget(captions, 2);
  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addLayout(lower);

  auto* next = Button("NextButton2", QStringLiteral("Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton2Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(2, next));
  return page;
}

QWidget* TForm1::BuildTableTab() {
  auto* page = Named(new QWidget, "TabSheet3");
  auto* group = Named(new QGroupBox(QStringLiteral("Table Options"), page), "GroupBox5");
  TableRows = Edit("TableRows", QStringLiteral("4"), group);
  TableCols = Edit("TableCols", QStringLiteral("4"), group);
  UpDown1 = Named(new TUpDown(TableRows, OptionLimits::kMinRows, OptionLimits::kMaxRows, 4, group),
                  "UpDown1");
  UpDown2 = Named(new TUpDown(TableCols, OptionLimits::kMinCols, OptionLimits::kMaxCols, 4, group),
                  "UpDown2");
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

  TableBorderEdit = Edit("TableBorderEdit", QStringLiteral("1"), group);
  TableCellPadEdit = Edit("TableCellPadEdit", QStringLiteral("2"), group);
  TableCellSpaceEdit = Edit("TableCellSpaceEdit", QStringLiteral("0"), group);
  UpDown6 = Named(
      new TUpDown(TableBorderEdit, OptionLimits::kMinBorder, OptionLimits::kMaxBorder, 1, group),
      "UpDown6");
  UpDown7 = Named(new TUpDown(TableCellPadEdit, OptionLimits::kMinCellpadding,
                              OptionLimits::kMaxCellpadding, 2, group),
                  "UpDown7");
  UpDown8 = Named(new TUpDown(TableCellSpaceEdit, OptionLimits::kMinCellspacing,
                              OptionLimits::kMaxCellspacing, 0, group),
                  "UpDown8");

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Rows:"), group), 0, 0);
  grid->addWidget(SpinField(TableRows, UpDown1, group), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Columns:"), group), 1, 0);
  grid->addWidget(SpinField(TableCols, UpDown2, group), 1, 1);
  grid->addWidget(Panel1, 0, 2, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Border:"), group), 2, 0);
  grid->addWidget(SpinField(TableBorderEdit, UpDown6, group), 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("Cell Padding:"), group), 3, 0);
  grid->addWidget(SpinField(TableCellPadEdit, UpDown7, group), 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Cell Spacing:"), group), 4, 0);
  grid->addWidget(SpinField(TableCellSpaceEdit, UpDown8, group), 4, 1);
  grid->setColumnStretch(3, 1);

  auto* align = Named(new QGroupBox(QStringLiteral("Table Alignment"), group), "RadioGroup1");
  alignGroup_ = new QButtonGroup(align);
  auto* ah = new QHBoxLayout(align);
  const char* alignNames[4] = {"Left", "Center", "Right", "Default"};
  for (int i = 0; i < 4; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(alignNames[i]), align);
    r->setObjectName(QStringLiteral("RadioGroup1_%1").arg(QString::fromLatin1(alignNames[i])));
    alignGroup_->addButton(r, i);
    ah->addWidget(r);
  }
  alignGroup_->button(3)->setChecked(true);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(align);
  gv->addStretch();

  auto* next = Button("NextButton3", QStringLiteral("Next"), page);
  connect(next, &QPushButton::clicked, this, [this] { Guard([this] { NextButton3Click(); }); });
  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  v->addWidget(BottomRow(3, next));
  return page;
}

QWidget* TForm1::BuildImageTab() {
  auto* page = Named(new QWidget, "TabSheet4");
  auto* group = Named(new QGroupBox(QStringLiteral("Thumbnail Parameters"), page), "GroupBox6");
  thrButton = Named(new QRadioButton(QStringLiteral("Height (pixels)"), group), "thrButton");
  twrButton = Named(new QRadioButton(QStringLiteral("Width (pixels)"), group), "twrButton");
  thrButton->setChecked(true);
  thumbHeight = Edit("thumbHeight", QStringLiteral("96"), group);
  thumbWidth = Edit("thumbWidth", QStringLiteral("70"), group);
  JPEGQual = Edit("JPEGQual", QStringLiteral("75"), group);
  for (QLineEdit* e : {thumbHeight, thumbWidth, JPEGQual}) e->setReadOnly(true);
  UpDown3 =
      Named(new TUpDown(thumbHeight, OptionLimits::kMinThumb, OptionLimits::kMaxThumb, 96, group),
            "UpDown3");
  UpDown4 =
      Named(new TUpDown(thumbWidth, OptionLimits::kMinThumb, OptionLimits::kMaxThumb, 70, group),
            "UpDown4");
  UpDown5 =
      Named(new TUpDown(JPEGQual, OptionLimits::kMinQuality, OptionLimits::kMaxQuality, 75, group),
            "UpDown5");
  thumbWidth->setEnabled(false);
  connect(thrButton, &QRadioButton::clicked, this, [this] { Guard([this] { thrButtonClick(); }); });
  connect(twrButton, &QRadioButton::clicked, this, [this] { Guard([this] { twrButtonClick(); }); });
  connect(JPEGQual, &QLineEdit::textChanged, this, [this] { Guard([this] { JPEGQualChange(); }); });

  ProgrCheckBox = Named(new QCheckBox(QStringLiteral("Progressive JPEG"), group), "ProgrCheckBox");
  FilterComboBox = Named(new QComboBox(group), "FilterComboBox");
  FilterComboBox->addItems({QStringLiteral("None"), QStringLiteral("Triangle"),
                            QStringLiteral("Hermite"), QStringLiteral("Bell"),
                            QStringLiteral("BSpline"), QStringLiteral("Lanczos3"),
                            QStringLiteral("Mitchell")});
  FilterComboBox->setCurrentIndex(-1);
  JavaProtect = Named(
      new QCheckBox(
          QStringLiteral("Protect Images From Right Mouse Clicking (IE and Netscape only)"), group),
      "JavaProtect");
  connect(JavaProtect, &QCheckBox::toggled, this,
          [this] { Guard([this] { JavaProtectClick(); }); });
  AlertEdit = Edit("AlertEdit", QStringLiteral("Right Mouse Click Disabled!!!"), group);
  JavaOpen =
      Named(new QCheckBox(QStringLiteral("Open Images In New Window Using JavaScript"), group),
            "JavaOpen");
  AutoRotateCheck =
      Named(new QCheckBox(QStringLiteral("Turn pictures upright (EXIF orientation)"), group),
            "AutoRotateCheck");
  AutoRotateCheck->setChecked(true);

  auto* grid = new QGridLayout;
  grid->addWidget(thrButton, 0, 0);
  grid->addWidget(SpinField(thumbHeight, UpDown3, group), 0, 1);
  grid->addWidget(twrButton, 1, 0);
  grid->addWidget(SpinField(thumbWidth, UpDown4, group), 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("JPEG quality (%)"), group), 0, 2);
  grid->addWidget(SpinField(JPEGQual, UpDown5, group), 0, 3);
  grid->addWidget(ProgrCheckBox, 1, 2, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Resampling Filter"), group), 2, 0);
  grid->addWidget(FilterComboBox, 2, 1, 1, 2, Qt::AlignLeft);
  grid->setColumnStretch(4, 1);

  auto* alert = new QHBoxLayout;
  alert->addWidget(new QLabel(QStringLiteral("Right Click Text:"), group));
  alert->addWidget(AlertEdit, 1);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(JavaProtect);
  gv->addLayout(alert);
  gv->addWidget(JavaOpen);
  gv->addWidget(AutoRotateCheck);
  gv->addStretch();

  auto* next = Button("NextButton4", QStringLiteral("Next"), page);
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
  gv->addWidget(new QLabel(QStringLiteral("Header (insert only HTML code below)"), group));
  gv->addWidget(HeaderMemo, 1);
  gv->addWidget(new QLabel(QStringLiteral("Footer (insert only HTML code below)"), group));
  gv->addWidget(FooterMemo, 1);

  auto* next = Button("NextButton5", QStringLiteral("Next"), page);
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
      Named(new QCheckBox(QStringLiteral("Show in browser after completition"), group),
            "PreviewCheckBox");
  PreviewCheckBox->setChecked(true);
  auto* quit = Button("CloseButton", QStringLiteral("Quit"), group);
  auto* about = Button("AboutBtn", QStringLiteral("About"), group);
  CancelButton = Button("CancelButton", QStringLiteral("Cancel"), group);
  BuildBtn = Button("BuildBtn", QStringLiteral("Build"), group);
  idleWidgets_ << BuildBtn;
  connect(quit, &QPushButton::clicked, this, [this] { Guard([this] { CloseButtonClick(); }); });
  connect(about, &QPushButton::clicked, this, [this] { Guard([this] { AboutBtnClick(); }); });
  connect(CancelButton, &QPushButton::clicked, this,
          [this] { Guard([this] { CancelButtonClick(); }); });
  connect(BuildBtn, &QPushButton::clicked, this, [this] { Guard([this] { BuildBtnClick(); }); });

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
  gv->addStretch();
  gv->addLayout(buttons);

  auto* v = new QVBoxLayout(page);
  v->addWidget(group, 1);
  return page;
}

void TForm1::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& key,
                    void (TForm1::*handler)()) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this,
            [this, handler] { Guard([=, this] { (this->*handler)(); }); });
    return a;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1"));
  idleActions_ << add(file, "SelectFiles1", QStringLiteral("Select Files ..."),
                      QKeySequence(Qt::Key_F3), &TForm1::SelectImageBtnClick);
  idleActions_ << add(file, "AddFiles1", QStringLiteral("Add Files..."),
                      QKeySequence(Qt::CTRL | Qt::Key_A), &TForm1::AddFileButtonClick);
  file->addSeparator();
  BuildCatalog1 = add(file, "BuildCatalog1", QStringLiteral("Build Catalog"),
                      QKeySequence(Qt::CTRL | Qt::Key_B), &TForm1::BuildBtnClick);
  QAction* rebuildAll = add(file, "RebuildAll1", QStringLiteral("Rebuild All"), QKeySequence(),
                            &TForm1::RebuildAll1Click);
  idleActions_ << BuildCatalog1 << rebuildAll;
  file->addSeparator();
  add(file, "Quit1", QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_X),
      &TForm1::CloseButtonClick);

  QMenu* options = menuBar()->addMenu(QStringLiteral("Options"));
  options->setObjectName(QStringLiteral("Options1"));
  add(options, "OptionsSavesettings1", QStringLiteral("Save Settings"),
      QKeySequence(Qt::CTRL | Qt::Key_S), &TForm1::OptionsSavesettings1Click);
  add(options, "OptionsSavesettings2", QStringLiteral("Save Settings As..."), QKeySequence(),
      &TForm1::OptionsSavesettings2Click);
  options->addSeparator();
  idleActions_ << add(options, "OptionsLoadSettings1", QStringLiteral("Load Settings..."),
                      QKeySequence(Qt::CTRL | Qt::Key_L), &TForm1::OptionsLoadSettings1Click);
  options->addSeparator();
  OptionsSaveSettingsOnExit1 =
      add(options, "OptionsSaveSettingsOnExit1", QStringLiteral("Save Settings On Exit"),
          QKeySequence(), &TForm1::OptionsSaveSettingsOnExit1Click);
  OptionsSaveSettingsOnExit1->setCheckable(true);
  OptionsSaveSettingsOnExit1->setChecked(true);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1"));
  add(help, "HelpContents1", QStringLiteral("Contents"), QKeySequence(Qt::Key_F1),
      &TForm1::HelpContents1Click);
  help->addSeparator();
  add(help, "GotoHomePage1", QStringLiteral("Go To Home Page"), QKeySequence(Qt::Key_F10),
      &TForm1::GotoHomePage1Click);
  add(help, "About1", QStringLiteral("About"), QKeySequence(Qt::Key_F12), &TForm1::AboutBtnClick);
}

// ---------------------------------------------------------------- life cycle

void TForm1::FormCreate() {
  InstallCodecs();
  setWindowTitle(AppTitle());
  cancelRequested_ = false;
  ProgressBar1->setValue(0);
  FilterComboBox->setCurrentIndex(0);
  QString error;
  try {
    LoadSettings(env_.SettingsPath);
  } catch (const std::exception& e) {
    error = Q(e.what());
  } catch (...) {
    error = QStringLiteral("Unknown error");
  }
  // Told once the window is up, over it, with the file it came from.
  if (!error.isEmpty())
    startupError_ =
        error +
        QStringLiteral("\nSettings file: %1").arg(QDir::toNativeSeparators(env_.SettingsPath));
  AlertEdit->setEnabled(JavaProtect->isChecked());
  CancelButton->hide();
  // The thumbnails are written with the quality the field shows, from the first build on.
  Guard([this] { JPEGQualChange(); });
}

void TForm1::FormClose() {
  if (saveOnExit_) Guard([this] { SaveSettings(env_.SettingsPath); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (buildActive_) {
    // The pictures in flight are finished while the event loop keeps turning; the window,
    // greyed, closes when the worker reports it has stopped (BuildFinished), and the settings
    // are saved then.
    event->ignore();
    if (closing_) return;
    closing_ = true;
    cancelRequested_ = true;
    SetStatus(QStringLiteral("Cancelling..."));
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    runner_->Cancel();
    return;
  }
  closing_ = false;
  centralWidget()->setEnabled(true);
  menuBar()->setEnabled(true);
  FormClose();
  event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  PageControl1->setCurrentIndex(0);
  ListBox1->setFocus();
  if (!startupError_.isEmpty()) {
    // After this event, so the box is placed over the window where it now stands.
    QTimer::singleShot(0, this,
                       [this] { dialogs_.Critical(this, std::exchange(startupError_, {})); });
  }
}

void TForm1::Guard(const std::function<void()>& body) {
  if (closing_) return;  // a shortcut while the window waits to close
  try {
    body();
  } catch (const std::exception& e) {
    dialogs_.Critical(this, Q(e.what()));
  } catch (...) {
    dialogs_.Critical(this, QStringLiteral("Unknown error"));
  }
}

bool TForm1::RefuseWhileBuilding() {
  if (!buildActive_) return false;
  dialogs_.Information(this, QStringLiteral("Information"), kBusyText);
  return true;
}

void TForm1::SetStatus(const QString& text) {
  StatusPanel->setText(text);
}

QString TForm1::StatusText() const {
  return StatusPanel->text();
}

bool TForm1::Building() const {
  return buildActive_;
}

// ---------------------------------------------------------------- file list

void TForm1::ChooseFiles(bool replace) {
  if (RefuseWhileBuilding()) return;
  const QStringList chosen =
      dialogs_.OpenFiles(this, QStringLiteral("Select Graphic Files"), pictureDir_, kPictureFilter);
  if (chosen.isEmpty()) return;
  lastDir_ = Q(TFileList::FolderOf(S(chosen.first())));
  EditTarget->setText(lastDir_);
  pictureDir_ = lastDir_;
  // The folder is checked, not made current: nothing in this program depends on the working
  // directory.
  if (EditTarget->text().isEmpty() || !QFileInfo(EditTarget->text()).isDir())
    dialogs_.Warning(this, QStringLiteral("Cannot find directory"));
  if (replace) files_.Clear();
  int last = -1;
  for (const QString& f : chosen) last = static_cast<int>(files_.Add(S(f)));
  (void)last;
  ProgressBar1->setMaximum(static_cast<int>(files_.Count()));
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
  const QList<QListWidgetItem*> sel = ListBox1->selectedItems();
  return sel.isEmpty() ? -1 : ListBox1->row(sel.first());
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
      // A folder gives what the command line takes from it.
      std::string error;
      for (const std::string& name : FolderPictureNames(path, error))
        pictures.push_back(path == "/" ? "/" + name : path + "/" + name);
      if (!error.empty()) problems << Q(error);
    } else if (IsPictureName(TFileList::NameOf(path)) &&
               std::filesystem::is_regular_file(path, ec)) {
      pictures.push_back(path);
    } else {
      ++skipped;
    }
  }
  if (files_.Count() == 0 && !pictures.empty()) {
    lastDir_ = Q(TFileList::FolderOf(pictures.front()));
    EditTarget->setText(lastDir_);
    pictureDir_ = lastDir_;
  }
  for (const std::string& p : pictures) files_.Add(p);
  ProgressBar1->setMaximum(static_cast<int>(files_.Count()));
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
    PreviewImage->clear();
    PreviewCaption->clear();
    return;
  }
  const QString path = Q(files_.Paths()[static_cast<std::size_t>(i)]);
  PreviewImage->clear();
  PreviewCaption->setText(Q(files_.Names()[static_cast<std::size_t>(i)]));
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
    PreviewImage->setText(preview.Error);
    PreviewCaption->setText(name);
    return;
  }
  PreviewImage->setPixmap(QPixmap::fromImage(preview.Image));
  PreviewCaption->setText(QStringLiteral("%1\n%2 \u00d7 %3")
                              .arg(name)
                              .arg(preview.FullSize.width())
                              .arg(preview.FullSize.height()));
}

void TForm1::RefreshListBox(int select) {
  ListBox1->clear();
  for (const std::string& n : files_.Names()) ListBox1->addItem(Q(n));
  if (select >= 0 && select < ListBox1->count()) {
    ListBox1->setCurrentRow(select);
    ListBox1->item(select)->setSelected(true);
  } else {
    ListBox1->clearSelection();
    ListBox1->setCurrentRow(-1);
  }
}

void TForm1::ShowCount() {
  Label11->setText(QStringLiteral("Items count: %1").arg(files_.Count()));
}

// ---------------------------------------------------------------- wizard

void TForm1::NextButton1Click() {
  if (files_.Count() >= 3) {
    PageControl1->setCurrentIndex(1);
    return;
  }
  dialogs_.Information(this, QStringLiteral("Information"),
                       QStringLiteral("You MUST select at least 3 files !"));
}

void TForm1::NextButton2Click() {
  PageControl1->setCurrentIndex(2);
}
void TForm1::NextButton3Click() {
  PageControl1->setCurrentIndex(3);
}
void TForm1::NextButton4Click() {
  PageControl1->setCurrentIndex(4);
}
void TForm1::NextButton5Click() {
  PageControl1->setCurrentIndex(5);
}

void TForm1::TabSheet2Enter() {
  UpdatePreview();
}

void TForm1::UpdatePreview() {
  QPalette pal = Panel2->palette();
  pal.setColor(QPalette::Window, ResolveColor(pickers_[0]->Color(), palette()));
  Panel2->setPalette(pal);
  QLabel* labels[3] = {LinkLabel, ActiveLinkLabel, VisitedLinkLabel};
  for (int i = 0; i < 3; ++i) {
    QPalette lp = labels[i]->palette();
    lp.setColor(QPalette::WindowText,
                ResolveColor(pickers_[static_cast<std::size_t>(i + 1)]->Color(), palette()));
    labels[i]->setPalette(lp);
  }
}

void TForm1::TabSheet3Enter() {
  if (files_.Count() == 0) return;
  // Text that is no number goes to the error box and the summary keeps its text.
  ParseWholeNumber(S(TableRows->text()));
  ParseWholeNumber(S(TableCols->text()));
  // A number the build would refuse is named here, by the same rule, instead of a page count.
  using L = OptionLimits;
  const struct {
    const char* name;
    const QLineEdit* edit;
    int min, max;
  } fields[] = {{"Rows", TableRows, L::kMinRows, L::kMaxRows},
                {"Columns", TableCols, L::kMinCols, L::kMaxCols}};
  std::int64_t perPage = 1;
  for (const auto& f : fields) {
    try {
      perPage *= TableFieldNumber(f.name, S(f.edit->text()), f.min, f.max);
    } catch (const ECatalogError& e) {
      Panel1->setText(
          QStringLiteral("%1: %2 to %3").arg(QLatin1String(f.name)).arg(f.min).arg(f.max));
      Panel1->setToolTip(Q(e.what()));
      return;
    }
  }
  const std::int64_t n = static_cast<std::int64_t>(files_.Count());
  const std::int64_t pages = n / perPage + (n % perPage != 0 ? 1 : 0);
  Panel1->setText(QStringLiteral("Items: %1   Pages: %2").arg(n).arg(pages));
  Panel1->setToolTip({});
}

QString TForm1::ResolvedTarget() const {
  const QString text = EditTarget->text();
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
  if (!dir.isEmpty()) EditTarget->setText(dir);
}

void TForm1::PageBtnClick() {
  const QString start =
      EditBack->text().isEmpty() ? pictureDir_ : QFileInfo(EditBack->text()).absolutePath();
  const QString file = dialogs_.OpenFile(this, QStringLiteral("Select BackGround"), start,
                                         kBackgroundFilter, {}, true);
  if (file.isEmpty()) return;
  EditBack->setText(file);
  backGrnd_ = Q(TFileList::NameOf(S(EditBack->text())));
}

void TForm1::EditBackChange() {
  backGrnd_ = EditBack->text();
}

void TForm1::thrButtonClick() {
  thumbHeight->setEnabled(true);
  thumbWidth->setEnabled(false);
}

void TForm1::twrButtonClick() {
  thumbHeight->setEnabled(false);
  thumbWidth->setEnabled(true);
}

void TForm1::JPEGQualChange() {
  params_.JpegQuality = ParseWholeNumber(S(JPEGQual->text()));
}

void TForm1::JavaProtectClick() {
  AlertEdit->setEnabled(JavaProtect->isChecked());
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
  const TColor value = pickers_[slot]->Color();
  colorHtml_[slot] = Q(folivant::HtmlColor(value, Resolver()));
  colorText_[slot] = Q(ColorToString(value));
  UpdatePreview();
}

// ---------------------------------------------------------------- settings

SettingsRecord TForm1::GatherRecord() const {
  SettingsRecord r;
  r.TargetDir = S(EditTarget->text());
  r.LastDir = S(lastDir_);
  r.BackGrnd = S(backGrnd_);
  r.ContentTitle = S(IndexTitle->text());
  r.MetaTag = S(MetaTagEdit->text());
  for (std::size_t i = 0; i < 4; ++i) {
    r.ColorTexts[i] = S(colorText_[i]);
    r.Colors[i] = pickers_[i]->Color();
  }
  r.PageTitle = S(PageEdit->text());
  r.PrevTitle = S(PreviousEdit->text());
  r.NextTitle = S(NextEdit->text());
  r.CatTitle = S(CatalogEdit->text());
  r.TableCols = S(TableCols->text());
  r.TableRows = S(TableRows->text());
  r.Border = S(TableBorderEdit->text());
  r.Cellpadding = S(TableCellPadEdit->text());
  r.Cellspacing = S(TableCellSpaceEdit->text());
  r.ThumbHeight = UpDown3->Position();
  r.ThumbWidth = UpDown4->Position();
  r.JPEGQuality = UpDown5->Position();
  r.Progressive = ProgrCheckBox->isChecked();
  r.Filter = FilterComboBox->currentIndex();
  r.JavaProtect = JavaProtect->isChecked();
  r.JavaProtectText = S(AlertEdit->text());
  r.JavaOpen = JavaOpen->isChecked();
  r.AutoRotate = AutoRotateCheck->isChecked();
  return r;
}

void TForm1::SaveSettings(const QString& path) {
  folivant::SaveSettings(GatherRecord(), S(path));
}

void TForm1::LoadSettings(const QString& path) {
  const SettingsLoad load = folivant::LoadSettings(S(path), GatherRecord());
  const SettingsRecord& r = load.Record;
  // Applied in the file's order, so each field's change handling sees what came before.
  lastDir_ = Q(r.LastDir);
  backGrnd_ = Q(r.BackGrnd);
  IndexTitle->setText(Q(r.ContentTitle));
  for (std::size_t i = 0; i < 4; ++i) colorText_[i] = Q(r.ColorTexts[i]);
  MetaTagEdit->setText(Q(r.MetaTag));
  PageEdit->setText(Q(r.PageTitle));
  PreviousEdit->setText(Q(r.PrevTitle));
  NextEdit->setText(Q(r.NextTitle));
  CatalogEdit->setText(Q(r.CatTitle));
  UpDown2->SetPosition(ParseWholeNumber(r.TableCols));
  UpDown1->SetPosition(ParseWholeNumber(r.TableRows));
  TableBorderEdit->setText(Q(r.Border));
  TableCellPadEdit->setText(Q(r.Cellpadding));
  TableCellSpaceEdit->setText(Q(r.Cellspacing));
  UpDown3->SetPosition(r.ThumbHeight);
  UpDown4->SetPosition(r.ThumbWidth);
  UpDown5->SetPosition(r.JPEGQuality);
  ProgrCheckBox->setChecked(r.Progressive);
  FilterComboBox->setCurrentIndex(r.Filter);
  JavaProtect->setChecked(r.JavaProtect);
  AlertEdit->setText(Q(r.JavaProtectText));
  JavaOpen->setChecked(r.JavaOpen);
  AutoRotateCheck->setChecked(r.AutoRotate);

  for (int i = 0; i < load.ColorsApplied && i < 4; ++i) {
    pickers_[static_cast<std::size_t>(i)]->SetColor(r.Colors[static_cast<std::size_t>(i)]);
    ColorChanged(i);
  }
  if (load.Error) {
    // The failing picker keeps the text it could not read, so a later save writes it back.
    colorText_[static_cast<std::size_t>(load.Error->Slot)] = Q(load.Error->Text);
    throw std::runtime_error(load.Error->Message);
  }
  pictureDir_ = lastDir_;
  EditTarget->setText(Q(r.TargetDir));
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
  CatalogOptions o;
  o.TargetDir = S(EditTarget->text());
  o.BackGrnd = S(backGrnd_);
  o.ContentTitle = S(IndexTitle->text());
  o.MetaTag = S(MetaTagEdit->text());
  o.BackColorHtml = S(colorHtml_[0]);
  o.LinkColorHtml = S(colorHtml_[1]);
  o.ALinkColorHtml = S(colorHtml_[2]);
  o.VLinkColorHtml = S(colorHtml_[3]);
  o.PageTitle = S(PageEdit->text());
  o.PrevTitle = S(PreviousEdit->text());
  o.NextTitle = S(NextEdit->text());
  o.CatTitle = S(CatalogEdit->text());
  o.TableRows = S(TableRows->text());
  o.TableCols = S(TableCols->text());
  o.Border = S(TableBorderEdit->text());
  o.Cellpadding = S(TableCellPadEdit->text());
  o.Cellspacing = S(TableCellSpaceEdit->text());
  static const char* const kAlign[4] = {"left", "center", "right", ""};
  const int align = alignGroup_->checkedId();
  o.TableAlign = (align >= 0 && align < 4) ? kAlign[align] : "";
  o.ThumbMode = twrButton->isChecked() ? TThumbMode::tmFixedWidth : TThumbMode::tmFixedHeight;
  o.ThumbHeight = UpDown3->Position();
  o.ThumbWidth = UpDown4->Position();
  o.JPEGQuality = UpDown5->Position();
  o.Progressive = ProgrCheckBox->isChecked();
  o.Filter = FilterComboBox->currentIndex();
  o.JavaProtect = JavaProtect->isChecked();
  o.JavaProtectText = S(AlertEdit->text());
  o.JavaOpen = JavaOpen->isChecked();
  o.AutoRotate = AutoRotateCheck->isChecked();
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
  TBuildRequest request;
  // Every typed number is checked before anything is written, the target folder included.
  CheckTableFields(GatherOptions());
  const QString target = ResolvedTarget();
  if (!target.isEmpty() && QDir::isRelativePath(target))
    throw std::runtime_error("The Target Directory " + S(target) +
                             " is relative, and no picture folder is known to resolve it against");
  // The user sees the folder the catalog goes to.
  if (target != EditTarget->text()) EditTarget->setText(target);
  request.Options = GatherOptions();
  bool create = false;
  std::error_code ec;
  if (request.Options.TargetDir.empty() ||
      !std::filesystem::is_directory(request.Options.TargetDir, ec)) {
    if (!dialogs_.AskYesNo(this, QStringLiteral("Target directory does not exist. Do you want "
                                                "to make it?")))
      return;
    create = true;
  }
  for (std::size_t i = 0; i < files_.Count(); ++i)
    request.Pictures.push_back({files_.Names()[i], files_.Paths()[i]});
  request.Params = params_;
  request.Jobs = env_.Jobs;
  request.Force = forceBuild_;

  const int n = static_cast<int>(files_.Count());
  cancelRequested_ = false;
  buildActive_ = true;
  SetIdleControlsEnabled(false);
  ProgressBar1->setRange(0, 3 * n);
  ProgressBar1->setValue(0);
  CurrentProgress->setValue(0);
  QApplication::setOverrideCursor(Qt::BusyCursor);
  CancelButton->show();
  runner_->Start(std::move(request), create, env_.WorkerStatusHook);
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
      if (!result.Message.empty())
        dialogs_.Information(this, QStringLiteral("Information"), Q(result.Message));
      break;
    case TBuildOutcome::boDone: {
      const std::string doc = runner_->DocumentToOpen();
      if (!doc.empty()) dialogs_.OpenUrl(QUrl::fromLocalFile(Q(doc)));
      break;
    }
    case TBuildOutcome::boCancelled:
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
