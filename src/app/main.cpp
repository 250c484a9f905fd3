// The wizard window's program.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <thread>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "app/settings/settings_path.h"
#include "app/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(folivant::AppTitle());
  QApplication::setApplicationDisplayName(folivant::AppTitle());
  QApplication::setDesktopFileName(QStringLiteral("folivant"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("folivant")));

  folivant::TQtDialogs dialogs;
  folivant::TForm1::TEnv env;
  env.Dialogs = &dialogs;
  env.ProgramDir = QCoreApplication::applicationDirPath();
  env.SettingsPath = QString::fromStdString(folivant::DefaultSettingsPath());
  folivant::TForm1 form(env);
  form.show();
  return QApplication::exec();
}
