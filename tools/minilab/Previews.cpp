#include "Previews.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include <png.h>

#include "FileIO.h"
#include "ImageCheck.h"
#include "Validation.h"

namespace tessaron::minilab {

namespace {

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void pngFlush(png_structp) {}

// libpng reports errors by longjmp; nothing with a destructor lives in this frame.
bool encodePng(const RgbImage& image, std::vector<uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.pixels.data() + size_t{y} * image.width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::optional<std::vector<uint8_t>> readBounded(int dir, const std::string& name, unsigned long long limit) {
    const UniqueFd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > limit)
        return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        got += static_cast<size_t>(n);
    }
    return bytes;
}

bool writeReplacing(int dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string temp = "." + name + ".tmp-" + std::to_string(::getpid());
    ::unlinkat(dir, temp.c_str(), 0);
    UniqueFd fd(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd) return false;
    const bool written = writeAll(fd.get(), bytes.data(), bytes.size()) == 0;
    const bool ok = fd.close() && written;
    if (ok && ::renameat(dir, temp.c_str(), dir, name.c_str()) == 0) return true;
    ::unlinkat(dir, temp.c_str(), 0);
    return false;
}

// "frame-<k>.bmp" or "frame-<k>.jpg": the name without its extension, and whether it is a JPEG.
std::optional<std::pair<std::string, bool>> frameImage(const std::string& name) {
    if (name.rfind("frame-", 0) != 0 || name.size() < 11) return std::nullopt;
    const std::string stem = name.substr(0, name.size() - 4);
    const std::string extension = name.substr(name.size() - 4);
    if (stem.find_first_not_of("0123456789", 6) != std::string::npos || stem.size() == 6) return std::nullopt;
    if (extension == ".bmp") return std::make_pair(stem, false);
    if (extension == ".jpg") return std::make_pair(stem, true);
    return std::nullopt;
}

}  // namespace

int makePreviews(const std::string& orderDir, unsigned long long maxImageBytes, std::string& error) {
    const UniqueFd dir(::open(orderDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) {
        error = orderDir + ": " + strerror(errno);
        return -1;
    }
    std::vector<std::string> names;
    UniqueFd listingFd(::dup(dir.get()));
    if (DIR* listing = listingFd ? fdopendir(listingFd.get()) : nullptr) {
        listingFd.release();  // closedir closes it
        while (dirent* e = readdir(listing)) names.emplace_back(e->d_name);
        closedir(listing);
    }
    int written = 0;
    for (const std::string& name : names) {
        const auto frame = frameImage(name);
        if (!frame) continue;
        const auto bytes = readBounded(dir.get(), name, maxImageBytes);
        ImageInfo info;
        ImageProblem problem;
        if (!bytes) {
            error = name + ": cannot be read, or larger than " + std::to_string(maxImageBytes) + " bytes";
            return -1;
        }
        if (!(frame->second ? inspectJpeg(*bytes, info, problem) : inspectBmp(*bytes, info, problem))) {
            error = name + ": " + problem.what;
            return -1;
        }
        RgbImage preview;
        std::vector<uint8_t> png;
        if (!decodePreview(*bytes, frame->second, kPreviewSide, preview) || !encodePng(preview, png) ||
            !writeReplacing(dir.get(), frame->first + ".png", png)) {
            error = frame->first + ".png: cannot be made or written";
            return -1;
        }
        ++written;
    }
    return written;
}

}  // namespace tessaron::minilab
