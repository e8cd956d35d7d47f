// Orders of every kind of printer, written from the record tables: frames before the order
// (0x02/0x03), fast print (0x13 then 0x12), cancelling (0x0D), JPEG frames, commands a
// protocol version lacks, and what the order store holds afterwards.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "Codes.h"
#include "LabFixture.h"
#include "RawLab.h"

using namespace tessaron::minilabtest;
using nlohmann::json;

namespace {

constexpr uint64_t kRef = 0x0123456789ABCDEFull;

// A 2.1 lab: no fast print, no extended records.
const char* kOldLab = R"({"name": "Old Lab", "apiVersion": "2.1.0.0", "extraFeatures": false, "duplex": false,
  "papers": [{"width": 1520, "surface": 2, "resolution": 3000, "lmin": 1020, "lmax": 4570}]})";
// A 2.2 lab: fast print with the plain records.
const char* kFastLab = R"({"name": "Fast Lab", "apiVersion": "2.2.0.0", "extraFeatures": false, "duplex": false,
  "papers": [{"width": 1520, "surface": 2, "resolution": 3000, "lmin": 1020, "lmax": 4570}]})";

// The order record's leading fields as a printer without extended features gets them.
Bytes plainOrder(uint16_t frames, size_t size) {
    Bytes o(240, 0);
    put16(o, 0, 0xFFFF);
    put16(o, 2, frames);
    put16(o, 4, 1520);                                            // PaperWidth
    put16(o, 6, 1520); put16(o, 8, 1520); put16(o, 10, 1520);     // PaperLengthC, P, H
    put16(o, 12, 2);                                              // Surface
    put16(o, 22, 2);                                              // PaperFittingFlg
    put16(o, 28, 1);                                              // CmsFlg
    put64(o, 32, kRef);
    o.resize(size);
    return o;
}

// The frame block's leading `size` bytes (320 for 0x02, 384 for 0x12).
Bytes plainFrame(uint16_t no, uint16_t frames, size_t imageSize, size_t size, uint32_t format = 2) {
    Bytes f(480, 0);
    put16(f, 0, 0xFFFF);
    put16(f, 2, frames);
    put16(f, 4, no);
    putText(f, 6, "Cat_" + std::to_string(no));
    put32(f, 24, uint32_t(imageSize));
    put32(f, 28, format);
    put16(f, 34, 1);                                              // Copies
    put16(f, 36, 255);                                            // FixedFF
    putText(f, 38, "Taken 2026-12-08");                           // CVP1
    const uint8_t copyright[] = {0x0E, 0xC1, 0x0F, ' ', 'S', 't', 'u', 'd', 'i', 'o'};
    memcpy(f.data() + 158, copyright, sizeof copyright);         // CVP2: the (c) code, then text
    put16(f, 280, 1520); put16(f, 282, 1520); put16(f, 284, 2); put16(f, 288, 2);
    put64(f, 296, kRef);
    f.resize(size);
    return f;
}

Bytes refBytes(uint64_t ref) {
    Bytes r(8, 0);
    put64(r, 0, ref);
    return r;
}

Bytes jpeg(uint32_t width, uint32_t height) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(width * 3, 128);
    while (c.next_scanline < height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&c);
    free(out);
    return bytes;
}

