#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form_util.h"
#include "app/tabs.h"
#include "app/widgets.h"

namespace folivant {

// How folders become albums, and in what order their pictures come.
QHBoxLayout* TFilesTab::AlbumRow() {
  AlbumsCheck =
      Named(new QCheckBox(QStringLiteral("Su&b-folders become albums"), this), "AlbumsCheck");
  SortCombo = Named(new QComboBox(this), "SortCombo");
  SortCombo->addItem(QStringLiteral("Name"), QStringLiteral("name"));
  SortCombo->addItem(QStringLiteral("Date taken"), QStringLiteral("date"));
  auto* label = new QLabel(QStringLiteral("Album &pictures by:"), this);
  label->setBuddy(SortCombo);
  auto* row = new QHBoxLayout;
  row->addWidget(AlbumsCheck);
  row->addSpacing(12);
  row->addWidget(label);
  row->addWidget(SortCombo);
  row->addStretch();
  return row;
}

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
      {"AddFolderButton", "Add Fold&er...", &TFilesTab::AddFolderButton},
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
  v->addLayout(AlbumRow());
  v->addWidget(ItemsCount);
  v->addWidget(bottom);
}

}  // namespace folivant
