#include "PLUMEX_TextUtilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(NumericalCompare, DigitRunsByValueLettersWithoutCase) {
    EXPECT_TRUE(numericalCaseInsensitiveCompare("a2", "A10") < 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("A10", "a2") > 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("abc", "ABC") == 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("Paper 9", "Paper 10") < 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("w1020s1r300", "w1020s10r300") < 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("w10", "w10a") < 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("\xC3\x84rger", "\xC3\xA4RGER") == 0);  // Ä, ä
    // Runs longer than any integer type still compare by value.
    EXPECT_TRUE(numericalCaseInsensitiveCompare("n99999999999999999999", "n100000000000000000000") < 0);
    EXPECT_TRUE(numericalCaseInsensitiveCompare("n007", "n10") < 0);
}

TEST(NumericalCompare, SortsPaperKeysAsTheMenusShowThem) {
    std::vector<std::string> keys = {"w1520s1r300", "W890s2r300", "w1020s1r600", "w1020s1r300", "w890s10r300"};
    std::sort(keys.begin(), keys.end(), numericalCaseInsensitiveLess);
    EXPECT_EQ(keys, (std::vector<std::string>{"W890s2r300", "w890s10r300", "w1020s1r300", "w1020s1r600", "w1520s1r300"}));
}

TEST(DeletingCharacters, RemovesEveryMemberWholeCodePoints) {
    EXPECT_EQ(stringByDeletingCharactersInSet("a-b_c-", "-_"), "abc");
    EXPECT_EQ(stringByDeletingCharactersInSet("Gr\xC3\xBC\xC3\x9F" "e", "\xC3\xBC"), "Gr\xC3\x9F" "e");
    EXPECT_EQ(stringByDeletingCharactersInSet("plain", "xyz"), "plain");
    EXPECT_EQ(stringByDeletingCharactersInSet("a\tb\nc", [](char32_t c) { return c < 0x20; }), "abc");
}