struct Png {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

bool decodePng(const std::string& file, Png& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    image.format = PNG_FORMAT_RGB;
    out.width = image.width;
    out.height = image.height;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

class Orders : public LabTest {};

TEST_F(Orders, LargeFramesOfDifferentSizesAreStoredAsSentAndPreviewedOnDemand) {
    start(kOldLab);
    // Images of several hundred kilobytes arrive over many reads, the second into the memory
    // the first used; each must be stored exactly as sent.
    const Bytes one = bmp(600, 400), two = bmp(300, 500), three = bmp(640, 480);
    ASSERT_GT(two.size(), 256u * 1024);
    const Bytes* images[] = {&one, &two, &three};
    for (uint16_t k = 1; k <= 3; ++k) {
        const Bytes& image = *images[k - 1];
        ASSERT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(k, 3, image.size(), 320), image}, kV21))),
                  0u) << lab->log();
    }
    ASSERT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(3, 64)}, kV21))), 0u) << lab->log();
    EXPECT_EQ(stored("order-1/frame-1.bmp"), text(one));
    EXPECT_EQ(stored("order-1/frame-2.bmp"), text(two));
    EXPECT_EQ(stored("order-1/frame-3.bmp"), text(three));
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1/frame-1.png")));

    ASSERT_TRUE(lab->makePreviews(store.file("order-1")));
    Png png;
    ASSERT_TRUE(decodePng(stored("order-1/frame-2.png"), png));
    EXPECT_EQ(std::max(png.width, png.height), 500u);  // within the 512-pixel side, not enlarged

    // A damaged frame image is reported, not previewed as something else.
    Bytes damaged = two;
    damaged.resize(damaged.size() - 7);
    const std::string order = store.file("order-1");
    std::ofstream(order + "/frame-9.bmp", std::ios::binary) << text(damaged);
    std::string message;
    EXPECT_FALSE(lab->makePreviews(order, &message));
    EXPECT_NE(message.find("frame-9.bmp"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(order + "/frame-9.png"));
    std::string missing;
    EXPECT_FALSE(lab->makePreviews(store.file("order-7"), &missing));
}

TEST_F(Orders, FramesThenOrderOnAPlainPrinterLandInTheStore) {
    start(kOldLab);
    const Bytes one = bmp(3, 2), two = bmp(5, 4);
    EXPECT_EQ(transact(request(0x02, {clientInfo(kV21), plainFrame(1, 2, one.size(), 320), one}, kV21)).size(), 48u);
    EXPECT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(2, 2, two.size(), 320), two}, kV21))), 0u);
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1")));   // not spooled yet
    const Bytes reply = transact(request(0x03, {clientInfo(kV21), plainOrder(2, 64)}, kV21));
    // Success: header with direction 0x10, dataLength 32, a zero result block.
    Bytes expected = header(0x03, 32, 0x02010000);
    expected[7] = 0x10;
    expected.resize(48, 0);
    EXPECT_EQ(reply, expected);

    ASSERT_TRUE(std::filesystem::exists(store.file("order-1/order.json"))) << lab->log();
    const json order = json::parse(stored("order-1/order.json"));
    EXPECT_EQ(order["order"], 1);
    EXPECT_EQ(order["lab"], "Old Lab");
    EXPECT_EQ(order["command"], "JRX_SPOOL_ORDER");
    EXPECT_EQ(order["refId"], kRef);
    EXPECT_EQ(order["fastPrint"], false);
    EXPECT_EQ(order["frameNum"], 2);
    EXPECT_EQ(order["record"]["PaperWidth"], 1520);
    EXPECT_EQ(order["record"]["PaperLengthC"], 1520);
    EXPECT_EQ(order["record"]["CmsFlg"], 1);
    EXPECT_EQ(order["record"]["RefId"], kRef);
    EXPECT_FALSE(order["record"].contains("Copies"));   // beyond the 64 bytes sent
    EXPECT_EQ(order["client"]["User"], "alice");
    EXPECT_EQ(order["client"]["Host"], "host1");
    EXPECT_EQ(order["client"]["IPAddress"], "127.0.0.1");
    EXPECT_EQ(order["client"]["Port"], 5002);
    EXPECT_EQ(order["paper"]["source"], "roll");
    EXPECT_EQ(order["paper"]["width"], 1520);

    EXPECT_EQ(stored("order-1/frame-1.bmp"), text(one));
    EXPECT_EQ(stored("order-1/frame-2.bmp"), text(two));
    const json frame = json::parse(stored("order-1/frame-1.json"));
    EXPECT_EQ(frame["command"], "JRX_SEND_PRINT_DATA");
    EXPECT_EQ(frame["backPrint"]["CVP1"], "Taken 2026-12-08");
    EXPECT_EQ(frame["backPrint"]["CVP2"], "\xC2\xA9 Studio");
    EXPECT_EQ(frame["record"]["FrameName"], "Cat_1");
    EXPECT_EQ(frame["record"]["FrameNo"], 1);
    EXPECT_EQ(frame["image"]["width"], 3);
    EXPECT_EQ(frame["image"]["height"], 2);
    EXPECT_EQ(frame["image"]["bytes"], one.size());

    // The preview shows the picture the right way up, in its colours.
    ASSERT_TRUE(lab->makePreviews(store.file("order-1")));
    Png png;
    ASSERT_TRUE(decodePng(stored("order-1/frame-1.png"), png));
    ASSERT_EQ(png.width, 3u);
    ASSERT_EQ(png.height, 2u);
    for (uint32_t y = 0; y < 2; ++y)
        for (uint32_t x = 0; x < 3; ++x) {
            const uint8_t* px = &png.rgb[(y * 3 + x) * 3];
            EXPECT_EQ(px[0], x * 40) << x << "," << y;
            EXPECT_EQ(px[1], y * 60) << x << "," << y;
            EXPECT_EQ(px[2], 200) << x << "," << y;
        }
    // Published whole: no building directory or temporary file is left.
    for (const auto& e : std::filesystem::recursive_directory_iterator(store.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
}

// A store that cannot keep the order (here: a link planted where order 1 would be built)
// makes the lab refuse the request instead of claiming a spool it lost; nothing is written
// through the link, and the next order goes through.
TEST_F(Orders, AnOrderTheStoreCannotKeepIsRefused) {
    start(kOldLab);
    // Planted after the start: the lab skips every order name it finds at start-up.
    tessaron::test::TempDir elsewhere;
    std::filesystem::create_directory_symlink(elsewhere.path(), store.file(".order-1.partial"));
    const Bytes one = bmp(3, 2);
    const Bytes frame = request(0x02, {clientInfo(kV21), plainFrame(1, 1, one.size(), 320), one}, kV21);
    EXPECT_EQ(resultOf(transact(frame)), tessaron::minilab::kDiskFullSpool);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
    // The refused frame is not held: the order cannot be spooled without it.
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 64)}, kV21))),
              tessaron::minilab::kInvalidFrameNum);
    EXPECT_EQ(resultOf(transact(frame)), 0u);
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 64)}, kV21))), 0u);
    EXPECT_EQ(stored("order-2/frame-1.bmp"), text(one));
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
}

