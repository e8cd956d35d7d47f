// Lookup of user-visible texts: gettext catalogues (domain "tessaron"), the English text as
// message id, read by the suite itself so that a lookup never changes the locale or environment.
#pragma once

#include <string>
#include <vector>

namespace tessaron {

// The translation of `english` for the preferred languages, or `english` itself.
std::string localizedString(const char* english);

// Preferred languages, most preferred first, from LANGUAGE, LC_ALL, LC_MESSAGES and LANG
// (e.g. {"de_DE", "de", "en"}); the stand-in for the user's language list.
std::vector<std::string> preferredLanguages();

// Where the catalogues are looked up: $TESSARON_LOCALEDIR, else the installed locale dir.
std::string localeDirectory();

}  // namespace tessaron
