#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/tabs.h"
#include "app/widgets.h"

namespace folivant {

TBuildTab::TBuildTab() {
  setObjectName(QStringLiteral("TabSheet6"));
  auto* group = Named(new QGroupBox(QStringLiteral("Actions"), this), "GroupBox8");
  FileProgress = Named(new TGradientProgressBar(group), "CurrentProgress");
  OverallProgress = Named(new TGradientProgressBar(group), "ProgressBar1");
  ShowInBrowserCheck =
      Named(new QCheckBox(QStringLiteral("&Show in browser after completition"), group),
            "PreviewCheckBox");
  ShowInBrowserCheck->setChecked(true);
  QuitButton = Button("CloseButton", QStringLiteral("&Quit"), group);
  AboutButton = Button("AboutBtn", QStringLiteral("&About"), group);
  CancelButton = Button("CancelButton", QStringLiteral("&Cancel"), group);
  BuildButton = Button("BuildBtn", QStringLiteral("&Build"), group);

  // How the latest build ended, and the way to what it made.
  SummaryLabel = Named(new QLabel(group), "BuildSummary");
  SummaryLabel->setWordWrap(true);
  SummaryLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  OpenCatalogButton = Button("OpenCatalogBtn", QStringLiteral("Open Ca&talog"), group);
  OpenFolderButton = Button("OpenFolderBtn", QStringLiteral("Open Fol&der"), group);
  for (QPushButton* b : {OpenCatalogButton, OpenFolderButton}) b->hide();
  auto* done = new QHBoxLayout;
  done->addWidget(SummaryLabel, 1);
  done->addWidget(OpenCatalogButton);
  done->addWidget(OpenFolderButton);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(QuitButton);
  buttons->addWidget(AboutButton);
  buttons->addStretch();
  buttons->addWidget(CancelButton);
  buttons->addWidget(BuildButton);

  auto* gv = new QVBoxLayout(group);
  gv->addWidget(new QLabel(QStringLiteral("Current file progress"), group));
  gv->addWidget(FileProgress);
  gv->addWidget(new QLabel(QStringLiteral("Overall progress"), group));
  gv->addWidget(OverallProgress);
  gv->addWidget(ShowInBrowserCheck);
  gv->addLayout(done);
  gv->addStretch();
  gv->addLayout(buttons);

  auto* v = new QVBoxLayout(this);
  v->addWidget(group, 1);
}

}  // namespace folivant
