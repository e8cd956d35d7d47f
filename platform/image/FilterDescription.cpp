// A filter's description for the debug log: its name and description, then every input with
// its current value and the attribute record's default, range and identity.
#include "Filters.h"

namespace tessaron::image {

namespace {

void appendValueLine(std::string& out, const char* label, const std::optional<ParameterValue>& value) {
    if (value) out += "    " + std::string(label) + " value = " + describeValue(*value) + "\n";
}

// The slider's end when the attribute has one, else the plain limit.
std::optional<ParameterValue> rangeEnd(const std::optional<double>& slider, const std::optional<double>& plain) {
    if (slider) return ParameterValue(*slider);
    if (plain) return ParameterValue(*plain);
    return std::nullopt;
}

}  // namespace

std::string shortDescription(const Filter& filter) {
    std::string out = "\"" + filter.displayName() + "\": {\n  " + filter.description() + "\n";
    for (const FilterParameter& p : filter.parameters()) {
        out += "  " + p.displayName + " = {\n";
        out += "    " + p.description + "\n";
        if (const auto current = filter.valueForKey(p.key)) out += "    current value = " + describeValue(*current) + "\n";
        appendValueLine(out, "default", p.defaultValue);
        appendValueLine(out, "minimum", rangeEnd(p.sliderMinimum, p.minimum));
        appendValueLine(out, " maximum", rangeEnd(p.sliderMaximum, p.maximum));
        appendValueLine(out, "identity", p.identity);
        out += "  };\n";
    }
    return out + "};";
}

}  // namespace tessaron::image