TEST_F(Orders, PlainRecordSizesFollowTheCommand) {
    start(kOldLab);
    const Bytes image = bmp(2, 2);
    // The extended frame block sent with 0x02: its tail is taken as image bytes.
    EXPECT_NE(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(1, 1, image.size(), 480), image}, kV21))), 0u);
    // 0x03 carries the order's first 64 bytes, no more, no fewer.
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 240)}, kV21))), tessaron::minilab::kInvalidSize);
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 63)}, kV21))), tessaron::minilab::kInvalidSize);
    // A plain order names no sheet paper and has no copies.
    Bytes named = plainOrder(1, 64);
    putText(named, 42, "A4");
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), named}, kV21))), tessaron::minilab::kInvalidParameter);
    // A spool without frames is no order.
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 64)}, kV21))), tessaron::minilab::kInvalidFrameNum);
    // Frames announced two, one arrived: the order is refused and nothing is published.
    ASSERT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(1, 2, image.size(), 320), image}, kV21))), 0u);
    EXPECT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(2, 64)}, kV21))), tessaron::minilab::kInvalidFrameNum);
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1")));
    EXPECT_TRUE(lab->waitForLog("2 frames announced, 1 received"));
}

TEST_F(Orders, FastPrintOrderComesFirstThenItsFrames) {
    start(kFastLab);
    Bytes order = plainOrder(2, 240);
    Bytes info = clientInfo(kV22);
    order.insert(order.end(), info.begin(), info.begin() + 16);   // 256 bytes
    // Frames of an order not yet spooled have nothing to join.
    const Bytes image = bmp(4, 3);
    EXPECT_EQ(resultOf(transact(request(0x12, {info, plainFrame(1, 2, image.size(), 384), image}, kV22))),
              tessaron::minilab::kNoSuchOrder);
    // The 16 bytes after the order must repeat the client information's start.
    Bytes wrongTail = order;
    wrongTail[240] ^= 1;
    EXPECT_EQ(resultOf(transact(request(0x13, {info, wrongTail}, kV22))), tessaron::minilab::kInvalidParameter);
    Bytes shortOrder(order.begin(), order.begin() + 240);
    EXPECT_EQ(resultOf(transact(request(0x13, {info, shortOrder}, kV22))), tessaron::minilab::kInvalidSize);

    ASSERT_EQ(resultOf(transact(request(0x13, {info, order}, kV22))), 0u) << lab->log();
    // The same reference spooled again is refused.
    EXPECT_EQ(resultOf(transact(request(0x13, {info, order}, kV22))), tessaron::minilab::kFileExists);
    // The frame block of 0x12 is 384 bytes; a frame on another paper than its order's is refused.
    Bytes otherPaper = plainFrame(1, 2, image.size(), 384);
    put16(otherPaper, 282, 2000);
    EXPECT_EQ(resultOf(transact(request(0x12, {info, otherPaper, image}, kV22))), tessaron::minilab::kInvalidPaperLength);
    EXPECT_EQ(resultOf(transact(request(0x12, {info, plainFrame(1, 2, image.size(), 384), image}, kV22))), 0u);
    EXPECT_FALSE(std::filesystem::exists(store.file("order-1")));
    EXPECT_EQ(resultOf(transact(request(0x12, {info, plainFrame(2, 2, image.size(), 384), image}, kV22))), 0u);
    ASSERT_TRUE(std::filesystem::exists(store.file("order-1/frame-2.bmp"))) << lab->log();
    const json o = json::parse(stored("order-1/order.json"));
    EXPECT_EQ(o["command"], "JRX_SPOOL_FAST_PRINT_ORDER");
    EXPECT_EQ(o["fastPrint"], true);
    EXPECT_EQ(json::parse(stored("order-1/frame-2.json"))["command"], "JRX_SEND_FAST_PRINT_DATA");
}

