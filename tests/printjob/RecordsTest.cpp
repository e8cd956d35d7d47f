#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "JobOptions.h"
#include "OrderRecords.h"
#include "TextFields.h"

using namespace tessaron;

namespace {

uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t be32(const uint8_t* p) { return uint32_t{be16(p)} << 16 | be16(p + 2); }
uint64_t be64(const uint8_t* p) { return uint64_t{be32(p)} << 32 | be32(p + 4); }

bool allZero(const uint8_t* p, size_t n) { return std::all_of(p, p + n, [](uint8_t b) { return b == 0; }); }

std::array<uint8_t, kClientInfoSize> sampleClientInfo() {
    std::array<uint8_t, kClientInfoSize> info{};
    std::iota(info.begin(), info.end(), uint8_t{1});
    return info;
}

jrx_order_param_ad_s sampleOrder() {
    jrx_order_param_ad_s o;
    o.OrderNo = 0xFFFF;
    o.FrameNum = 3;
    o.PaperWidth = 1020;
    o.PaperLengthC = o.PaperLengthP = o.PaperLengthH = 1520;
    o.Surface = 1;
    o.PaperFittingFlg = 2;
    o.CmsFlg = 1;
    o.RefId = 0x0102030405060708ull;
    o.Copies = 2;
    o.FastPrintFlg = 1;
    o.Resolut = 300;
    o.PaperTone = 4;
    o.PaperLengthMin = 1270;
    o.PaperLengthMax = 3050;
    o.BothSidePrint = 1;
    return o;
}

}  // namespace

TEST(OrderRecord, FieldsLandAtTheirBigEndianOffsetsAndTheRestIsZero) {
    auto bytes = encodeOrderRecord(sampleOrder());
    ASSERT_EQ(bytes.size(), 240u);
    EXPECT_EQ(be16(&bytes[0]), 0xFFFF);
    EXPECT_EQ(be16(&bytes[2]), 3);
    EXPECT_EQ(be16(&bytes[4]), 1020);
    EXPECT_EQ(be16(&bytes[6]), 1520);
    EXPECT_EQ(be16(&bytes[8]), 1520);
    EXPECT_EQ(be16(&bytes[10]), 1520);
    EXPECT_EQ(be16(&bytes[12]), 1);
    EXPECT_EQ(be16(&bytes[22]), 2);
    EXPECT_EQ(be16(&bytes[28]), 1);
    EXPECT_EQ(be64(&bytes[32]), 0x0102030405060708ull);
    EXPECT_EQ(be16(&bytes[74]), 1);
    EXPECT_EQ(be16(&bytes[76]), 2);
    EXPECT_EQ(be16(&bytes[80]), 1);
    EXPECT_EQ(be16(&bytes[82]), 300);
    EXPECT_EQ(be16(&bytes[84]), 4);
    EXPECT_EQ(be16(&bytes[86]), 1270);
    EXPECT_EQ(be16(&bytes[88]), 3050);
    // Roll paper: no name; the B, C and D paper groups and everything after stay zero.
    EXPECT_TRUE(allZero(&bytes[42], 32));
    EXPECT_TRUE(allZero(&bytes[90], 240 - 90));
    EXPECT_TRUE(allZero(&bytes[14], 8));
}

TEST(OrderRecord, SheetPaperNameAndLastFieldsRoundTrip) {
    auto order = sampleOrder();
    writeTextField(order.PaperName, "A4 Lustre");
    order.BlankPageNum = 0xBEEF;
    order.PaperLengthMaxD = 0x1234;
    auto bytes = encodeOrderRecord(order);
    EXPECT_EQ(readTextField(std::span<const uint8_t>(&bytes[42], 32)), "A4 Lustre");
    EXPECT_EQ(be16(&bytes[232]), 0xBEEF);
    EXPECT_EQ(be16(&bytes[220]), 0x1234);

    auto back = decodeOrderRecord(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(encodeOrderRecord(*back), bytes);
    EXPECT_EQ(back->RefId, 0x0102030405060708ull);

    // An older minilab's 64-byte head decodes with everything past it zero.
    auto head = decodeOrderRecord(std::span<const uint8_t>(bytes.data(), 64));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->PaperWidth, 1020);
    EXPECT_EQ(head->Copies, 0);
    EXPECT_FALSE(decodeOrderRecord(std::vector<uint8_t>(241)));
}

