// One raster job over the kind of link a real lab has: the emulated minilab and the backend
// each in a network namespace of their own (made here, as root, and deleted afterwards),
// joined by a veth pair whose both directions are held to 1 Gbit/s by a token bucket. Reports
// the job's rate as a fraction of the link rate. Only these namespaces carry the traffic; the
// private addresses below exist nowhere else.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PrintServerLoad.h"
#include "Process.h"
#include "TempDir.h"

extern char** environ;

namespace {

constexpr int kPages = 20;
constexpr int kDpi = 300;                    // 2400 x 1800 pixels a page
constexpr double kLinkBitsPerSecond = 1e9;
constexpr const char* kLabAddress = "10.231.77.1";
constexpr const char* kHostAddress = "10.231.77.2";

std::string ipProgram() { return ::access("/usr/sbin/ip", X_OK) == 0 ? "/usr/sbin/ip" : "/sbin/ip"; }

tessaron::test::ProcessResult ip(const std::vector<std::string>& args) {
    tessaron::test::ProcessSpec spec;
    spec.program = ipProgram();
    spec.args = args;
    spec.timeout = std::chrono::milliseconds(10000);
    return tessaron::test::runProcess(spec);
}

// Two namespaces joined by a shaped veth pair; deleted (with the pair) when it goes.
class ShapedLink {
public:
    ShapedLink() {
        const std::string tag = std::to_string(::getpid());
        lab_ = "tessaron-bench-lab-" + tag;
        host_ = "tessaron-bench-host-" + tag;
        if (::geteuid() != 0) {
            problem_ = "needs root to make network namespaces";
            return;
        }
        const std::string shape = "rate 1gbit burst 512kb latency 20ms";
        const std::vector<std::vector<std::string>> steps = {
            {"netns", "add", lab_},
            {"netns", "add", host_},
            {"link", "add", "vlab", "netns", lab_, "type", "veth", "peer", "name", "vhost", "netns", host_},
            {"-n", lab_, "addr", "add", std::string(kLabAddress) + "/30", "dev", "vlab"},
            {"-n", host_, "addr", "add", std::string(kHostAddress) + "/30", "dev", "vhost"},
            {"-n", lab_, "link", "set", "vlab", "up"},
            {"-n", host_, "link", "set", "vhost", "up"},
            {"-n", lab_, "link", "set", "lo", "up"},
            {"-n", host_, "link", "set", "lo", "up"},
        };
        for (const auto& step : steps) {
            if (step[0] == "netns" && step[1] == "add") made_.push_back(step[2]);
            const auto r = ip(step);
            if (r.exitStatus != 0) {
                problem_ = "ip " + step[0] + " " + step[1] + ": " + r.err;
                return;
            }
        }
        for (const auto& [ns, dev] : {std::pair{lab_, "vlab"}, std::pair{host_, "vhost"}}) {
            tessaron::test::ProcessSpec tc;
            tc.program = ipProgram();
            tc.args = {"netns", "exec", ns, "tc", "qdisc", "add", "dev", dev, "root", "tbf"};
            for (size_t at = 0, next; at < shape.size(); at = next + 1) {
                next = shape.find(' ', at);
                if (next == std::string::npos) next = shape.size();
                tc.args.push_back(shape.substr(at, next - at));
            }
            tc.env = {{"PATH", "/usr/sbin:/sbin:/usr/bin:/bin"}};
            const auto r = tessaron::test::runProcess(tc);
            if (r.exitStatus != 0) {
                problem_ = "tc: " + r.err;
                return;
            }
        }
        ready_ = true;
    }
    ~ShapedLink() {
        for (const auto& ns : made_) ip({"netns", "del", ns});
    }
    ShapedLink(const ShapedLink&) = delete;
    ShapedLink& operator=(const ShapedLink&) = delete;

