#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/tabs.h"
#include "app/widgets.h"
#include "settings/settings.h"

namespace folivant {

namespace {

QGroupBox* CaptionsGroup(QWidget* parent) {
  auto* captions = Named(new QGroupBox(QStringLiteral("Captions"), parent), "GroupBox4");
  const char* names[4] = {"PageEdit", "CatalogEdit", "PreviousEdit", "NextEdit"};
  QLineEdit* edits[4];
  for (int i = 0; i < 4; ++i) edits[i] = Edit(names[i], captions);
  const char* labels[4] = {"&Page", "Catalo&g", "P&revious", "Ne&xt"};
  auto* cf = new QGridLayout(captions);
  cf->setVerticalSpacing(2);
  for (int i = 0; i < 4; ++i) {
    cf->addWidget(Caption(QString::fromLatin1(labels[i]), edits[i], captions), i, 0);
    cf->addWidget(edits[i], i, 1);
  }
  return captions;
}

}  // namespace

TGeneralTab::TGeneralTab() : TWizardTab("TabSheet2") {
  auto* group = Named(new QGroupBox(QStringLiteral("Options"), this), "GroupBox2");
  TargetEdit = Edit("EditTarget", group);
  TargetButton = Button("TargetBtn", QStringLiteral("&Select"), group);
  BackgroundEdit = Edit("EditBack", group);
  BackgroundButton = Button("PageBtn", QStringLiteral("S&elect"), group);
  QLineEdit* title = Edit("IndexTitle", group);
  QLineEdit* metaTags = Edit("MetaTagEdit", group);

  auto* grid = new QGridLayout;
  grid->addWidget(Caption(QStringLiteral("&Target Directory:"), TargetEdit, group), 0, 0);
  grid->addWidget(TargetEdit, 0, 1);
  grid->addWidget(TargetButton, 0, 2);
  grid->addWidget(Caption(QStringLiteral("&Background Image"), BackgroundEdit, group), 1, 0);
  grid->addWidget(BackgroundEdit, 1, 1);
  grid->addWidget(BackgroundButton, 1, 2);
  grid->addWidget(Caption(QStringLiteral("&Content Title:"), title, group), 2, 0);
  grid->addWidget(title, 2, 1, 1, 2);
  grid->addWidget(Caption(QStringLiteral("Add &META tag(s):"), metaTags, group), 3, 0);
  grid->addWidget(metaTags, 3, 1, 1, 2);

  // Colours: four pickers beside a preview panel.
  auto* colors = Named(new QGroupBox(QStringLiteral("Color Options"), group), "GroupBox3");
  const char* pickerNames[4] = {"BackColorPickerButton", "LinkColorPickerButton",
                                "ALinkColorPickerButton", "VLinkColorPickerButton"};
  const char* rowNames[4] = {"Bac&kground", "&Link", "&Active Link", "&Visited Link"};
  const SettingsRecord defaults;
  auto* cg = new QGridLayout(colors);
  cg->setVerticalSpacing(2);
  for (int i = 0; i < 4; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    Pickers[slot] = Named(new TColorPickerButton(defaults.Colors[slot], colors), pickerNames[i]);
    cg->addWidget(Caption(QString::fromLatin1(rowNames[i]), Pickers[slot], colors), i, 0);
    cg->addWidget(Pickers[slot], i, 1);
  }
  colorPreview_ = Named(new QWidget(colors), "Panel2");
  colorPreview_->setAutoFillBackground(true);
  auto* pv = new QVBoxLayout(colorPreview_);
  pv->setSpacing(1);
  pv->addWidget(Named(new QLabel(QStringLiteral("Background"), colorPreview_), "BackgroundLabel"));
  const char* sampleNames[3] = {"LinkLabel", "ActiveLinkLabel", "VisitedLinkLabel"};
  const char* sampleTexts[3] = {"Link", "Active Link", "Visited Link"};
  for (std::size_t i = 0; i < 3; ++i) {
    linkSamples_[i] =
        Named(new QLabel(QString::fromLatin1(sampleTexts[i]), colorPreview_), sampleNames[i]);
    pv->addWidget(linkSamples_[i]);
  }
  cg->addWidget(colorPreview_, 0, 2, 4, 1);
  auto* style = Named(new QComboBox(colors), "StyleComboBox");
  style->addItems({QStringLiteral("Classic"), QStringLiteral("Modern (phones, dark mode)")});
  cg->addWidget(Caption(QStringLiteral("Page st&yle"), style, colors), 4, 0);
  cg->addWidget(style, 4, 1, 1, 2);

  auto* lower = new QHBoxLayout;
  lower->addWidget(colors, 3);
  lower->addWidget(CaptionsGroup(group), 2);
  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addLayout(lower);

  QWidget* bottom = BottomRow(2);
  auto* v = new QVBoxLayout(this);
  v->addWidget(group, 1);
  v->addWidget(bottom);
}

void TGeneralTab::ShowColors(const QPalette& palette) {
  QPalette pal = colorPreview_->palette();
  pal.setColor(QPalette::Window, ResolveColor(Pickers[0]->Color(), palette));
  colorPreview_->setPalette(pal);
  for (std::size_t i = 0; i < 3; ++i) {
    QPalette lp = linkSamples_[i]->palette();
    lp.setColor(QPalette::WindowText, ResolveColor(Pickers[i + 1]->Color(), palette));
    linkSamples_[i]->setPalette(lp);
  }
}

}  // namespace folivant
