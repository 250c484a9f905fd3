// Everything modal the window shows, behind one interface, so tests answer dialogs without a
// nested event loop.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class QDialog;
class QWidget;

namespace folivant {

class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // Message boxes, each with one OK button.
  virtual void Information(QWidget* parent, const QString& title, const QString& text) = 0;
  virtual void Warning(QWidget* parent, const QString& text) = 0;
  virtual void Plain(QWidget* parent, const QString& title, const QString& text) = 0;
  // The application's error box.
  virtual void Critical(QWidget* parent, const QString& text) = 0;
  // Warning with Yes and No; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;

  // Several existing files; empty when cancelled.
  virtual QStringList OpenFiles(QWidget* parent, const QString& title, const QString& dir,
                                const QString& filter) = 0;
  // One file. mustExist false: any name may be typed. Empty when cancelled.
  virtual QString OpenFile(QWidget* parent, const QString& title, const QString& dir,
                           const QString& filter, const QString& defaultSuffix, bool mustExist) = 0;
  virtual QString SaveFile(QWidget* parent, const QString& title, const QString& dir,
                           const QString& filter, const QString& defaultSuffix) = 0;
  virtual QString Folder(QWidget* parent, const QString& title, const QString& dir) = 0;
  virtual std::optional<QColor> Color(QWidget* parent, const QColor& initial) = 0;

  // Shell "open": a document in its default application, an address in the browser.
  virtual bool OpenUrl(const QUrl& url) = 0;
  // Runs a dialog modally (the About box).
  virtual void Exec(QDialog& dialog) = 0;
};

// The real thing: QMessageBox, QFileDialog, QColorDialog, QDesktopServices.
class TQtDialogs : public IDialogs {
 public:
  void Information(QWidget* parent, const QString& title, const QString& text) override;
  void Warning(QWidget* parent, const QString& text) override;
  void Plain(QWidget* parent, const QString& title, const QString& text) override;
  void Critical(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  QStringList OpenFiles(QWidget* parent, const QString& title, const QString& dir,
                        const QString& filter) override;
  QString OpenFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter,
                   const QString& defaultSuffix, bool mustExist) override;
  QString SaveFile(QWidget* parent, const QString& title, const QString& dir, const QString& filter,
                   const QString& defaultSuffix) override;
  QString Folder(QWidget* parent, const QString& title, const QString& dir) override;
  std::optional<QColor> Color(QWidget* parent, const QColor& initial) override;
  bool OpenUrl(const QUrl& url) override;
  void Exec(QDialog& dialog) override;
};

// Turns the classic "Name|*.a; *.b|Name|*.c" filter text into Qt's ";;" form.
QString QtFilter(const QString& classicFilter);

}  // namespace folivant