TEST_F(Orders, CancelEndsAFastPrintOrderPartWay) {
    start(kFastLab);
    Bytes info = clientInfo(kV22);
    Bytes order = plainOrder(3, 240);
    order.insert(order.end(), info.begin(), info.begin() + 16);
    ASSERT_EQ(resultOf(transact(request(0x13, {info, order}, kV22))), 0u);
    const Bytes image = bmp(2, 2);
    ASSERT_EQ(resultOf(transact(request(0x12, {info, plainFrame(1, 3, image.size(), 384), image}, kV22))), 0u);
    // The cancel payload is 104 bytes: client information and the reference.
    Bytes shortRef(7, 0);
    EXPECT_EQ(resultOf(transact(request(0x0D, {info, shortRef}, kV22))), tessaron::minilab::kInvalidSize);
    EXPECT_EQ(resultOf(transact(request(0x0D, {info, refBytes(kRef + 1)}, kV22))), tessaron::minilab::kNoSuchOrder);
    const Bytes reply = transact(request(0x0D, {info, refBytes(kRef)}, kV22));
    EXPECT_EQ(reply.size(), 48u);
    EXPECT_EQ(resultOf(reply), 0u);
    EXPECT_EQ(reply[7], 0x10);
    // The order is published as cancelled, with the frame it had.
    const json mark = json::parse(stored("order-1/cancelled.json"));
    EXPECT_EQ(mark["framesReceived"], 1);
    EXPECT_EQ(mark["frameNum"], 3);
    EXPECT_EQ(stored("order-1/frame-1.bmp"), text(image));
    // Later frames of it have no order to join; a second cancel finds none.
    EXPECT_EQ(resultOf(transact(request(0x12, {info, plainFrame(2, 3, image.size(), 384), image}, kV22))),
              tessaron::minilab::kNoSuchOrder);
    EXPECT_EQ(resultOf(transact(request(0x0D, {info, refBytes(kRef)}, kV22))), tessaron::minilab::kNoSuchOrder);
}

