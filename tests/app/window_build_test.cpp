// Builds started from the window: the question before a missing target is made (after the
// names are checked), typed numbers checked before anything is written, a relative target,
// Cancel and closing with what is disabled or refused meanwhile, the summary a build ends
// with, and the window put back after an error.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <memory>

#include "app/main_form.h"
#include "app/widgets.h"
#include "fake_dialogs.h"

using namespace folivant;

class WindowBuildTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

 private:
  std::function<void(const std::string&)> hook_;
  QSemaphore release_;

  QString Target() const { return Path(QStringLiteral("out")); }
  bool Exists(const QString& name) const { return QFile::exists(Target() + "/" + name); }

  // The window with n pictures p1.png .. pn.png chosen and a separate target folder.
  void Open(int n) {
    TForm1::TEnv env = Env(1);
    env.WorkerStatusHook = [this](const std::string& s) {
      if (hook_) hook_(s);
    };
    form_ = std::make_unique<TForm1>(env);
    QDir(dir_->path()).mkpath(QStringLiteral("pics"));
    QStringList files;
    for (int i = 1; i <= n; ++i) {
      files << Path(QStringLiteral("pics/p%1.png").arg(i));
      QImage img(160, 120, QImage::Format_RGB32);
      img.fill(QColor::fromHsv(i * 47 % 360, 160, 220));
      QVERIFY(img.save(files.back()));
    }
    dialogs_->FilesAnswers.push_back(files);
    form_->SelectImageBtnClick();
    W<QLineEdit>("EditTarget")->setText(Target());
  }
  // A second picture of the same name, from another folder.
  void DropSame(const QString& name) {
    QDir(dir_->path()).mkpath(QStringLiteral("other"));
    QVERIFY(QFile::copy(Path("pics/" + name), Path("other/" + name)));
    form_->DropFiles({Path("other/" + name)});
  }
  // The worker waits inside the picture named until release_ is released.
  void HoldAt(const std::string& picture) {
    auto held = std::make_shared<std::atomic<bool>>(false);
    hook_ = [this, picture, held](const std::string& status) {
      if (status.find(picture) != std::string::npos && !held->exchange(true))
        release_.tryAcquire(1, 30000);
    };
  }
  void StartAndWaitFor(const QString& picture) {
    QDir().mkpath(Target());
    W<QPushButton>("BuildBtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(form_->StatusText().contains(picture), 30000);
  }
  // The list buttons and menu items a build cannot share the list with whose state is not `on`.
  QString Differing(bool on) const {
    QStringList out;
    for (const char* w : {"SelectImageBtn", "AddFileButton", "MoveUpButton", "MoveDownButton",
                          "SortButton", "DelPicButton", "RemoveAllButton", "BuildBtn"})
      if (W<QWidget>(w)->isEnabled() != on) out << QString::fromLatin1(w);
    for (const char* a : {"SelectFiles1", "AddFiles1", "OptionsLoadSettings1", "BuildCatalog1"})
      if (W<QAction>(a)->isEnabled() != on) out << QString::fromLatin1(a);
    return out.join(' ');
  }
  // The build over and everything as before it: status (the summary, if any), bars, buttons,
  // cursor.
  void WaitUntilPutBack() {
    QTRY_VERIFY_WITH_TIMEOUT(!form_->Building(), 60000);
    const QString summary = form_->BuildSummary();
    QCOMPARE(form_->StatusText(), summary.isEmpty() ? QStringLiteral("Ready.") : summary);
    QCOMPARE(W<TGradientProgressBar>("CurrentProgress")->value() +
                 W<TGradientProgressBar>("ProgressBar1")->value(),
             0);
    QVERIFY(W<QPushButton>("CancelButton")->isHidden());
    QCOMPARE(Differing(true), QString());
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

  // A folder added as a tree: the list names each picture's album; the build makes an album of
  // the sub-folder (one picture is enough), linked from the top album's first page.
  void folderTreeAsAlbums() {
    Open(1);
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("pics/sub")));
    QVERIFY(QFile::copy(Path("pics/p1.png"), Path("pics/sub/s.png")));
    W<QPushButton>("RemoveAllButton")->click();
    W<QCheckBox>("AlbumsCheck")->setChecked(true);
    dialogs_->FolderAnswers << Path(QStringLiteral("pics"));
    W<QPushButton>("AddFolderButton")->click();
    QCOMPARE(W<QListWidget>("ListBox1")->item(1)->text(), QStringLiteral("sub / s.png"));
    W<QLineEdit>("EditTarget")->setText(Target());
    QDir().mkpath(Target());
    W<QPushButton>("BuildBtn")->click();
    WaitUntilPutBack();
    QVERIFY(Exists("sub/page1.html") && Exists("sub/tns.jpg") && Exists("p1_png.html"));
    QFile top(Target() + "/page1.html");
    QVERIFY(top.open(QIODevice::ReadOnly) && top.readAll().contains("href=\"sub/page1.html\""));
  }

  void missingTargetAskedFirst() {
    Open(3);
    dialogs_->YesNoAnswers = {false, true};
    W<QPushButton>("BuildBtn")->click();
    WaitUntilPutBack();
    QCOMPARE(dialogs_->Texts("question"),
             QStringList({"Target directory does not exist. Do you want to make it?"}));
    QVERIFY(!QDir(Target()).exists() && form_->BuildSummary().isEmpty());
    // Yes: the folder is made, the whole catalog written, and the browser opens page1.html.
    W<QAction>("BuildCatalog1")->trigger();
    QVERIFY(form_->Building() && !W<QPushButton>("CancelButton")->isHidden());
    QVERIFY(!W<QPushButton>("BuildBtn")->isEnabled() && !W<QAction>("BuildCatalog1")->isEnabled());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    WaitUntilPutBack();
    for (const char* f :
         {"tnp1.jpg", "tnp3.jpg", "p1_png.html", "p3_png.html", "page1.html", "p1.png"})
      QVERIFY2(Exists(QString::fromLatin1(f)), f);
    QCOMPARE(form_->BuildSummary(),
             "Built 3 pictures (3 made, 0 reused), 1 catalog page in " + Target());
    W<QPushButton>("OpenFolderBtn")->click();
    const QUrl page = QUrl::fromLocalFile(Target() + "/page1.html");
    QCOMPARE(dialogs_->Opened, std::vector<QUrl>({page, QUrl::fromLocalFile(Target())}));
    QVERIFY(dialogs_->Texts("critical").isEmpty());

    // Built again, a thumbnail that is still right stays as it is; Rebuild All makes it again.
    QFile tn(Target() + "/tnp1.jpg");
    const QDateTime old(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    QVERIFY(tn.open(QIODevice::ReadWrite));
    QVERIFY(tn.setFileTime(old, QFileDevice::FileModificationTime));
    tn.close();
    for (const char* action : {"BuildCatalog1", "RebuildAll1"}) {
      W<QAction>(action)->trigger();
      WaitUntilPutBack();
      QCOMPARE(QFileInfo(tn.fileName()).lastModified() == old, action[0] == 'B');
    }
    QVERIFY(form_->BuildSummary().startsWith("Built 3 pictures (3 made, 0 reused)"));
  }

  void cancelDuringSecondPicture() {
    Open(5);
    HoldAt("p2.png");
    StartAndWaitFor(QStringLiteral("p2.png"));
    QVERIFY(form_->StatusText().startsWith(QStringLiteral("Opening file")));
    QCOMPARE(W<TGradientProgressBar>("ProgressBar1")->maximum(), 15);
    QCOMPARE(Differing(false), QString());
    QVERIFY(W<QLineEdit>("IndexTitle")->isEnabled());
    // What reaches the window while it builds, by dropping or by the menu, is refused.
    form_->DropFiles({Path(QStringLiteral("pics/p1.png"))});
    form_->OptionsLoadSettings1Click();
    form_->RemoveAllButtonClick();
    QCOMPARE(dialogs_->Texts("information").size() * 10 + form_->FileList().Count(), 35u);
    QTest::mouseClick(W<QPushButton>("CancelButton"), Qt::LeftButton);
    release_.release();
    WaitUntilPutBack();
    QVERIFY(Exists("tnp2.jpg") && Exists("p2_png.html"));
    QVERIFY(!Exists("tnp3.jpg") && !Exists("p3_png.html") && !Exists("page1.html"));
    QVERIFY(dialogs_->Opened.empty() && dialogs_->Shown.size() == 3);
    QCOMPARE(form_->BuildSummary(),
             QStringLiteral("Cancelled after 2 of 5 pictures; no catalog page was written"));
    QVERIFY(W<QPushButton>("OpenCatalogBtn")->isHidden() &&
            !W<QPushButton>("OpenFolderBtn")->isHidden());
  }

  void errorsReportedAndWindowPutBack() {
    Open(3);
    QFile bad(Path(QStringLiteral("pics/p2.png")));
    QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write("not a picture at all");
    bad.close();
    QDir().mkpath(Target());
    W<QPushButton>("BuildBtn")->click();
    WaitUntilPutBack();
    // No folder named, one that cannot be made (under a file), and two pictures of one name
    // into a missing folder: each told, by name, before anything is asked or written.
    const QString under = Path(QStringLiteral("pics/p1.png/out"));
    dialogs_->YesNoAnswers = {true};
    for (const QString& target : {QString(), under, Path(QStringLiteral("missing"))}) {
      W<QLineEdit>("EditTarget")->setText(target);
      if (target.endsWith(QStringLiteral("missing"))) DropSame(QStringLiteral("p3.png"));
      W<QPushButton>("BuildBtn")->click();
      WaitUntilPutBack();
    }
    const QStringList errors = dialogs_->Texts("critical");
    QCOMPARE(errors.size(), 4);
    QVERIFY2(errors[0].startsWith(QStringLiteral("Cannot read picture p2.png")),
             qPrintable(errors[0]));
    QVERIFY(errors[1].startsWith(QStringLiteral("No Target Directory is given")));
    QVERIFY2(errors[2].startsWith("Cannot create the target folder " + under),
             qPrintable(errors[2]));
    QVERIFY2(errors[3].startsWith("Two different pictures have the name p3.png"),
             qPrintable(errors[3]));
    QVERIFY(dialogs_->Texts("question").isEmpty());
    QVERIFY(!Exists("page1.html") && !QDir(Path(QStringLiteral("missing"))).exists());
  }

  void typedNumbersCheckedBeforeAnythingIsWritten() {
    Open(3);
    const struct {
      const char *field, *text, *message;
    } cases[] = {
        {"TableRows", "200",
         "Rows must be a whole number from 1 to 100 (100 is the table's limit), not '200'"},
        {"TableCols", "0",
         "Columns must be a whole number from 1 to 100 (100 is the table's limit), not '0'"},
        {"TableBorderEdit", "31", "Border must be a whole number from 0 to 30, not '31'"},
        {"TableCellPadEdit", "2x", "Cell Padding must be a whole number from 0 to 30, not '2x'"},
        {"TableCellSpaceEdit", "-1", "Cell Spacing must be a whole number from 0 to 39, not '-1'"},
        {"TableRows", "x",
         "Rows must be a whole number from 1 to 100 (100 is the table's limit), not 'x'"},
    };
    for (const auto& c : cases) {
      auto* edit = W<QLineEdit>(c.field);
      const QString kept = edit->text();
      edit->setText(QString::fromLatin1(c.text));
      dialogs_->Shown.clear();
      W<QPushButton>("BuildBtn")->click();
      // Refused before the missing target is even asked about.
      QCOMPARE(dialogs_->Texts("critical"), QStringList({QString::fromLatin1(c.message)}));
      QVERIFY(!form_->Building() && !QDir(Target()).exists() && dialogs_->Shown.size() == 1);
      edit->setText(kept);
    }
    // The page summary applies the same rule, and names the field, without a box for text
    // that is no number; it follows the list, emptied too.
    auto* panel = W<QLabel>("Panel1");
    dialogs_->Shown.clear();
    for (const char* text : {"200", "", "<b>x"}) {
      W<QLineEdit>("TableRows")->setText(QString::fromLatin1(text));
      QCOMPARE(panel->text(), QStringLiteral("Rows: 1 to 100"));
    }
    QVERIFY(panel->toolTip().contains(QStringLiteral("not '&lt;b&gt;x'")) &&
            dialogs_->Shown.empty());
    W<QLineEdit>("TableRows")->setText(QStringLiteral("2"));
    QCOMPARE(panel->text(), QStringLiteral("Items: 3   Pages: 1"));
    form_->RemoveAllButtonClick();
    QVERIFY(panel->text().isEmpty());
  }

  void relativeTargetGoesBesideThePictures() {
    // Started from some other folder, as from a desktop menu.
    QTemporaryDir elsewhere;
    struct TBack {
      QString dir = QDir::currentPath();
      ~TBack() { QDir::setCurrent(dir); }
    } back;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    Open(3);
    W<QLineEdit>("EditTarget")->setText(QStringLiteral("catalog/"));
    dialogs_->YesNoAnswers.push_back(true);
    W<QPushButton>("BuildBtn")->click();
    WaitUntilPutBack();
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), Path("pics/catalog"));
    QVERIFY(QFile::exists(Path("pics/catalog/page1.html")));
    QVERIFY(!QFile::exists(elsewhere.filePath(QStringLiteral("catalog"))));
    QVERIFY(dialogs_->Texts("critical").isEmpty());
  }

  void keptTargetFileThatDiffersIsReported() {
    Open(3);
    QDir().mkpath(Target());
    QImage other(10, 10, QImage::Format_RGB32);
    other.fill(Qt::black);
    QVERIFY(other.save(Target() + QStringLiteral("/p2.png")));
    W<QPushButton>("BuildBtn")->click();
    WaitUntilPutBack();
    const QStringList warnings = dialogs_->Texts("warning");
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings[0].contains(QStringLiteral("p2.png")), qPrintable(warnings[0]));
    QVERIFY(!warnings[0].contains(QStringLiteral("p1.png")));
  }

  void closingDuringBuildKeepsTheWindowAnswering() {
    Open(4);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    HoldAt("p1.png");
    StartAndWaitFor(QStringLiteral("p1.png"));
    W<QLineEdit>("IndexTitle")->setText(QStringLiteral("Closed while building"));
    // Closing returns at once: the worker is still held inside the first picture.
    form_->close();
    QVERIFY(form_->Building() && form_->isVisible() && !form_->centralWidget()->isEnabled());
    QTest::qWait(50);
    QCOMPARE(form_->StatusText(), QStringLiteral("Cancelling..."));
    W<QAction>("Quit1")->trigger();  // nothing more happens while it waits
    release_.release();
    QTRY_VERIFY_WITH_TIMEOUT(!form_->isVisible(), 30000);
    QVERIFY(!form_->Building());
    QVERIFY(Exists("tnp1.jpg") && !Exists("page1.html"));
    QFile ini(SettingsPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("ContentTitle=Closed while building"));
    QVERIFY(dialogs_->Shown.empty());
  }
};

QTEST_MAIN(WindowBuildTest)
#include "window_build_test.moc"
