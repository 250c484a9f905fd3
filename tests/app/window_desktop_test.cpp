// The window as a desktop program: files and folders dropped on the list, and the preview of
// the selected picture.
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QtTest>

#include "app/main_form.h"
#include "fake_dialogs.h"

using namespace folivant;

namespace {

void Touch(const QString& path, const QByteArray& bytes = "x") {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

class WindowDesktopTest : public QObject, folivant::test::TWindowHarness {
  Q_OBJECT

  QString Folder(const QString& name) {
    QDir(dir_->path()).mkpath(name);
    return Path(name);
  }
  QStringList Listed() const {
    QStringList out;
    auto* lb = W<QListWidget>("ListBox1");
    for (int i = 0; i < lb->count(); ++i) out << lb->item(i)->text();
    return out;
  }
  // A drop as a file manager makes it, delivered where Qt delivers it.
  void Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QWidget* target = W<QListWidget>("ListBox1")->viewport();
    // Qt takes a drop only where the drag that brought it was taken.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
  }
  void Select(int row) {
    auto* lb = W<QListWidget>("ListBox1");
    lb->setCurrentRow(row);
    lb->item(row)->setSelected(true);
  }

 private slots:
  void init() {
    Start();
    form_ = std::make_unique<TForm1>(Env(1));
  }
  void cleanup() { Stop(); }

  void dropAddsPicturesAsTheCommandLineDoes() {
    const QString drop = Folder(QStringLiteral("drop"));
    const QString sub = Folder(QStringLiteral("drop/sub"));
    const QString other = Folder(QStringLiteral("other"));
    for (const char* name :
         {"drop/b.png", "drop/c.txt", "drop/a.jpg", "drop/sub/z.jpg", "drop/sub/A.gif",
          "drop/sub/.hidden.jpg", "drop/sub/tnz.jpg", "drop/sub/notes.txt", "other/m.JPEG"})
      Touch(Path(QLatin1String(name)));
    QDir(sub).mkpath(QStringLiteral("folder.jpg"));  // a folder with a picture's name

    // Files in the order dropped, a folder by the folder rule; a text file and a web address
    // are skipped and counted. The empty list takes its target folder from the first picture.
    Drop({QUrl::fromLocalFile(drop + "/c.txt"), QUrl::fromLocalFile(drop + "/b.png"),
          QUrl::fromLocalFile(sub + "/"), QUrl(QStringLiteral("https://example.org/x.jpg")),
          QUrl::fromLocalFile(drop + "/a.jpg")});
    QCOMPARE(Listed(), (QStringList{"b.png", "A.gif", "z.jpg", "a.jpg"}));
    QCOMPARE(form_->FileList().Paths().at(1), (sub + "/A.gif").toStdString());
    QCOMPARE(form_->StatusText(),
             QStringLiteral("Added 4 pictures. Skipped 2 files that are not pictures."));
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), drop);
    QCOMPARE(form_->LastDir(), drop);
    QCOMPARE(W<QLabel>("Label11")->text(), QStringLiteral("Items count: 4"));

    // A sorted list puts a dropped picture in its place; a list that was not empty keeps its
    // target folder.
    form_->SortButtonClick();
    Drop({QUrl::fromLocalFile(other + "/m.JPEG")});
    QCOMPARE(Listed(), (QStringList{"A.gif", "a.jpg", "b.png", "m.JPEG", "z.jpg"}));
    QCOMPARE(form_->StatusText(), QStringLiteral("Added 1 picture."));
    QCOMPARE(W<QLineEdit>("EditTarget")->text(), drop);
    QCOMPARE(dialogs_->Shown.size(), std::size_t{0});
  }

  void previewShowsTheSelectedPictureOrWhyNot() {
    // Left half red, right half blue, 400 x 100: the preview keeps the proportions.
    QImage picture(400, 100, QImage::Format_RGB888);
    picture.fill(Qt::red);
    for (int y = 0; y < 100; ++y)
      for (int x = 200; x < 400; ++x) picture.setPixelColor(x, y, Qt::blue);
    QVERIFY(picture.save(Path(QStringLiteral("wide.png"))));
    Touch(Path(QStringLiteral("broken.jpg")), QByteArray("\xFF\xD8\xFF\xE0 not a JPEG", 16));
    form_->DropFiles({Path(QStringLiteral("wide.png")), Path(QStringLiteral("broken.jpg"))});

    auto* image = W<QLabel>("PreviewImage");
    auto* caption = W<QLabel>("PreviewCaption");
    // The newest selection wins however quickly the selection moves.
    Select(1);
    Select(0);
    QTRY_VERIFY(!image->pixmap().isNull());
    const QImage shown = image->pixmap().toImage();
    QCOMPARE(shown.size(), QSize(224, 56));
    QVERIFY(qRed(shown.pixel(20, 28)) > 200 && qBlue(shown.pixel(20, 28)) < 50);
    QVERIFY(qBlue(shown.pixel(204, 28)) > 200 && qRed(shown.pixel(204, 28)) < 50);
    QCOMPARE(caption->text(), QStringLiteral("wide.png\n400 \u00d7 100"));

    Select(1);
    QTRY_VERIFY(image->text().startsWith(QStringLiteral("Cannot read picture broken.jpg: ")));
    QVERIFY(image->pixmap().isNull());

    // No selection, no preview, and a late result for an earlier one is not shown.
    form_->RemoveAllButtonClick();
    QTest::qWait(50);
    QVERIFY(image->pixmap().isNull());
    QVERIFY(image->text().isEmpty());
  }

  // Small enough for a 1024 x 600 screen (title bar and panel aside), the list growing with
  // it; where it stood and its size come back at the next start. Keys work as on the desktop.
  void windowResizesRemembersAndTakesKeys() {
    const QSize least = form_->minimumSizeHint();
    QVERIFY2(least.width() <= 1000 && least.height() <= 540,
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    auto* list = W<QListWidget>("ListBox1");
    form_->resize(least);
    QTRY_COMPARE(form_->size(), least);
    const QSize small = list->size();
    const QSize larger = least + QSize(60, 40);
    form_->resize(larger);
    form_->move(30, 20);
    QTRY_COMPARE(list->size(), small + QSize(60, 40));

    Touch(Path(QStringLiteral("a.png")));
    dialogs_->FilesAnswers.push_back({Path(QStringLiteral("a.png"))});
    QTest::keyClick(form_.get(), Qt::Key_O, Qt::ControlModifier);
    Select(0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::keyClick(form_.get(), Qt::Key_F, Qt::AltModifier);
    QCOMPARE(form_->menuBar()->activeAction()->text(), QStringLiteral("&File"));
    QCOMPARE(Listed().size() + dialogs_->FilesAnswers.size(), std::size_t{0});

    form_->close();
    form_ = std::make_unique<TForm1>(Env(1));
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    QCOMPARE(QRect(form_->pos(), form_->size()), QRect(QPoint(30, 20), larger));
  }
};

QTEST_MAIN(WindowDesktopTest)
#include "window_desktop_test.moc"
