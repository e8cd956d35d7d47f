#include "PageCount.h"

#include <cups/raster.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "UniqueFd.h"

namespace tessaron::print {

namespace {

constexpr size_t kChunk = 1 << 20;
constexpr size_t kOverlap = 64;
constexpr size_t kMaxPageObjects = 1'000'000;
constexpr uint32_t kMaxRasterLine = 1u << 26;

class File {
public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    int fd() const { return fd_.get(); }
    bool ok() const { return static_cast<bool>(fd_); }
    // Reads up to `n` bytes at the current position; fewer only at the end.
    size_t read(char* into, size_t n) {
        size_t got = 0;
        while (got < n) {
            const ssize_t r = ::read(fd_.get(), into + got, n - got);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        return got;
    }

private:
    UniqueFd fd_;
};

std::string head(const std::string& path, size_t n) {
    File file(path);
    if (!file.ok()) return {};
    std::string bytes(n, '\0');
    bytes.resize(file.read(bytes.data(), n));
    return bytes;
}

bool isDelimiter(char c) {
    return std::strchr(" \t\r\n\f/<>[]()%", c) != nullptr || c == '\0';
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0'; }

// A PDF's page objects: "/Type /Page" inside an "N G obj", counted once per object number
// so that incremental updates, which write a changed page again, do not add pages.
class PDFPageScanner {
public:
    // Scans text[from, to) of the buffer; matches may look back into the buffer.
    void scan(std::string_view text, size_t from, size_t to) {
        for (size_t at = from; at < to; ++at) {
            if (text[at] == 'o' && text.substr(at, 3) == "obj" && at > 0 && isSpace(text[at - 1]) &&
                (at + 3 >= text.size() || isDelimiter(text[at + 3])))
                noteObjectHeader(text, at);
            else if (text[at] == '/' && text.substr(at, 5) == "/Type")
                noteType(text, at + 5);
        }
    }
    bool overflowed() const { return overflowed_; }
    // Objects packed into compressed object streams (PDF 1.5) may hold pages the scan
    // cannot see: any count would be a guess.
    bool hidesObjects() const { return objectStreams_; }
    size_t pages() const { return pages_.size() + anonymousPages_; }

private:
    void noteObjectHeader(std::string_view text, size_t at) {
        // Back over " G " and "N".
        size_t p = at;
        auto skipSpaces = [&] {
            while (p > 0 && isSpace(text[p - 1])) --p;
        };
        auto digits = [&] {
            const size_t end = p;
            while (p > 0 && text[p - 1] >= '0' && text[p - 1] <= '9' && end - p < 12) --p;
            return text.substr(p, end - p);
        };
        skipSpaces();
        if (digits().empty()) return;
        skipSpaces();
        const std::string_view number = digits();
        if (number.empty()) return;
        currentObject_ = std::stoull(std::string(number));
        haveObject_ = true;
    }
    void noteType(std::string_view text, size_t at) {
        while (at < text.size() && isSpace(text[at])) ++at;
        if (text.substr(at, 7) == "/ObjStm") objectStreams_ = true;
        if (text.substr(at, 5) != "/Page") return;
        if (at + 5 < text.size() && !isDelimiter(text[at + 5])) return;  // "/Pages", "/PageLabel"
        if (!haveObject_) {
            ++anonymousPages_;
            return;
        }
        if (pages_.size() >= kMaxPageObjects) {
            overflowed_ = true;
            return;
        }
        pages_.insert(currentObject_);
    }

    std::set<unsigned long long> pages_;
    size_t anonymousPages_ = 0;
    unsigned long long currentObject_ = 0;
    bool haveObject_ = false;
    bool overflowed_ = false;
    bool objectStreams_ = false;
};

std::optional<uint32_t> pdfPageCount(const std::string& path) {
    File file(path);
    if (!file.ok()) return std::nullopt;
    PDFPageScanner scanner;
    std::string buffer;  // context already scanned, then the bytes still to scan
    size_t scanFrom = 0;
    std::vector<char> chunk(kChunk);
    for (;;) {
        const size_t got = file.read(chunk.data(), chunk.size());
        buffer.append(chunk.data(), got);
        const bool last = got < chunk.size();
        // The last kOverlap bytes wait for the next round so that no token is cut.
        size_t to = last ? buffer.size() : (buffer.size() > kOverlap ? buffer.size() - kOverlap : 0);
        to = std::max(to, scanFrom);
        scanner.scan(buffer, scanFrom, to);
        if (last) break;
        const size_t cut = to > kOverlap ? to - kOverlap : 0;
        buffer.erase(0, cut);
        scanFrom = to - cut;
    }
    if (scanner.overflowed() || scanner.hidesObjects() || scanner.pages() == 0) return std::nullopt;
    return static_cast<uint32_t>(scanner.pages());
}

// "%%Pages: N" of the document structuring conventions, in the header or, for "(atend)",
// in the trailer.
std::optional<uint32_t> postScriptPageCount(const std::string& path) {
    File file(path);
    if (!file.ok()) return std::nullopt;
    auto findPages = [](const std::string& text, bool wantLast) -> std::optional<std::string> {
        std::optional<std::string> found;
        for (size_t at = text.find("%%Pages:"); at != std::string::npos; at = text.find("%%Pages:", at + 1)) {
            if (at != 0 && text[at - 1] != '\n' && text[at - 1] != '\r') continue;
            size_t start = at + 8;
            while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
            size_t end = start;
            while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
            found = text.substr(start, end - start);
            if (!wantLast) break;
        }
        return found;
    };
    std::string text(kChunk / 4, '\0');
    text.resize(file.read(text.data(), text.size()));
    auto value = findPages(text, false);
    if (value && value->starts_with("(atend)")) {
        const off_t size = lseek(file.fd(), 0, SEEK_END);
        const off_t from = std::max<off_t>(0, size - static_cast<off_t>(kChunk / 4));
        if (size < 0 || lseek(file.fd(), from, SEEK_SET) < 0) return std::nullopt;
        std::string tail(static_cast<size_t>(size - from), '\0');
        tail.resize(file.read(tail.data(), tail.size()));
        value = findPages(tail, true);
    }
    if (!value || value->empty() || (*value)[0] < '0' || (*value)[0] > '9') return std::nullopt;
    const unsigned long pages = std::strtoul(value->c_str(), nullptr, 10);
    if (pages == 0 || pages > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(pages);
}

// Reads every page of a CUPS raster stream; a stream cut short still counts its whole pages.
std::optional<uint32_t> rasterPageCount(const std::string& path) {
    File file(path);
    if (!file.ok()) return std::nullopt;
    cups_raster_t* raster = cupsRasterOpen(file.fd(), CUPS_RASTER_READ);
    if (!raster) return std::nullopt;
    uint32_t pages = 0;
    cups_page_header2_t header;
    std::vector<unsigned char> line;
    bool whole = true;
    while (whole && cupsRasterReadHeader2(raster, &header)) {
        if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxRasterLine) break;
        line.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            if (cupsRasterReadPixels(raster, line.data(), header.cupsBytesPerLine) != header.cupsBytesPerLine) {
                whole = false;
                break;
            }
        if (whole) ++pages;
    }
    cupsRasterClose(raster);
    if (pages == 0) return std::nullopt;
    return pages;
}

}  // namespace

DocumentKind documentKind(const std::string& path) {
    const std::string magic = head(path, 16);
    auto starts = [&](std::string_view prefix) { return std::string_view(magic).starts_with(prefix); };
    if (starts("%PDF-")) return DocumentKind::PDF;
    if (starts("%!")) return DocumentKind::PostScript;
    if (starts("RaS2") || starts("2SaR") || starts("RaS3") || starts("3SaR") || starts("RaSt") || starts("tSaR"))
        return DocumentKind::CupsRaster;
    if (starts("\xFF\xD8\xFF") || starts("\x89PNG\r\n\x1A\n") || starts("GIF87a") || starts("GIF89a") ||
        starts(std::string_view("II*\0", 4)) || starts(std::string_view("MM\0*", 4)) || starts("BM") || starts("\x01\xDA") ||
        starts("\x59\xA6\x6A\x95"))
        return DocumentKind::Image;
    if (magic.size() >= 3 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6' && isSpace(magic[2])) return DocumentKind::Image;
    return DocumentKind::Unknown;
}

std::optional<uint32_t> documentPageCount(const std::string& path) {
    switch (documentKind(path)) {
    // The image filters print one picture per file (the first of a multi-picture TIFF).
    case DocumentKind::Image: return 1;
    case DocumentKind::PDF: return pdfPageCount(path);
    case DocumentKind::PostScript: return postScriptPageCount(path);
    case DocumentKind::CupsRaster: return rasterPageCount(path);
    case DocumentKind::Unknown: break;
    }
    return std::nullopt;
}

}  // namespace tessaron::print
