// The wizard window's program.
#include <QApplication>
#include <cstdio>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "catalog/version.h"
#include "settings/settings_path.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  folivant::ConfigureApplication();
  // Qt has taken its own options (-platform ...) out of the arguments by now.
  const QStringList args = QCoreApplication::arguments();
  if (args.contains(QStringLiteral("--version"))) {
    std::printf("folivant %s\n", FOLIVANT_VERSION_TEXT);
    return 0;
  }
  if (args.contains(QStringLiteral("--help"))) {
    std::printf(
        "Usage: folivant [--version | --help]\n"
        "Opens the wizard that makes an HTML picture catalog; see folivant(1).\n");
    return 0;
  }

  folivant::TQtDialogs dialogs;
  folivant::TForm1::TEnv env;
  env.Dialogs = &dialogs;
  env.ProgramDir = QString::fromStdString(folivant::ProgramDir());
  if (env.ProgramDir.isEmpty()) env.ProgramDir = QCoreApplication::applicationDirPath();
  env.SettingsPath = QString::fromStdString(folivant::DefaultSettingsPath());
  folivant::TForm1 form(env);
  form.show();
  return QApplication::exec();
}
