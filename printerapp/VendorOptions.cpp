#include "VendorOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace tessaron::printerapp {
namespace {

// Longest back-print text passed on; the line itself holds 120 bytes after its tokens expand.
constexpr std::size_t kMaxBackPrintText = 240;

const std::vector<VendorOption> kOptions = {
    {"jrx-paper-tone", false, 0, 4, 0},
    {"jrx-overspill", false, 0, 50, 0},  // tenths of a millimetre
    {"jrx-back-print-1", true, 0, 0, 0},
    {"jrx-back-print-2", true, 0, 0, 0},
    {"jrx-red", false, -30, 30, 0},  // percent
    {"jrx-green", false, -30, 30, 0},
    {"jrx-blue", false, -30, 30, 0},
    {"jrx-saturation", false, -30, 30, 0},
    {"jrx-gamma", false, -30, 30, 0},
    {"jrx-brightness", false, -10, 10, 0},
    {"jrx-contrast", false, -10, 10, 0},
    {"jrx-sharpness-radius", false, 0, 20, 2},      // pixels
    {"jrx-sharpness-intensity", false, 0, 200, 0},  // hundredths; 0 turns sharpening off
};

int integerValue(const VendorOption& option, const std::map<std::string, std::string>& values) {
    const auto it = values.find(option.name);
    int value = option.standard;
    if (it != values.end()) {
        const auto [end, error] = std::from_chars(it->second.data(), it->second.data() + it->second.size(), value);
        if (error != std::errc()) value = option.standard;
    }
    return std::clamp(value, option.lower, option.upper);
}

std::string textValue(const VendorOption& option, const std::map<std::string, std::string>& values) {
    const auto it = values.find(option.name);
    if (it == values.end()) return {};
    std::string text = it->second.substr(0, kMaxBackPrintText);
    // Never cut a character in two.
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80 && text.size() < it->second.size())
        text.pop_back();
    if (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0xC0 && text.size() < it->second.size())
        text.pop_back();
    return text;
}

std::string fixed(int value, int divisor) {
    char text[32];
    std::snprintf(text, sizeof text, divisor == 100 ? "%.2f" : "%.1f", static_cast<double>(value) / divisor);
    return text;
}

const VendorOption& option(const char* name) {
    return *std::find_if(kOptions.begin(), kOptions.end(), [name](const VendorOption& o) { return std::string(o.name) == name; });
}

}  // namespace

const std::vector<VendorOption>& vendorOptions() { return kOptions; }

void addVendorAttributes(ipp_t* attrs, const std::map<std::string, std::string>& defaults) {
    for (const VendorOption& o : kOptions) {
        const std::string supported = std::string(o.name) + "-supported";
        const std::string standard = std::string(o.name) + "-default";
        const auto chosen = defaults.find(standard);
        if (o.text) {
            // Free text has no "-supported": that is what keeps it text as a printer default.
            const std::string value = chosen != defaults.end() ? chosen->second : "";
            ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_TEXT, standard.c_str(), nullptr, value.c_str());
        } else {
            ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), o.lower, o.upper);
            int value = o.standard;
            if (chosen != defaults.end()) value = integerValue(o, {{o.name, chosen->second}});
            ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, standard.c_str(), value);
        }
    }
}

std::string unescapedSavedText(const std::string& saved) {
    std::string text;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i] == '\\' && i + 1 < saved.size()) ++i;
        text += saved[i];
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> backendVendorOptions(const std::map<std::string, std::string>& values) {
    std::vector<std::pair<std::string, std::string>> out;
    const auto number = [&](const char* name) { return integerValue(option(name), values); };
    out.emplace_back("PaperTone", std::to_string(number("jrx-paper-tone")));
    out.emplace_back("Overspill", fixed(number("jrx-overspill"), 10));
    for (int line = 1; line <= 2; ++line) {
        const std::string name = "jrx-back-print-" + std::to_string(line);
        const std::string text = textValue(option(name.c_str()), values);
        out.emplace_back("EnableCVP" + std::to_string(line), text.empty() ? "False" : "True");
        out.emplace_back("CVP" + std::to_string(line), text);
    }
    bool adjusted = false;
    for (const auto& [vendor, key] : {std::pair{"jrx-red", "Red"}, {"jrx-green", "Green"}, {"jrx-blue", "Blue"},
                                      {"jrx-saturation", "Saturation"}, {"jrx-gamma", "Gamma"},
                                      {"jrx-brightness", "Brightness"}, {"jrx-contrast", "Contrast"}}) {
        const int value = number(vendor);
        adjusted = adjusted || value != 0;
        out.emplace_back(key, std::to_string(value));
    }
    out.emplace_back("AdjustmentsEnabled", adjusted ? "True" : "False");
    const int intensity = number("jrx-sharpness-intensity");
    out.emplace_back("SharpnessEnabled", intensity > 0 ? "True" : "False");
    out.emplace_back("SharpnessRadius", std::to_string(number("jrx-sharpness-radius")));
    out.emplace_back("SharpnessIntensity", fixed(intensity, 100));
    return out;
}

}  // namespace tessaron::printerapp
