// The request checks field by field: a sound record passes, and each bad field is refused
// with its own result code at its own byte offset. Records are built by hand from the
// protocol's tables, not with the emulator's field tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Codes.h"
#include "Config.h"
#include "RawLab.h"
#include "Validation.h"

using namespace tessaron::minilabtest;
using tessaron::minilab::LabConfig;
using tessaron::minilab::Paper;

namespace {

constexpr uint64_t kRef = 2026120812000099999ull;
constexpr size_t kRecordAt = 16 + 96;   // after header and client information

LabConfig lab() {
    LabConfig l;
    l.apiVersion = 0x03000000;
    l.duplex = true;
    Paper roll;
    roll.width = 1020; roll.surface = 1; roll.resolution = 3000; roll.lmin = 890; roll.lmax = 3050;
    Paper sheet;
    sheet.sheet = true; sheet.name = "A4"; sheet.width = 2100; sheet.surface = 1; sheet.resolution = 3000;
    sheet.lmin = 2970; sheet.lmax = 2970;
    l.papers = {roll, sheet};
    return l;
}

// A sound extended order for the roll paper: 2 frames, 2 copies, cut length 1520.
Bytes order() {
    Bytes o(240, 0);
    put16(o, 0, 0xFFFF); put16(o, 2, 2); put16(o, 4, 1020);
    put16(o, 6, 1520); put16(o, 8, 1520); put16(o, 10, 1520); put16(o, 12, 1);
    put16(o, 22, 2); put16(o, 28, 1); put64(o, 32, kRef);
    put16(o, 76, 2); put16(o, 82, 3000); put16(o, 86, 890); put16(o, 88, 3050);
    return o;
}

// A sound extended frame (frame 1 of 2) for the same paper, carrying a 70-byte image.
Bytes frame() {
    Bytes f(480, 0);
    put16(f, 0, 0xFFFF); put16(f, 2, 2); put16(f, 4, 1);
    putText(f, 6, "Job_1");
    put32(f, 24, 70); put32(f, 28, 2); put16(f, 34, 1); put16(f, 36, 255);
    putText(f, 38, "Line one");
    put16(f, 280, 1020); put16(f, 282, 1520); put16(f, 284, 1); put16(f, 288, 2);
    put64(f, 296, kRef); put16(f, 352, 3000);
    return f;
}

struct Expect {
    uint32_t code;
    size_t offset;   // within the record
};

std::optional<tessaron::minilab::Violation> orderCheck(uint8_t command, const Bytes& o, const LabConfig& l) {
    const tessaron::minilab::Paper* paper = nullptr;
    Bytes info = clientInfo();
    Bytes data = o;
    if (command == tessaron::minilab::kSpoolOrder) data.resize(64);
    if (command == tessaron::minilab::kSpoolFastPrintOrder) data.insert(data.end(), info.begin(), info.begin() + 16);
    return tessaron::minilab::checkOrder(command, info, data, l, paper);
}

std::optional<tessaron::minilab::Violation> frameCheck(uint8_t command, const Bytes& f, const LabConfig& l) {
    const tessaron::minilab::Paper* paper = nullptr;
    Bytes data(f.begin(), f.begin() + long(tessaron::minilab::recordLength(command)));
    return tessaron::minilab::checkFrame(command, data, 70, l, paper);
}

void expectRefused(const std::optional<tessaron::minilab::Violation>& v, Expect e, const std::string& what) {
    ASSERT_TRUE(v.has_value()) << what << ": accepted";
    EXPECT_EQ(v->code, e.code) << what << ": " << v->what;
    EXPECT_EQ(v->offset, kRecordAt + e.offset) << what << ": " << v->what;
}

// Byte ranges (offset, size) of a record that must stay zero.
using Ranges = std::vector<std::pair<size_t, size_t>>;

TEST(MinilabValidation, SoundRecordsPass) {
    const LabConfig l = lab();
    EXPECT_FALSE(orderCheck(tessaron::minilab::kSetOrderAd, order(), l));
    EXPECT_FALSE(frameCheck(tessaron::minilab::kTransmitFileAd, frame(), l));
    // Plain forms: no copies, no resolution or length limits.
    Bytes plain = order();
    put16(plain, 76, 0); put16(plain, 82, 0); put16(plain, 86, 0); put16(plain, 88, 0);
    EXPECT_FALSE(orderCheck(tessaron::minilab::kSpoolOrder, plain, l));
    EXPECT_FALSE(orderCheck(tessaron::minilab::kSpoolFastPrintOrder, plain, l));
    Bytes plainFrame = frame();
    put16(plainFrame, 352, 0);
    EXPECT_FALSE(frameCheck(tessaron::minilab::kSendPrintData, plainFrame, l));
    EXPECT_FALSE(frameCheck(tessaron::minilab::kSendFastPrintData, plainFrame, l));
    // The sheet paper by name, two-sided on a duplex lab.
    Bytes sheet = order();
    put16(sheet, 4, 2100); put16(sheet, 6, 2970); put16(sheet, 8, 2970); put16(sheet, 10, 2970);
    putText(sheet, 42, "A4"); put16(sheet, 74, 1); put16(sheet, 86, 2970); put16(sheet, 88, 2970);
    EXPECT_FALSE(orderCheck(tessaron::minilab::kSetOrderAd, sheet, l));
}

TEST(MinilabValidation, OrderFieldsEachWithTheirCode) {
    const LabConfig l = lab();
    struct Case { const char* what; size_t at; int bytes; uint64_t value; Expect expect; };
    const Case cases[] = {
        {"OrderNo not 0xFFFF", 0, 2, 1, {tessaron::minilab::kInvalidOrderNo, 0}},
        {"no frames", 2, 2, 0, {tessaron::minilab::kInvalidFrameNum, 2}},
        {"more frames than 9999", 2, 2, 10000, {tessaron::minilab::kInvalidFrameNum, 2}},
        {"unknown width", 4, 2, 1270, {tessaron::minilab::kInvalidPaper, 4}},
        {"unknown surface", 12, 2, 9, {tessaron::minilab::kInvalidPaper, 4}},
        {"P length differs from C", 8, 2, 1521, {tessaron::minilab::kInvalidPaperLength, 8}},
        {"H length differs from C", 10, 2, 1521, {tessaron::minilab::kInvalidPaperLength, 10}},
        {"fitting not 2", 22, 2, 1, {tessaron::minilab::kInvalidPaperFitting, 22}},
        {"CMS flag 2", 28, 2, 2, {tessaron::minilab::kInvalidParameter, 28}},
        {"no reference", 32, 8, 0, {tessaron::minilab::kInvalidRefId, 32}},
        {"two-sided on roll paper", 74, 2, 1, {tessaron::minilab::kInvalidParameter, 74}},
        {"no copies", 76, 2, 0, {tessaron::minilab::kInvalidRepeatNum, 76}},
        {"fast-print flag 2", 80, 2, 2, {tessaron::minilab::kInvalidParameter, 80}},
        {"other resolution", 82, 2, 6000, {tessaron::minilab::kInvalidPaper, 4}},
        {"shortest length not the paper's", 86, 2, 900, {tessaron::minilab::kInvalidPaperLength, 86}},
        {"longest length not the paper's", 88, 2, 3000, {tessaron::minilab::kInvalidPaperLength, 88}},
    };
    for (const Case& c : cases) {
        Bytes o = order();
        if (c.bytes == 2) put16(o, c.at, uint16_t(c.value)); else put64(o, c.at, c.value);
        expectRefused(orderCheck(tessaron::minilab::kSetOrderAd, o, l), c.expect, c.what);
    }
    // Cut length outside the paper's limits, all three lengths alike.
    Bytes longer = order();
    for (size_t at : {6, 8, 10}) put16(longer, at, 3100);
    expectRefused(orderCheck(tessaron::minilab::kSetOrderAd, longer, l), {tessaron::minilab::kInvalidPaperLength, 6}, "too long");
    // Without extended features an order carries no copies, no fast-print flag, no limits.
    Bytes fast = order();
    put16(fast, 82, 0); put16(fast, 86, 0); put16(fast, 88, 0);
    expectRefused(orderCheck(tessaron::minilab::kSpoolFastPrintOrder, fast, l), {tessaron::minilab::kInvalidRepeatNum, 76}, "copies");
    put16(fast, 76, 0); put16(fast, 80, 1);
    expectRefused(orderCheck(tessaron::minilab::kSpoolFastPrintOrder, fast, l), {tessaron::minilab::kInvalidParameter, 81}, "flag");
}

TEST(MinilabValidation, EveryUnusedOrderByteMustBeZero) {
    const LabConfig l = lab();
    const Ranges zero = {{14, 8}, {24, 4}, {30, 2}, {40, 2}, {42, 32}, {78, 2}, {90, 150}};
    for (auto [at, size] : zero)
        for (size_t i = at; i < at + size; ++i) {
            Bytes o = order();
            o[i] = 0x01;
            // A first name byte names a paper the roll does not have; any other is padding.
            const Expect e = i == 42 ? Expect{tessaron::minilab::kInvalidPaper, 42} : Expect{tessaron::minilab::kInvalidParameter, i};
            expectRefused(orderCheck(tessaron::minilab::kSetOrderAd, o, l), e, "order byte " + std::to_string(i));
        }
}

TEST(MinilabValidation, OrderTextAndFastPrintTail) {
    const LabConfig l = lab();
    Bytes sheet = order();
    put16(sheet, 4, 2100); put16(sheet, 6, 2970); put16(sheet, 8, 2970); put16(sheet, 10, 2970);
    put16(sheet, 86, 2970); put16(sheet, 88, 2970);
    putText(sheet, 42, "A4");
    sheet[42 + 4] = 'x';   // after the name's terminator
    expectRefused(orderCheck(tessaron::minilab::kSetOrderAd, sheet, l), {tessaron::minilab::kInvalidParameter, 46}, "name padding");
    putText(sheet, 42, "A5");
    sheet[46] = 0;
    expectRefused(orderCheck(tessaron::minilab::kSetOrderAd, sheet, l), {tessaron::minilab::kInvalidPaper, 42}, "unknown sheet");

    // The fast-print order repeats the first 16 bytes of the client information.
    Bytes fast = order();
    put16(fast, 76, 0); put16(fast, 82, 0); put16(fast, 86, 0); put16(fast, 88, 0);
    const tessaron::minilab::Paper* paper = nullptr;
    Bytes info = clientInfo();
    Bytes data = fast;
    data.insert(data.end(), info.begin(), info.begin() + 16);
    data[240 + 3] ^= 0x20;
    auto v = tessaron::minilab::checkOrder(tessaron::minilab::kSpoolFastPrintOrder, info, data, l, paper);
    expectRefused(v, {tessaron::minilab::kInvalidParameter, 243}, "fast-print tail");

    // A plain order's bytes 42 to 63 are the start of the (unused) paper name.
    Bytes plain = fast;
    plain[60] = 'z';
    expectRefused(orderCheck(tessaron::minilab::kSpoolOrder, plain, l), {tessaron::minilab::kInvalidParameter, 60}, "plain cut name");
}

TEST(MinilabValidation, FrameFieldsEachWithTheirCode) {
    LabConfig l = lab();
    struct Case { const char* what; size_t at; int bytes; uint64_t value; Expect expect; };
    const Case cases[] = {
        {"OrderNo not 0xFFFF", 0, 2, 0, {tessaron::minilab::kInvalidOrderNo, 0}},
        {"no frames", 2, 2, 0, {tessaron::minilab::kInvalidFrameNum, 2}},
        {"frame 0", 4, 2, 0, {tessaron::minilab::kInvalidFrameNo, 4}},
        {"frame after the last", 4, 2, 3, {tessaron::minilab::kInvalidFrameNo, 4}},
        {"size differs from the image", 24, 4, 71, {tessaron::minilab::kInvalidImageSize, 24}},
        {"TIFF", 28, 4, 32, {tessaron::minilab::kNotSupportFormat, 28}},
        {"no copies", 34, 2, 0, {tessaron::minilab::kInvalidRepeatNum, 34}},
        {"FixedFF not 255", 36, 2, 0x00FE, {tessaron::minilab::kInvalidParameter, 36}},
        {"fitting not 2", 288, 2, 0, {tessaron::minilab::kInvalidPaperFitting, 288}},
        {"no reference", 296, 8, 0, {tessaron::minilab::kInvalidRefId, 296}},
        {"unknown width", 280, 2, 1270, {tessaron::minilab::kInvalidPaper, 280}},
        {"too long", 282, 2, 3100, {tessaron::minilab::kInvalidPaperLength, 282}},
        {"other resolution", 352, 2, 6000, {tessaron::minilab::kInvalidPaper, 280}},
    };
    for (const Case& c : cases) {
        Bytes f = frame();
        if (c.bytes == 2) put16(f, c.at, uint16_t(c.value));
        else if (c.bytes == 4) put32(f, c.at, uint32_t(c.value));
        else put64(f, c.at, c.value);
        expectRefused(frameCheck(tessaron::minilab::kTransmitFileAd, f, l), c.expect, c.what);
    }
    // JPEG only where the lab takes it.
    Bytes jpeg = frame();
    put32(jpeg, 28, 1);
    EXPECT_FALSE(frameCheck(tessaron::minilab::kTransmitFileAd, jpeg, l));
    l.imageFormats = 2;
    expectRefused(frameCheck(tessaron::minilab::kTransmitFileAd, jpeg, l), {tessaron::minilab::kNotSupportFormat, 28}, "JPEG on BMP lab");
}

TEST(MinilabValidation, FrameTextsAndUnusedBytes) {
    const LabConfig l = lab();
    const Ranges zero = {{32, 2}, {278, 2}, {286, 2}, {290, 6}, {304, 16}, {356, 124}};
    for (auto [at, size] : zero)
        for (size_t i = at; i < at + size; ++i) {
            Bytes f = frame();
            f[i] = 0x80;
            expectRefused(frameCheck(tessaron::minilab::kTransmitFileAd, f, l), {tessaron::minilab::kInvalidParameter, i},
                          "frame byte " + std::to_string(i));
        }
    struct Case { const char* what; size_t at; Bytes bytes; Expect expect; };
    const Case cases[] = {
        {"name padding", 6 + 7, {'x'}, {tessaron::minilab::kInvalidParameter, 13}},
        {"name without terminator", 6, Bytes(18, 'n'), {tessaron::minilab::kInvalidParameter, 6 + 17}},
        {"back-print padding", 38 + 100, {'x'}, {tessaron::minilab::kInvalidParameter, 138}},
        {"back-print not UTF-8", 38 + 2, {0xFF}, {tessaron::minilab::kInvalidParameter, 40}},
        {"second back-print line padding", 158 + 119, {'x'}, {tessaron::minilab::kInvalidParameter, 277}},
    };
    for (const Case& c : cases) {
        Bytes f = frame();
        std::copy(c.bytes.begin(), c.bytes.end(), f.begin() + long(c.at));
        expectRefused(frameCheck(tessaron::minilab::kTransmitFileAd, f, l), c.expect, c.what);
    }
    // The copyright code of the back-print lines is allowed.
    Bytes f = frame();
    std::fill(f.begin() + 38, f.begin() + 158, 0);
    const uint8_t copyright[] = {0x0E, 0xC1, 0x0F, ' ', 'A', 0};
    std::copy(std::begin(copyright), std::end(copyright), f.begin() + 38);
    EXPECT_FALSE(frameCheck(tessaron::minilab::kTransmitFileAd, f, l));
    // A plain frame has no paper name, resolution or tone.
    Bytes plain = frame();
    expectRefused(frameCheck(tessaron::minilab::kSendFastPrintData, plain, l), {tessaron::minilab::kInvalidParameter, 352},
                  "plain frame with resolution");
}

TEST(MinilabValidation, ClientInformation) {
    const uint32_t v3 = 0x03000000;
    EXPECT_FALSE(tessaron::minilab::checkClientInfo(clientInfo(), v3));
    struct Case { const char* what; size_t at; Bytes bytes; uint32_t code; size_t offset; };
    const Case cases[] = {
        {"user without terminator", 0, Bytes(20, 'u'), tessaron::minilab::kInvalidUser, 19},
        {"user padding", 10, {'x'}, tessaron::minilab::kInvalidUser, 10},
        {"host padding", 39, {'x'}, tessaron::minilab::kInvalidHost, 39},
        {"host not UTF-8", 20, {0xC3, 0x28}, tessaron::minilab::kInvalidHost, 20},
        {"port 5001", 50, {0x13, 0x89}, tessaron::minilab::kInvalidParameter, 50},
        {"version of another client", 52, {0x01, 0x00, 0x05, 0x01}, tessaron::minilab::kInvalidParameter, 52},
        {"level 1", 56, {0, 1}, tessaron::minilab::kInvalidParameter, 56},
        {"reserve", 95, {1}, tessaron::minilab::kInvalidParameter, 95},
    };
    for (const Case& c : cases) {
        Bytes info = clientInfo();
        std::copy(c.bytes.begin(), c.bytes.end(), info.begin() + long(c.at));
        auto v = tessaron::minilab::checkClientInfo(info, v3);
        ASSERT_TRUE(v) << c.what;
        EXPECT_EQ(v->code, c.code) << c.what;
        EXPECT_EQ(v->offset, 16 + c.offset) << c.what << ": " << v->what;
    }
}

TEST(MinilabValidation, HeaderAndQueryData) {
    LabConfig l = lab();
    l.maxImageBytes = 1000;
    auto check = [&](Bytes h) { return tessaron::minilab::checkHeader(h, l); };
    EXPECT_FALSE(check(header(0x09, 34)).violation);
    EXPECT_FALSE(check(header(0x01, 0, 0x01000501)).violation);
    auto image = check(header(0x22, 96 + 480 + 1000));
    EXPECT_FALSE(image.violation);
    EXPECT_EQ(image.imageLength, 1000u);

    struct Case { const char* what; Bytes h; uint32_t code; size_t offset; bool fatal; };
    Bytes noT = header(0x01, 0); noT[1] = 't';
    Bytes direction = header(0x09, 34); direction[7] = 0x10;
    Bytes reserve = header(0x09, 34); reserve[15] = 1;
    const Case cases[] = {
        {"no marker", noT, tessaron::minilab::kFail, 1, true},
        {"version below 1.0.5.1", header(0x01, 0, 0x01000500), tessaron::minilab::kNoSupport, 2, false},
        {"version above the lab's", header(0x01, 0, 0x03000001), tessaron::minilab::kNoSupport, 2, false},
        {"direction of a reply", direction, tessaron::minilab::kInvalidParameter, 7, false},
        {"reserve", reserve, tessaron::minilab::kInvalidParameter, 12, false},
        {"unknown command", header(0x44, 0), tessaron::minilab::kNoSupport, 6, false},
        {"status of 33 bytes", header(0x09, 33), tessaron::minilab::kInvalidSize, 8, false},
        {"status of 1 MiB", header(0x09, 1u << 20), tessaron::minilab::kInvalidSize, 8, true},
        {"frame without image", header(0x22, 96 + 480), tessaron::minilab::kInvalidSize, 8, false},
        {"image above the limit", header(0x22, 96 + 480 + 1001), tessaron::minilab::kInvalidImageSize, 8, true},
        {"image of 4 GiB", header(0x02, 0xFFFFFFFF), tessaron::minilab::kInvalidImageSize, 8, true},
    };
    for (const Case& c : cases) {
        auto v = check(c.h).violation;
        ASSERT_TRUE(v) << c.what;
        EXPECT_EQ(v->code, c.code) << c.what;
        EXPECT_EQ(v->offset, c.offset) << c.what;
        EXPECT_EQ(v->fatal, c.fatal) << c.what;
    }
    // An older lab has neither extended nor (below 2.2) fast-print commands.
    l.apiVersion = 0x02010000;
    EXPECT_EQ(check(header(0x21, 2, 0x02010000)).violation->code, tessaron::minilab::kNoSupport);
    EXPECT_EQ(check(header(0x12, 96 + 384 + 10, 0x02010000)).violation->code, tessaron::minilab::kNoSupport);
    EXPECT_FALSE(check(header(0x02, 96 + 320 + 10, 0x02010000)).violation);

    EXPECT_FALSE(tessaron::minilab::checkQueryData(0x06, Bytes{0, 1}));
    EXPECT_FALSE(tessaron::minilab::checkQueryData(0x07, Bytes{0, 2}));
    EXPECT_EQ(tessaron::minilab::checkQueryData(0x07, Bytes{0, 1})->code, tessaron::minilab::kInvalidParameter);
    EXPECT_EQ(tessaron::minilab::checkQueryData(0x21, Bytes{1, 1})->offset, 16u);
    Bytes status(34, 0);
    status[33] = 1;
    EXPECT_EQ(tessaron::minilab::checkQueryData(0x09, status)->offset, 16u + 33);
}

// The shipped example configurations load, and mistakes in a configuration are refused
// rather than run with a guess.
TEST(MinilabConfig, ExamplesLoadAndMistakesAreRefused) {
    for (const char* file : {"lab.json", "two-labs.json", "faults.json", "legacy-2.1.json"}) {
        std::string error;
        auto config = tessaron::minilab::loadConfig(std::string(TESSARON_SOURCE_DIR) + "/tools/minilab/examples/" + file, error);
        ASSERT_TRUE(config) << file << ": " << error;
        EXPECT_FALSE(config->labs.empty()) << file;
    }
    std::string error;
    auto two = tessaron::minilab::parseConfig(R"({"labs": [{"address": "127.0.0.2"}, {"address": "127.0.0.3", "apiVersion": "2.2.0.0"}]})", error);
    ASSERT_TRUE(two) << error;
    ASSERT_EQ(two->labs.size(), 2u);
    EXPECT_EQ(two->labs[1].apiVersion, 0x02020000u);
    for (const char* bad : {R"({"apiVersion": "3.x"})", R"({"papers": [{"width": "wide"}]})", R"([1, 2])",
                            R"({"name": "Lab")", R"({"faults": {"replyDelay": -5}})"}) {
        error.clear();
        EXPECT_FALSE(tessaron::minilab::parseConfig(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
