// What the window's tabs share: the builders of named controls, and the row under a tab with
// the home-page link and the Next button.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace folivant {

class THyperlinkLabel;
class TUpDown;

// Tests and the settings binding find controls by these names.
template <class W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}
QPushButton* Button(const char* name, const QString& text, QWidget* parent);
QLineEdit* Edit(const char* name, QWidget* parent);
// A label whose access key (Alt and its underlined letter) moves the focus to buddy.
QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent);
// A number field with its spinner after it.
QWidget* SpinField(QLineEdit* edit, TUpDown* updown, QWidget* parent);

// A tab of the wizard that leads on to the next one.
class TWizardTab : public QWidget {
 public:
  QPushButton* NextButton() const { return next_; }
  THyperlinkLabel* HomeLink() const { return homeLink_; }

 protected:
  explicit TWizardTab(const char* name);
  // The Next button and the home-page link below the tab's contents; made last, so they come
  // last in the focus order.
  QWidget* BottomRow(int tab);

 private:
  QPushButton* next_ = nullptr;
  THyperlinkLabel* homeLink_ = nullptr;
};

}  // namespace folivant
