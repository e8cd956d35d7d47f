#include "PrintServerLoad.h"

#include <cups/ipp.h>
#include <cups/raster.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "MinilabProcess.h"
#include "RasterPageHeader.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace tessaron::test {

namespace {

constexpr std::chrono::seconds kLoadTimeout{200};

std::string labAddress(int n) { return "127.0.0." + std::to_string(51 + n); }

std::string labConfig(int n) {
    nlohmann::json lab = {{"name", "Load Lab " + std::to_string(n + 1)},
                          {"apiVersion", "3.0.0.0"},
                          {"extraFeatures", true},
                          {"papers", {{{"number", 1}, {"width", 1520}, {"surface", 1}, {"resolution", 3000},
                                       {"lmin", 890}, {"lmax", 3050}}}}};
    return lab.dump();
}

// "Name:\t<value> kB" of /proc/<pid>/status.
long statusKiB(const std::string& status, const char* name) {
    const size_t at = status.find(std::string("\n") + name + ":");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + strlen(name) + 2);
}

// Watches the scheduler's children and keeps the highest peak resident size of any backend.
class BackendPeakWatch {
public:
    explicit BackendPeakWatch(pid_t scheduler)
        : scheduler_(scheduler), thread_([this] { run(); }) {}
    ~BackendPeakWatch() { stop(); }
    BackendPeakWatch(const BackendPeakWatch&) = delete;
    BackendPeakWatch& operator=(const BackendPeakWatch&) = delete;
    long stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return peak_;
    }

private:
    void run() {
        while (!done_) {
            scan();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    void scan() {
        DIR* proc = opendir("/proc");
        if (!proc) return;
        while (dirent* e = readdir(proc)) {
            if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
            const std::string dir = std::string("/proc/") + e->d_name;
            if (readFile(dir + "/comm") != "vantrelps\n") continue;
            const std::string status = "\n" + readFile(dir + "/status");
            if (statusKiB(status, "PPid") != scheduler_) continue;
            peak_ = std::max(peak_, statusKiB(status, "VmHWM"));
        }
        closedir(proc);
    }

    pid_t scheduler_;
    std::atomic<bool> done_{false};
    long peak_ = 0;
    std::thread thread_;
};

// What one lab's store holds after the load: every order complete, none doubled.
void checkStore(const std::string& store, const PrintServerLoad& load, std::set<std::string>& refIds,
                std::vector<std::string>& problems) {
    int orders = 0;
    for (const auto& entry : fs::directory_iterator(store)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(".order-", 0) == 0) problems.push_back(store + ": unfinished " + name);
        if (name.rfind("order-", 0) != 0) continue;
        ++orders;
        const std::string dir = entry.path().string();
        const nlohmann::json order = nlohmann::json::parse(readFile(dir + "/order.json"), nullptr, false);
        if (order.is_discarded()) {
            problems.push_back(dir + ": no order record");
            continue;
        }
        if (fs::exists(dir + "/cancelled.json")) problems.push_back(dir + ": cancelled");
        if (order.value("frameNum", 0) != load.pagesPerJob)
            problems.push_back(dir + ": " + std::to_string(order.value("frameNum", 0)) + " frames announced");
        for (int k = 1; k <= load.pagesPerJob; ++k)
            if (!fs::exists(dir + "/frame-" + std::to_string(k) + ".bmp"))
                problems.push_back(dir + ": frame " + std::to_string(k) + " missing");
        const std::string refId = order["record"].value("RefId", nlohmann::json()).dump();
        if (!refIds.insert(refId).second) problems.push_back(dir + ": order " + refId + " arrived twice");
    }
    if (orders != load.jobsPerQueue)
        problems.push_back(store + ": " + std::to_string(orders) + " orders instead of " +
                           std::to_string(load.jobsPerQueue));
}

}  // namespace

