// One 20-page job of 2400x1800 RGB pages through vantrelps into the emulated minilab on
// loopback, with and without every adjustment, and the raw loopback transfer of the same BMP
// bytes (one connection and one acknowledgement per frame, like a frame transaction).
#include <benchmark/benchmark.h>
#include <cups/raster.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Encoders.h"
#include "Image.h"
#include "MinilabProcess.h"
#include "NetLock.h"
#include "TempDir.h"

extern char** environ;

namespace {

constexpr int kPages = 20;
constexpr int kWidth = 2400;
constexpr int kHeight = 1800;
constexpr const char* kLabAddress = "127.0.0.22";

void fillPage(std::vector<uint8_t>& row, int y, int page) {
    for (int x = 0; x < kWidth; ++x) {
        row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(x + page);
        row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(y);
        row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>((x ^ y) + page * 7);
    }
}

// 8 x 6 inches at 300 dpi on a 152 mm roll.
void writeRaster(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    std::vector<uint8_t> row(kWidth * 3);
    for (int page = 1; page <= kPages; ++page) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.cupsWidth = kWidth;
        h.cupsHeight = kHeight;
        h.cupsBitsPerColor = 8;
        h.cupsBitsPerPixel = 24;
        h.cupsBytesPerLine = kWidth * 3;
        h.cupsColorOrder = CUPS_ORDER_CHUNKED;
        h.cupsColorSpace = CUPS_CSPACE_RGB;
        h.HWResolution[0] = h.HWResolution[1] = 300;
        h.PageSize[0] = 576;
        h.PageSize[1] = 432;
        h.cupsPageSize[0] = 576;
        h.cupsPageSize[1] = 432;
        h.NumCopies = 1;
        cupsRasterWriteHeader2(raster, &h);
        for (int y = 0; y < kHeight; ++y) {
            fillPage(row, y, page);
            cupsRasterWritePixels(raster, row.data(), static_cast<unsigned>(row.size()));
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
}

struct Fixture {
    tessaron::test::TempDir dir;
    std::string raster = dir.file("job.ras");
    Fixture() {
        writeRaster(raster);
        std::filesystem::create_directories(dir.file("tmp"));
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

const char* kLab = R"({"name": "Bench Lab", "apiVersion": "3.0.0.0", "extraFeatures": true, "papers": [
    {"number": 1, "width": 1520, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}]})";

struct RunResult {
    int status = -1;
    long maxRssKiB = 0;
};

// Feeds the raster file into a pipe, as the filter before the backend does.
void feedPipe(int fd, const std::string& path) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> buffer(1 << 20);
    ssize_t n;
    while (in >= 0 && (n = ::read(in, buffer.data(), buffer.size())) > 0)
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(fd, buffer.data() + done, static_cast<size_t>(n - done));
            if (w <= 0) goto out;
            done += w;
        }
out:
    if (in >= 0) ::close(in);
    ::close(fd);
}

// Runs the backend as CUPS does (the raster as a file argument, or through a pipe on standard
// input); answers its exit status and peak resident size.
RunResult runBackend(const std::string& options, const std::string& store, bool throughPipe = false) {
    Fixture& f = fixture();
    std::vector<std::string> args = {"vantrelps", "1", "bench", "Bench", "1", options};
    if (!throughPipe) args.push_back(f.raster);
    int pipeFds[2] = {-1, -1};
    // A backend that stops reading early must not end the benchmark through SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (throughPipe && ::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
    std::vector<std::string> env = {std::string("DEVICE_URI=vantrelps://") + kLabAddress,
                                    std::string("PPD=") + TESSARON_PPD_PATH,
                                    "CONTENT_TYPE=application/vnd.cups-raster",
                                    "TMPDIR=" + f.dir.file("tmp"),
                                    "VANTRELPS_DISCOVERY_ADDRESS=127.255.255.255",
                                    "PATH=/usr/bin:/bin"};
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = f.dir.file("backend.err");
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (throughPipe) posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    pid_t pid = -1;
    RunResult result;
    const bool spawned = posix_spawn(&pid, VANTRELPS_PATH, &actions, nullptr, argv.data(), envp.data()) == 0;
    std::thread feeder;
    if (throughPipe) {
        ::close(pipeFds[0]);
        feeder = std::thread(feedPipe, pipeFds[1], f.raster);
    }
    if (spawned) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            result.maxRssKiB = usage.ru_maxrss;
        }
    }
    if (feeder.joinable()) feeder.join();
    posix_spawn_file_actions_destroy(&actions);
    // Published orders are dropped so that the store does not grow over the iterations.
    for (const auto& e : std::filesystem::directory_iterator(store))
        if (e.path().filename().string().rfind("order-", 0) == 0) std::filesystem::remove_all(e.path());
    return result;
}