TEST(FrameBlock, FieldsLandAtTheirOffsetsAndHeadsCutWhereTheOlderCommandsEnd) {
    jrx_frame_param_ad_s f;
    f.OrderNo = 0xFFFF;
    f.FrameNum = 3;
    f.FrameNo = 2;
    writeTextField(f.FrameName, "Cat_2");
    f.ImageSize = 0x00ABCDEF;
    f.ImageFormat = kImageFormatBMP;
    f.Copies = 2;
    f.FixedFF = kFixedFF;
    f.CVP1[0] = 'x';
    f.CVP2[119] = 'y';
    f.PaperWidth = 1020;
    f.PaperLength = 1520;
    f.Surface = 1;
    f.PaperFittingFlg = 2;
    f.RefId = 0x1122334455667788ull;
    writeTextField(f.PaperName, "A4");
    f.Resolut = 300;
    f.PaperTone = 4;

    auto b = encodeFrameBlock(f);
    EXPECT_EQ(be16(&b[0]), 0xFFFF);
    EXPECT_EQ(be16(&b[2]), 3);
    EXPECT_EQ(be16(&b[4]), 2);
    EXPECT_EQ(readTextField(std::span<const uint8_t>(&b[6], 18)), "Cat_2");
    EXPECT_EQ(be32(&b[24]), 0x00ABCDEFu);
    EXPECT_EQ(be32(&b[28]), 2u);
    EXPECT_EQ(be16(&b[34]), 2);
    EXPECT_EQ(b[36], 0x00);
    EXPECT_EQ(b[37], 0xFF);
    EXPECT_EQ(b[38], 'x');
    EXPECT_EQ(b[277], 'y');
    EXPECT_EQ(be16(&b[280]), 1020);
    EXPECT_EQ(be16(&b[282]), 1520);
    EXPECT_EQ(be16(&b[284]), 1);
    EXPECT_EQ(be16(&b[288]), 2);
    EXPECT_EQ(be64(&b[296]), 0x1122334455667788ull);
    EXPECT_EQ(b[320], 'A');
    EXPECT_EQ(be16(&b[352]), 300);
    EXPECT_EQ(be16(&b[354]), 4);
    EXPECT_TRUE(allZero(&b[356], 124));
    EXPECT_TRUE(allZero(&b[32], 2));
    EXPECT_TRUE(allZero(&b[304], 16));

    auto head = decodeFrameBlock(std::span<const uint8_t>(b.data(), 320));
    ASSERT_TRUE(head);
    EXPECT_EQ(head->RefId, f.RefId);
    EXPECT_EQ(head->PaperName[0], 0);
    EXPECT_EQ(head->Resolut, 0);
}

TEST(OrderPayloads, EachMinilabKindGetsItsCommandAndLength) {
    auto info = sampleClientInfo();
    jrx_frame_param_ad_s frame;
    frame.FrameNo = 7;
    auto order = sampleOrder();

    struct Case { bool extra, fast; uint8_t frameCmd, spoolCmd; size_t frameLen, spoolLen; };
    for (const Case& c : {Case{true, true, 0x22, 0x23, 96 + 480, 96 + 240},
                          Case{true, false, 0x22, 0x23, 96 + 480, 96 + 240},
                          Case{false, true, 0x12, 0x13, 96 + 384, 96 + 256},
                          Case{false, false, 0x02, 0x03, 96 + 320, 96 + 64}}) {
        SCOPED_TRACE(testing::Message() << "extra " << c.extra << " fast " << c.fast);
        auto kind = orderProtocolFor(c.extra, c.fast);
        EXPECT_EQ(frameCommandFor(kind), c.frameCmd);
        EXPECT_EQ(spoolCommandFor(kind), c.spoolCmd);
        auto fp = framePayload(kind, info, frame);
        ASSERT_EQ(fp.size(), c.frameLen);
        EXPECT_TRUE(std::equal(info.begin(), info.end(), fp.begin()));
        EXPECT_EQ(be16(&fp[96 + 4]), 7);
        auto sp = spoolPayload(kind, info, order);
        ASSERT_EQ(sp.size(), c.spoolLen);
        EXPECT_EQ(be16(&sp[96 + 4]), 1020);
    }
    // The older fast-print spool repeats the head of the client information after the record.
    auto sp = spoolPayload(OrderProtocol::FastPrint, info, order);
    EXPECT_TRUE(std::equal(info.begin(), info.begin() + 16, sp.begin() + 96 + 240));
    // A normal older minilab never sees the copies of an extended order.
    auto normal = spoolPayload(OrderProtocol::Normal, info, order);
    EXPECT_EQ(normal.size(), 160u);

    auto cancel = cancelPayload(info, 0x0A0B0C0D0E0F1011ull);
    ASSERT_EQ(cancel.size(), 104u);
    EXPECT_TRUE(std::equal(info.begin(), info.end(), cancel.begin()));
    EXPECT_EQ(be64(&cancel[96]), 0x0A0B0C0D0E0F1011ull);
}

