#include "Encoders.h"
#include "TempDir.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <unistd.h>

namespace tessaron::image::test {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

TEST(BMP, HeaderNegativeHeightAndRowPadding)
{
    for (int width : {1, 2, 3, 4}) {
        const Bitmap image = randomBitmap(width, 2, PixelFormat::RGB8, static_cast<uint32_t>(width), 16);
        const auto bmp = encodeBMP(image.view(), 300);
        ASSERT_TRUE(bmp);
        const size_t rowBytes = (3 * static_cast<size_t>(width) + 3) & ~size_t{3};
        ASSERT_EQ(bmp->size(), 54 + 2 * rowBytes);
        EXPECT_EQ((*bmp)[0], 'B');
        EXPECT_EQ((*bmp)[1], 'M');
        EXPECT_EQ(le32(*bmp, 2), bmp->size());
        EXPECT_EQ(le32(*bmp, 6), 0u);
        EXPECT_EQ(le32(*bmp, 10), 54u);
        EXPECT_EQ(le32(*bmp, 14), 40u);
        EXPECT_EQ(static_cast<int32_t>(le32(*bmp, 18)), width);
        EXPECT_EQ(static_cast<int32_t>(le32(*bmp, 22)), -2);
        EXPECT_EQ(le16(*bmp, 26), 1);
        EXPECT_EQ(le16(*bmp, 28), 24);
        EXPECT_EQ(le32(*bmp, 30), 0u);
        EXPECT_EQ(le32(*bmp, 34), 2 * rowBytes);
        EXPECT_EQ(le32(*bmp, 38), 11811u);  // 300 dpi in pixels per metre
        EXPECT_EQ(le32(*bmp, 46), 0u);
        for (int r = 0; r < 2; ++r) {
            const uint8_t* row = bmp->data() + 54 + r * rowBytes;  // first stored row = top row
            for (int x = 0; x < width; ++x) {
                EXPECT_EQ(row[3 * x], image.row(r)[3 * x + 2]);
                EXPECT_EQ(row[3 * x + 1], image.row(r)[3 * x + 1]);
                EXPECT_EQ(row[3 * x + 2], image.row(r)[3 * x]);
            }
            for (size_t p = 3 * static_cast<size_t>(width); p < rowBytes; ++p)
                EXPECT_EQ(row[p], 0) << "padding of width " << width;
        }
    }
}

TEST(BMP, AlphaIsDroppedWhereverItSits)
{
    const Bitmap rgb = randomBitmap(5, 3, PixelFormat::RGB8, 4);
    auto rgba = Bitmap::create(5, 3, PixelFormat::RGBA8, 16);
    auto argb = Bitmap::create(5, 3, PixelFormat::ARGB8);
    ASSERT_TRUE(copyPixels(rgb.view(), rgba->view()) && copyPixels(rgb.view(), argb->view()));
    const auto expected = encodeBMP(rgb.view());
    EXPECT_EQ(encodeBMP(rgba->view()), expected);
    EXPECT_EQ(encodeBMP(argb->view()), expected);
    EXPECT_FALSE(encodeBMP(ConstBitmapView{}).has_value());
}

TEST(BMP, EveryWidthSwapsEveryPixelAndAReusedBufferLeavesNothingBehind)
{
    // The packed-pixel path works five pixels at a time; widths around that and odd strides
    // are checked against the pixel-by-pixel path of an RGBA source.
    std::vector<uint8_t> reused;
    for (int width : {1, 4, 5, 6, 10, 11, 16, 21, 37, 64, 101}) {
        SCOPED_TRACE(width);
        const Bitmap rgb = randomBitmap(width, 3, PixelFormat::RGB8, static_cast<uint32_t>(width) * 7, 16);
        auto rgba = Bitmap::create(width, 3, PixelFormat::RGBA8);
        ASSERT_TRUE(copyPixels(rgb.view(), rgba->view()));
        const auto expected = encodeBMP(rgba->view(), 300);
        ASSERT_TRUE(expected);
        // A buffer left over from a larger page, full of its bytes.
        reused.assign(expected->size() + 4096, 0xA5);
        reused.resize(expected->size() + 64);
        ASSERT_TRUE(encodeBMPInto(rgb.view(), 300, reused));
        EXPECT_EQ(reused, *expected);
    }
    EXPECT_FALSE(encodeBMPInto(ConstBitmapView{}, 300, reused));
}

TEST(TIFF, DecodesToTheSamePixels)
{
    const Bitmap image = randomBitmap(33, 21, PixelFormat::ARGB8, 8, 16);
    tessaron::test::TempDir dir;
    const std::string path = dir.file("page.tiff");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeTIFF(image.view(), fd, 300));
    ::close(fd);
    const auto memory = encodeTIFF(image.view(), 300);
    ASSERT_TRUE(memory);
    EXPECT_EQ(tessaron::test::readFile(path).size(), memory->size());

    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t w = 0, h = 0;
    uint16_t spp = 0, bps = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    EXPECT_EQ(w, 33u);
    EXPECT_EQ(h, 21u);
    EXPECT_EQ(spp, 3);
    EXPECT_EQ(bps, 8);
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
    for (uint32_t r = 0; r < h; ++r) {
        ASSERT_EQ(TIFFReadScanline(tif, row.data(), r, 0), 1);
        for (int x = 0; x < 33; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(row[3 * x + c], image.row(static_cast<int>(r))[4 * x + 1 + c]);
    }
    TIFFClose(tif);
}

TEST(JPEG, DecodesToTheSameSizeAndClosePixels)
{
    // A smooth image: JPEG at quality 95 keeps it within a few levels.
    auto image = Bitmap::create(64, 40, PixelFormat::RGB8);
    for (int r = 0; r < 40; ++r)
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = image->row(r) + 3 * x;
            p[0] = static_cast<uint8_t>(x * 4);
            p[1] = static_cast<uint8_t>(r * 6);
            p[2] = static_cast<uint8_t>(128 + (x - r) / 2);
        }
    const auto jpeg = encodeJPEG(image->view(), 0.95, 300);
    ASSERT_TRUE(jpeg);
    ASSERT_GT(jpeg->size(), 4u);
    EXPECT_EQ((*jpeg)[0], 0xff);
    EXPECT_EQ((*jpeg)[1], 0xd8);

    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg->data(), static_cast<unsigned long>(jpeg->size()));
    ASSERT_EQ(jpeg_read_header(&info, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(info.X_density, 300);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    EXPECT_EQ(info.output_width, 64u);
    EXPECT_EQ(info.output_height, 40u);
    std::vector<uint8_t> row(64 * 3);
    long long totalError = 0;
    int worst = 0;
    while (info.output_scanline < info.output_height) {
        const int r = static_cast<int>(info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (int i = 0; i < 64 * 3; ++i) {
            const int d = std::abs(int(row[i]) - int(image->row(r)[i]));
            totalError += d;
            worst = std::max(worst, d);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    EXPECT_LT(static_cast<double>(totalError) / (64 * 40 * 3), 1.5);
    EXPECT_LE(worst, 8);

    EXPECT_FALSE(encodeJPEG(ConstBitmapView{}).has_value());
}

}  // namespace
}  // namespace tessaron::image::test
