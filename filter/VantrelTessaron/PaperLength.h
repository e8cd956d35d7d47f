// Paper geometry of a roll-paper order: the printed width of a nominal catalogue width, and
// which side of the CUPS page becomes the print length on that roll.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaron {

// Exact printed width (0.1 mm) of a nominal catalogue width; 0 for a width not in the table.
uint16_t exactPaperWidth(uint16_t nominal);

// A page side in points as 0.1 mm, rounded half away from zero, saturated to u16.
uint16_t pointsToTenthMillimetres(double points);

struct PrintLength {
    uint16_t width = 0;   // page width, 0.1 mm
    uint16_t height = 0;  // page height, 0.1 mm
    uint16_t length = 0;  // the side along the roll
    bool mismatch = false;  // neither side equals the roll's width
};

// The side equal to the actual roll width is the width; when neither is, the side closer to
// it (a tie: the page width is taken as the length).
PrintLength printLengthForPage(double pageWidthPoints, double pageHeightPoints, uint64_t actualWidth);

// _overspill: the "Overspill" option x 20 in single precision, truncated toward zero.
int64_t overspillForOption(double value);

// Catalogue keys in ascending order, ignoring case, digit runs by value.
std::vector<std::string> sortedPaperKeys(const std::vector<std::string>& keys);

// The key up to its first "r" (the width and surface part); none without an "r".
std::optional<std::string> paperKeyPrefix(const std::string& key);

// FrameName: the title and "_<page>", cut so that it fits 17 bytes on a character boundary.
std::string frameNameForTitle(const std::string& title, uint64_t page);

}  // namespace tessaron
