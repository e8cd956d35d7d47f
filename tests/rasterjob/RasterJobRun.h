// A raster job as CUPS runs it: pages written with libcups into a file, the backend started
// with the job arguments and environment against an emulated minilab with an order store,
// and the stored order read back.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "MinilabProcess.h"
#include "NetLock.h"
#include "Process.h"
#include "TempDir.h"

namespace tessaron::rasterjobtest {

inline constexpr const char* kLabAddress = "127.0.0.21";

struct Page {
    uint32_t width = 120;
    uint32_t height = 180;
    double pointsWide = 299.34;  // a 4x6 inch print on 102 mm roll paper
    double pointsHigh = 442.2;
    uint32_t resolution = 300;
    bool duplex = false;
    bool gray = false;  // 8-bit gray instead of RGB (the first sample of pixel() is used)
    // RGB of pixel (x, y), y from the top.
    std::function<void(uint32_t x, uint32_t y, uint8_t* rgb)> pixel;
};

// The colour of the default page pattern at (x, y) on page `seed`.
void patternPixel(uint32_t seed, uint32_t x, uint32_t y, uint8_t* rgb);
Page patternPage(uint32_t seed);

// Writes the pages as one CUPS raster stream.
void writeRaster(const std::string& path, const std::vector<Page>& pages);

struct JobSpec {
    std::string title = "Cat";
    std::string user = "alice";
    int copies = 1;
    std::string options;  // CUPS option string, e.g. "PaperWidth=1020 DebugLog=False"
    std::vector<Page> pages{patternPage(1)};
    // argv[0]: the device URI, as the scheduler starts a backend, unless given.
    std::optional<std::string> argv0;
    // More environment, as the scheduler sets it from the job (LANG from its language).
    std::map<std::string, std::string> env;
    // The stream ends 100 bytes into the last page's header.
    bool cutInsideLastHeader = false;
};

// A decoded BMP file: width, height and RGB rows from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};
std::optional<Picture> decodeBMP(const std::string& bytes);

class Lab {
public:
    // Starts the emulator with `configJson` (its address is always kLabAddress).
    explicit Lab(const std::string& configJson);
    bool ready() const { return process_->ready(); }
    std::string log() const { return process_->log(); }
    const tessaron::test::MinilabProcess& process() const { return *process_; }

    // Runs the backend to its end.
    tessaron::test::ProcessResult print(const JobSpec& job);
    // Starts the backend and leaves it running.
    std::unique_ptr<tessaron::test::BackgroundProcess> start(const JobSpec& job);

    bool hasFile(const std::string& name) const;
    std::string file(const std::string& name) const;
    nlohmann::json json(const std::string& name) const;
    // Names of the orders published in the store.
    std::vector<std::string> orders() const;

private:
    tessaron::test::ProcessSpec specFor(const JobSpec& job);
    tessaron::test::NetLock lock_;
    tessaron::test::TempDir dir_;
    std::unique_ptr<tessaron::test::MinilabProcess> process_;
    int jobs_ = 0;
};

// The extended lab with one roll paper (102 mm, surface 1, 300 dpi) unless told otherwise.
std::string labConfig(const std::string& extra = "", bool fastPrint = false);

}  // namespace tessaron::rasterjobtest
