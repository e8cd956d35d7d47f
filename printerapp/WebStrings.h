// The vendor options' names for people, in the form PAPPL's localisation reads (".strings"):
// English, and every language the suite has a catalogue for. They label the options on the
// web page's printing defaults, in the language the browser asks for.
#pragma once

#include <string>
#include <vector>

#include "MessageCatalogue.h"

namespace tessaron::printerapp {

// `"jrx-red" = "Rot";` lines for every vendor option; English where `catalogue` is null or
// holds no translation.
std::string vendorStringsText(const MessageCatalogue* catalogue);

// The languages (directory names, e.g. "de") under `localeDirectory` that hold a catalogue
// of the suite, sorted; a bounded number.
std::vector<std::string> catalogueLanguages(const std::string& localeDirectory);

}  // namespace tessaron::printerapp
