#include "SampleImages.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace tessaron::test {
namespace {

struct FileCloser {
    void operator()(FILE* f) const { fclose(f); }
};

// Row y of the sample: a diagonal sky-to-earth gradient with a dark frame and a bright disc.
std::vector<unsigned char> sampleRow(int width, int height, int y) {
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    const int cx = width * 2 / 3, cy = height / 3, r = height / 6;
    for (int x = 0; x < width; ++x) {
        unsigned char* p = &row[static_cast<size_t>(x) * 3];
        p[0] = static_cast<unsigned char>(40 + 180 * x / width);
        p[1] = static_cast<unsigned char>(60 + 150 * y / height);
        p[2] = static_cast<unsigned char>(220 - 160 * y / height);
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r) p[0] = p[1] = 250, p[2] = 210;
        if (x < width / 40 || y < height / 40 || x >= width - width / 40 || y >= height - height / 40)
            p[0] = p[1] = p[2] = 20;
    }
    return row;
}

}  // namespace

bool writeSamplePng(const std::string& path, int width, int height) {
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wbx"));
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        std::vector<unsigned char> row = sampleRow(width, height, y);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writeSampleJpeg(const std::string& path, int width, int height) {
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "wbx"));
    if (!file) return false;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file.get());
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < height; ++y) {
        std::vector<unsigned char> row = sampleRow(width, height, y);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace tessaron::test
