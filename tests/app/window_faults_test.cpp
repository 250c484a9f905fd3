// The window's answers to faults found by trying it as a new user: typed numbers checked before
// a build writes anything, a relative target, closing during a build, exact captions, the
// settings error at start-up, and what a running build disables.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>

#include "app/main_form.h"
#include "fake_dialogs.h"

using namespace folivant;

class WindowFaultsTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  std::function<void(const std::string&)> hook_;

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

 private slots:
  void init() {
    Start();
    hook_ = nullptr;
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
};

QTEST_MAIN(WindowFaultsTest)
#include "window_faults_test.moc"
