#include "Localize.h"

#include <libintl.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tessaron {
namespace {

constexpr const char* kDomain = "tessaron";

std::string joinedLanguages() {
    std::string joined;
    for (const std::string& language : preferredLanguages()) {
        if (!joined.empty()) joined += ':';
        joined += language;
    }
    return joined;
}

// gettext chooses catalogues from the LC_MESSAGES locale and LANGUAGE. CUPS starts the
// programs with LANG set but the locale rarely generated, so the category falls back to
// C.UTF-8 (always present) and LANGUAGE carries the preferred languages; gettext ignores
// LANGUAGE only under the plain "C" locale.
void prepareCatalogue() {
    bindtextdomain(kDomain, localeDirectory().c_str());
    bind_textdomain_codeset(kDomain, "UTF-8");
    const char* current = setlocale(LC_MESSAGES, nullptr);
    if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0) {
        if (!setlocale(LC_MESSAGES, "") || std::strcmp(setlocale(LC_MESSAGES, nullptr), "C") == 0) {
            setlocale(LC_MESSAGES, "C.UTF-8");
        }
    }
    // The normalised list, so that gettext and preferredLanguages() agree.
    setenv("LANGUAGE", joinedLanguages().c_str(), 1);
}

}  // namespace

std::string localeDirectory() {
    const char* overridden = std::getenv("TESSARON_LOCALEDIR");
    return overridden && *overridden ? overridden : TESSARON_INSTALL_LOCALEDIR;
}

std::string localizedString(const char* english) {
    if (!english || !*english) return english ? english : "";
    static std::once_flag prepared;
    std::call_once(prepared, prepareCatalogue);
    return dgettext(kDomain, english);
}

}  // namespace tessaron
