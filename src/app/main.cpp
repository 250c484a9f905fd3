// The wizard window's program.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "catalog/version.h"
#include "settings/settings_path.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("folivant %s\n", FOLIVANT_VERSION_TEXT);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "Usage: folivant [--version | --help]\n"
          "Opens the wizard that makes an HTML picture catalog; see folivant(1).\n");
      return 0;
    }
  }
  QApplication app(argc, argv);
  folivant::ConfigureApplication();

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
