#include "WebStrings.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "VendorOptions.h"

namespace tessaron::printerapp {
namespace {

constexpr std::size_t kMaxLanguages = 64;
constexpr const char* kCatalogue = "/LC_MESSAGES/tessaron.mo";

// A quoted string of the format: quotes and backslashes escaped, other controls left out.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
            out += c;
        }
    }
    return out + '"';
}

bool isLanguageName(const std::string& name) {
    return !name.empty() && name.size() <= 16 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == '@';
    });
}

}  // namespace

std::string vendorStringsText(const MessageCatalogue* catalogue) {
    std::string text;
    for (const VendorOption& option : vendorOptions()) {
        const std::string* translated = catalogue ? catalogue->find(option.label) : nullptr;
        text += quoted(option.name) + " = " + quoted(translated ? *translated : option.label) + ";\n";
    }
    return text;
}

std::vector<std::string> catalogueLanguages(const std::string& localeDirectory) {
    std::vector<std::string> languages;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(localeDirectory, error)) {
        const std::string name = entry.path().filename().string();
        if (languages.size() >= kMaxLanguages) break;
        if (isLanguageName(name) && std::filesystem::is_regular_file(localeDirectory + "/" + name + kCatalogue, error))
            languages.push_back(name);
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

}  // namespace tessaron::printerapp
