// The wizard window driven as a user would: buttons, fields, menus and dialog answers.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/about_form.h"
#include "app/file_list.h"
#include "app/main_form.h"
#include "app/widgets.h"
#include "fake_dialogs.h"

using namespace folivant;
using folivant::test::TFakeDialogs;

namespace {

QStringList ReadLines(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  return lines;
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text);
}

std::vector<std::string> Std(const QStringList& l) {
  std::vector<std::string> out;
  for (const QString& s : l) out.push_back(s.toStdString());
  return out;
}

}  // namespace

class WindowTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  TForm1& Open() {
    form_ = std::make_unique<TForm1>(Env(1));
    return *form_;
  }
  QString Folder(const QString& name) {
    QDir(dir_->path()).mkpath(name);
    return Path(name);
  }
  // Select (replace) or Add through the dialog.
  void Choose(bool replace, const QStringList& files) {
    dialogs_->FilesAnswers.push_back(files);
    if (replace)
      form_->SelectImageBtnClick();
    else
      form_->AddFileButtonClick();
  }
  QStringList Listed() const {
    QStringList out;
    auto* lb = W<QListWidget>("ListBox1");
    for (int i = 0; i < lb->count(); ++i) out << lb->item(i)->text();
    return out;
  }

 private slots:
  void init() { Start(); }
  void cleanup() { Stop(); }

  void captionAndShape() {
    ConfigureApplication();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Folivant v1.7"));
    TForm1& f = Open();
    QCOMPARE(f.windowTitle(), QStringLiteral("Folivant v1.7"));
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QVERIFY(f.width() >= 487);
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    auto* tabs = W<QTabWidget>("PageControl1");
    QCOMPARE(tabs->count(), 6);
    const QStringList titles = {"Select Files",  "General Options", "Table Options",
                                "Image Options", "Header/Footer",   "Build"};
    for (int i = 0; i < 6; ++i) QCOMPARE(tabs->tabText(i), titles[i]);
    QCOMPARE(f.StatusText(), QStringLiteral("Ready."));
    QVERIFY(W<QPushButton>("CancelButton")->isHidden());

    // Menus with their shortcuts; the check item starts checked.
    const std::pair<const char*, QKeySequence> keys[] = {
        {"SelectFiles1", QKeySequence(Qt::Key_F3)},
        {"AddFiles1", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"BuildCatalog1", QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"Quit1", QKeySequence(Qt::CTRL | Qt::Key_X)},
        {"OptionsSavesettings1", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"OptionsLoadSettings1", QKeySequence(Qt::CTRL | Qt::Key_L)},
        {"HelpContents1", QKeySequence(Qt::Key_F1)},
        {"GotoHomePage1", QKeySequence(Qt::Key_F10)},
        {"About1", QKeySequence(Qt::Key_F12)},
    };
    for (const auto& [name, key] : keys) QCOMPARE(W<QAction>(name)->shortcut(), key);
    auto* onExit = W<QAction>("OptionsSaveSettingsOnExit1");
    QVERIFY(onExit->isCheckable() && onExit->isChecked());
    QCOMPARE(W<QAction>("OptionsSavesettings2")->text(), QStringLiteral("Save Settings As..."));
  }

  void firstStartShowsDefaultsAndCloseWritesFile() {
    QVERIFY(!QFile::exists(SettingsPath()));
    TForm1& f = Open();
    QCOMPARE(W<QLineEdit>("IndexTitle")->text(), QString());
    QCOMPARE(W<QLineEdit>("TableCellPadEdit")->text(), QStringLiteral("0"));
    QCOMPARE(W<QLineEdit>("TableCellSpaceEdit")->text(), QStringLiteral("2"));
    QCOMPARE(W<QComboBox>("FilterComboBox")->currentIndex(), -1);
    QVERIFY(W<QCheckBox>("AutoRotateCheck")->isChecked());
    QCOMPARE(f.HtmlColor(0), QStringLiteral("#FFFFFF"));
    QCOMPARE(f.HtmlColor(1), QStringLiteral("#000099"));
    QCOMPARE(f.HtmlColor(2), QStringLiteral("#000099"));
    QCOMPARE(f.HtmlColor(3), QStringLiteral("#800080"));
    QCOMPARE(f.ColorText(0), QStringLiteral("clWhite"));
    QCOMPARE(f.ColorText(1), QStringLiteral("$00990000"));
    QVERIFY(W<QLineEdit>("thumbHeight")->isEnabled());
    QVERIFY(!W<QLineEdit>("thumbWidth")->isEnabled());
    QVERIFY(!W<QLineEdit>("AlertEdit")->isEnabled());
    QVERIFY(W<QCheckBox>("PreviewCheckBox")->isChecked());
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count"));
    // The parameters follow the quality field from the start.
    QCOMPARE(f.ImageParams().JpegQuality, 75);
    QVERIFY(dialogs_->Shown.empty());

    f.close();  // the title bar's close box takes the same way
    const QStringList lines = ReadLines(SettingsPath());
    QStringList sections, keys;
    for (const QString& l : lines) {
      if (l.startsWith(QLatin1Char('[')))
        sections << l;
      else if (l.contains(QLatin1Char('=')))
        keys << l.section(QLatin1Char('='), 0, 0);
    }
    QCOMPARE(sections, QStringList({"[General Options]", "[Table Options]", "[Image Options]"}));
    const QStringList expected = {"TargetDir",       "LastDir",     "BackGrnd",    "ContentTitle",
                                  "MetaTag",         "BackColorS",  "LinkColorS",  "ALinkColorS",
                                  "VLinkColorS",     "PageTitle",   "PrevTitle",   "NextTitle",
                                  "CatTitle",        "TableCols",   "TableRows",   "Border",
                                  "Cellpadding",     "Cellspacing", "ThumbHeight", "ThumbWidth",
                                  "JPEGQuality",     "Progressive", "Filter",      "JavaProtect",
                                  "JavaProtectText", "JavaOpen",    "AutoRotate"};
    QCOMPARE(keys, expected);
    QVERIFY(lines.contains(QStringLiteral("Filter=-1")));
    QVERIFY(lines.contains(QStringLiteral("BackColorS=clWhite")));
  }

  void quitButtonWritesSettingsAndShowingFocusesTheList() {
    TForm1& f = Open();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(W<QTabWidget>("PageControl1")->currentIndex(), 0);
    QCOMPARE(f.focusWidget(), W<QListWidget>("ListBox1"));
    W<QLineEdit>("MetaTagEdit")->setText(QStringLiteral("<meta name=\"x\" content=\"y\">"));
    W<QPushButton>("CloseButton")->click();
    QVERIFY(f.isHidden());
    QVERIFY(ReadLines(SettingsPath())
                .contains(QStringLiteral("MetaTag=<meta name=\"x\" content=\"y\">")));
  }

  void saveSettingsOnExitUncheckedKeepsFileAsItWas() {
    TForm1& f = Open();
    W<QAction>("OptionsSaveSettingsOnExit1")->trigger();
    QVERIFY(!f.SaveSettingsOnExit());
    f.close();
    QVERIFY(!QFile::exists(SettingsPath()));
  }

  void selectThenAddKeepsDialogOrderAndSetsTarget() {
    TForm1& f = Open();
    const QString one = Folder(QStringLiteral("one"));
    const QString two = Folder(QStringLiteral("two"));
    Choose(true, {one + "/a.jpg", one + "/b.gif"});
    Choose(false, {two + "/c.png"});
    QCOMPARE(Listed(), QStringList({"a.jpg", "b.gif", "c.png"}));
    QCOMPARE(f.FileList().Paths(), Std({one + "/a.jpg", one + "/b.gif", two + "/c.png"}));
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), two);
    QCOMPARE(f.LastDir(), two);
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count: 3"));
    QCOMPARE(dialogs_->FileTitles.first(), QStringLiteral("Select Graphic Files"));
    QVERIFY(dialogs_->Shown.empty());

    // A new Select replaces the list.
    Choose(true, {one + "/d.jpg"});
    QCOMPARE(Listed(), QStringList({"d.jpg"}));
    QCOMPARE(f.FileList().Paths(), Std({one + "/d.jpg"}));

    // A cancelled dialog changes nothing.
    Choose(true, {});
    QCOMPARE(Listed(), QStringList({"d.jpg"}));

    // A folder that is not there: the warning, and the pictures are added all the same.
    Choose(false, {Path("gone/e.jpg")});
    QCOMPARE(dialogs_->Texts("warning"), QStringList({"Cannot find directory"}));
    QCOMPARE(Listed(), QStringList({"d.jpg", "e.jpg"}));
  }

  void sortKeepsPathsAndLaterAddsInPlace() {
    TForm1& f = Open();
    const QString d = Folder(QStringLiteral("p"));
    Choose(true, {d + "/Zeta.jpg", d + "/alpha.jpg", d + "/Beta.jpg"});
    W<QPushButton>("SortButton")->click();
    QCOMPARE(Listed(), QStringList({"alpha.jpg", "Beta.jpg", "Zeta.jpg"}));
    QCOMPARE(f.FileList().Paths(), Std({d + "/alpha.jpg", d + "/Beta.jpg", d + "/Zeta.jpg"}));
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count: 3"));
    Choose(false, {d + "/gamma.jpg"});
    QCOMPARE(Listed(), QStringList({"alpha.jpg", "Beta.jpg", "gamma.jpg", "Zeta.jpg"}));
    QCOMPARE(f.FileList().Paths()[2], (d + "/gamma.jpg").toStdString());
    // Remove All keeps the mode.
    W<QPushButton>("RemoveAllButton")->click();
    Choose(false, {d + "/b.jpg", d + "/a.jpg"});
    QCOMPARE(Listed(), QStringList({"a.jpg", "b.jpg"}));
  }

  void moveUpAndDownCarryPathsAndSelection() {
    TForm1& f = Open();
    const QString d = Folder(QStringLiteral("m"));
    Choose(true, {d + "/a.jpg", d + "/b.jpg", d + "/c.jpg"});
    auto* lb = W<QListWidget>("ListBox1");
    // Nothing selected: nothing moves.
    W<QPushButton>("MoveUpButton")->click();
    W<QPushButton>("MoveDownButton")->click();
    QCOMPARE(Listed(), QStringList({"a.jpg", "b.jpg", "c.jpg"}));

    lb->setCurrentRow(1);
    W<QPushButton>("MoveUpButton")->click();
    QCOMPARE(Listed(), QStringList({"b.jpg", "a.jpg", "c.jpg"}));
    QCOMPARE(f.FileList().Paths()[0], (d + "/b.jpg").toStdString());
    QCOMPARE(lb->selectedItems().size(), 1);
    QCOMPARE(lb->row(lb->selectedItems().first()), 0);
    W<QPushButton>("MoveUpButton")->click();
    QCOMPARE(Listed(), QStringList({"b.jpg", "a.jpg", "c.jpg"}));

    lb->setCurrentRow(1);
    W<QPushButton>("MoveDownButton")->click();
    QCOMPARE(Listed(), QStringList({"b.jpg", "c.jpg", "a.jpg"}));
    QCOMPARE(f.FileList().Paths()[2], (d + "/a.jpg").toStdString());
    W<QPushButton>("MoveDownButton")->click();
    QCOMPARE(Listed(), QStringList({"b.jpg", "c.jpg", "a.jpg"}));
  }

  void removeDuplicatesAndRemoveAll() {
    TForm1& f = Open();
    const QString one = Folder(QStringLiteral("one"));
    const QString two = Folder(QStringLiteral("two"));
    // The same file twice, and the same name from another folder: three entries.
    Choose(true, {one + "/x.jpg", one + "/x.jpg"});
    Choose(false, {two + "/x.jpg"});
    QCOMPARE(Listed(), QStringList({"x.jpg", "x.jpg", "x.jpg"}));
    QCOMPARE(f.FileList().Paths()[2], (two + "/x.jpg").toStdString());

    auto* lb = W<QListWidget>("ListBox1");
    W<QPushButton>("DelPicButton")->click();  // nothing selected
    QCOMPARE(f.FileList().Count(), std::size_t{3});
    lb->setCurrentRow(2);
    W<QPushButton>("DelPicButton")->click();
    QCOMPARE(f.FileList().Paths(), Std({one + "/x.jpg", one + "/x.jpg"}));
    QVERIFY(lb->selectedItems().isEmpty());
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count: 2"));

    W<QPushButton>("RemoveAllButton")->click();
    QCOMPARE(f.FileList().Count(), std::size_t{0});
    QCOMPARE(lb->count(), 0);
    W<QPushButton>("RemoveAllButton")->click();
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count: 0"));
  }

  void nextNeedsThreePictures() {
    Open();
    const QString d = Folder(QStringLiteral("n"));
    auto* tabs = W<QTabWidget>("PageControl1");
    Choose(true, {d + "/a.jpg", d + "/b.jpg"});
    W<QPushButton>("NextButton1")->click();
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(dialogs_->Shown.size(), std::size_t{1});
    QCOMPARE(dialogs_->Shown[0].Kind, QStringLiteral("information"));
    QCOMPARE(dialogs_->Shown[0].Title, QStringLiteral("Information"));
    QCOMPARE(dialogs_->Shown[0].Text, QStringLiteral("You MUST select at least 3 files !"));
    Choose(false, {d + "/c.jpg"});
    W<QPushButton>("NextButton1")->click();
    QCOMPARE(tabs->currentIndex(), 1);
    for (int i = 2; i <= 5; ++i) {
      W<QPushButton>(QStringLiteral("NextButton%1").arg(i).toLatin1().constData())->click();
      QCOMPARE(tabs->currentIndex(), i);
    }
  }

  void pageSummaryFollowsRowsAndColumns() {
    Open();
    auto* panel = W<QLabel>("Panel1");
    auto* rows = W<QLineEdit>("TableRows");
    auto* cols = W<QLineEdit>("TableCols");
    // An empty list leaves the panel as it was.
    W<QTabWidget>("PageControl1")->setCurrentIndex(2);
    QCOMPARE(panel->text(), QString());

    W<QTabWidget>("PageControl1")->setCurrentIndex(0);
    const QString d = Folder(QStringLiteral("s"));
    QStringList ten;
    for (int i = 0; i < 10; ++i) ten << QStringLiteral("%1/p%2.jpg").arg(d).arg(i);
    Choose(true, ten);
    W<TUpDown>("UpDown1")->SetPosition(2);
    W<TUpDown>("UpDown2")->SetPosition(2);
    W<QPushButton>("NextButton1")->click();
    W<QPushButton>("NextButton2")->click();
    QCOMPARE(panel->text(), QStringLiteral("Items: 10   Pages: 3"));
    auto* up = W<TUpDown>("UpDown2");
    for (int i = 0; i < 3; ++i) QTest::mouseClick(up->UpButton(), Qt::LeftButton);
    QCOMPARE(cols->text(), QStringLiteral("5"));
    QCOMPARE(panel->text(), QStringLiteral("Items: 10   Pages: 1"));

    // Typed text that is no number: the error box, and the panel keeps its text.
    rows->setText(QStringLiteral("abc"));
    QCOMPARE(dialogs_->Texts("critical"), QStringList({"'abc' is not a valid integer value"}));
    QCOMPARE(panel->text(), QStringLiteral("Items: 10   Pages: 1"));
    // Zero rows must not fail: the summary names the field's range.
    rows->setText(QStringLiteral("0"));
    QCOMPARE(panel->text(), QStringLiteral("Rows: 1 to 100"));
    QCOMPARE(dialogs_->Texts("critical").size(), 1);
    // The spinner steps from the typed number and stops at its limits.
    rows->setText(QStringLiteral("100"));
    QTest::mouseClick(W<TUpDown>("UpDown1")->UpButton(), Qt::LeftButton);
    QCOMPARE(rows->text(), QStringLiteral("100"));
  }

  void backgroundNameFromDialogOrTyped() {
    TForm1& f = Open();
    const QString sky = Folder(QStringLiteral("pics")) + "/sky.jpg";
    dialogs_->FileAnswers.push_back(sky);
    W<QPushButton>("PageBtn")->click();
    QCOMPARE(dialogs_->FileTitles.last(), QStringLiteral("Select BackGround"));
    QCOMPARE(W<QLineEdit>("EditBack")->text(), sky);
    QCOMPARE(f.BackgroundName(), QStringLiteral("sky.jpg"));
    auto* edit = W<QLineEdit>("EditBack");
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("img/bg.gif"));
    QCOMPARE(f.BackgroundName(), QStringLiteral("img/bg.gif"));
    // A cancelled dialog keeps both.
    W<QPushButton>("PageBtn")->click();
    QCOMPARE(f.BackgroundName(), QStringLiteral("img/bg.gif"));
  }

  void targetFolderBrowser() {
    Open();
    const QString d = Folder(QStringLiteral("target"));
    dialogs_->FolderAnswers.push_back(d);
    W<QPushButton>("TargetBtn")->click();
    QCOMPARE(dialogs_->FileTitles.last(), QStringLiteral("Select folder"));
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), d);
    W<QPushButton>("TargetBtn")->click();  // cancelled
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), d);
  }

  void thumbnailSideChoiceEnablesItsField() {
    TForm1& f = Open();
    W<QRadioButton>("twrButton")->click();
    QVERIFY(!W<QLineEdit>("thumbHeight")->isEnabled());
    QVERIFY(W<QLineEdit>("thumbWidth")->isEnabled());
    // Both spinners still respond.
    QTest::mouseClick(W<TUpDown>("UpDown3")->UpButton(), Qt::LeftButton);
    QTest::mouseClick(W<TUpDown>("UpDown4")->DownButton(), Qt::LeftButton);
    QCOMPARE(W<QLineEdit>("thumbHeight")->text(), QStringLiteral("97"));
    QCOMPARE(W<QLineEdit>("thumbWidth")->text(), QStringLiteral("69"));
    QTest::keyClick(W<QLineEdit>("thumbWidth"), Qt::Key_Up);
    QCOMPARE(W<QLineEdit>("thumbWidth")->text(), QStringLiteral("70"));
    QCOMPARE(f.GatherOptions().ThumbMode, TThumbMode::tmFixedWidth);
    W<QRadioButton>("thrButton")->click();
    QVERIFY(W<QLineEdit>("thumbHeight")->isEnabled());
    QVERIFY(!W<QLineEdit>("thumbWidth")->isEnabled());
    QCOMPARE(f.GatherOptions().ThumbHeight, 97);
  }

  void qualityFieldDrivesJpegParameter() {
    TForm1& f = Open();
    auto* updown = W<TUpDown>("UpDown5");
    QTest::mouseClick(updown->DownButton(), Qt::LeftButton);
    QCOMPARE(f.ImageParams().JpegQuality, 74);
    updown->SetPosition(5);  // below the limit
    QCOMPARE(W<QLineEdit>("JPEGQual")->text(), QStringLiteral("10"));
    QCOMPARE(f.ImageParams().JpegQuality, 10);
  }

  void protectionBoxEnablesAlertText() {
    WriteText(SettingsPath(), "[Image Options]\r\nJavaProtect=1\r\n");
    TForm1& f = Open();
    auto* box = W<QCheckBox>("JavaProtect");
    auto* alert = W<QLineEdit>("AlertEdit");
    QVERIFY(box->isChecked());
    QVERIFY(alert->isEnabled());
    box->click();
    QVERIFY(!alert->isEnabled());
    box->click();
    QVERIFY(alert->isEnabled());
    QVERIFY(f.GatherOptions().JavaProtect);
  }

  void helpMissingThenPresent() {
    Open();
    W<QAction>("HelpContents1")->trigger();
    QCOMPARE(dialogs_->Shown.size(), std::size_t{1});
    QCOMPARE(dialogs_->Shown[0].Kind, QStringLiteral("plain"));
    QCOMPARE(dialogs_->Shown[0].Title, QStringLiteral("Open Error"));
    QCOMPARE(dialogs_->Shown[0].Text, QStringLiteral("Could not open help file !"));
    QVERIFY(dialogs_->Opened.empty());
    WriteText(Path("readme.txt"), "help\n");
    W<QAction>("HelpContents1")->trigger();
    QCOMPARE(dialogs_->Opened.size(), std::size_t{1});
    QCOMPARE(dialogs_->Opened[0], QUrl::fromLocalFile(Path("readme.txt")));
  }

  void helpFoundInInstalledLayout() {
    // bin/folivant with share/folivant/readme.txt beside bin.
    QDir(dir_->path()).mkpath(QStringLiteral("bin"));
    QDir(dir_->path()).mkpath(QStringLiteral("share/folivant"));
    WriteText(Path("share/folivant/readme.txt"), "help\n");
    TForm1::TEnv env;
    env.Dialogs = dialogs_.get();
    env.SettingsPath = SettingsPath();
    env.ProgramDir = Path("bin");
    form_ = std::make_unique<TForm1>(env);
    form_->HelpContents1Click();
    QCOMPARE(dialogs_->Opened.size(), std::size_t{1});
    QCOMPARE(dialogs_->Opened[0], QUrl::fromLocalFile(Path("share/folivant/readme.txt")));
  }

  void homePageAndAbout() {
    Open();
    W<QAction>("GotoHomePage1")->trigger();
    QCOMPARE(dialogs_->Opened.size(), std::size_t{1});
    QCOMPARE(dialogs_->Opened[0].scheme(), QStringLiteral("https"));
    W<QPushButton>("AboutBtn")->click();
    W<QAction>("About1")->trigger();
    QCOMPARE(dialogs_->Executed, std::vector<QString>({"About Folivant", "About Folivant"}));

    auto* about = form_->findChild<TfrmAbout*>();
    QVERIFY(about);
    about->findChild<QPushButton*>(QStringLiteral("btnMail"))->click();
    QCOMPARE(dialogs_->Opened.back().scheme(), QStringLiteral("mailto"));
    QCOMPARE(about->findChild<QPushButton*>(QStringLiteral("btnMail"))->text(),
             QStringLiteral("E-mail me "));
    const QString memo = about->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
    QVERIFY(
        memo.startsWith(QStringLiteral("Folivant v1.7:\n  - generates HTML files from images")));
  }

  void colorPickersSetHtmlAndText() {
    TForm1& f = Open();
    auto* link = W<TColorPickerButton>("LinkColorPickerButton");
    dialogs_->ColorAnswers.push_back(QColor(0x12, 0x34, 0x56));
    link->ChooseMore();
    QCOMPARE(f.HtmlColor(1), QStringLiteral("#123456"));
    QCOMPARE(f.ColorText(1), QStringLiteral("$00563412"));
    QCOMPARE(W<QLabel>("LinkLabel")->palette().color(QPalette::WindowText),
             QColor(0x12, 0x34, 0x56));
    dialogs_->ColorAnswers.push_back(std::nullopt);  // the colour dialog cancelled
    link->ChooseMore();
    QCOMPARE(f.HtmlColor(1), QStringLiteral("#123456"));
    link->ChooseDefault();
    QCOMPARE(f.HtmlColor(1), QStringLiteral("#000099"));
    W<TColorPickerButton>("BackColorPickerButton")->ChoosePalette(0x0000FF);
    QCOMPARE(f.ColorText(0), QStringLiteral("clRed"));
    QCOMPARE(f.GatherOptions().BackColorHtml, std::string("#FF0000"));
    // A system colour is resolved through the window's palette.
    W<TColorPickerButton>("VLinkColorPickerButton")->SetColor(0x8000000F);
    W<TColorPickerButton>("VLinkColorPickerButton")->ChoosePalette(0x8000000F);
    const QColor face = f.palette().color(QPalette::Button);
    QCOMPARE(f.HtmlColor(3), face.name().toUpper());
    QCOMPARE(f.ColorText(3), QStringLiteral("clBtnFace"));
  }

  void loadSettingsWithBadColorStopsThere() {
    TForm1& f = Open();
    const QString target = Folder(QStringLiteral("kept"));
    W<QLineEdit>("EditTarget")->setText(target);
    const QString file = Path("other.ini");
    WriteText(file,
              "[General Options]\r\nTargetDir=/elsewhere\r\nLastDir=/pics\r\n"
              "ContentTitle=Holiday\r\nBackColorS=clRed\r\nLinkColorS=Bogus\r\n"
              "ALinkColorS=clLime\r\n[Table Options]\r\nTableRows=0\r\nTableCols=abc\r\n"
              "[Image Options]\r\nThumbHeight=1000\r\nJPEGQuality=0x20\r\nFilter=9\r\n"
              "Progressive=2\r\nAutoRotate=0\r\n");
    dialogs_->FileAnswers.push_back(file);
    W<QAction>("OptionsLoadSettings1")->trigger();
    QCOMPARE(dialogs_->Texts("critical"), QStringList({"'Bogus' is not a valid integer value"}));
    QCOMPARE(f.HtmlColor(0), QStringLiteral("#FF0000"));  // before the bad one: applied
    QCOMPARE(f.HtmlColor(1), QStringLiteral("#000099"));  // the bad one and after: kept
    QCOMPARE(f.HtmlColor(2), QStringLiteral("#000099"));
    QCOMPARE(f.ColorText(1), QStringLiteral("Bogus"));
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), target);
    QCOMPARE(W<QLineEdit>("IndexTitle")->text(), QStringLiteral("Holiday"));
    QCOMPARE(f.LastDir(), QStringLiteral("/pics"));
    QCOMPARE(W<QLineEdit>("TableRows")->text(), QStringLiteral("1"));
    QCOMPARE(W<QLineEdit>("TableCols")->text(), QStringLiteral("4"));
    QCOMPARE(W<QLineEdit>("thumbHeight")->text(), QStringLiteral("300"));
    QCOMPARE(f.ImageParams().JpegQuality, 32);
    QCOMPARE(W<QComboBox>("FilterComboBox")->currentIndex(), -1);
    QVERIFY(W<QCheckBox>("ProgrCheckBox")->isChecked());
    QVERIFY(!W<QCheckBox>("AutoRotateCheck")->isChecked());

    // A later save writes the bad text back as it stands.
    f.OptionsSavesettings1Click();
    QVERIFY(ReadLines(SettingsPath()).contains(QStringLiteral("LinkColorS=Bogus")));
    QVERIFY(ReadLines(SettingsPath()).contains(QStringLiteral("Filter=-1")));
    QVERIFY(ReadLines(SettingsPath()).contains(QStringLiteral("Progressive=1")));
    QVERIFY(ReadLines(SettingsPath()).contains(QStringLiteral("AutoRotate=0")));
  }

  void loadMissingFileGivesDefaultsAndSaveAsKeepsOtherSections() {
    TForm1& f = Open();
    W<QLineEdit>("IndexTitle")->setText(QStringLiteral("Mine"));
    W<QTabWidget>("PageControl1")->setCurrentIndex(0);
    W<QLineEdit>("EditTarget")->setText(QStringLiteral("/somewhere"));
    dialogs_->FileAnswers.push_back(Path("nothing-here.ini"));
    f.OptionsLoadSettings1Click();
    QCOMPARE(W<QLineEdit>("IndexTitle")->text(), QString());
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), QString());
    QVERIFY(dialogs_->Shown.empty());
    // A cancelled dialog does nothing.
    W<QLineEdit>("IndexTitle")->setText(QStringLiteral("Mine"));
    f.OptionsLoadSettings1Click();
    QCOMPARE(W<QLineEdit>("IndexTitle")->text(), QStringLiteral("Mine"));

    const QString other = Path("other.ini");
    WriteText(other, "[Other]\r\nKey=Value\r\n");
    dialogs_->SaveAnswers.push_back(other);
    W<QAction>("OptionsSavesettings2")->trigger();
    const QStringList lines = ReadLines(other);
    QCOMPARE(lines.mid(0, 2), QStringList({"[Other]", "Key=Value"}));
    QVERIFY(lines.contains(QStringLiteral("ContentTitle=Mine")));
  }

  void unwritableSettingsFileIsReported() {
    // The settings file's folder is a plain file: no write can succeed, whatever the rights.
    WriteText(Path("blocker"), "x");
    TForm1::TEnv env;
    env.Dialogs = dialogs_.get();
    env.SettingsPath = Path("blocker/folivant.ini");
    env.ProgramDir = dir_->path();
    form_ = std::make_unique<TForm1>(env);
    QVERIFY(dialogs_->Shown.empty());
    form_->close();
    QCOMPARE(dialogs_->Texts("critical"),
             QStringList({QStringLiteral("Unable to write to %1").arg(env.SettingsPath)}));
    QVERIFY(form_->isHidden());
  }

  void fileListRules() {
    QCOMPARE(TFileList::NameOf("/a/b/c.jpg"), std::string("c.jpg"));
    QCOMPARE(TFileList::NameOf("c.jpg"), std::string("c.jpg"));
    QCOMPARE(TFileList::FolderOf("/a/b/c.jpg"), std::string("/a/b"));
    QCOMPARE(TFileList::FolderOf("/c.jpg"), std::string("/"));
    // Move after sorting, then add: the new entry goes before the first greater name.
    TFileList l;
    l.Add("/x/b.jpg");
    l.Add("/x/a.jpg");
    l.Sort();
    QVERIFY(l.MoveDown(0));
    l.Add("/x/a.jpg");
    QCOMPARE(l.Names(), std::vector<std::string>({"a.jpg", "b.jpg", "a.jpg"}));
    QCOMPARE(l.Paths().size(), l.Names().size());
    QVERIFY(!l.Remove(7));
    QVERIFY(!l.MoveUp(0));
    QVERIFY(!l.MoveDown(2));
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