TEST_F(Orders, JpegFramesOnlyWhereTheLabTakesThem) {
    start(kOldLab);   // image formats 3: JPEG and BMP
    const Bytes picture = jpeg(16, 8);
    ASSERT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(1, 1, picture.size(), 320, 1), picture}, kV21))),
              0u) << lab->log();
    // JPEG bytes announced as BMP, and BMP bytes announced as JPEG, are refused.
    Bytes asBmp = plainFrame(1, 1, picture.size(), 320, 2);
    put64(asBmp, 296, kRef + 1);
    EXPECT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), asBmp, picture}, kV21))), tessaron::minilab::kIllegalImageData);
    const Bytes image = bmp(2, 2);
    Bytes asJpeg = plainFrame(1, 1, image.size(), 320, 1);
    put64(asJpeg, 296, kRef + 2);
    EXPECT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), asJpeg, image}, kV21))), tessaron::minilab::kIllegalImageData);
    // TIFF (32) is no format of this protocol's frames.
    Bytes tiff = plainFrame(1, 1, image.size(), 320, 32);
    put64(tiff, 296, kRef + 3);
    EXPECT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), tiff, image}, kV21))), tessaron::minilab::kNotSupportFormat);

    ASSERT_EQ(resultOf(transact(request(0x03, {clientInfo(kV21), plainOrder(1, 64)}, kV21))), 0u) << lab->log();
    EXPECT_EQ(stored("order-1/frame-1.jpg"), text(picture));
    ASSERT_TRUE(lab->makePreviews(store.file("order-1")));
    Png png;
    ASSERT_TRUE(decodePng(stored("order-1/frame-1.png"), png));
    EXPECT_EQ(png.width, 16u);
    EXPECT_EQ(png.height, 8u);
    EXPECT_NEAR(png.rgb[0], 128, 3);
}

TEST_F(Orders, JpegRefusedByABmpOnlyLab) {
    start(R"({"apiVersion": "2.1.0.0", "extraFeatures": false, "imageFormats": 2,
      "papers": [{"width": 1520, "surface": 2, "resolution": 3000, "lmin": 1020, "lmax": 4570}]})");
    const Bytes picture = jpeg(8, 8);
    EXPECT_EQ(resultOf(transact(request(0x02, {clientInfo(kV21), plainFrame(1, 1, picture.size(), 320, 1), picture}, kV21))),
              tessaron::minilab::kNotSupportFormat);
    Bytes status = transact(request(0x09, {Bytes(34, 0)}, kV21));
    ASSERT_EQ(status.size(), 16u + 32 + 192);
    EXPECT_EQ(get32(status, 48 + 134), 2u);
}

// Which commands exist follows the version: fast print from 2.2.0.0, the extended commands
// with 3.0.0.0 and the extended-features flag. A missing one is answered JRX_NO_SUPPORT.
TEST_F(Orders, CommandsAVersionLacksAreNotSupported) {
    struct Case {
        const char* config;
        uint32_t speaks;
        std::vector<uint8_t> missing;
        std::vector<uint8_t> present;
    };
    const Case cases[] = {
        {R"({"apiVersion": "1.0.5.1", "extraFeatures": false})", 0x01000501, {0x0D, 0x12, 0x13, 0x21, 0x22, 0x23}, {0x01, 0x06, 0x09}},
        {R"({"apiVersion": "2.1.0.0", "extraFeatures": true})", kV21, {0x0D, 0x12, 0x13, 0x21, 0x22, 0x23}, {0x01, 0x06, 0x09}},
        {R"({"apiVersion": "2.2.0.0", "extraFeatures": true})", kV22, {0x21, 0x22, 0x23}, {0x01, 0x06, 0x09}},
        {R"({"apiVersion": "3.0.0.0", "extraFeatures": false})", kV3, {0x21, 0x22, 0x23}, {0x01, 0x06, 0x09}},
        {R"({"apiVersion": "3.0.0.0", "extraFeatures": true})", kV3, {0x04, 0x20, 0x24}, {0x01, 0x06, 0x09, 0x21}},
    };
    for (const auto& c : cases) {
        lab.reset();
        start(c.config);
        for (uint8_t command : c.missing) {
            const Bytes reply = transact(header(command, 0, c.speaks));
            ASSERT_EQ(reply.size(), 48u) << c.config << " command " << int(command);
            EXPECT_EQ(resultOf(reply), tessaron::minilab::kNoSupport) << c.config << " command " << int(command);
            EXPECT_EQ(reply[6], command);
            EXPECT_EQ(reply[7], command <= 0x20 ? 0x10 : 0x01);
        }
        for (uint8_t command : c.present) {
            Bytes data = command == 0x09 ? Bytes(34, 0) : command == 0x01 ? Bytes{} : Bytes{0, 1};
            EXPECT_EQ(resultOf(transact(request(command, {data}, c.speaks))), 0u) << c.config << " command " << int(command);
        }
    }
}

}  // namespace
