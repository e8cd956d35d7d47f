// Reading rules of the job options: flags and choices that count as set when absent, and
// numbers read from the leading numeric text of a value.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tessaron {

using JobOptionValues = std::map<std::string, std::string>;

// The option keys job preparation asks for, in the order it asks.
inline constexpr const char* kJobOptionKeys[] = {
    "PaperFeed", "PaperName", "TwoSided", "BindingMargin", "BindingWidth", "PaperWidth", "PaperSurface",
    "Resolution", "Overspill", "PaperTone", "CVP1", "CVP2", "EnableCVP1", "EnableCVP2", "DebugLog",
    "AdjustmentsEnabled", "Red", "Green", "Blue", "Brightness", "Contrast", "Saturation", "Gamma",
    "SharpnessEnabled", "SharpnessRadius", "SharpnessIntensity", "AP_ColorMatchingMode",
};

std::optional<std::string> optionText(const JobOptionValues& options, const std::string& key);
// The value, or "(null)" for the log when absent.
std::string optionForLog(const JobOptionValues& options, const std::string& key);

// On when "true" ignoring case, and when absent.
bool optionFlag(const JobOptionValues& options, const std::string& key);
// Equal ignoring case, and equal when absent.
bool optionChoiceIs(const JobOptionValues& options, const std::string& key, std::string_view choice);

// The leading decimal number of `text` (blanks, sign, digits, point, exponent); 0 when none.
double leadingNumber(std::string_view text);
// The leading integer of `text`, saturated to the 64-bit range; 0 when none.
int64_t leadingInteger(std::string_view text);

double optionNumber(const JobOptionValues& options, const std::string& key);
int64_t optionInteger(const JobOptionValues& options, const std::string& key);

}  // namespace tessaron
