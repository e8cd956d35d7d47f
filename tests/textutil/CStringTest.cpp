#include "PLUMEX_TextUtilities.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Enc = PLUMEX_TextEncoding;

namespace {

std::optional<std::string> read(const std::vector<uint8_t>& bytes, size_t max, Enc encoding) {
    return stringWithCStringMaxLengthEncoding(bytes.data(), max, encoding);
}

std::vector<uint8_t> bytesOf(const std::string& text, size_t width) {
    std::vector<uint8_t> field(width, 0);
    std::copy(text.begin(), text.end(), field.begin());
    return field;
}

}  // namespace

TEST(CString, FixedWidthFieldsStopAtTheirZeroOrTheirWidth) {
    const std::string letters(32, 'Q');
    auto field = bytesOf(letters, 40);
    field[32] = 'Z';  // just past the field: must not be read
    EXPECT_EQ(read(field, 32, Enc::ASCII), letters);
    EXPECT_EQ(read(bytesOf("AB", 32), 32, Enc::UTF8), "AB");
    EXPECT_EQ(read(bytesOf("terminated", 16), 0, Enc::UTF8), "terminated");
    EXPECT_EQ(read(bytesOf("", 8), 8, Enc::UTF8), "");
}

TEST(CString, Utf8MarkIsSkippedOnlyWhenTheFieldHasRoomForIt) {
    EXPECT_EQ(read({0xEF, 0xBB, 0xBF, 'H', 'i', 0}, 6, Enc::UTF8), "Hi");
    // The maximum counts from the field's first byte, the skipped mark included.
    EXPECT_EQ(read({0xEF, 0xBB, 0xBF, 'H', 'i', 0}, 4, Enc::UTF8), "H");
    EXPECT_EQ(read({0xC3, 0xA9, 0}, 3, Enc::UTF8), "\xC3\xA9");
}

TEST(CString, BadBytesAndCutSequencesAnswerNone) {
    EXPECT_EQ(read({'a', 0xC3, 0xA9}, 2, Enc::UTF8), std::nullopt);
    EXPECT_EQ(read({0xFF, 'a', 0}, 3, Enc::UTF8), std::nullopt);
    EXPECT_EQ(read({'a', 0xE9, 0}, 3, Enc::ASCII), std::nullopt);
    EXPECT_EQ(read({'a', 0xE9, 0}, 3, Enc::ISOLatin1), "a\xC3\xA9");
    EXPECT_EQ(read({0x80, 0}, 2, Enc::WindowsCP1252), "\xE2\x82\xAC");
}

TEST(CString, SixteenBitUnitsAndTheirByteOrderMark) {
    EXPECT_EQ(read({0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00}, 6, Enc::UTF16), "A");
    EXPECT_EQ(read({0xFE, 0xFF, 0x00, 0x41, 0x00, 0x42}, 6, Enc::UTF16), "AB");
    EXPECT_EQ(read({0x00, 0x41, 0x00, 0x42, 0x00, 0x00}, 0, Enc::UTF16), "AB");  // no mark: big-endian
    EXPECT_EQ(read({0xFF, 0xFE, 0x41, 0x00}, 4, Enc::UTF16BE), "A");  // the mark wins
    // A trailing half unit is not read.
    EXPECT_EQ(read({0x41, 0x00, 0x42, 0x00, 0x43}, 5, Enc::UTF16LE), "AB");
    EXPECT_EQ(read({0xFF, 0xFE, 0x00, 0x00}, 4, Enc::UTF16), "");
    EXPECT_EQ(read({0x41, 0x00}, 1, Enc::UTF16LE), std::nullopt);
    EXPECT_EQ(read({0x00, 0xD8, 0x41, 0x00}, 4, Enc::UTF16LE), std::nullopt);  // lone surrogate
}

TEST(CString, ThirtyTwoBitUnitsAndTheirByteOrderMark) {
    EXPECT_EQ(read({0xFF, 0xFE, 0, 0, 0x41, 0, 0, 0, 0, 0, 0, 0}, 12, Enc::UTF32), "A");
    EXPECT_EQ(read({0, 0, 0xFE, 0xFF, 0, 0x01, 0xF6, 0x00, 0, 0, 0, 0}, 0, Enc::UTF32), "\xF0\x9F\x98\x80");
    EXPECT_EQ(read({0x41, 0, 0, 0, 0x42, 0, 0}, 7, Enc::UTF32LE), "A");
    EXPECT_EQ(read({0x41, 0, 0, 0}, 3, Enc::UTF32LE), std::nullopt);
}
