#include "PaperLength.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "PLUMEX_TextUtilities.h"
#include "TextFields.h"

namespace tessaron {

namespace {

struct WidthEntry {
    uint16_t nominal, exact;
};

constexpr WidthEntry kWidths[] = {
    {825, 826},   {890, 889},   {1020, 1016}, {1140, 1143}, {1170, 1175}, {1200, 1207}, {1270, 1270},
    {1300, 1302}, {1520, 1524}, {1650, 1651}, {1780, 1778}, {2030, 2032}, {2100, 2096}, {2160, 2159},
    {2400, 2413}, {2540, 2540}, {2790, 2794}, {3050, 3048}, {3560, 3556}, {3810, 3810}, {4570, 4572},
    {5080, 5080}, {6100, 6096}, {6220, 6223},
};

constexpr size_t kFrameNameBytes = 17;  // FrameName is 18 bytes with its terminating zero

}  // namespace

uint16_t exactPaperWidth(uint16_t nominal) {
    for (const WidthEntry& e : kWidths)
        if (e.nominal == nominal) return e.exact;
    return 0;
}

uint16_t pointsToTenthMillimetres(double points) {
    const double v = std::round(points * 3.52777778);
    if (!(v > 0)) return 0;
    if (v >= std::numeric_limits<uint16_t>::max()) return std::numeric_limits<uint16_t>::max();
    return static_cast<uint16_t>(v);
}

PrintLength printLengthForPage(double pageWidthPoints, double pageHeightPoints, uint64_t actualWidth) {
    PrintLength r;
    r.width = pointsToTenthMillimetres(pageWidthPoints);
    r.height = pointsToTenthMillimetres(pageHeightPoints);
    if (r.width == actualWidth) {
        r.length = r.height;
    } else if (r.height == actualWidth) {
        r.length = r.width;
    } else {
        r.mismatch = true;
        const auto distance = [actualWidth](uint16_t side) {
            return std::llabs(static_cast<long long>(side) - static_cast<long long>(actualWidth));
        };
        r.length = distance(r.width) < distance(r.height) ? r.height : r.width;
    }
    return r;
}

int64_t overspillForOption(double value) {
    const float product = static_cast<float>(value) * 20.0f;
    if (!std::isfinite(product)) return 0;
    // Far beyond any roll: keeps the later u16 arithmetic meaningful.
    return static_cast<int64_t>(std::clamp(product, -65535.0f, 65535.0f));
}

std::vector<std::string> sortedPaperKeys(const std::vector<std::string>& keys) {
    std::vector<std::string> sorted = keys;
    std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return numericalCaseInsensitiveCompare(a, b) < 0;
    });
    return sorted;
}

std::optional<std::string> paperKeyPrefix(const std::string& key) {
    const auto r = key.find('r');
    if (r == std::string::npos) return std::nullopt;
    return key.substr(0, r);
}

std::string frameNameForTitle(const std::string& title, uint64_t page) {
    std::string suffix = "_";
    suffix += std::to_string(page);
    std::string name = title + suffix;
    if (name.size() < kFrameNameBytes + 1) return name;
    // Keep whole characters of the title only: first by count, then by bytes.
    const size_t keepChars = suffix.size() < kFrameNameBytes ? kFrameNameBytes - suffix.size() : 0;
    const std::string_view head = utf8Prefix(title, keepChars, keepChars);
    name = std::string(head) + suffix;
    return std::string(utf8Prefix(name, kFrameNameBytes));
}

}  // namespace tessaron
