#include "app/dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "app/version.h"

namespace folivant {

QString QtFilter(const QString& classicFilter) {
  const QStringList parts = classicFilter.split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
  }
  return out.join(QStringLiteral(";;"));
}

namespace {

// Every message is plain text: the file names it quotes are never read as markup.
QMessageBox::StandardButton Box(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                const QString& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton = QMessageBox::Ok) {
  QMessageBox box(icon, title, text, buttons, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void TQtDialogs::Information(QWidget* parent, const QString& title, const QString& text) {
  Box(parent, QMessageBox::Information, title, text, QMessageBox::Ok);
}

void TQtDialogs::Warning(QWidget* parent, const QString& text) {
  Box(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok);
}

void TQtDialogs::Plain(QWidget* parent, const QString& title, const QString& text) {
  Box(parent, QMessageBox::NoIcon, title, text, QMessageBox::Ok);
}

void TQtDialogs::Critical(QWidget* parent, const QString& text) {
  Box(parent, QMessageBox::Critical, AppTitle(), text, QMessageBox::Ok);
}

bool TQtDialogs::AskYesNo(QWidget* parent, const QString& text) {
  return Box(parent, QMessageBox::Warning, QStringLiteral("Warning"), text,
             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QStringList TQtDialogs::OpenFiles(QWidget* parent, const QString& title, const QString& dir,
                                  const QString& filter) {
  QFileDialog dlg(parent, title, dir, QtFilter(filter));
  dlg.setFileMode(QFileDialog::ExistingFiles);
  dlg.setOption(QFileDialog::ReadOnly, false);
  if (dlg.exec() != QDialog::Accepted) return {};
  return dlg.selectedFiles();
}

QString TQtDialogs::OpenFile(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, const QString& defaultSuffix, bool mustExist) {
  QFileDialog dlg(parent, title, dir, QtFilter(filter));
  dlg.setFileMode(mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  if (!defaultSuffix.isEmpty()) dlg.setDefaultSuffix(defaultSuffix);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

QString TQtDialogs::SaveFile(QWidget* parent, const QString& title, const QString& dir,
                             const QString& filter, const QString& defaultSuffix) {
  QFileDialog dlg(parent, title, dir, QtFilter(filter));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  // An existing file is overwritten without asking.
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!defaultSuffix.isEmpty()) dlg.setDefaultSuffix(defaultSuffix);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return dlg.selectedFiles().first();
}

QString TQtDialogs::Folder(QWidget* parent, const QString& title, const QString& dir) {
  return QFileDialog::getExistingDirectory(parent, title, dir, QFileDialog::ShowDirsOnly);
}

std::optional<QColor> TQtDialogs::Color(QWidget* parent, const QColor& initial) {
  const QColor c = QColorDialog::getColor(initial, parent);
  if (!c.isValid()) return std::nullopt;
  return c;
}

bool TQtDialogs::OpenUrl(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

void TQtDialogs::Exec(QDialog& dialog) {
  dialog.exec();
}

}  // namespace folivant
