#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/form_util.h"
#include "app/tabs.h"

namespace folivant {

namespace {

std::vector<std::string> MemoLines(const QPlainTextEdit* memo) {
  // A memo's lines as a string list sees them: a final line end adds no empty line.
  std::vector<std::string> lines;
  const QString text = memo->toPlainText();
  if (text.isEmpty()) return lines;
  QStringList parts = text.split(QLatin1Char('\n'));
  if (parts.size() > 1 && parts.back().isEmpty()) parts.removeLast();
  lines.reserve(static_cast<std::size_t>(parts.size()));
  for (const QString& p : parts) lines.push_back(S(p));
  return lines;
}

}  // namespace

THeaderTab::THeaderTab() : TWizardTab("TabSheet5") {
  auto* group = Named(new QGroupBox(QStringLiteral("Header/Footer"), this), "GroupBox7");
  header_ = Named(new QPlainTextEdit(group), "HeaderMemo");
  footer_ = Named(new QPlainTextEdit(group), "FooterMemo");
  for (QPlainTextEdit* m : {header_, footer_}) {
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // They take the room the other tabs leave rather than asking for more.
    m->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    m->setMinimumHeight(m->fontMetrics().lineSpacing() * 4);
  }
  auto* gv = new QVBoxLayout(group);
  gv->addWidget(Caption(QStringLiteral("Hea&der (insert only HTML code below)"), header_, group));
  gv->addWidget(header_, 1);
  gv->addWidget(Caption(QStringLiteral("Foo&ter (insert only HTML code below)"), footer_, group));
  gv->addWidget(footer_, 1);

  QWidget* bottom = BottomRow(5);
  auto* v = new QVBoxLayout(this);
  v->addWidget(group, 1);
  v->addWidget(bottom);
}

std::vector<std::string> THeaderTab::HeaderLines() const {
  return MemoLines(header_);
}

std::vector<std::string> THeaderTab::FooterLines() const {
  return MemoLines(footer_);
}

}  // namespace folivant