bool writeRasterJob(const std::string& path, int pages, int dpi) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    const unsigned width = 8u * static_cast<unsigned>(dpi), height = 6u * static_cast<unsigned>(dpi);
    std::vector<uint8_t> row(width * 3);
    bool ok = raster != nullptr;
    for (int page = 1; ok && page <= pages; ++page) {
        cups_page_header2_t h = tessaron::test::rgbPageHeader(width, height, static_cast<unsigned>(dpi));
        ok = cupsRasterWriteHeader2(raster, &h) != 0;
        for (unsigned y = 0; ok && y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                row[x * 3] = static_cast<uint8_t>(x + static_cast<unsigned>(page) * 40);
                row[x * 3 + 1] = static_cast<uint8_t>(y);
                row[x * 3 + 2] = static_cast<uint8_t>(x ^ y);
            }
            ok = cupsRasterWritePixels(raster, row.data(), static_cast<unsigned>(row.size())) == row.size();
        }
    }
    if (raster) cupsRasterClose(raster);
    ::close(fd);
    return ok;
}

LoadOutcome runPrintServerLoad(const PrintServerLoad& load) {
    LoadOutcome outcome;
    const std::string raster = load.workDir + "/job.ras";
    if (!writeRasterJob(raster, load.pagesPerJob, load.dpi)) {
        outcome.failure = "cannot write the raster job";
        return outcome;
    }
    std::vector<std::unique_ptr<MinilabProcess>> labs;
    for (int n = 0; n < load.labs; ++n) {
        labs.push_back(std::make_unique<MinilabProcess>(
            storingLab(load.minilab, labConfig(n), labAddress(n), load.workDir + "/store-" + std::to_string(n + 1))));
        if (!labs.back()->ready()) {
            outcome.failure = "lab " + labs.back()->address() + " did not start: " + labs.back()->log();
            return outcome;
        }
    }
    CupsSandbox cups(load.programs);
    if (!cups.ready()) {
        outcome.failure = cups.failure();
        return outcome;
    }
    for (int n = 0; n < load.labs; ++n) {
        const std::string failure = cups.addQueue("lab" + std::to_string(n + 1), "vantrelps://" + labAddress(n), load.ppd);
        if (!failure.empty()) {
            outcome.failure = failure;
            return outcome;
        }
    }

    BackendPeakWatch watch(cups.schedulerPid());
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::pair<std::string, int>> jobs;
    for (int j = 0; j < load.jobsPerQueue; ++j)
        for (int n = 0; n < load.labs; ++n) {
            const std::string queue = "lab" + std::to_string(n + 1);
            std::string message;
            const std::optional<int> id =
                cups.submit(queue, {{"PaperWidth", "1520"}, {"PaperSurface", "1"}}, raster, &message);
            ++outcome.jobsSubmitted;
            if (id) jobs.emplace_back(queue, *id);
            else outcome.problems.push_back(queue + ": not submitted: " + message);
        }
    const auto deadline = start + kLoadTimeout;
    for (const auto& [queue, id] : jobs) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const std::optional<CupsJob> end = cups.waitForJobState(
            queue, id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED},
            std::max(left, std::chrono::milliseconds(0)));
        if (end && end->state == IPP_JSTATE_COMPLETED) ++outcome.jobsCompleted;
        else outcome.problems.push_back(queue + " job " + std::to_string(id) + " ended " + (end ? end->stateName() : "gone"));
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.largestBackendPeakKiB = watch.stop();

    // A job completes when its backend ends; the lab has published the order before it replied.
    std::set<std::string> refIds;
    for (int n = 0; n < load.labs; ++n) checkStore(labs[static_cast<size_t>(n)]->storeDir(), load, refIds, outcome.problems);
    if (!outcome.problems.empty()) outcome.problems.push_back("scheduler log tail:\n" + [&] {
        const std::string log = cups.errorLog();
        return log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
    }());
    return outcome;
}

}  // namespace tessaron::test
