#include "ImageCheck.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "Validation.h"

namespace tessaron::minilab {

namespace {

uint32_t le32(std::span<const uint8_t> b, size_t off) {
    return uint32_t{b[off]} | (uint32_t{b[off + 1]} << 8) | (uint32_t{b[off + 2]} << 16) | (uint32_t{b[off + 3]} << 24);
}

uint16_t le16(std::span<const uint8_t> b, size_t off) { return static_cast<uint16_t>(b[off] | (b[off + 1] << 8)); }

bool fail(ImageProblem& p, size_t offset, std::string what) {
    p.offset = offset;
    p.what = std::move(what);
    return false;
}

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

void jpegQuiet(j_common_ptr, int) {}

// Holds no C++ objects with destructors between setjmp and longjmp.
bool readJpeg(std::span<const uint8_t> image, bool decode, uint32_t& width, uint32_t& height,
              uint8_t* (*rowSink)(void*, uint32_t), void* sinkContext, char* message) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.emit_message = jpegQuiet;
    err.message[0] = 0;
    if (setjmp(err.jump)) {
        snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, image.data(), static_cast<unsigned long>(image.size()));
    jpeg_read_header(&cinfo, TRUE);
    width = cinfo.image_width;
    height = cinfo.image_height;
    if (decode) {
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            uint8_t* row = rowSink(sinkContext, cinfo.output_scanline);
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct JpegSink {
    std::vector<uint8_t> row;
    RgbImage* out;
    uint32_t step;
    uint32_t srcWidth;
    uint32_t lastRow = UINT32_MAX;
};

uint8_t* jpegRow(void* ctx, uint32_t y) {
    auto* s = static_cast<JpegSink*>(ctx);
    // The previous row is taken into the reduced image before the next one overwrites it.
    if (s->lastRow != UINT32_MAX && s->lastRow % s->step == 0 && s->lastRow / s->step < s->out->height) {
        uint32_t oy = s->lastRow / s->step;
        for (uint32_t ox = 0; ox < s->out->width; ++ox)
            for (int c = 0; c < 3; ++c)
                s->out->pixels[(size_t{oy} * s->out->width + ox) * 3 + static_cast<size_t>(c)] =
                    s->row[size_t{ox} * s->step * 3 + static_cast<size_t>(c)];
    }
    s->lastRow = y;
    return s->row.data();
}

}  // namespace

bool inspectBmp(std::span<const uint8_t> image, ImageInfo& info, ImageProblem& p) {
    if (image.size() < 54) return fail(p, 0, "BMP: shorter than its 54-byte headers");
    if (image[0] != 'B' || image[1] != 'M') return fail(p, 0, "BMP: no \"BM\" signature");
    if (le32(image, 2) != image.size()) return fail(p, 2, "BMP: file size field differs from the bytes sent");
    const uint32_t offset = le32(image, 10);
    const uint32_t dib = le32(image, 14);
    if (dib < 40 || 14ull + dib > offset) return fail(p, 14, "BMP: info header shorter than 40 bytes or past the pixels");
    if (offset > image.size()) return fail(p, 10, "BMP: pixel offset beyond the file");
    const auto width = static_cast<int32_t>(le32(image, 18));
    const auto height = static_cast<int32_t>(le32(image, 22));
    if (width <= 0) return fail(p, 18, "BMP: width must be positive");
    if (height <= 0) return fail(p, 22, "BMP: height must be positive (rows bottom to top)");
    if (le16(image, 26) != 1) return fail(p, 26, "BMP: planes must be 1");
    const uint16_t bits = le16(image, 28);
    if (bits != 24 && bits != 32) return fail(p, 28, "BMP: 24 or 32 bits per pixel expected");
    if (le32(image, 30) != 0) return fail(p, 30, "BMP: compressed pixel data");
    const uint64_t pixelBytes = image.size() - offset;
    if (le32(image, 34) != pixelBytes) return fail(p, 34, "BMP: image size field differs from the pixel data");
    const uint64_t stride = ((uint64_t(width) * bits / 8) + 3) / 4 * 4;
    if (stride * uint64_t(height) != pixelBytes) return fail(p, offset, "BMP: pixel data is not height rows of padded width");
    info.kind = "bmp";
    info.width = static_cast<uint32_t>(width);
    info.height = static_cast<uint32_t>(height);
    return true;
}

bool inspectJpeg(std::span<const uint8_t> image, ImageInfo& info, ImageProblem& p) {
    if (image.size() < 4 || image[0] != 0xFF || image[1] != 0xD8)
        return fail(p, 0, "JPEG: no start-of-image marker");
    if (image[image.size() - 2] != 0xFF || image[image.size() - 1] != 0xD9)
        return fail(p, image.size() - 2, "JPEG: no end-of-image marker");
    char message[JMSG_LENGTH_MAX] = {0};
    uint32_t w = 0, h = 0;
    if (!readJpeg(image, false, w, h, nullptr, nullptr, message)) return fail(p, 0, std::string("JPEG: ") + message);
    info.kind = "jpg";
    info.width = w;
    info.height = h;
    return true;
}

bool decodePreview(std::span<const uint8_t> image, bool jpeg, uint32_t maxSide, RgbImage& out) {
    uint32_t width = 0, height = 0;
    if (jpeg) {
        char message[JMSG_LENGTH_MAX] = {0};
        if (!readJpeg(image, false, width, height, nullptr, nullptr, message) || !width || !height) return false;
    } else {
        width = le32(image, 18);
        height = le32(image, 22);
    }
    const uint32_t longest = std::max(width, height);
    const uint32_t step = (longest + maxSide - 1) / maxSide;
    out.width = (width + step - 1) / step;
    out.height = (height + step - 1) / step;
    out.pixels.assign(size_t{out.width} * out.height * 3, 0);
    if (jpeg) {
        JpegSink sink{std::vector<uint8_t>(size_t{width} * 3), &out, step, width};
        char message[JMSG_LENGTH_MAX] = {0};
        if (!readJpeg(image, true, width, height, jpegRow, &sink, message)) return false;
        jpegRow(&sink, UINT32_MAX);   // takes the last row
        return true;
    }
    const uint32_t offset = le32(image, 10);
    const uint32_t bpp = le16(image, 28) / 8;
    const size_t stride = (size_t{width} * bpp + 3) / 4 * 4;
    for (uint32_t oy = 0; oy < out.height; ++oy) {
        const uint32_t sy = height - 1 - oy * step;   // bottom-up rows
        const uint8_t* row = image.data() + offset + stride * sy;
        for (uint32_t ox = 0; ox < out.width; ++ox) {
            const uint8_t* px = row + size_t{ox} * step * bpp;
            uint8_t* o = &out.pixels[(size_t{oy} * out.width + ox) * 3];
            o[0] = px[2];
            o[1] = px[1];
            o[2] = px[0];
        }
    }
    return true;
}

}  // namespace tessaron::minilab
