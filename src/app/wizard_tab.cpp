#include "app/wizard_tab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/version.h"
#include "app/widgets.h"

namespace folivant {

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  return Named(new QPushButton(text, parent), name);
}

QLineEdit* Edit(const char* name, QWidget* parent) {
  return Named(new QLineEdit(parent), name);
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QWidget* SpinField(QLineEdit* edit, TUpDown* updown, QWidget* parent) {
  auto* w = new QWidget(parent);
  auto* h = new QHBoxLayout(w);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(1);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
  h->addWidget(edit);
  h->addWidget(updown);
  h->addStretch();
  return w;
}

TWizardTab::TWizardTab(const char* name) {
  setObjectName(QString::fromLatin1(name));
}

QWidget* TWizardTab::BottomRow(int tab) {
  next_ =
      Button(qPrintable(QStringLiteral("NextButton%1").arg(tab)), QStringLiteral("&Next"), this);
  auto* row = new QWidget;
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->addStretch();
  homeLink_ = new THyperlinkLabel(HomePage(), HomePage(), row);
  homeLink_->setObjectName(QStringLiteral("HomeLink%1").arg(tab));
  h->addWidget(homeLink_);
  h->addStretch();
  h->addWidget(next_);
  return row;
}

}  // namespace folivant
