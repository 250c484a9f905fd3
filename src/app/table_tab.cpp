#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextDocument>
#include <QVBoxLayout>
#include <cstdint>

#include "app/form_util.h"
#include "app/option_binding.h"
#include "app/tabs.h"
#include "app/widgets.h"
#include "catalog/catalog_rules.h"

namespace folivant {

namespace {

// The page count on grey, wide enough for the largest counts.
QLabel* PageCountPanel(QWidget* parent) {
  auto* panel = Named(new QLabel(parent), "Panel1");
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setAlignment(Qt::AlignCenter);
  panel->setAutoFillBackground(true);
  QPalette pal = panel->palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  pal.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(pal);
  panel->setMinimumWidth(
      panel->fontMetrics().horizontalAdvance(QStringLiteral("Items: 00000   Pages: 00000")) + 16);
  return panel;
}

}  // namespace

TTableTab::TTableTab() : TWizardTab("TabSheet3") {
  auto* group = Named(new QGroupBox(QStringLiteral("Table Options"), this), "GroupBox5");
  RowsEdit = Edit("TableRows", group);
  ColumnsEdit = Edit("TableCols", group);
  auto* rowsSpinner = Named(OptionSpinner(RowsEdit, "TableRows", group), "UpDown1");
  auto* columnsSpinner = Named(OptionSpinner(ColumnsEdit, "TableCols", group), "UpDown2");
  pageCount_ = PageCountPanel(group);
  QLineEdit* border = Edit("TableBorderEdit", group);
  QLineEdit* padding = Edit("TableCellPadEdit", group);
  QLineEdit* spacing = Edit("TableCellSpaceEdit", group);
  auto* borderSpinner = Named(OptionSpinner(border, "Border", group), "UpDown6");
  auto* paddingSpinner = Named(OptionSpinner(padding, "Cellpadding", group), "UpDown7");
  auto* spacingSpinner = Named(OptionSpinner(spacing, "Cellspacing", group), "UpDown8");

  auto* grid = new QGridLayout;
  grid->addWidget(Caption(QStringLiteral("&Rows:"), RowsEdit, group), 0, 0);
  grid->addWidget(SpinField(RowsEdit, rowsSpinner, group), 0, 1);
  grid->addWidget(Caption(QStringLiteral("&Columns:"), ColumnsEdit, group), 1, 0);
  grid->addWidget(SpinField(ColumnsEdit, columnsSpinner, group), 1, 1);
  grid->addWidget(pageCount_, 0, 2, 2, 1);
  grid->addWidget(Caption(QStringLiteral("&Border:"), border, group), 2, 0);
  grid->addWidget(SpinField(border, borderSpinner, group), 2, 1);
  grid->addWidget(Caption(QStringLiteral("Cell &Padding:"), padding, group), 3, 0);
  grid->addWidget(SpinField(padding, paddingSpinner, group), 3, 1);
  grid->addWidget(Caption(QStringLiteral("Cell &Spacing:"), spacing, group), 4, 0);
  grid->addWidget(SpinField(spacing, spacingSpinner, group), 4, 1);
  grid->setColumnStretch(3, 1);

  auto* align = Named(new QGroupBox(QStringLiteral("Table Alignment"), group), "RadioGroup1");
  alignment_ = new QButtonGroup(align);
  auto* ah = new QHBoxLayout(align);
  const char* alignNames[4] = {"Left", "Center", "Right", "Default"};
  const char* alignCaptions[4] = {"&Left", "C&enter", "R&ight", "&Default"};
  for (int i = 0; i < 4; ++i) {
    auto* r = new QRadioButton(QString::fromLatin1(alignCaptions[i]), align);
    r->setObjectName(QStringLiteral("RadioGroup1_%1").arg(QString::fromLatin1(alignNames[i])));
    alignment_->addButton(r, i);
    ah->addWidget(r);
  }
  alignment_->button(3)->setChecked(true);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(align);
  gv->addStretch();

  QWidget* bottom = BottomRow(3);
  auto* v = new QVBoxLayout(this);
  v->addWidget(group, 1);
  v->addWidget(bottom);
}

std::string TTableTab::Alignment() const {
  static const char* const kAlign[4] = {"left", "center", "right", ""};
  const int align = alignment_->checkedId();
  return (align >= 0 && align < 4) ? kAlign[align] : "";
}

void TTableTab::ShowPageCount(std::size_t count) {
  if (count == 0) {
    pageCount_->clear();
    pageCount_->setToolTip({});
    return;
  }
  // A number the build would refuse, or text that is none, is named here by the same rule
  // instead of a page count; the build checks again before it writes anything.
  using L = OptionLimits;
  const struct {
    const char* name;
    const QLineEdit* edit;
    int min, max;
  } fields[] = {{"Rows", RowsEdit, L::kMinRows, L::kMaxRows},
                {"Columns", ColumnsEdit, L::kMinCols, L::kMaxCols}};
  std::int64_t perPage = 1;
  for (const auto& f : fields) {
    try {
      perPage *= TableFieldNumber(f.name, S(f.edit->text()), f.min, f.max);
    } catch (const ECatalogError& e) {
      pageCount_->setText(
          QStringLiteral("%1: %2 to %3").arg(QLatin1String(f.name)).arg(f.min).arg(f.max));
      pageCount_->setToolTip(
          Qt::convertFromPlainText(Q(e.what()), Qt::WhiteSpaceNormal));  // it quotes what was typed
      return;
    }
  }
  const auto n = static_cast<std::int64_t>(count);
  const std::int64_t pages = n / perPage + (n % perPage != 0 ? 1 : 0);
  pageCount_->setText(QStringLiteral("Items: %1   Pages: %2").arg(n).arg(pages));
  pageCount_->setToolTip({});
}

}  // namespace folivant
