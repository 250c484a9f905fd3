// Builds started from the window: progress, cancel, errors, refusals while a build runs, and
// how long the window's event loop waits while one does.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <memory>

#include "app/main_form.h"
#include "app/widgets.h"
#include "fake_dialogs.h"

using namespace folivant;
using folivant::test::TFakeDialogs;

namespace {

// A picture with some structure, so resampling has work to do.
void WritePicture(const QString& path, int w, int h, int seed) {
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.fillRect(img.rect(), QColor::fromHsv((seed * 47) % 360, 160, 220));
  p.setPen(QPen(Qt::black, 3));
  for (int x = 0; x < w; x += 17) p.drawLine(x, 0, w - x, h);
  p.end();
  QVERIFY(img.save(path));
}

}  // namespace

class WindowBuildTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  std::function<void(const std::string&)> hook_;

  QString Target() const { return Path(QStringLiteral("out")); }

  TForm1& Open(int jobs = 1) {
    TForm1::TEnv env = Env(jobs);
    env.WorkerStatusHook = [this](const std::string& s) {
      if (hook_) hook_(s);
    };
    form_ = std::make_unique<TForm1>(env);
    return *form_;
  }
  // n pictures p1.png .. pn.png chosen in the window; the target is a separate folder.
  void Pictures(int n, int w = 160, int h = 120) {
    QDir(dir_->path()).mkpath(QStringLiteral("pics"));
    QStringList files;
    for (int i = 1; i <= n; ++i) {
      const QString f = Path(QStringLiteral("pics/p%1.png").arg(i));
      WritePicture(f, w, h, i);
      files << f;
    }
    dialogs_->FilesAnswers.push_back(files);
    form_->SelectImageBtnClick();
    W<QLineEdit>("EditTarget")->setText(Target());
  }
  bool Exists(const QString& name) const { return QFile::exists(Target() + "/" + name); }
  void WaitForEnd() { QTRY_VERIFY_WITH_TIMEOUT(!form_->Building(), 60000); }
  void CheckPutBack() {
    QCOMPARE(form_->StatusText(), QStringLiteral("Ready."));
    QCOMPARE(W<TGradientProgressBar>("CurrentProgress")->value(), 0);
    QCOMPARE(W<TGradientProgressBar>("ProgressBar1")->value(), 0);
    QVERIFY(W<QPushButton>("CancelButton")->isHidden());
    QVERIFY(W<QPushButton>("BuildBtn")->isEnabled());
    QVERIFY(W<QAction>("BuildCatalog1")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

 private slots:
  void init() {
    Start();
    hook_ = nullptr;
  }
  void cleanup() {
    Stop();
    hook_ = nullptr;
  }

  void fewerThanThreePicturesRefused() {
    Open();
    Pictures(2);
    W<QPushButton>("BuildBtn")->click();
    QCOMPARE(dialogs_->Texts("information"), QStringList({"You MUST select at least 3 files !"}));
    QVERIFY(!form_->Building());
    QVERIFY(!QDir(Target()).exists());
  }

  void missingTargetAskedFirst() {
    Open();
    Pictures(3);
    dialogs_->YesNoAnswers.push_back(false);
    W<QPushButton>("BuildBtn")->click();
    QCOMPARE(dialogs_->Texts("question"),
             QStringList({"Target directory does not exist. Do you want to make it?"}));
    QVERIFY(!form_->Building());
    QVERIFY(!QDir(Target()).exists());

    // Yes: the folder is made and the whole catalog written; the browser opens page1.html.
    dialogs_->YesNoAnswers.push_back(true);
    W<QAction>("BuildCatalog1")->trigger();
    QVERIFY(form_->Building());
    QVERIFY(!W<QPushButton>("BuildBtn")->isEnabled());
    QVERIFY(!W<QAction>("BuildCatalog1")->isEnabled());
    QVERIFY(!W<QPushButton>("CancelButton")->isHidden());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    WaitForEnd();
    CheckPutBack();
    for (const char* f :
         {"tnp1.jpg", "tnp2.jpg", "tnp3.jpg", "p1_png.html", "p3_png.html", "page1.html", "p1.png"})
      QVERIFY2(Exists(QString::fromLatin1(f)), f);
    QCOMPARE(dialogs_->Opened.size(), std::size_t{1});
    QCOMPARE(dialogs_->Opened[0], QUrl::fromLocalFile(Target() + "/page1.html"));
    QVERIFY(dialogs_->Texts("critical").isEmpty());

    // Built again, a thumbnail that is still right stays as it is; Rebuild All makes it again.
    QFile tn(Target() + "/tnp1.jpg");
    const QDateTime old(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    QVERIFY(tn.open(QIODevice::ReadWrite));
    QVERIFY(tn.setFileTime(old, QFileDevice::FileModificationTime));
    tn.close();
    for (const char* action : {"BuildCatalog1", "RebuildAll1"}) {
      W<QAction>(action)->trigger();
      WaitForEnd();
      QCOMPARE(QFileInfo(tn.fileName()).lastModified() == old, action[0] == 'B');
    }
  }

  void emptyTargetAndBadTableReported() {
    Open();
    Pictures(3);
    // No folder named: the question, then "Cannot create " with nothing after it.
    W<QLineEdit>("EditTarget")->clear();
    dialogs_->YesNoAnswers.push_back(true);
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    CheckPutBack();
    QCOMPARE(dialogs_->Texts("critical"), QStringList({"Cannot create "}));

    // Rows typed as text: the build stops with the message naming the text.
    W<QLineEdit>("EditTarget")->setText(Target());
    QDir().mkpath(Target());
    W<QLineEdit>("TableRows")->setText(QStringLiteral("two"));  // the summary complains
    QCOMPARE(dialogs_->Texts("critical").size(), 2);
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    CheckPutBack();
    const QStringList errors = dialogs_->Texts("critical");
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors.back().contains(QStringLiteral("'two'")), qPrintable(errors.back()));
    QVERIFY(!Exists("page1.html"));
  }

  void noBrowserWhenUnchecked() {
    Open();
    Pictures(3);
    QDir().mkpath(Target());
    W<QCheckBox>("PreviewCheckBox")->setChecked(false);
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    QVERIFY(Exists("page1.html"));
    QVERIFY(dialogs_->Opened.empty());
  }

  void cancelDuringSecondPicture() {
    Open();
    Pictures(5);
    QDir().mkpath(Target());
    // The worker waits inside the second picture until Cancel has been pressed.
    QSemaphore release;
    std::atomic<bool> held{false};
    hook_ = [&](const std::string& status) {
      if (status.find("p2.png") != std::string::npos && !held.exchange(true))
        release.tryAcquire(1, 30000);
    };
    W<QPushButton>("BuildBtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(form_->StatusText().contains(QStringLiteral("p2.png")), 30000);
    QVERIFY(form_->StatusText().startsWith(QStringLiteral("Opening file")));
    QVERIFY(W<TGradientProgressBar>("ProgressBar1")->maximum() == 15);
    QTest::mouseClick(W<QPushButton>("CancelButton"), Qt::LeftButton);
    release.release();
    WaitForEnd();
    CheckPutBack();
    QVERIFY(Exists("tnp1.jpg") && Exists("tnp2.jpg"));
    QVERIFY(Exists("p1_png.html") && Exists("p2_png.html"));
    QVERIFY(!Exists("tnp3.jpg") && !Exists("p3_png.html"));
    QVERIFY(!Exists("page1.html"));
    QVERIFY(dialogs_->Opened.empty());
    QVERIFY(dialogs_->Shown.empty());
  }

  void brokenPictureReportedAndWindowPutBack() {
    Open();
    Pictures(3);
    QDir().mkpath(Target());
    QFile bad(Path("pics/p2.png"));
    QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("not a picture at all");
    bad.close();
    W<QPushButton>("BuildBtn")->click();
    WaitForEnd();
    CheckPutBack();
    const QStringList errors = dialogs_->Texts("critical");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains(QStringLiteral("p2.png")), qPrintable(errors[0]));
    QVERIFY(!Exists("page1.html"));
  }

  // Not a pass/fail test: reports the longest wait between two turns of the event loop while
  // a build runs (FOLIVANT_BENCH_JOBS workers, default one per processor). FOLIVANT_BENCH_CORPUS
  // names a folder of JPEGs to build (bench/corpus); without it, twelve generated 1600 x 1200
  // pictures.
  void responsivenessDuringBuild() {
    Open(qEnvironmentVariableIntValue("FOLIVANT_BENCH_JOBS"));
    QStringList files;
    const QString corpus = qEnvironmentVariable("FOLIVANT_BENCH_CORPUS");
    if (!corpus.isEmpty()) {
      for (const QString& f :
           QDir(corpus).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        files << QDir(corpus).filePath(f);
    } else {
      QDir(dir_->path()).mkpath(QStringLiteral("big"));
      for (int i = 1; i <= 12; ++i) {
        files << Path(QStringLiteral("big/b%1.png").arg(i));
        WritePicture(files.back(), 1600, 1200, i);
      }
    }
    QVERIFY(files.size() >= 3);
    dialogs_->FilesAnswers.push_back(files);
    form_->SelectImageBtnClick();
    W<QLineEdit>("EditTarget")->setText(Target());
    QDir().mkpath(Target());
    W<QCheckBox>("PreviewCheckBox")->setChecked(false);

    // A 1 ms timer samples the loop without keeping the window's thread busy (as a zero timer
    // would, taking a processor from the build); a plain QEventLoop, not QTest::qWait, which
    // sleeps between its turns.
    QElapsedTimer clock;
    qint64 last = 0, longest = 0, longestAt = 0;
    long turns = 0;
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      if (turns++ > 0 && now - last > longest) {
        longest = now - last;
        longestAt = now;
      }
      last = now;
      if (!form_->Building()) loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(600000);
    W<QPushButton>("BuildBtn")->click();
    clock.start();
    tick.start();
    loop.exec();
    tick.stop();
    QVERIFY(!form_->Building());
    const double total = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    qInfo(
        "responsiveness: %lld pictures built in %.0f ms; %ld timer ticks; longest gap between "
        "ticks "
        "%.2f ms, ending %.0f ms after the start",
        static_cast<long long>(files.size()), total, turns, static_cast<double>(longest) / 1e6,
        static_cast<double>(longestAt) / 1e6);
    QVERIFY(Exists("page1.html"));
  }
};

QTEST_MAIN(WindowBuildTest)
#include "window_build_test.moc"
