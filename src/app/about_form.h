// The About box: what the program does, the maker's home page and e-mail, OK.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace folivant {

class IDialogs;

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  TfrmAbout(IDialogs& dialogs, QWidget* parent = nullptr);

  void btnHomeClick();
  void btnMailClick();
  void BitBtn1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  IDialogs& dialogs_;
  QPushButton* ok_ = nullptr;
};

}  // namespace folivant
