// Draws the six tabs of the window into PNG files for the documentation:
//   xvfb-run -a window_screenshots OUTPUT_DIR SAMPLE_PICTURES_DIR
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "app/main_form.h"
#include "app/version.h"
#include "app/widgets.h"
#include "fake_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(folivant::AppTitle());
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_screenshots OUTPUT_DIR SAMPLE_PICTURES_DIR\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  QTemporaryDir tmp;
  folivant::test::TFakeDialogs dialogs;
  folivant::TForm1::TEnv env;
  env.Dialogs = &dialogs;
  env.SettingsPath = tmp.filePath(QStringLiteral("folivant.ini"));
  env.ProgramDir = tmp.path();
  folivant::TForm1 form(env);

  // The sample pictures, dropped on the list as from a file manager; the first one selected
  // for the preview.
  const QString holiday = tmp.filePath(QStringLiteral("Holiday"));
  QDir().mkpath(holiday);
  const QString samples = QString::fromLocal8Bit(argv[2]);
  for (const char* name :
       {"forest.jpg", "mountains.jpg", "rings.png", "stripes.gif", "sunset.jpg", "tower-night.jpg"})
    QFile::copy(QDir(samples).filePath(QLatin1String(name)),
                QDir(holiday).filePath(QLatin1String(name)));
  form.DropFiles({holiday});
  form.findChild<QLineEdit*>(QStringLiteral("EditTarget"))
      ->setText(QStringLiteral("/home/user/Pictures/Holiday"));
  auto* list = form.findChild<QListWidget*>(QStringLiteral("ListBox1"));
  list->setCurrentRow(4);
  list->item(4)->setSelected(true);
  auto* preview = form.findChild<QLabel*>(QStringLiteral("PreviewImage"));
  for (int k = 0; k < 500 && preview->pixmap().isNull(); ++k) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  form.findChild<QLineEdit*>(QStringLiteral("IndexTitle"))->setText(QStringLiteral("Holiday 2026"));
  form.findChild<folivant::TUpDown*>(QStringLiteral("UpDown1"))->SetPosition(2);
  form.findChild<folivant::TUpDown*>(QStringLiteral("UpDown2"))->SetPosition(3);

  form.show();
  auto* tabs = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  const char* names[6] = {"1-select-files",  "2-general-options", "3-table-options",
                          "4-image-options", "5-header-footer",   "6-build"};
  for (int i = 0; i < 6; ++i) {
    tabs->setCurrentIndex(i);
    if (i == 5) {
      // Bars part way, to show how they look during a build.
      form.findChild<folivant::TGradientProgressBar*>(QStringLiteral("CurrentProgress"))
          ->setValue(70);
      auto* overall =
          form.findChild<folivant::TGradientProgressBar*>(QStringLiteral("ProgressBar1"));
      overall->setRange(0, 18);
      overall->setValue(7);
    }
    for (int k = 0; k < 5; ++k) QApplication::processEvents();
    const QString file = QDir(out).filePath(QStringLiteral("%1.png").arg(QLatin1String(names[i])));
    // The window with its own frame-less contents; small palette-free PNGs.
    if (!form.grab().toImage().convertToFormat(QImage::Format_RGB888).save(file, "PNG", 9)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
    std::printf("%s\n", qPrintable(file));
  }
  form.findChild<folivant::TGradientProgressBar*>(QStringLiteral("CurrentProgress"))->setValue(0);
  form.findChild<folivant::TGradientProgressBar*>(QStringLiteral("ProgressBar1"))->setValue(0);
  // Nothing of this run is kept.
  form.findChild<QAction*>(QStringLiteral("OptionsSaveSettingsOnExit1"))->trigger();
  form.close();
  return 0;
}
