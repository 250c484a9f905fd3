#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form_util.h"
#include "app/tabs.h"
#include "app/widgets.h"

namespace folivant {

TFilesTab::TFilesTab() : TWizardTab("TabSheet1") {
  auto* group = Named(new QGroupBox(QStringLiteral("File List"), this), "GroupBox1");
  List = Named(new TDropList(group), "ListBox1");
  List->setSelectionMode(QAbstractItemView::SingleSelection);
  RemoveKey = Named(new QAction(QStringLiteral("Remove"), List), "DeleteKey");
  RemoveKey->setShortcut(QKeySequence::Delete);
  RemoveKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  List->addAction(RemoveKey);

  auto* buttons = new QVBoxLayout;
  const struct {
    const char* name;
    const char* text;
    QPushButton* TFilesTab::*member;
  } defs[] = {
      {"SelectImageBtn", "&Select...", &TFilesTab::SelectButton},
      {"AddFileButton", "&Add ...", &TFilesTab::AddButton},
      {"MoveUpButton", "Move &up", &TFilesTab::MoveUpButton},
      {"MoveDownButton", "Move &down", &TFilesTab::MoveDownButton},
      {"SortButton", "Sor&t List", &TFilesTab::SortButton},
      {"DelPicButton", "&Remove", &TFilesTab::RemoveButton},
      {"RemoveAllButton", "Remove A&ll", &TFilesTab::RemoveAllButton},
  };
  for (const auto& d : defs) {
    this->*d.member = Button(d.name, QString::fromLatin1(d.text), group);
    buttons->addWidget(this->*d.member);
  }
  buttons->addStretch();
  auto* gl = new QHBoxLayout(group);
  gl->addWidget(List, 1);
  gl->addLayout(buttons);

  auto* previewGroup = Named(new QGroupBox(QStringLiteral("Preview"), this), "GroupBoxPreview");
  PreviewImage = Named(new QLabel(previewGroup), "PreviewImage");
  PreviewImage->setFrameShape(QFrame::StyledPanel);
  PreviewImage->setFixedSize(kPreviewBox + QSize(4, 4));
  PreviewImage->setAlignment(Qt::AlignCenter);
  PreviewImage->setWordWrap(true);
  PreviewCaption = Named(new QLabel(previewGroup), "PreviewCaption");
  PreviewCaption->setFixedWidth(kPreviewBox.width());
  PreviewCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  PreviewCaption->setWordWrap(true);
  auto* pv = new QVBoxLayout(previewGroup);
  pv->addWidget(PreviewImage);
  pv->addWidget(PreviewCaption);
  pv->addStretch();

  ItemsCount = Named(new QLabel(QStringLiteral("Items count"), this), "Label11");
  auto* top = new QHBoxLayout;
  top->addWidget(group, 1);
  top->addWidget(previewGroup);
  QWidget* bottom = BottomRow(1);
  auto* v = new QVBoxLayout(this);
  v->addLayout(top, 1);
  v->addWidget(ItemsCount);
  v->addWidget(bottom);
}

}  // namespace folivant