    bool ready() const { return ready_; }
    const std::string& problem() const { return problem_; }
    const std::string& labNamespace() const { return lab_; }
    const std::string& hostNamespace() const { return host_; }

private:
    std::string lab_, host_;
    std::vector<std::string> made_;
    bool ready_ = false;
    std::string problem_;
};

struct JobRun {
    int status = -1;
    double seconds = 0;
    double cpuSeconds = 0;
};

// The backend in the host namespace, as CUPS runs it (raster file argument).
JobRun runBackend(const ShapedLink& link, const std::string& raster, const std::string& tmp, const std::string& errPath) {
    std::vector<std::string> args = {ipProgram(), "netns", "exec", link.hostNamespace(), VANTRELPS_PATH,
                                     "1", "bench", "Bench", "1",
                                     "DebugLog=False PaperWidth=1520 PaperSurface=1 AdjustmentsEnabled=False "
                                     "SharpnessEnabled=False",
                                     raster};
    std::vector<std::string> env = {std::string("DEVICE_URI=vantrelps://") + kLabAddress,
                                    std::string("PPD=") + TESSARON_PPD_PATH,
                                    "CONTENT_TYPE=application/vnd.cups-raster", "TMPDIR=" + tmp,
                                    "VANTRELPS_DISCOVERY_ADDRESS=127.255.255.255", "PATH=/usr/bin:/bin"};
    auto argv = tessaron::test::cStringArray(args);
    auto envp = tessaron::test::cStringArray(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    JobRun run;
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    // `ip netns exec` enters the namespace and executes the backend in the same process.
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                             static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

void BM_JobOverGigabitLink(benchmark::State& state) {
    ShapedLink link;
    if (!link.ready()) {
        const std::string why = "skipped: no shaped veth link between network namespaces (" + link.problem() + ")";
        std::fprintf(stderr, "%s\n", why.c_str());
        state.SkipWithError(why.c_str());
        return;
    }
    tessaron::test::TempDir dir;
    const std::string raster = dir.file("job.ras");
    std::filesystem::create_directories(dir.file("tmp"));
    std::filesystem::create_directories(dir.file("store"));
    if (!tessaron::test::writeRasterJob(raster, kPages, kDpi)) {
        state.SkipWithError("cannot write the raster job");
        return;
    }
    const std::string config = dir.write(
        "lab.json", R"({"name": "Link Lab", "apiVersion": "3.0.0.0", "extraFeatures": true, "papers": [
            {"number": 1, "width": 1520, "surface": 1, "resolution": 3000, "lmin": 890, "lmax": 3050}]})");
    tessaron::test::ProcessSpec labSpec;
    labSpec.program = ipProgram();
    labSpec.args = {"netns", "exec", link.labNamespace(), TESSARON_MINILAB_PATH, "--config", config,
                    "--address", kLabAddress, "--allow-non-loopback", "--store", dir.file("store"),
                    "--log", dir.file("lab.log")};
    labSpec.timeout = std::chrono::milliseconds(0);
    tessaron::test::BackgroundProcess lab(labSpec);
    if (!lab.waitForError("tessaron-minilab: ready", std::chrono::seconds(20))) {
        state.SkipWithError("the emulator did not start in its namespace");
        return;
    }
    // Frame bytes of one page: the BMP of 2400 x 1800 pixels.
    const double frameBytes = 54.0 + 2400.0 * 3 * 1800;
    double seconds = 0, cpu = 0;
    for (auto _ : state) {
        const JobRun run = runBackend(link, raster, dir.file("tmp"), dir.file("backend.err"));
        if (run.status != 0) {
            const std::string err = tessaron::test::readFile(dir.file("backend.err"));
            std::fprintf(stderr, "%s\n", err.substr(err.size() > 3000 ? err.size() - 3000 : 0).c_str());
            state.SkipWithError("the job failed");
            return;
        }
        state.SetIterationTime(run.seconds);
        seconds += run.seconds;
        cpu += run.cpuSeconds;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("store")))
            std::filesystem::remove_all(e.path());
    }
    const double iterations = static_cast<double>(state.iterations());
    const double rate = kPages * frameBytes * 8 * iterations / seconds;
    state.SetBytesProcessed(static_cast<int64_t>(iterations * kPages * frameBytes));
    state.counters["link_Mbit_s"] = kLinkBitsPerSecond / 1e6;
    state.counters["job_Mbit_s"] = rate / 1e6;
    state.counters["ofLinkRate"] = rate / kLinkBitsPerSecond;
    state.counters["backendCpu_ms_per_page"] = cpu * 1000 / (iterations * kPages);
    lab.signal(SIGTERM);
    lab.wait();
}
BENCHMARK(BM_JobOverGigabitLink)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace
