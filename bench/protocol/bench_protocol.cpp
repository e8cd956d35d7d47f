// Time of one refresh as the command driver does it: the information reply, then the paper
// catalogue with its folding and saved chunks, each over its own loopback connection.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "MinilabProcess.h"
#include "PLUMEX_CUPSLog.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr const char* kAddress = "127.0.0.14";

std::string roll(int width, int surface, int lmin, int lmax) {
    return "{\"source\": \"roll\", \"width\": " + std::to_string(width) + ", \"surface\": " + std::to_string(surface) +
           ", \"resolution\": 3000, \"lmin\": " + std::to_string(lmin) + ", \"lmax\": " + std::to_string(lmax) + "}";
}

// A lab of a realistic size: twelve roll papers and four sheet papers.
std::string labConfig() {
    std::string papers;
    for (int w : {890, 1020, 1270, 1520, 2030, 2540})
        for (int s : {1, 2}) papers += roll(w, s, 890, 3000) + ", ";
    for (const char* name : {"A4", "A5", "Letter", "Postcard"})
        papers += std::string("{\"source\": \"sheet\", \"name\": \"") + name +
                  "\", \"width\": 2100, \"surface\": 1, \"resolution\": 3000, \"lmin\": 2970, \"lmax\": 2970}, ";
    papers.resize(papers.size() - 2);
    return "{\"apiVersion\": \"3.0.0.0\", \"extraFeatures\": true, \"duplex\": true, \"papers\": [" + papers + "]}";
}

// Log lines go to /dev/null so that the terminal's speed is not measured.
struct QuietStderr {
    QuietStderr() : saved(::dup(2)) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr() {
        ::dup2(saved, 2);
        ::close(saved);
    }
    int saved;
};

void BM_Refresh(benchmark::State& state, bool async) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tessaron-bench-bus", 1);
    tessaron::test::MinilabOptions options;
    options.program = TESSARON_MINILAB_PATH;
    options.configJson = labConfig();
    options.address = kAddress;
    tessaron::test::MinilabProcess lab(options);
    if (!lab.ready()) {
        state.SkipWithError("the emulated minilab did not start");
        return;
    }
    PLUMEX_CUPSLog::resetForTesting();
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    QuietStderr quiet;
    std::size_t papers = 0;
    for (auto _ : state) {
        auto job = VantrelTessaronJob::initWithDeviceURI(std::string("vantrelps://") + kAddress);
        job->setShouldStartRunLoop(true);
        const bool info = async ? job->getInfoAsync() : job->getInfo();
        const auto catalogue = async ? job->getRegisteredPapersAsync() : job->getRegisteredPapers();
        if (!info || !catalogue) {
            state.SkipWithError("refresh failed");
            break;
        }
        papers = catalogue->size();
        benchmark::DoNotOptimize(papers);
    }
    state.counters["papers"] = static_cast<double>(papers);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Refresh, asynchronous, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Refresh, synchronous, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
