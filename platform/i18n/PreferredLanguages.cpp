#include "Localize.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace tessaron {
namespace {

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" name no language.
std::string languageOf(std::string_view locale) {
    const size_t end = locale.find_first_of(".@");
    std::string language(locale.substr(0, end));
    if (language == "C" || language == "POSIX") return {};
    return language;
}

void addLanguage(std::vector<std::string>& languages, const std::string& language) {
    if (!language.empty() && std::find(languages.begin(), languages.end(), language) == languages.end()) {
        languages.push_back(language);
    }
}

const char* nonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

}  // namespace

std::vector<std::string> preferredLanguages() {
    // LC_ALL, LC_MESSAGES and LANG name one locale, first set wins; LANGUAGE, a colon list,
    // takes precedence unless that locale is C, as gettext itself does.
    const char* locale = nonEmptyEnv("LC_ALL");
    if (!locale) locale = nonEmptyEnv("LC_MESSAGES");
    if (!locale) locale = nonEmptyEnv("LANG");
    const std::string localeLanguage = locale ? languageOf(locale) : std::string();

    std::vector<std::string> languages;
    const char* list = nonEmptyEnv("LANGUAGE");
    if (list && !(locale && localeLanguage.empty())) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const size_t colon = rest.find(':');
            addLanguage(languages, languageOf(rest.substr(0, colon)));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    addLanguage(languages, localeLanguage);
    // A regional language also offers its base language ("de_AT" -> "de").
    for (size_t i = 0; i < languages.size(); ++i) {
        const size_t underscore = languages[i].find('_');
        if (underscore != std::string::npos) {
            const std::string base = languages[i].substr(0, underscore);
            if (std::find(languages.begin(), languages.end(), base) == languages.end()) {
                languages.insert(languages.begin() + static_cast<long>(i) + 1, base);
            }
        }
    }
    addLanguage(languages, "en");
    return languages;
}

}  // namespace tessaron
