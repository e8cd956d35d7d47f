#include "PrintSettings.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tessaron::print {

std::optional<std::string> PrintSettings::value(const std::string& key) const {
    for (const auto& [k, v] : entries_)
        if (k == key) return v;
    return std::nullopt;
}

void PrintSettings::set(const std::string& key, const std::string& value) {
    for (auto& [k, v] : entries_)
        if (k == key) {
            v = value;
            return;
        }
    entries_.emplace_back(key, value);
}

void PrintSettings::remove(const std::string& key) {
    std::erase_if(entries_, [&](const auto& entry) { return entry.first == key; });
}

int PrintSettings::addTo(int count, cups_option_t** options) const {
    for (const auto& [k, v] : entries_) count = cupsAddOption(k.c_str(), v.c_str(), count, options);
    return count;
}

bool PrintSettings::isPrinterAttribute(const std::string& key) {
    static constexpr std::array<std::string_view, 3> kPrefixes = {"printer-", "marker-", "job-sheets"};
    static constexpr std::array<std::string_view, 3> kNames = {"device-uri", "auth-info-required",
                                                               "media-supported"};
    for (std::string_view prefix : kPrefixes)
        if (std::string_view(key).starts_with(prefix)) return true;
    return std::find(kNames.begin(), kNames.end(), key) != kNames.end();
}

PrintSettings PrintSettings::fromDestinationOptions(int count, const cups_option_t* options) {
    PrintSettings settings;
    for (int i = 0; i < count; ++i)
        if (options[i].name && options[i].value && !isPrinterAttribute(options[i].name))
            settings.set(options[i].name, options[i].value);
    return settings;
}

}  // namespace tessaron::print
