#include <gtest/gtest.h>

#include <map>
#include <string>

#include "BackPrintText.h"

using namespace tessaron;

namespace {

// 7 December 2026, and the last days of a year that belong to the next year's first week.
BackPrintTokens tokensOn(std::map<std::string, std::string> dateParts) {
    BackPrintTokens t;
    t.title = "Holiday";
    t.host = "lab-mac";
    t.user = "anna";
    t.formatDate = [parts = std::move(dateParts)](std::string_view pattern) {
        auto it = parts.find(std::string(pattern));
        return it == parts.end() ? std::string("?") : it->second;
    };
    return t;
}

BackPrintTokens december7() {
    return tokensOn({{"d", "7"}, {"dd", "07"}, {"M", "12"}, {"MM", "12"}, {"YY", "26"}, {"YYYY", "2026"}});
}

std::string field(std::string_view line, const BackPrintTokens& tokens, size_t size = 120) {
    std::string buffer(size, '\x55');
    convertBackPrintLine(line, tokens, reinterpret_cast<uint8_t*>(buffer.data()), size);
    return buffer;
}

std::string text(const std::string& f) { return f.substr(0, f.find('\0')); }

bool zeroAfter(const std::string& f, size_t n) { return f.find_first_not_of('\0', n) == std::string::npos; }

}  // namespace

TEST(BackPrint, DateAndJobTokensIgnoringCase) {
    auto t = december7();
    auto f = field("[YYYY]-[MM]-[DD]", t);
    EXPECT_EQ(text(f), "2026-12-07");
    EXPECT_TRUE(zeroAfter(f, 10));
    EXPECT_EQ(text(field("[d].[m].[yy]", t)), "7.12.26");
    EXPECT_EQ(text(field("[F] by [u]@[P]", t)), "Holiday by anna@lab-mac");
    // The week-based year of 29 December 2025 is 2026.
    auto newYear = tokensOn({{"YYYY", "2026"}, {"dd", "29"}});
    EXPECT_EQ(text(field("[DD] [YYYY]", newYear)), "29 2026");
}

TEST(BackPrint, JobTokensFromOutsideLoseMalformedTextAndControlCharacters) {
    auto t = december7();
    t.title = "Holi\xff\xfe" "day\n\x1b[2J";
    t.user = "M\xc3\xbcller\xc3";
    EXPECT_EQ(text(field("[F]/[U]", t)), "Holiday[2J/M\xc3\xbcller");
}

TEST(BackPrint, EscapesKeepBracketsAndBackslashesLiteral) {
    auto t = december7();
    EXPECT_EQ(text(field("\\[DD]", t)), "[DD]");
    EXPECT_EQ(text(field("\\[DD\\]", t)), "[DD]");
    EXPECT_EQ(text(field("a\\\\b", t)), "a\\b");
    EXPECT_EQ(text(field("a\\b", t)), "ab");
    // The panel's safe form of comma and apostrophe.
    EXPECT_EQ(text(field("Anna\u2264 Tom\u00e6s", t)), "Anna, Tom's");
}

TEST(BackPrint, DisallowedCharactersVanishAndEmptyLinesLeaveZeros) {
    auto t = december7();
    EXPECT_EQ(field("~~~\t\n\x01", t), std::string(120, '\0'));
    EXPECT_EQ(field("", t), std::string(120, '\0'));
    EXPECT_EQ(text(field("M\u00fcller~ \u20ac5", t)), "Mller 5");
    // Malformed UTF-8 is dropped, not copied.
    EXPECT_EQ(text(field("ok\xC3", t)), "ok");
}

TEST(BackPrint, CopyrightSignBecomesTheMinilabCode) {
    auto t = december7();
    auto f = field("[C] 2026 Lab", t);
    EXPECT_EQ(f.substr(0, 12), std::string("\x0E\xC1\x0F 2026 Lab"));
    EXPECT_TRUE(zeroAfter(f, 12));
    EXPECT_EQ(field("a\u00a9b\u00a9", t).substr(0, 8), std::string("a\x0E\xC1\x0F" "b\x0E\xC1\x0F"));
    // A substituted title is converted like typed text.
    t.title = "\u00a9 Studio";
    EXPECT_EQ(field("[F]", t).substr(0, 10), std::string("\x0E\xC1\x0F Studio"));
}

TEST(BackPrint, LongLinesStopInsideTheFieldWithoutSplittingAnything) {
    auto t = december7();
    t.title = std::string(200, 'T');
    auto f = field("[F]", t);
    EXPECT_EQ(text(f).size(), 119u);
    EXPECT_EQ(f[119], '\0');

    // A (C) code that would not fit whole is left out.
    auto g = field(std::string(117, 'x') + "\u00a9", t);
    EXPECT_EQ(text(g).size(), 117u);
    EXPECT_TRUE(zeroAfter(g, 117));

    // Two-byte letters from a host name never end half-written.
    t.host = "";
    for (int i = 0; i < 80; ++i) t.host += "\u00e9";
    auto h = field("[P]", t);
    EXPECT_EQ(text(h).size(), 118u);
    EXPECT_TRUE(zeroAfter(h, 118));

    // A tiny buffer and a missing one.
    EXPECT_EQ(field("abc", t, 1), std::string(1, '\0'));
    convertBackPrintLine("abc", t, nullptr, 120);
}
