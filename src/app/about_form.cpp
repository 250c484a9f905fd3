#include "app/about_form.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include "app/dialogs.h"
#include "app/version.h"
#include "app/widgets.h"

namespace folivant {

TfrmAbout::TfrmAbout(IDialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Folivant"));

  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName(QStringLiteral("Memo1"));
  memo->setReadOnly(true);
  memo->setFocusPolicy(Qt::NoFocus);
  memo->setPlainText(QStringLiteral("Folivant %1:\n"
                                    "  - generates HTML files from images\n"
                                    "  - uses cascading style sheets\n"
                                    "  - very configurable\n"
                                    "  - user friendly interface\n"
                                    "\n")
                         .arg(VersionText()));
  QPalette pal = memo->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));
  memo->setPalette(pal);

  auto* home = new QPushButton(QStringLiteral("Home Page"), this);
  home->setObjectName(QStringLiteral("btnHome"));
  auto* mail = new QPushButton(QStringLiteral("E-mail me "), this);
  mail->setObjectName(QStringLiteral("btnMail"));
  connect(home, &QPushButton::clicked, this, &TfrmAbout::btnHomeClick);
  connect(mail, &QPushButton::clicked, this, &TfrmAbout::btnMailClick);

  auto* notice1 = new QLabel(QStringLiteral("Folivant is free software."), this);
  notice1->setObjectName(QStringLiteral("Label1"));
  auto* notice2 = new QLabel(QStringLiteral("News and updates:"), this);
  notice2->setObjectName(QStringLiteral("Label2"));
  auto* link = new THyperlinkLabel(HomePage(), HomePage(), this);
  link->setObjectName(QStringLiteral("HomeLink"));
  connect(link, &THyperlinkLabel::Open, this,
          [this](const QString& url) { dialogs_.OpenUrl(QUrl(url)); });

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("BitBtn1"));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &TfrmAbout::BitBtn1Click);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(home);
  buttons->addWidget(mail);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(memo, 1);
  layout->addLayout(buttons);
  layout->addWidget(notice1);
  layout->addWidget(notice2);
  layout->addWidget(link);
  layout->addWidget(ok_, 0, Qt::AlignHCenter);
  setFixedSize(layout->sizeHint().expandedTo(QSize(293, 240)));
}

void TfrmAbout::btnHomeClick() {
  dialogs_.OpenUrl(QUrl(HomePage()));
}

void TfrmAbout::btnMailClick() {
  dialogs_.OpenUrl(QUrl(ContactMail()));
}

void TfrmAbout::BitBtn1Click() {
  accept();
}

void TfrmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - rect().center());
  }
  ok_->setFocus();
}

}  // namespace folivant