TEST(TextFieldsTest, CutsOnACharacterBoundaryAndAlwaysKeepsATerminator) {
    std::array<uint8_t, 6> field{};
    field.fill(0xAA);
    // Three two-byte letters: only two fit before the terminator of a 6-byte field.
    EXPECT_EQ(writeTextField(field, "\u00e9\u00e9\u00e9"), 4u);
    EXPECT_EQ(readTextField(field), "\u00e9\u00e9");
    EXPECT_EQ(field[4], 0);
    EXPECT_EQ(field[5], 0);

    std::array<uint8_t, 32> name{};
    std::string exact(31, 'n');
    EXPECT_EQ(writeTextField(name, exact), 31u);
    EXPECT_EQ(writeTextField(name, exact + "x"), 31u);
    EXPECT_EQ(name[31], 0);
    // A four-byte character straddling the limit is left out whole.
    EXPECT_EQ(writeTextField(name, std::string(29, 'a') + "\U0001F600"), 29u);

    // The client-information rule: at most 19 characters and 19 bytes.
    EXPECT_EQ(utf8Prefix(std::string(25, 'u'), 19, 19).size(), 19u);
    EXPECT_EQ(utf8Prefix("\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc", 19, 19), "\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc\u00fc");
    EXPECT_EQ(utf8Length("a\u00fc\u20ac"), 3u);
}

TEST(JobOptionReading, FlagsChoicesAndLeadingNumbers) {
    JobOptionValues o{{"DebugLog", "FALSE"}, {"AdjustmentsEnabled", "True"}, {"BindingMargin", "none"},
                      {"Red", "12.35"}, {"Brightness", "-20.00"}, {"PaperTone", "4 (warm)"}, {"Junk", "abc"},
                      {"Hex", "0x10"}, {"Inf", "inf"}, {"Exp", "1e3"}, {"Huge", "1e999"}};
    EXPECT_FALSE(optionFlag(o, "DebugLog"));
    EXPECT_TRUE(optionFlag(o, "AdjustmentsEnabled"));
    EXPECT_TRUE(optionFlag(o, "SharpnessEnabled"));  // absent counts as on
    EXPECT_TRUE(optionChoiceIs(o, "BindingMargin", "None"));
    EXPECT_TRUE(optionChoiceIs(o, "AP_ColorMatchingMode", "AP_VendorColorMatching"));
    EXPECT_DOUBLE_EQ(optionNumber(o, "Red"), 12.35);
    EXPECT_DOUBLE_EQ(optionNumber(o, "Brightness"), -20);
    EXPECT_EQ(optionInteger(o, "PaperTone"), 4);
    EXPECT_EQ(optionNumber(o, "Junk"), 0);
    EXPECT_EQ(optionNumber(o, "Missing"), 0);
    EXPECT_EQ(optionNumber(o, "Hex"), 0);
    EXPECT_EQ(optionNumber(o, "Inf"), 0);
    EXPECT_EQ(optionNumber(o, "Exp"), 1000);
    EXPECT_TRUE(std::isfinite(optionNumber(o, "Huge")));
    EXPECT_EQ(leadingInteger("99999999999999999999999"), INT64_MAX);
}
