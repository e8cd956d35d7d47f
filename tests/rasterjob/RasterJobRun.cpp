#include "RasterJobRun.h"

#include <cups/raster.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace tessaron::rasterjobtest {

using tessaron::test::ProcessSpec;

void patternPixel(uint32_t seed, uint32_t x, uint32_t y, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>(x * 2 + seed * 40);
    rgb[1] = static_cast<uint8_t>(y);
    rgb[2] = static_cast<uint8_t>(200 - seed * 30);
}

Page patternPage(uint32_t seed) {
    Page p;
    p.pixel = [seed](uint32_t x, uint32_t y, uint8_t* rgb) { patternPixel(seed, x, y, rgb); };
    return p;
}

void writeRaster(const std::string& path, const std::vector<Page>& pages) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    for (const Page& page : pages) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.cupsWidth = page.width;
        h.cupsHeight = page.height;
        h.cupsBitsPerColor = 8;
        const unsigned samples = page.gray ? 1 : 3;
        h.cupsBitsPerPixel = 8 * samples;
        h.cupsBytesPerLine = page.width * samples;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = page.gray ? CUPS_CSPACE_W : CUPS_CSPACE_RGB;
        h.HWResolution[0] = h.HWResolution[1] = page.resolution;
        h.PageSize[0] = static_cast<unsigned>(page.pointsWide + 0.5);
        h.PageSize[1] = static_cast<unsigned>(page.pointsHigh + 0.5);
        h.cupsPageSize[0] = static_cast<float>(page.pointsWide);
        h.cupsPageSize[1] = static_cast<float>(page.pointsHigh);
        h.Duplex = page.duplex ? CUPS_TRUE : CUPS_FALSE;
        h.NumCopies = 1;
        cupsRasterWriteHeader2(raster, &h);
        std::vector<uint8_t> row(h.cupsBytesPerLine);
        for (uint32_t y = 0; y < page.height; ++y) {
            uint8_t rgb[3];
            for (uint32_t x = 0; x < page.width; ++x) {
                page.pixel(x, y, rgb);
                std::memcpy(&row[x * samples], rgb, samples);
            }
            cupsRasterWritePixels(raster, row.data(), static_cast<unsigned>(row.size()));
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

std::optional<Picture> decodeBMP(const std::string& bytes) {
    const auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                     static_cast<uint8_t>(bytes[at + 2]) << 16 | static_cast<uint8_t>(bytes[at + 3]) << 24);
    };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    const uint32_t offset = u32(10);
    const auto width = static_cast<int32_t>(u32(18));
    const auto height = static_cast<int32_t>(u32(22));
    const int bpp = static_cast<uint8_t>(bytes[28]) | static_cast<uint8_t>(bytes[29]) << 8;
    if (width <= 0 || height <= 0 || (bpp != 24 && bpp != 32)) return std::nullopt;  // bottom-up only
    const size_t stride = ((static_cast<size_t>(width) * bpp / 8) + 3) & ~size_t{3};
    if (offset + stride * static_cast<size_t>(height) > bytes.size()) return std::nullopt;
    Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        const char* row = bytes.data() + offset + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const char* px = row + static_cast<size_t>(x) * (bpp / 8);
            uint8_t* out = &p.rgb[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = static_cast<uint8_t>(px[2]);
            out[1] = static_cast<uint8_t>(px[1]);
            out[2] = static_cast<uint8_t>(px[0]);
        }
    }
    return p;
}

std::string labConfig(const std::string& extra, bool fastPrint) {
    return std::string(R"({"name": "Lab 21", "apiVersion": ")") + (fastPrint ? "2.2.0.0" : "3.0.0.0") +
           R"(", "extraFeatures": )" + (fastPrint ? "false" : "true") +
           R"(, "duplex": true, "papers": [{"number": 1, "width": 1020, "surface": 1, "resolution": 3000,
             "lmin": 1270, "lmax": 3050})" +
           (fastPrint ? "" : R"(, {"number": 2, "source": "sheet", "name": "A4", "width": 2100, "surface": 1,
             "resolution": 3000, "lmin": 2970, "lmax": 2970})") +
           "]" + extra + "}";
}

Lab::Lab(const std::string& configJson) {
    process_ = std::make_unique<tessaron::test::MinilabProcess>(
        tessaron::test::storingLab(TESSARON_MINILAB_PATH, configJson, kLabAddress, dir_.file("store")));
}

ProcessSpec Lab::specFor(const JobSpec& job) {
    const std::string raster = dir_.file("job-" + std::to_string(++jobs_) + ".ras");
    writeRaster(raster, job.pages);
    if (job.cutInsideLastHeader && !job.pages.empty()) {
        const std::string shorter = raster + ".short";
        writeRaster(shorter, std::vector<Page>(job.pages.begin(), job.pages.end() - 1));
        std::filesystem::resize_file(raster, std::filesystem::file_size(shorter) + 100);
        std::filesystem::remove(shorter);
    }
    std::filesystem::create_directories(dir_.file("tmp"));
    ProcessSpec spec;
    spec.program = VANTRELPS_PATH;
    const std::string deviceUri = std::string("vantrelps://") + kLabAddress;
    spec.argv0 = job.argv0.value_or(deviceUri);
    spec.args = {std::to_string(jobs_), job.user, job.title, std::to_string(job.copies), job.options, raster};
    spec.env = {{"DEVICE_URI", deviceUri},
                {"PPD", TESSARON_PPD_PATH},
                {"CONTENT_TYPE", "application/vnd.cups-raster"},
                {"TMPDIR", dir_.file("tmp")},
                {"VANTRELPS_DISCOVERY_ADDRESS", "127.255.255.255"}};
    for (const auto& [name, value] : job.env) spec.env[name] = value;
    spec.unsetEnv = {"PRINTER"};
    spec.timeout = std::chrono::milliseconds(120000);
    return spec;
}

tessaron::test::ProcessResult Lab::print(const JobSpec& job) { return tessaron::test::runProcess(specFor(job)); }

std::unique_ptr<tessaron::test::BackgroundProcess> Lab::start(const JobSpec& job) {
    return std::make_unique<tessaron::test::BackgroundProcess>(specFor(job));
}

bool Lab::hasFile(const std::string& name) const { return std::filesystem::exists(dir_.file("store/" + name)); }

std::string Lab::file(const std::string& name) const { return tessaron::test::readFile(dir_.file("store/" + name)); }

nlohmann::json Lab::json(const std::string& name) const { return nlohmann::json::parse(file(name)); }

std::vector<std::string> Lab::orders() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.file("store")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tessaron::rasterjobtest
