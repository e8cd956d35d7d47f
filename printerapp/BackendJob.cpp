#include "BackendJob.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace tessaron::printerapp {
namespace {

constexpr int kWaitStepMs = 200;
// cupsd's JobKillDelay: a child that ignores SIGTERM this long is killed.
constexpr std::chrono::seconds kKillDelay{30};

}  // namespace

std::unique_ptr<BackendJob> BackendJob::start(const PrintRequest& request, LineHandler onLine) {
    auto child = ChildProcess::start(printCommand(request), true);
    if (!child) return nullptr;
    std::unique_ptr<BackendJob> job(new BackendJob(std::move(*child), std::move(onLine)));
    job->raster_ = cupsRasterOpen(job->child_.input(), CUPS_RASTER_WRITE_COMPRESSED);
    if (!job->raster_) return nullptr;
    job->reader_ = std::thread([raw = job.get()] { raw->readMessages(); });
    return job;
}

BackendJob::BackendJob(ChildProcess child, LineHandler onLine) : child_(std::move(child)), onLine_(std::move(onLine)) {}

BackendJob::~BackendJob() {
    closeStream();
    child_.signal(SIGKILL);
    child_.wait();
    if (reader_.joinable()) reader_.join();
}

bool BackendJob::writeHeader(cups_page_header2_t header) {
    if (header.cupsColorSpace == CUPS_CSPACE_SRGB) header.cupsColorSpace = CUPS_CSPACE_RGB;
    return raster_ && cupsRasterWriteHeader2(raster_, &header);
}

bool BackendJob::writeLine(const unsigned char* line, unsigned bytes) {
    return raster_ && cupsRasterWritePixels(raster_, const_cast<unsigned char*>(line), bytes) == bytes;
}

void BackendJob::closeStream() {
    if (raster_) cupsRasterClose(raster_);
    raster_ = nullptr;
    child_.closeInput();
}

int BackendJob::finish(const std::function<bool()>& cancelled) {
    closeStream();
    std::optional<std::chrono::steady_clock::time_point> terminated;
    for (;;) {
        if (auto status = child_.poll()) {
            if (reader_.joinable()) reader_.join();
            return *status;
        }
        if (!terminated && cancelled()) {
            child_.signal(SIGTERM);
            terminated = std::chrono::steady_clock::now();
        } else if (terminated && std::chrono::steady_clock::now() - *terminated > kKillDelay) {
            child_.signal(SIGKILL);
        }
        // Wakes at the child's exit; the step only bounds how late a cancel is seen.
        pollfd exit{child_.exitEvent(), POLLIN, 0};
        ::poll(&exit, 1, kWaitStepMs);
    }
}

std::string BackendJob::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void BackendJob::readMessages() {
    LineSplitter splitter;
    char buffer[4096];
    pollfd fds[2] = {{child_.errors(), POLLIN, 0}, {child_.output(), POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                fd.fd = -1;
                continue;
            }
            if (&fd != &fds[0]) continue;  // standard output carries nothing for a job
            for (const std::string& text : splitter.feed(std::string_view(buffer, static_cast<std::size_t>(got)))) {
                const BackendLine line = parseBackendLine(text);
                if (line.kind == LineKind::Error) {
                    std::lock_guard lock(mutex_);
                    lastError_ = line.text;
                }
                if (onLine_) onLine_(line);
            }
        }
    }
}

}  // namespace tessaron::printerapp
