// JPEG through libjpeg, with its errors turned into a failed result instead of exit().
#include "Encoders.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

namespace tessaron::image {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Standard error carries the job's status lines; warnings are dropped.
void onMessage(j_common_ptr) {}

// Only trivially destructible objects live in this frame across setjmp.
bool compress(ConstBitmapView bitmap, int quality, uint16_t density, unsigned char* row, unsigned char** out, unsigned long* size)
{
    jpeg_compress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.output_message = onMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, size);
    info.image_width = static_cast<JDIMENSION>(bitmap.width);
    info.image_height = static_cast<JDIMENSION>(bitmap.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1;
    info.X_density = density;
    info.Y_density = density;
    jpeg_start_compress(&info, TRUE);
    const int bpp = bitmap.bytesPerPixel();
    const int r = bitmap.format == PixelFormat::ARGB8 ? 1 : 0;
    while (info.next_scanline < info.image_height) {
        const uint8_t* s = bitmap.row(static_cast<int>(info.next_scanline)) + r;
        for (int x = 0; x < bitmap.width; ++x, s += bpp) {
            row[3 * x] = s[0];
            row[3 * x + 1] = s[1];
            row[3 * x + 2] = s[2];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeJPEG(ConstBitmapView bitmap, double quality, double dpi)
{
    // JPEG dimensions are 16-bit.
    if (!bitmap.isValid() || bitmap.width == 0 || bitmap.height == 0 || bitmap.width > 65500 || bitmap.height > 65500)
        return std::nullopt;
    if (!std::isfinite(quality))
        return std::nullopt;
    const int q = static_cast<int>(std::lround(std::fmin(1.0, std::fmax(0.0, quality)) * 100.0));
    const double d = std::isfinite(dpi) && dpi >= 1 && dpi <= 65535 ? dpi : 72.0;
    std::vector<unsigned char> row(static_cast<size_t>(bitmap.width) * 3);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = compress(bitmap, q < 1 ? 1 : q, static_cast<uint16_t>(std::lround(d)), row.data(), &buffer, &size);
    std::optional<std::vector<uint8_t>> result;
    if (ok && buffer)
        result.emplace(buffer, buffer + size);
    std::free(buffer);
    return result;
}

}  // namespace tessaron::image