void BM_JobThroughBackend(benchmark::State& state) {
    // 0: plain, raster as a file (counted in place); 1: every adjustment; 2: plain through a pipe,
    // so that the page count first copies the raster into a private file.
    const bool adjust = state.range(0) == 1;
    const bool throughPipe = state.range(0) == 2;
    tessaron::test::NetLock lock;
    tessaron::test::TempDir stores;
    tessaron::test::MinilabOptions o;
    o.program = TESSARON_MINILAB_PATH;
    o.configJson = kLab;
    o.address = kLabAddress;
    o.storeDir = stores.file("store");
    std::filesystem::create_directories(o.storeDir);
    tessaron::test::MinilabProcess lab(o);
    if (!lab.ready()) {
        std::fprintf(stderr, "%s\n", lab.log().c_str());
        state.SkipWithError("the emulator did not start");
        return;
    }
    const std::string options =
        std::string("DebugLog=False PaperWidth=1520 PaperSurface=1 ") +
        (adjust ? "AdjustmentsEnabled=True Red=5 Green=-5 Blue=3 Brightness=4 Contrast=5 Saturation=8 Gamma=6 "
                  "SharpnessEnabled=True SharpnessRadius=2 SharpnessIntensity=0.5"
                : "AdjustmentsEnabled=False SharpnessEnabled=False");
    fixture();
    long peak = 0;
    for (auto _ : state) {
        const RunResult r = runBackend(options, o.storeDir, throughPipe);
        if (r.status != 0) {
            const std::string err = tessaron::test::readFile(fixture().dir.file("backend.err"));
            std::fprintf(stderr, "%s\n", err.substr(err.size() > 3000 ? err.size() - 3000 : 0).c_str());
            state.SkipWithError("the job failed");
            return;
        }
        peak = std::max(peak, r.maxRssKiB);
    }
    const double pageBytes = 54.0 + double(kWidth) * 3 * kHeight;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPages * pageBytes));
    state.counters["peakRSS_MiB"] = static_cast<double>(peak) / 1024;
    state.counters["pageRGBA_MiB"] = double(kWidth) * kHeight * 4 / (1 << 20);
}
BENCHMARK(BM_JobThroughBackend)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The frames' BMP bytes sent to a loopback sink, one connection per frame.
void BM_RawLoopbackTransfer(benchmark::State& state) {
    auto bitmap = tessaron::image::Bitmap::create(kWidth, kHeight, tessaron::image::PixelFormat::RGB8);
    std::vector<uint8_t> row(kWidth * 3);
    for (int y = 0; y < kHeight; ++y) {
        fillPage(row, y, 1);
        std::memcpy(bitmap->row(y), row.data(), row.size());
    }
    const auto bmp = tessaron::image::encodeBMP(bitmap->view(), 300);
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kLabAddress, &address.sin_addr);
    socklen_t length = sizeof address;
    if (!bmp || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        state.SkipWithError("no loopback sink");
        ::close(listener);
        return;
    }
    const size_t frameBytes = bmp->size();
    std::thread sink([listener, frameBytes] {
        std::vector<uint8_t> buffer(1 << 20);
        for (;;) {
            const int c = ::accept(listener, nullptr, nullptr);
            if (c < 0) return;
            size_t got = 0;
            ssize_t n;
            while (got < frameBytes && (n = ::recv(c, buffer.data(), buffer.size(), 0)) > 0) got += static_cast<size_t>(n);
            const uint8_t ack = 0;
            (void)::send(c, &ack, 1, MSG_NOSIGNAL);
            ::close(c);
            if (got == 0) return;
        }
    });
    for (auto _ : state) {
        for (int page = 0; page < kPages; ++page) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) break;
            size_t sent = 0;
            while (sent < bmp->size()) {
                const ssize_t n = ::send(s, bmp->data() + sent, bmp->size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            uint8_t ack;
            (void)::recv(s, &ack, 1, 0);
            ::close(s);
        }
    }
    // An empty connection ends the sink.
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    (void)::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::shutdown(s, SHUT_WR);
    sink.join();
    ::close(s);
    ::close(listener);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPages * bmp->size()));
}
BENCHMARK(BM_RawLoopbackTransfer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
