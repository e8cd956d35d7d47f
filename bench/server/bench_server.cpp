// A print server under load: one private scheduler, eight queues on eight emulated labs, five
// jobs of five pages submitted to every queue at once. Reports the total time, jobs per minute
// and the largest backend's peak memory; the order-by-order check is the load test's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>

#include "NetLock.h"
#include "PrintServerLoad.h"
#include "TempDir.h"

namespace {

void BM_PrintServerLoad(benchmark::State& state) {
    if (::access("/usr/sbin/cupsd", X_OK) != 0) {
        state.SkipWithError("no cupsd on this machine");
        return;
    }
    tessaron::test::NetLock lock;
    tessaron::test::LoadOutcome last;
    for (auto _ : state) {
        tessaron::test::TempDir work;
        tessaron::test::PrintServerLoad load;
        load.dpi = static_cast<int>(state.range(0));
        load.minilab = TESSARON_MINILAB_PATH;
        load.ppd = TESSARON_PPD_PATH;
        load.programs = {VANTRELPS_PATH, RASTERTOVANTREL_PATH, COMMANDTOVANTREL_PATH, 0};
        load.workDir = work.path();
        last = tessaron::test::runPrintServerLoad(load);
        if (!last.failure.empty() || !last.problems.empty()) {
            for (const auto& p : last.problems) std::fprintf(stderr, "%s\n", p.c_str());
            state.SkipWithError(last.failure.empty() ? "orders or jobs went wrong" : last.failure.c_str());
            return;
        }
        state.SetIterationTime(last.seconds);
    }
    state.counters["jobs"] = last.jobsCompleted;
    state.counters["jobs_per_min"] = last.jobsPerMinute();
    state.counters["largestBackendPeak_MiB"] = static_cast<double>(last.largestBackendPeakKiB) / 1024;
    state.counters["pagePixels"] = 48.0 * static_cast<double>(state.range(0) * state.range(0));
}
// Pages of 8 x 6 inches at 50 dpi (as the test) and at 150 dpi.
BENCHMARK(BM_PrintServerLoad)->Arg(50)->Arg(150)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace
