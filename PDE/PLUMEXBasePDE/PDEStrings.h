// Small text and date helpers the panels share.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace tessaron::pde {

// Case-insensitive comparison with runs of digits compared by value (w9 before w10); <0, 0, >0.
int numericalCaseInsensitiveCompare(const QString& a, const QString& b);
inline bool numericalLess(const QString& a, const QString& b) { return numericalCaseInsensitiveCompare(a, b) < 0; }

// The characters of `text` that occur in `allowed`, in order; `text` itself when all do.
QString stringWithOnlyCharactersInSet(const QString& text, const QString& allowed);

// `date` formatted with a Unicode (UTS #35) pattern in the local zone; none when ICU fails.
std::optional<QString> stringWithUTSFormat(const QDateTime& date, const QString& pattern);

// The suite's translation of `english` (gettext domain "tessaron"), or `english` itself.
QString pdeLocalized(const QString& english);

}  // namespace tessaron::pde
