// The wizard window's program.
#include <QApplication>

#include "app/dialogs.h"
#include "app/main_form.h"
#include "settings/settings_path.h"

int main(int argc, char** argv) {
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
