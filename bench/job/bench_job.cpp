// One 20-page job of 2400x1800 RGB pages through vantrelps into the emulated minilab on
// loopback, with and without every adjustment, and the raw loopback transfer of the same BMP
// bytes (one connection and one acknowledgement per frame, like a frame transaction). The job
// reports the backend's own CPU per page (user and system apart, from its rusage), its peak
// resident size and its rate against the raw transfer (vsRawLoopback).
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

#include <chrono>
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
#include "RasterPageHeader.h"
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
        cups_page_header2_t h = tessaron::test::rgbPageHeader(kWidth, kHeight, 300);
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
    double userSeconds = 0;    // the backend's own CPU time, from its rusage
    double systemSeconds = 0;
    double wallSeconds = 0;
};

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

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
    auto argv = tessaron::test::cStringArray(args);
    auto envp = tessaron::test::cStringArray(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errPath = f.dir.file("backend.err");
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (throughPipe) posix_spawn_file_actions_adddup2(&actions, pipeFds[0], 0);
    pid_t pid = -1;
    RunResult result;
    const auto started = std::chrono::steady_clock::now();
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
            result.userSeconds = seconds(usage.ru_utime);
            result.systemSeconds = seconds(usage.ru_stime);
            result.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        }
    }
    if (feeder.joinable()) feeder.join();
    posix_spawn_file_actions_destroy(&actions);
    // Published orders are dropped so that the store does not grow over the iterations.
    for (const auto& e : std::filesystem::directory_iterator(store))
        if (e.path().filename().string().rfind("order-", 0) == 0) std::filesystem::remove_all(e.path());
    return result;
}

// The frames' BMP bytes sent to a loopback sink, one connection and one acknowledgement per
// frame, like a frame transaction: what the job would take if nothing but the transfer cost.
class RawLoopbackSink {
public:
    RawLoopbackSink() {
        auto bitmap = tessaron::image::Bitmap::create(kWidth, kHeight, tessaron::image::PixelFormat::RGB8);
        std::vector<uint8_t> row(kWidth * 3);
        for (int y = 0; y < kHeight; ++y) {
            fillPage(row, y, 1);
            std::memcpy(bitmap->row(y), row.data(), row.size());
        }
        if (auto bmp = tessaron::image::encodeBMP(bitmap->view(), 300)) bmp_ = std::move(*bmp);
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        address_.sin_family = AF_INET;
        inet_pton(AF_INET, kLabAddress, &address_.sin_addr);
        socklen_t length = sizeof address_;
        if (bmp_.empty() || ::bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_) != 0 ||
            ::listen(listener_, 4) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length) != 0)
            return;
        ready_ = true;
        const size_t frameBytes = bmp_.size();
        sink_ = std::thread([this, frameBytes] {
            std::vector<uint8_t> buffer(1 << 20);
            for (;;) {
                const int c = ::accept(listener_, nullptr, nullptr);
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
    }
    ~RawLoopbackSink() {
        if (sink_.joinable()) {
            // An empty connection ends the sink.
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            (void)::connect(s, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
            ::shutdown(s, SHUT_WR);
            sink_.join();
            ::close(s);
        }
        ::close(listener_);
    }
    RawLoopbackSink(const RawLoopbackSink&) = delete;
    RawLoopbackSink& operator=(const RawLoopbackSink&) = delete;

    bool ready() const { return ready_; }
    size_t frameBytes() const { return bmp_.size(); }
    // Sends the job's frames; answers the seconds it took.
    double sendJob() const {
        const auto start = std::chrono::steady_clock::now();
        for (int page = 0; page < kPages; ++page) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(s, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0) {
                ::close(s);
                break;
            }
            size_t sent = 0;
            while (sent < bmp_.size()) {
                const ssize_t n = ::send(s, bmp_.data() + sent, bmp_.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            uint8_t ack;
            (void)::recv(s, &ack, 1, 0);
            ::close(s);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

private:
    std::vector<uint8_t> bmp_;
    int listener_ = -1;
    sockaddr_in address_{};
    bool ready_ = false;
    std::thread sink_;
};

void BM_RawLoopbackTransfer(benchmark::State& state) {
    RawLoopbackSink sink;
    if (!sink.ready()) {
        state.SkipWithError("no loopback sink");
        return;
    }
    for (auto _ : state) state.SetIterationTime(sink.sendJob());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPages * sink.frameBytes()));
}
void BM_JobThroughBackend(benchmark::State& state) {
    // 0: plain, raster as a file (counted in place); 1: every adjustment; 2: plain through a pipe,
    // so that the page count first copies the raster into a private file.
    const bool adjust = state.range(0) == 1;
    const bool throughPipe = state.range(0) == 2;
    tessaron::test::NetLock lock;
    tessaron::test::TempDir stores;
    tessaron::test::MinilabProcess lab(
        tessaron::test::storingLab(TESSARON_MINILAB_PATH, kLab, kLabAddress, stores.file("store")));
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
    double user = 0, system = 0, wall = 0;
    for (auto _ : state) {
        const RunResult r = runBackend(options, lab.storeDir(), throughPipe);
        user += r.userSeconds;
        system += r.systemSeconds;
        wall += r.wallSeconds;
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
    // The backend's own CPU per page, user and system apart (its rusage, not wall time).
    const double pages = static_cast<double>(state.iterations()) * kPages;
    state.counters["cpuUser_ms_per_page"] = user * 1000 / pages;
    state.counters["cpuSystem_ms_per_page"] = system * 1000 / pages;
    state.counters["cpu_ms_per_page"] = (user + system) * 1000 / pages;
    // The job's rate against the raw loopback transfer of the same frame bytes.
    RawLoopbackSink sink;
    if (sink.ready()) {
        double raw = 0;
        for (int i = 0; i < 3; ++i) raw += sink.sendJob();
        state.counters["vsRawLoopback"] = (raw / 3) / (wall / static_cast<double>(state.iterations()));
    }
}
BENCHMARK(BM_JobThroughBackend)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK(BM_RawLoopbackTransfer)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
