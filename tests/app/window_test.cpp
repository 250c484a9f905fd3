// What only the window does: its controls, captions and access keys, settings files with bad
// values or that cannot be used, and the settings problem at start-up. Builds from the window:
// window_build_test.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/widgets.h"
#include "fake_dialogs.h"

using namespace folivant;

// Moves a window to the screen's corner as soon as it has been shown, so a box centred on the
// screen and one centred over the window stand apart.
class TMoveOnShow : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show)
      QTimer::singleShot(0, watched, [w = static_cast<QWidget*>(watched)] { w->move(8, 8); });
    return false;
  }
};

class WindowTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  TForm1& Open() {
    form_ = std::make_unique<TForm1>(Env(1));
    return *form_;
  }
  void Click(const char* button) { W<QPushButton>(button)->click(); }
  QString Text(const char* field) const { return W<QLineEdit>(field)->text(); }

 private slots:
  void init() { Start(); }
  void cleanup() { Stop(); }

  void controlsAndCaptions() {
    // The platform appends a display name that was set to every title not ending with it
    // ("Warning — Folivant v1.7"). None is set: the display name follows the plain name.
    ConfigureApplication();
    const QString name = QCoreApplication::applicationName();
    QCOMPARE(name + " " + QGuiApplication::desktopFileName(),
             QStringLiteral("folivant org.example.folivant"));  // the class docks group by
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    QCoreApplication::setApplicationName(name);
    TForm1& f = Open();
    QCOMPARE(f.windowTitle(), QStringLiteral("Folivant v1.7"));
    QVERIFY(f.width() >= 487 && f.maximumWidth() > 4000);
    auto* tabs = W<QTabWidget>("PageControl1");
    QStringList titles;
    for (int i = 0; i < tabs->count(); ++i) titles << tabs->tabText(i);
    QCOMPARE(titles, QStringList({"Select Files", "General Options", "Table Options",
                                  "Image Options", "Header/Footer", "Build"}));
    QCOMPARE(f.StatusText(), QStringLiteral("Ready."));
    QVERIFY(W<QPushButton>("CancelButton")->isHidden());
    // clang-format off
    const std::pair<const char*, QKeySequence> keys[] = {
        {"SelectFiles1", Qt::Key_F3}, {"AddFiles1", Qt::CTRL | Qt::Key_A},
        {"BuildCatalog1", Qt::CTRL | Qt::Key_B}, {"Quit1", Qt::CTRL | Qt::Key_X},
        {"OptionsSavesettings1", Qt::CTRL | Qt::Key_S}, {"OptionsLoadSettings1", Qt::CTRL | Qt::Key_L},
        {"HelpContents1", Qt::Key_F1}, {"GotoHomePage1", Qt::Key_F10}, {"About1", Qt::Key_F12}};
    // clang-format on
    for (const auto& [name, key] : keys) QCOMPARE(W<QAction>(name)->shortcut(), key);
    QVERIFY(W<QAction>("OptionsSaveSettingsOnExit1")->isChecked());
    QCOMPARE(W<QAction>("OptionsSavesettings2")->text(), QStringLiteral("Save Settings &As..."));
    QCOMPARE(W<QAction>("AddFiles1")->shortcuts().value(1), QKeySequence(QKeySequence::Open));
    // Every control a user acts on has an access key, and no two that can be seen at once share
    // one (menu titles count on every tab). Labels give theirs to the field beside them.
    const QList<QAction*> menus = f.menuBar()->actions();
    for (int tab = 0; tab < 6; ++tab) {
      QMap<QChar, QString> keys;
      const auto take = [&](const QString& text) {
        const qsizetype at = text.indexOf(QLatin1Char('&'));
        QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
        const QChar key = text[at + 1].toLower();
        QVERIFY2(!keys.contains(key), qPrintable(keys[key] + " and " + text));
        keys[key] = text;
      };
      for (const QAction* m : menus) take(m->text());
      QWidget* page = W<QTabWidget>("PageControl1")->widget(tab);
      for (const QAbstractButton* b : page->findChildren<QAbstractButton*>())
        if (!qobject_cast<const QToolButton*>(b)) take(b->text());
      for (const QLabel* l : page->findChildren<QLabel*>())
        if (l->buddy()) take(l->text());
    }
    QList<QLabel*> labels = W<QTabWidget>("PageControl1")->findChildren<QLabel*>();
    for (const QLabel* l : labels << W<QLabel>("StatusPanel"))  // names are never markup
      QVERIFY(qobject_cast<const THyperlinkLabel*>(l) || l->textFormat() == Qt::PlainText);
    // A first start: the fields show the defaults; the parameters follow the quality field.
    QCOMPARE(Text("IndexTitle") + Text("TableCellPadEdit") + Text("TableCellSpaceEdit"),
             QStringLiteral("02"));
    QCOMPARE(W<TUpDown>("UpDown7")->Position() * 10 + W<TUpDown>("UpDown8")->Position(), 2);
    QCOMPARE(W<QComboBox>("FilterComboBox")->currentIndex(), -1);
    QCOMPARE(f.HtmlColor(0) + f.HtmlColor(1) + f.HtmlColor(3),
             QStringLiteral("#FFFFFF#000099#800080"));
    QVERIFY(W<QLineEdit>("thumbHeight")->isEnabled() && !W<QLineEdit>("thumbWidth")->isEnabled());
    QVERIFY(!W<QLineEdit>("AlertEdit")->isEnabled() &&
            W<QCheckBox>("PreviewCheckBox")->isChecked() &&
            W<QCheckBox>("AutoRotateCheck")->isChecked());
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count"));
    QCOMPARE(f.ImageParams().JpegQuality, 75);
    QVERIFY(dialogs_->Shown.empty());
    // Shown, the first tab has the list in focus; the Close button saves the settings.
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QCOMPARE(f.focusWidget(), W<QListWidget>("ListBox1"));
    W<QLineEdit>("MetaTagEdit")->setText(QStringLiteral("<meta name=\"x\">"));
    Click("CloseButton");
    QVERIFY(f.isHidden());
    QFile ini(SettingsPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("MetaTag=<meta name=\"x\">\r\n"));
  }

  // Every good value is applied; the bad colour is told by file and key, its picker keeps its
  // colour, and a later save writes the bad text back.
  void loadSettingsWithBadColorAppliesTheRest() {
    TForm1& f = Open();
    W<QLineEdit>("EditTarget")->setText(QStringLiteral("/kept"));
    QFile other(Path(QStringLiteral("other.ini")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(
        "[General Options]\r\nTargetDir=/elsewhere\r\nLastDir=/pics\r\nContentTitle=Holiday\r\n"
        "BackColorS=clRed\r\nLinkColorS=Bogus\r\nALinkColorS=clLime\r\n[Table Options]\r\n"
        "TableRows=0\r\nTableCols=abc\r\n[Image Options]\r\nThumbHeight=1000\r\n"
        "JPEGQuality=0x20\r\nFilter=9\r\nProgressive=2\r\nAutoRotate=0\r\n");
    other.close();
    dialogs_->FileAnswers.push_back(other.fileName());
    W<QAction>("OptionsLoadSettings1")->trigger();
    QCOMPARE(dialogs_->Texts("warning"),
             QStringList({other.fileName() +
                          ": [General Options] LinkColorS=Bogus is not a colour (a name such as "
                          "clRed, or a number such as $000000FF)\nEvery other setting was "
                          "applied; those colours stay as they were."}));
    QCOMPARE(f.HtmlColor(0) + f.HtmlColor(1) + f.HtmlColor(2),
             QStringLiteral("#FF0000#000099#00FF00"));
    QCOMPARE(f.ColorText(1), QStringLiteral("Bogus"));
    QCOMPARE(Text("EditTarget"), QStringLiteral("/elsewhere"));
    QCOMPARE(Text("IndexTitle") + " " + f.LastDir(), QStringLiteral("Holiday /pics"));
    QCOMPARE(Text("TableRows") + Text("TableCols") + Text("thumbHeight"), QStringLiteral("14300"));
    QCOMPARE(f.ImageParams().JpegQuality, 32);
    QCOMPARE(W<QComboBox>("FilterComboBox")->currentIndex(), -1);
    QVERIFY(W<QCheckBox>("ProgrCheckBox")->isChecked() &&
            !W<QCheckBox>("AutoRotateCheck")->isChecked());
    f.OptionsSavesettings1Click();
    QFile saved(SettingsPath());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    for (const char* line :
         {"LinkColorS=Bogus\r\n", "Filter=-1\r\n", "Progressive=1\r\n", "AutoRotate=0\r\n"})
      QVERIFY2(text.contains(line), line);
  }

  // A file that cannot be used is told and changes nothing: on Load Settings the window keeps
  // its settings; at start it takes the defaults and does not write them over the file.
  void unusableSettingsFileChangesNothing() {
    Open();
    W<QLineEdit>("IndexTitle")->setText(QStringLiteral("Mine"));
    QFile big(Path(QStringLiteral("big.ini")));
    QVERIFY(big.open(QIODevice::WriteOnly));
    big.write("[General Options]\r\nContentTitle=" + QByteArray(5 << 20, 'x'));
    big.close();
    dialogs_->FileAnswers.push_back(big.fileName());
    W<QAction>("OptionsLoadSettings1")->trigger();
    QCOMPARE(dialogs_->Texts("warning"),
             QStringList({"Cannot load settings from " + big.fileName() +
                          ": larger than 4194304 bytes.\nThe current settings are kept."}));
    QCOMPARE(Text("IndexTitle"), QStringLiteral("Mine"));

    form_.reset();
    QFile ini(SettingsPath());
    const QByteArray damaged("[General Options]\r\nContentTitle=Mine\r\n\x01\x02\xFF", 41);
    QVERIFY(ini.open(QIODevice::WriteOnly) && ini.write(damaged) == damaged.size());
    ini.close();
    TForm1& f = Open();
    f.show();
    QTRY_COMPARE(dialogs_->Texts("warning").size(), 2);
    QVERIFY(dialogs_->Texts("warning")[1].startsWith("Cannot read the settings file " +
                                                     SettingsPath() + ": damaged: line 3"));
    QVERIFY(Text("IndexTitle").isEmpty() && !f.SaveSettingsOnExit());
    f.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), damaged);
  }

  void settingsProblemAtStartShownOverTheWindow() {
    QFile ini(SettingsPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[General Options]\r\nTargetDir=/t\r\nBackColorS=<b>Bogus</b>\r\n");
    ini.close();
    // The real message box, looked at and closed from inside its own event loop.
    TQtDialogs qt;
    TForm1::TEnv env = Env(1);
    env.Dialogs = &qt;
    QString text, title;
    bool formShown = false, plain = false;
    QPoint offset;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      text = box->text();
      title = box->windowTitle();
      plain = box->textFormat() == Qt::PlainText;  // a name is never read as markup
      formShown = form_ && form_->isVisible();
      if (form_) offset = box->geometry().center() - form_->geometry().center();
      box->accept();
    });
    probe.start(10);
    form_ = std::make_unique<TForm1>(env);
    QVERIFY(text.isEmpty());
    TMoveOnShow mover;
    form_->installEventFilter(&mover);
    form_->show();
    QTRY_VERIFY(!text.isEmpty());
    QVERIFY2(text.startsWith(SettingsPath() + ": [General Options] BackColorS=<b>Bogus</b> is not"),
             qPrintable(text));
    QCOMPARE(title + " " + W<QLineEdit>("EditTarget")->text(), QStringLiteral("Warning /t"));
    QVERIFY(formShown && plain);
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    form_.reset();
  }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
