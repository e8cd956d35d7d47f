#include "BackPrintEscaping.h"

namespace tessaron::pde {

namespace {
constexpr char16_t kSafeComma = u'\u2264';
constexpr char16_t kSafeApostrophe = u'\u00E6';
}  // namespace

const QString& backPrintSafeCharacters() {
    static const QString set = [] {
        QString s;
        for (char16_t c = 0x20; c <= 0x7D; ++c) s.append(QChar(c));
        s.append(QChar(0x00A9));
        return s;
    }();
    return set;
}

QString stringWithSafeCharacters(const QString& text) {
    QString safe = text;
    safe.replace(QLatin1Char(','), QChar(kSafeComma));
    safe.replace(QLatin1Char('\''), QChar(kSafeApostrophe));
    return safe;
}

QString stringWithUnsafeCharacters(const QString& text) {
    QString plain = text;
    plain.replace(QChar(kSafeComma), QLatin1Char(','));
    plain.replace(QChar(kSafeApostrophe), QLatin1Char('\''));
    return plain;
}

QString limitCVPValue(QString text) {
    for (;;) {
        const bool fits = text.size() <= kBackPrintLineLimit ||
                          (text.size() == kBackPrintLineLimit + 1 && text.back() == QLatin1Char(' '));
        if (!fits) {
            text.truncate(kBackPrintLineLimit);
            continue;
        }
        if (text.isEmpty() || text.back() != QLatin1Char('\\')) return text;
        text.append(QLatin1Char(' '));
    }
}

}  // namespace tessaron::pde
