// What the window's source files share: string conversions and the dialogs' fixed texts.
#pragma once

#include <QSize>
#include <QString>
#include <string>

#include "imaging/picture_formats.h"

namespace folivant {

inline std::string S(const QString& s) {
  return s.toStdString();
}
inline QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// From the format registry: "Image Files|*.jpg; *.jpeg; ...|JPG Files|*.jpg; *.jpeg|...".
inline const QString kPictureFilter = QString::fromStdString(PictureDialogFilter());
// Page backgrounds must be pictures browsers show.
inline const QString kBackgroundFilter = QStringLiteral(
    "Image Files|*.jpg; *.jpeg; *.gif; *.png|JPG Files|*.jpg; *.jpeg|GIF Files|*.gif|"
    "PNG Files|*.png");
inline const QString kIniFilter = QStringLiteral("INI Files|*.ini");
inline const QString kBusyText = QStringLiteral("Not possible while a catalog is being built.");
// The picture preview's box: small enough that the window still fits a 1024 x 600 screen.
inline constexpr QSize kPreviewBox(224, 168);

}  // namespace folivant
