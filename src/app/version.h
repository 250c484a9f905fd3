// Texts the window shows about the program itself.
#pragma once

#include <QString>

#include "catalog/version.h"

namespace folivant {

inline QString AppTitle() {
  return QStringLiteral("Folivant ") +
         QString::fromLatin1(kVersionText.data(), static_cast<qsizetype>(kVersionText.size()));
}
inline QString VersionText() {
  return QString::fromLatin1(kVersionText.data(), static_cast<qsizetype>(kVersionText.size()));
}
inline QString HomePage() {
  return QString::fromLatin1(kHomePageUrl.data(), static_cast<qsizetype>(kHomePageUrl.size()));
}
inline QString ContactMail() {
  return QStringLiteral("mailto:folivant@example.org");
}

}  // namespace folivant
