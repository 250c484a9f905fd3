#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/option_binding.h"
#include "app/tabs.h"
#include "app/widgets.h"

namespace folivant {

namespace {

QCheckBox* Check(const char* name, const char* text, QWidget* parent) {
  return Named(new QCheckBox(QString::fromLatin1(text), parent), name);
}

}  // namespace

TImageTab::TImageTab() : TWizardTab("TabSheet4") {
  auto* group = Named(new QGroupBox(QStringLiteral("Thumbnail Parameters"), this), "GroupBox6");
  heightButton_ = Named(new QRadioButton(QStringLiteral("Hei&ght (pixels)"), group), "thrButton");
  widthButton_ = Named(new QRadioButton(QStringLiteral("&Width (pixels)"), group), "twrButton");
  heightButton_->setChecked(true);
  heightEdit_ = Edit("thumbHeight", group);
  widthEdit_ = Edit("thumbWidth", group);
  QualityEdit = Edit("JPEGQual", group);
  for (QLineEdit* e : {heightEdit_, widthEdit_, QualityEdit}) e->setReadOnly(true);
  auto* heightSpinner = Named(OptionSpinner(heightEdit_, "ThumbHeight", group), "UpDown3");
  auto* widthSpinner = Named(OptionSpinner(widthEdit_, "ThumbWidth", group), "UpDown4");
  auto* qualitySpinner = Named(OptionSpinner(QualityEdit, "JPEGQuality", group), "UpDown5");
  widthEdit_->setEnabled(false);
  // Only the size the thumbnails are fitted to can be changed.
  connect(heightButton_, &QRadioButton::clicked, this, [this] { FitTo(false); });
  connect(widthButton_, &QRadioButton::clicked, this, [this] { FitTo(true); });

  QCheckBox* progressive = Check("ProgrCheckBox", "&Progressive JPEG", group);
  FilterCombo = Named(new QComboBox(group), "FilterComboBox");
  FilterCombo->addItems({QStringLiteral("None"), QStringLiteral("Triangle"),
                         QStringLiteral("Hermite"), QStringLiteral("Bell"),
                         QStringLiteral("BSpline"), QStringLiteral("Lanczos3"),
                         QStringLiteral("Mitchell")});
  ProtectCheck = Check("JavaProtect",
                       "P&rotect Images From Right Mouse Clicking (IE and Netscape only)", group);
  AlertEdit = Edit("AlertEdit", group);
  connect(ProtectCheck, &QCheckBox::toggled, AlertEdit, &QLineEdit::setEnabled);
  QCheckBox* popUp = Check("JavaOpen", "Open Images In New Window &Using JavaScript", group);
  QCheckBox* upright = Check("AutoRotateCheck", "Turn pictures upright (&EXIF orientation)", group);
  QCheckBox* noLocation =
      Check("StripLocationCheck", "Remove &location (GPS) from published pictures", group);
  QCheckBox* videos = Check("VideosCheck", "Folders give their &video clips too", group);

  auto* grid = new QGridLayout;
  grid->addWidget(heightButton_, 0, 0);
  grid->addWidget(SpinField(heightEdit_, heightSpinner, group), 0, 1);
  grid->addWidget(widthButton_, 1, 0);
  grid->addWidget(SpinField(widthEdit_, widthSpinner, group), 1, 1);
  grid->addWidget(Caption(QStringLiteral("&JPEG quality (%)"), QualityEdit, group), 0, 2);
  grid->addWidget(SpinField(QualityEdit, qualitySpinner, group), 0, 3);
  grid->addWidget(progressive, 1, 2, 1, 2);
  grid->addWidget(Caption(QStringLiteral("Resampling Fil&ter"), FilterCombo, group), 2, 0);
  grid->addWidget(FilterCombo, 2, 1, 1, 2, Qt::AlignLeft);
  grid->setColumnStretch(4, 1);

  auto* alert = new QHBoxLayout;
  alert->addWidget(Caption(QStringLiteral("Right &Click Text:"), AlertEdit, group));
  alert->addWidget(AlertEdit, 1);

  auto* gv = new QVBoxLayout(group);
  gv->addLayout(grid);
  gv->addWidget(ProtectCheck);
  gv->addLayout(alert);
  gv->addWidget(popUp);
  gv->addWidget(upright);
  gv->addWidget(noLocation);
  gv->addWidget(videos);
  gv->addStretch();

  QWidget* bottom = BottomRow(4);
  auto* v = new QVBoxLayout(this);
  v->addWidget(group, 1);
  v->addWidget(bottom);
}

void TImageTab::FitTo(bool width) {
  heightEdit_->setEnabled(!width);
  widthEdit_->setEnabled(width);
}

bool TImageTab::FixedWidth() const {
  return widthButton_->isChecked();
}

}  // namespace folivant
