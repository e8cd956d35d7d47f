#include "Localize.h"

#include "MessageCatalogue.h"

#include <cstdlib>
#include <vector>

namespace tessaron {
namespace {

constexpr const char* kDomain = "tessaron";

// The catalogues of the preferred languages, most preferred first, read once. The lookup
// changes neither the locale nor the environment: the panels ask from worker threads while
// the dialog's other threads read both.
const std::vector<MessageCatalogue>& preferredCatalogues() {
    static const std::vector<MessageCatalogue> catalogues = [] {
        std::vector<MessageCatalogue> found;
        const std::string directory = localeDirectory();
        for (const std::string& language : preferredLanguages()) {
            auto catalogue = MessageCatalogue::load(directory + '/' + language + "/LC_MESSAGES/" + kDomain + ".mo");
            if (catalogue) found.push_back(std::move(*catalogue));
        }
        return found;
    }();
    return catalogues;
}

}  // namespace

std::string localeDirectory() {
    const char* overridden = std::getenv("TESSARON_LOCALEDIR");
    return overridden && *overridden ? overridden : TESSARON_INSTALL_LOCALEDIR;
}

std::string localizedString(const char* english) {
    if (!english || !*english) return english ? english : "";
    for (const MessageCatalogue& catalogue : preferredCatalogues())
        if (const std::string* translated = catalogue.find(english)) return *translated;
    return english;
}

}  // namespace tessaron
