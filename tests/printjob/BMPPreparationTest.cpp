#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BMPPreparation.h"
#include "TempDir.h"

using namespace tessaron;
using tessaron::test::TempDir;

namespace {

void putLE32(std::string& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}
uint32_t le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(b[at + i])} << (8 * i);
    return v;
}

// A 24-bit BMP of the given geometry whose pixel bytes count up, row after row.
std::string bmp(int32_t width, int32_t height, uint32_t rowBytes, uint32_t imageSizeField) {
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    std::string b(54 + rows * rowBytes, '\0');
    b[0] = 'B';
    b[1] = 'M';
    putLE32(b, 2, static_cast<uint32_t>(b.size()));
    putLE32(b, 10, 54);
    putLE32(b, 14, 40);
    putLE32(b, 18, static_cast<uint32_t>(width));
    putLE32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = 24;
    putLE32(b, 34, imageSizeField);
    for (size_t i = 54; i < b.size(); ++i) b[i] = static_cast<char>(i - 54 + 1);
    return b;
}

struct Fixture {
    TempDir dir;
    int made = 0;
    TempFileFactory factory() {
        return [this](tessaron::UniqueFd* fd) -> std::optional<std::string> {
            std::string path = dir.file("flopXXXXXX");
            fd->reset(mkstemp(path.data()));
            if (!*fd) return std::nullopt;
            ++made;
            return path;
        };
    }
};

}  // namespace

TEST(BMPCorrection, TopDownTwoByTwoBecomesBottomUpWithTheRealImageSize) {
    Fixture fx;
    std::string in = bmp(2, -2, 8, 0);
    ASSERT_EQ(in.size(), 70u);
    std::string path = fx.dir.write("page.bmp", in);

    std::string out = pathForCorrectedBMPAtPath(path, fx.factory());
    ASSERT_NE(out, path);
    std::string fixed = tessaron::test::readFile(out);
    ASSERT_EQ(fixed.size(), 70u);
    EXPECT_EQ(static_cast<int32_t>(le32(fixed, 22)), 2);
    EXPECT_EQ(le32(fixed, 18), 2u);
    EXPECT_EQ(le32(fixed, 34), 16u);
    EXPECT_EQ(fixed.substr(0, 18), in.substr(0, 18));
    // The last row of the old file comes first.
    EXPECT_EQ(fixed.substr(54, 8), in.substr(62, 8));
    EXPECT_EQ(fixed.substr(62, 8), in.substr(54, 8));
    // The input itself is untouched; the caller decides what to delete.
    EXPECT_EQ(tessaron::test::readFile(path), in);
}

TEST(BMPCorrection, ImageSizeFieldOfZeroIsRepairedAndNegativeWidthMadePositive) {
    Fixture fx;
    std::string path = fx.dir.write("w.bmp", bmp(-3, -3, 12, 0));
    std::string fixed = tessaron::test::readFile(pathForCorrectedBMPAtPath(path, fx.factory()));
    ASSERT_EQ(fixed.size(), 54u + 36u);
    EXPECT_EQ(le32(fixed, 34), 36u);
    EXPECT_EQ(le32(fixed, 18), 3u);
    EXPECT_EQ(le32(fixed, 22), 3u);
}

TEST(BMPCorrection, FilesThatNeedNoOrAllowNoCorrectionComeBackAsTheyAre) {
    Fixture fx;
    struct Case { const char* name; std::string bytes; };
    std::string lying = bmp(2, -2, 8, 16);
    putLE32(lying, 2, 5000);  // claims far more pixel data than the file holds
    std::string offsetPastEnd = bmp(2, -2, 8, 16);
    putLE32(offsetPastEnd, 10, 80);
    std::string tinyOffset = bmp(2, -2, 8, 16);
    putLE32(tinyOffset, 10, 30);
    std::string hugeHeight = bmp(2, -2, 8, 16);
    putLE32(hugeHeight, 22, 0x80000000u);  // INT32_MIN rows
    for (const Case& c : {Case{"bottom-up", bmp(2, 2, 8, 16)}, Case{"not a bmp", std::string(70, 'x')},
                          Case{"short", bmp(2, -2, 8, 16).substr(0, 40)}, Case{"empty", std::string()},
                          Case{"lying size", lying}, Case{"offset past end", offsetPastEnd},
                          Case{"offset inside headers", tinyOffset}, Case{"width only negative", bmp(-2, 2, 8, 16)}}) {
        SCOPED_TRACE(c.name);
        std::string path = fx.dir.write("in.bmp", c.bytes);
        EXPECT_EQ(pathForCorrectedBMPAtPath(path, fx.factory()), path);
    }
    EXPECT_EQ(fx.made, 0);

    // More rows than bytes: nothing sensible can be written, so no copy is even started.
    std::string path = fx.dir.write("in.bmp", hugeHeight);
    EXPECT_EQ(pathForCorrectedBMPAtPath(path, fx.factory()), path);
    EXPECT_EQ(fx.made, 0);
    for (const auto& entry : std::filesystem::directory_iterator(fx.dir.path())) {
        EXPECT_EQ(entry.path().filename().string().rfind("flop", 0), std::string::npos) << entry.path();
    }
}

TEST(BMPCorrection, ClassificationFollowsTheHeaders) {
    auto span = [](const std::string& s) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(classifyBMP(span(bmp(4, -4, 12, 0))), BMPLayout::NeedsFlop);
    EXPECT_EQ(classifyBMP(span(bmp(4, 4, 12, 0))), BMPLayout::AlreadyUsable);
    EXPECT_EQ(classifyBMP(span(bmp(-4, 4, 12, 0))), BMPLayout::OnlyWidthNegative);
    EXPECT_EQ(classifyBMP(span("BM")), BMPLayout::NotBMP);
    // Two billion rows in 12 pixel bytes: no image, and never turned row by row.
    std::string tall = bmp(4, -1, 12, 0);
    putLE32(tall, 22, 0x80000000u);
    EXPECT_EQ(classifyBMP(span(tall)), BMPLayout::Unusable);
}

TEST(BMPCorrection, BytesInMemoryEndAsTheFileThatIsSentOrStayAsTheyWere) {
    Fixture fx;
    auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    // More rows than one batched write takes, and rows that are not a multiple of 4 pixels.
    const std::string tall = bmp(3, -2500, 12, 0);
    const std::string path = fx.dir.write("tall.bmp", tall);
    std::vector<uint8_t> memory = bytes(tall);
    const std::string out = pathForCorrectedBMP(path, memory, fx.factory());
    ASSERT_NE(out, path);
    const std::string file = tessaron::test::readFile(out);
    EXPECT_EQ(std::string(memory.begin(), memory.end()), file);
    // And it is the same file the path-only correction writes.
    EXPECT_EQ(tessaron::test::readFile(pathForCorrectedBMPAtPath(path, fx.factory())), file);
    for (uint32_t r = 0; r < 2500; r += 499)
        ASSERT_EQ(file.substr(54 + r * 12, 12), tall.substr(54 + (2499 - r) * 12, 12)) << "row " << r;

    // Nothing corrected, or a correction that failed its check: what is sent is the original.
    std::string hugeHeight = bmp(2, -2, 8, 16);
    putLE32(hugeHeight, 22, 0x80000000u);
    for (const std::string& original : {bmp(2, 2, 8, 16), hugeHeight, bmp(-2, 2, 8, 16)}) {
        const std::string p = fx.dir.write("in.bmp", original);
        std::vector<uint8_t> kept = bytes(original);
        EXPECT_EQ(pathForCorrectedBMP(p, kept, fx.factory()), p);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), original);
    }
}
