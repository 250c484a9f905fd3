// The window's answers to faults found by trying it as a new user: typed numbers checked before
// a build writes anything, a relative target, closing during a build, exact captions, the
// settings error at start-up, and what a running build disables.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>

#include "app/dialogs.h"
#include "app/main_form.h"
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

class WindowFaultsTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  std::function<void(const std::string&)> hook_;
  QSemaphore release_;
  std::atomic<bool> held_{false};

  QString Target() const { return Path(QStringLiteral("out")); }
  TForm1& Open() {
    TForm1::TEnv env = Env(1);
    env.WorkerStatusHook = [this](const std::string& s) {
      if (hook_) hook_(s);
    };
    form_ = std::make_unique<TForm1>(env);
    return *form_;
  }
  // n small pictures chosen in the window, from the folder pics; the target is out, made.
  void Pictures(int n) {
    QDir(dir_->path()).mkpath(QStringLiteral("pics"));
    QStringList files;
    for (int i = 1; i <= n; ++i) {
      files << Path(QStringLiteral("pics/p%1.png").arg(i));
      QImage img(40, 30, QImage::Format_RGB32);
      img.fill(QColor::fromHsv(i * 40, 200, 200));
      QVERIFY(img.save(files.back()));
    }
    dialogs_->FilesAnswers.push_back(files);
    form_->SelectImageBtnClick();
    QDir().mkpath(Target());
    W<QLineEdit>("EditTarget")->setText(Target());
  }
  QStringList TargetFiles() const { return QDir(Target()).entryList(QDir::Files); }
  void WaitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(!form_->Building(), 60000); }
  // Starts a build whose worker waits inside the first picture until released.
  void StartHeld() {
    hook_ = [this](const std::string& status) {
      if (status.find("p1.png") != std::string::npos && !held_.exchange(true))
        release_.tryAcquire(1, 5000);
    };
    W<QPushButton>("BuildBtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(held_.load(), 30000);
  }

 private slots:
  void init() {
    Start();
    hook_ = nullptr;
    held_ = false;
    release_.tryAcquire(release_.available());
  }
  void cleanup() {
    Stop();
    hook_ = nullptr;
  }

  void typedNumbersCheckedBeforeAnythingIsWritten() {
    Open();
    Pictures(3);
    const struct {
      const char* field;
      const char* text;
      const char* message;
    } cases[] = {
        {"TableRows", "200",
         "Rows must be a whole number from 1 to 100 (100 is the table's limit), not '200'"},
        {"TableCols", "0",
         "Columns must be a whole number from 1 to 100 (100 is the table's limit), not '0'"},
        {"TableBorderEdit", "31", "Border must be a whole number from 0 to 30, not '31'"},
        {"TableCellPadEdit", "2x", "Cell Padding must be a whole number from 0 to 30, not '2x'"},
        {"TableCellSpaceEdit", "-1", "Cell Spacing must be a whole number from 0 to 39, not '-1'"},
    };
    for (const auto& c : cases) {
      auto* edit = W<QLineEdit>(c.field);
      const QString kept = edit->text();
      edit->setText(QString::fromLatin1(c.text));
      dialogs_->Shown.clear();
      W<QPushButton>("BuildBtn")->click();
      QCOMPARE(dialogs_->Texts("critical"), QStringList({QString::fromLatin1(c.message)}));
      QVERIFY(!form_->Building());
      QVERIFY2(TargetFiles().isEmpty(), qPrintable(TargetFiles().join(' ')));
      edit->setText(kept);
    }
    // The page summary applies the same rule, and names the field.
    auto* panel = W<QLabel>("Panel1");
    W<QLineEdit>("TableRows")->setText(QStringLiteral("200"));
    QCOMPARE(panel->text(), QStringLiteral("Rows: 1 to 100"));
    QCOMPARE(panel->toolTip(), QString::fromLatin1(cases[0].message));
    W<QLineEdit>("TableRows")->setText(QStringLiteral("2"));
    QCOMPARE(panel->text(), QStringLiteral("Items: 3   Pages: 1"));
  }

  void relativeTargetGoesBesideThePictures() {
    // Started from some other folder, as from a desktop menu.
    QTemporaryDir elsewhere;
    struct TBack {
      QString dir = QDir::currentPath();
      ~TBack() { QDir::setCurrent(dir); }
    } back;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    Open();
    Pictures(3);
    W<QLineEdit>("EditTarget")->setText(QStringLiteral("catalog/"));
    dialogs_->YesNoAnswers.push_back(true);
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), Path("pics/catalog"));
    QVERIFY(QFile::exists(Path("pics/catalog/page1.html")));
    QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("catalog"))));
    QVERIFY(dialogs_->Texts("critical").isEmpty());
  }

  void keptTargetFileThatDiffersIsReported() {
    Open();
    Pictures(3);
    QImage other(10, 10, QImage::Format_RGB32);
    other.fill(Qt::black);
    QVERIFY(other.save(Target() + QStringLiteral("/p2.png")));
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    const QStringList warnings = dialogs_->Texts("warning");
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains(QStringLiteral("p2.png")), qPrintable(warnings[0]));
    QVERIFY(!warnings[0].contains(QStringLiteral("p1.png")));
  }

  void closingDuringBuildKeepsTheWindowAnswering() {
    Open();
    Pictures(4);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    StartHeld();
    W<QLineEdit>("IndexTitle")->setText(QStringLiteral("Closed while building"));
    // Closing returns at once: the worker is still held inside the first picture.
    form_->close();
    QVERIFY(form_->Building());
    QVERIFY(form_->isVisible());
    QVERIFY(!form_->centralWidget()->isEnabled());
    QTest::qWait(50);
    QCOMPARE(form_->StatusText(), QStringLiteral("Cancelling..."));
    W<QAction>("Quit1")->trigger();  // nothing more happens while it waits
    release_.release();
    QTRY_VERIFY_WITH_TIMEOUT(!form_->isVisible(), 30000);
    QVERIFY(!form_->Building());
    QVERIFY(QFile::exists(Target() + "/tnp1.jpg"));
    QVERIFY(!QFile::exists(Target() + "/page1.html"));
    QFile ini(SettingsPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("ContentTitle=Closed while building"));
    QVERIFY(dialogs_->Shown.empty());
  }

  void buildDisablesWhatItCannotUse() {
    Open();
    Pictures(4);
    // Names whose state is not `on`.
    const auto differing = [this](bool on) {
      QStringList out;
      for (const char* w : {"SelectImageBtn", "AddFileButton", "MoveUpButton", "MoveDownButton",
                            "SortButton", "DelPicButton", "RemoveAllButton", "BuildBtn"})
        if (W<QWidget>(w)->isEnabled() != on) out << QString::fromLatin1(w);
      for (const char* a : {"SelectFiles1", "AddFiles1", "OptionsLoadSettings1", "BuildCatalog1"})
        if (W<QAction>(a)->isEnabled() != on) out << QString::fromLatin1(a);
      return out.join(' ');
    };
    StartHeld();
    QVERIFY2(differing(false).isEmpty(), qPrintable(differing(false)));
    QVERIFY(W<QPushButton>("CancelButton")->isEnabled());
    QVERIFY(W<QLineEdit>("IndexTitle")->isEnabled());
    W<QPushButton>("RemoveAllButton")->click();
    QCOMPARE(form_->FileList().Count(), std::size_t{4});
    W<QPushButton>("CancelButton")->click();
    release_.release();
    WaitForEnd();
    QVERIFY2(differing(true).isEmpty(), qPrintable(differing(true)));

    // An error puts them back too.
    for (const QString& f : {Path("pics/p2.png"), Target() + "/p2.png"}) {
      QFile bad(f);
      QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
      bad.write("not a picture");
    }
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    QCOMPARE(dialogs_->Texts("critical").size(), 1);
    QVERIFY2(differing(true).isEmpty(), qPrintable(differing(true)));
    QVERIFY(dialogs_->Texts("information").isEmpty());
  }

  void captionsShowExactlyAsWritten() {
    // The platform appends a display name that was set to every title not ending with it
    // ("Warning — Folivant v1.7"). None is set: the display name follows the plain name.
    ConfigureApplication();
    const QString name = QCoreApplication::applicationName();
    QCOMPARE(name, QStringLiteral("Folivant v1.7"));
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    const QString shown = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(name);
    QCOMPARE(shown, QStringLiteral("probe"));
    QCOMPARE(Open().windowTitle(), name);
  }

  void settingsErrorAtStartShownOverTheWindow() {
    QFile ini(SettingsPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[General Options]\r\nBackColorS=Bogus\r\n");
    ini.close();
    // The real message box, looked at and closed from inside its own event loop.
    TQtDialogs qt;
    TForm1::TEnv env = Env(1);
    env.Dialogs = &qt;
    QString text, title;
    bool formShown = false;
    QPoint offset;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      text = box->text();
      title = box->windowTitle();
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
    QCOMPARE(text, QStringLiteral("'Bogus' is not a valid integer value\nSettings file: %1")
                       .arg(SettingsPath()));
    QCOMPARE(title, QStringLiteral("Folivant v1.7"));
    QVERIFY(formShown);
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
    form_.reset();
  }
};

QTEST_MAIN(WindowFaultsTest)
#include "window_faults_test.moc"
