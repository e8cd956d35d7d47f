#include "PDEStrings.h"

#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#ifdef TESSARON_HAVE_I18N
#include "Localize.h"
#endif

namespace tessaron::pde {
namespace {

// Reads the run of digits starting at i; returns its end. Leading zeros do not count.
qsizetype digitRunEnd(const QString& s, qsizetype i) {
    while (i < s.size() && s[i].isDigit()) ++i;
    return i;
}

int compareDigitRuns(QStringView a, QStringView b) {
    auto stripZeros = [](QStringView v) {
        qsizetype k = 0;
        while (k + 1 < v.size() && v[k] == u'0') ++k;
        return v.mid(k);
    };
    const QStringView x = stripZeros(a), y = stripZeros(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

}  // namespace

int numericalCaseInsensitiveCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype ei = digitRunEnd(a, i), ej = digitRunEnd(b, j);
            if (const int c = compareDigitRuns(QStringView(a).mid(i, ei - i), QStringView(b).mid(j, ej - j)); c != 0)
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

QString stringWithOnlyCharactersInSet(const QString& text, const QString& allowed) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text)
        if (allowed.contains(c)) kept.append(c);
    return kept.size() == text.size() ? text : kept;
}

std::optional<QString> stringWithUTSFormat(const QDateTime& date, const QString& pattern) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString icuPattern(reinterpret_cast<const UChar*>(pattern.utf16()),
                                        static_cast<int32_t>(pattern.size()));
    icu::SimpleDateFormat format(icuPattern, icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) return std::nullopt;
    icu::UnicodeString out;
    format.format(static_cast<UDate>(date.toMSecsSinceEpoch()), out);
    return QString(reinterpret_cast<const QChar*>(out.getBuffer()), out.length());
}

QString pdeLocalized(const QString& english) {
#ifdef TESSARON_HAVE_I18N
    return QString::fromStdString(tessaron::localizedString(english.toUtf8().constData()));
#else
    return english;
#endif
}

}  // namespace tessaron::pde
