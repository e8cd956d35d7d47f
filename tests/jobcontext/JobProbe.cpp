// A filter-shaped program around the job context, for the tests that need a real process:
// exits, usage, spool files, page counting and signals. Reports on standard output.
//   JOBPROBE_WAIT=1     after set-up, print "ready" and wait for signals
//   JOBPROBE_CLEANUP=block  the delegate's cleanup prints "cleanup <n>" and never returns
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PLUMEX_CUPSPrintJob.h"

namespace {

void say(const std::string& line) {
    std::string text = line + "\n";
    ssize_t ignored = write(STDOUT_FILENO, text.data(), text.size());
    (void)ignored;
}

class Probe : public PLUMEX_CUPSPrintJobDelegate {
public:
    explicit Probe(PLUMEX_CUPSPrintJob& job) : _job(job) {}
    bool respondsToOutputPage() const override { return true; }
    void outputPage() override {
        // A checksum of the page shows that every byte came through the page count pass.
        unsigned sum = 0;
        for (size_t i = 0; i < _job.pageDataLength(); ++i) sum = sum * 31 + _job.pageData()[i];
        say("page " + std::to_string(_job.page()) + " " + std::to_string(_job.cupsWidth()) + "x" +
            std::to_string(_job.cupsHeight()) + " sum " + std::to_string(sum));
    }
    bool respondsToCleanupOnSignal() const override { return getenv("JOBPROBE_CLEANUP") != nullptr; }
    void cleanupOnSignal(int signalNumber) override {
        say("cleanup " + std::to_string(signalNumber));
        if (strcmp(getenv("JOBPROBE_CLEANUP"), "block") == 0)
            for (;;) pause();
    }

private:
    PLUMEX_CUPSPrintJob& _job;
};

}  // namespace

int main(int argc, char** argv) {
    PLUMEX_CUPSLog::setErrorPause(std::chrono::milliseconds(0));
    std::unique_ptr<PLUMEX_CUPSPrintJob> job = PLUMEX_CUPSPrintJob::initWithArguments(std::vector<std::string>(argv, argv + argc));
    if (!job) {
        say("no job");
        return 2;
    }
    Probe probe(*job);
    job->setDelegate(&probe);
    say("pages expected " + std::to_string(job->pages()) + " copies " + std::to_string(job->copies()));
    if (getenv("JOBPROBE_WAIT")) {
        say("ready");
        for (;;) pause();
    }
    say("pages output " + std::to_string(job->processPageData()));
    return 0;
}
