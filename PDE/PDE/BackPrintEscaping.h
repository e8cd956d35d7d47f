// Back-print lines travel as CUPS job options: the comma and the apostrophe are replaced by
// characters the backend turns back, the characters are limited to a safe set and a line
// never ends in a backslash.
#pragma once

#include <QString>

namespace tessaron::pde {

inline constexpr int kBackPrintLineLimit = 120;

// Blank to "}" (so no "~") and the copyright sign.
const QString& backPrintSafeCharacters();

QString stringWithSafeCharacters(const QString& text);
QString stringWithUnsafeCharacters(const QString& text);
// Cut to 120 characters; a final backslash gets a blank after it.
QString limitCVPValue(QString text);

}  // namespace tessaron::pde
