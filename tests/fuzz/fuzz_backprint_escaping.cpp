// The dialog's stored form of a back-print line: for any line of the safe characters,
// escaping then unescaping gives the line back, the stored form holds no comma or apostrophe,
// and the length limit keeps a line within its bound and never ending in a lone backslash.
#include "BackPrintEscaping.h"
#include "FuzzSupport.h"

using namespace tessaron::fuzz;
namespace pde = tessaron::pde;

namespace {

QString keepSafe(const QString& text) {
    QString safe;
    for (const QChar c : text)
        if (pde::backPrintSafeCharacters().contains(c)) safe.append(c);
    return safe;
}

bool endsInLoneBackslash(const QString& text) {
    qsizetype run = 0;
    for (qsizetype i = text.size() - 1; i >= 0 && text[i] == QLatin1Char('\\'); --i) ++run;
    return run % 2 == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString line = keepSafe(typed);

    const QString stored = pde::stringWithSafeCharacters(line);
    require(!stored.contains(QLatin1Char(',')) && !stored.contains(QLatin1Char('\'')),
            "the stored line holds a comma or an apostrophe");
    require(pde::stringWithUnsafeCharacters(stored) == line, "escape then unescape is not the line");

    const QString limited = pde::limitCVPValue(stored);
    require(limited.size() <= pde::kBackPrintLineLimit + 1, "the limited line is longer than its bound");
    require(!endsInLoneBackslash(limited), "the limited line ends in a backslash");
    require(pde::limitCVPValue(limited) == limited, "limiting twice changes the line");

    // Any text at all, safe or not, comes back unchanged when it holds neither stand-in.
    if (!typed.contains(QChar(0x2264)) && !typed.contains(QChar(0x00E6)))
        require(pde::stringWithUnsafeCharacters(pde::stringWithSafeCharacters(typed)) == typed,
                "escape then unescape changed a line without stand-ins");
    requireCupsLines();
    return 0;
}
