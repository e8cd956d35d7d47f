// Asynchronous operations on the run-loop connection: the waiting timer, reading and
// resynchronising replies in the read event, dispatch by command, and the worker query.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>

#include <poll.h>
#include <sys/socket.h>

#include "LocalizedFormat.h"
#include "Observers.h"
#include "PLUMEX_BoundedSocket.h"
#include "PLUMEX_CUPSJobReport.h"
#include "ProtocolSupport.h"
#include "VantrelTessaronJob.h"

namespace {

constexpr std::size_t kResponseHeaderAndResult = tessaron::jrx::kHeaderSize + tessaron::jrx::kResultBlockSize;  // 48
constexpr auto kReceiveIdleLimit = std::chrono::seconds(4);
// Noise skipped while looking for a header, and nested reads of one paper list, are bounded.
constexpr std::size_t kMaxNoiseBytes = 64 * 1024;
constexpr int kMaxNestedReads = static_cast<int>(tessaron::jrx::kMaxRegisteredPapers) + 16;
thread_local int tNestedReads = 0;

struct Received {
    std::size_t count = 0;
    bool closed = false;  // end of stream or connection error
    bool late = false;    // the reply's deadline passed
};

using Deadline = tessaron::network::Clock::time_point;

// Receives `count` bytes into buffer[offset...], across as many partial receives as it takes,
// giving up when no byte arrives for kReceiveIdleLimit or when `deadline` passes.
Received receiveFully(int fd, std::vector<std::uint8_t>& buffer, std::size_t offset, std::size_t count, Deadline deadline) {
    Received r;
    while (r.count < count) {
        const auto now = tessaron::network::Clock::now();
        if (now >= deadline) {
            r.late = true;
            break;
        }
        const ssize_t n = ::recv(fd, buffer.data() + offset + r.count, count - r.count, MSG_DONTWAIT);
        if (n > 0) {
            r.count += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) { r.closed = true; break; }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) { r.closed = true; break; }
        const auto wait = std::min<std::chrono::milliseconds>(
            kReceiveIdleLimit, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) + std::chrono::milliseconds(1));
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
        if (ready == 0 && wait == kReceiveIdleLimit) break;
    }
    return r;
}

}  // namespace

// ---- Operation -------------------------------------------------------------------------

void VantrelTessaronJob::sendAsyncDataCommand(std::vector<std::uint8_t> request) {
    if (!hasValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer)) {
        const auto timer = tessaron::RunLoop::current().addTimer(std::chrono::seconds(5), std::chrono::seconds(900),
                                                                 [this](tessaron::RunLoop::SourceId) { firedTimer(); });
        setValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer, timer);
    }
    PLUMEX_CUPSLog::debug("sending %lu command bytes", static_cast<unsigned long>(request.size()));
    PLUMEX_CUPSLog::logData(request);
    sendData(std::move(request));
}

void VantrelTessaronJob::firedTimer() {
    PLUMEX_CUPSLog::debug("Waiting for the printer response for command 0X%.2X", _commandHeader.command);
    tessaron::printjob::reportInfo(localizedFormat("Waiting for the printer ..."));
}

void VantrelTessaronJob::cleanupAfterAsync() {
    if (const auto* timer = valueForKey<tessaron::RunLoop::SourceId>(tessaron::jrx::keys::kAsyncDataRunLoopTimer)) {
        PLUMEX_CUPSLog::debug("cleaning up async elements");
        tessaron::RunLoop::current().removeTimer(*timer);
        removeValueForKey(tessaron::jrx::keys::kAsyncDataRunLoopTimer);
    }
    destroyOutSocket();
}

void VantrelTessaronJob::deviceOffline() {
    tessaron::printjob::reportStateSet("offline-report");
}

void VantrelTessaronJob::deviceOnline() {
    tessaron::printjob::reportStateClear("connecting-to-device,offline-report");
}

// ---- Read event ------------------------------------------------------------------------

void VantrelTessaronJob::dataWaitingToBeReadOnSocket(int socket) {
    const int fd = socket < 0 ? nativeSocket() : socket;
    if (!hasValueForKey(tessaron::jrx::keys::kMutableJRXResponseData)) {
        std::vector<std::uint8_t> fresh;
        fresh.reserve(256);
        setValueForKey(tessaron::jrx::keys::kMutableJRXResponseData, std::move(fresh));
    }
    auto& buffer = *valueForKey<std::vector<std::uint8_t>>(tessaron::jrx::keys::kMutableJRXResponseData);
    buffer.assign(tessaron::jrx::kHeaderSize, 0);
    if (fd < 0) return;
    if (tNestedReads >= kMaxNestedReads) {
        PLUMEX_CUPSLog::debug("too many replies in one read event; the rest is left unread");
        return;
    }
    ++tNestedReads;
    struct Unnest { ~Unnest() { --tNestedReads; } } unnest;

    // A reply has a deadline from the read event on, by its announced length, so that a lab
    // that trickles its bytes cannot hold the job; past it the reply counts as none.
    const Deadline start = tessaron::network::Clock::now();
    const Deadline headerDeadline = start + tessaron::network::replyDeadline(0);
    const Received head = receiveFully(fd, buffer, 0, tessaron::jrx::kHeaderSize, headerDeadline);
    const bool headerOK = head.count == tessaron::jrx::kHeaderSize && verifyJRXReplyHeaderLength(buffer.data(), buffer.size());
    if (headerOK || (head.count > 0 && locateTessaronResponseMarkerInDataUsingSocket(buffer, fd))) {
        const std::uint32_t n = tessaron::jrx::getU32(buffer.data() + 8);
        if (n == 0 || n > tessaron::jrx::maxReplyDataLength(_commandHeader.command)) {
            PLUMEX_CUPSLog::debug("bad command response from %s", printerID().c_str());
            PLUMEX_CUPSLog::logData(buffer);
            tessaron::badResponse();
        }
        buffer.resize(tessaron::jrx::kHeaderSize + n);
        const Received body = receiveFully(fd, buffer, tessaron::jrx::kHeaderSize, n, start + tessaron::network::replyDeadline(n));
        if (body.count != n) {
            // The announced reply never completed: what arrived is not the record asked for.
            PLUMEX_CUPSLog::debug("incomplete response from %s: %lu of %lu bytes; aborting async op", printerID().c_str(),
                                  static_cast<unsigned long>(body.count), static_cast<unsigned long>(n));
            cleanupAfterAsync();
            tessaron::NotificationCenter::defaultCenter().post(kTessaronPrinterAsyncOperationDidAbort, this);
            return;
        }
        for (;;) {
            const std::uint64_t k = processResponseData(buffer);
            if (k == 0) break;
            PLUMEX_CUPSLog::debug("received response error offset of %lu bytes", static_cast<unsigned long>(k));
            auto& again = *valueForKey<std::vector<std::uint8_t>>(tessaron::jrx::keys::kMutableJRXResponseData);
            if (again.size() < kResponseHeaderAndResult + k) break;
            again.erase(again.begin() + kResponseHeaderAndResult, again.begin() + static_cast<std::ptrdiff_t>(kResponseHeaderAndResult + k));
            const std::size_t end = again.size();
            again.resize(end + k);
            const Received more = receiveFully(fd, again, end, k, tessaron::network::Clock::now() + tessaron::network::replyDeadline(k));
            again.resize(end + more.count);
        }
        return;
    }
    if (head.late) {
        // Counted as no reply: the connection goes, and the operation aborts like a closed one.
        PLUMEX_CUPSLog::debug("the reply from %s did not complete in time (%lu header bytes); aborting async op",
                              printerID().c_str(), static_cast<unsigned long>(head.count));
        cleanupAfterAsync();
        tessaron::NotificationCenter::defaultCenter().post(kTessaronPrinterAsyncOperationDidAbort, this);
        return;
    }
    if (head.count != 0 && !head.closed) {
        PLUMEX_CUPSLog::debug("bad read of %ld bytes from device:", static_cast<long>(head.count));
        PLUMEX_CUPSLog::logData(buffer);
        return;
    }
    if (head.count == 0 && !head.closed) {
        PLUMEX_CUPSLog::debug("bad read of %ld bytes from device:", 0L);
        return;
    }
    PLUMEX_CUPSLog::debug("aborting async op");
    cleanupAfterAsync();
    tessaron::NotificationCenter::defaultCenter().post(kTessaronPrinterAsyncOperationDidAbort, this);
}

bool VantrelTessaronJob::locateTessaronResponseMarkerInDataUsingSocket(std::vector<std::uint8_t>& buffer, int socket) {
    const Deadline deadline = tessaron::network::Clock::now() + tessaron::network::replyDeadline(kMaxNoiseBytes);
    std::size_t skipped = 0;
    while (skipped < kMaxNoiseBytes) {
        buffer.resize(tessaron::jrx::kHeaderSize);
        std::size_t n = 0;
        while (n < tessaron::jrx::kHeaderSize && !(buffer[n] == 'J' && (n == tessaron::jrx::kHeaderSize - 1 || buffer[n + 1] == 'T'))) ++n;
        if (n < tessaron::jrx::kHeaderSize) {
            PLUMEX_CUPSLog::debug("Bad Tessaron response; possibly found a valid marker at response offset %lu ... verifying;",
                                  static_cast<unsigned long>(n));
            PLUMEX_CUPSLog::logData(buffer);
            if (n == 0) return false;  // a header in place that did not verify: nothing to realign
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
            buffer.resize(tessaron::jrx::kHeaderSize);
            const Received r = receiveFully(socket, buffer, tessaron::jrx::kHeaderSize - n, n, deadline);
            if (r.count == n && verifyJRXReplyHeaderLength(buffer.data(), buffer.size())) return true;
            if (r.count == 0) return false;
            skipped += n;
        }
        const Received fresh = receiveFully(socket, buffer, 0, tessaron::jrx::kHeaderSize, deadline);
        if (fresh.count < tessaron::jrx::kHeaderSize) return false;
        skipped += tessaron::jrx::kHeaderSize;
    }
    return false;
}

std::uint64_t VantrelTessaronJob::processResponseData(std::vector<std::uint8_t>& buffer) {
    if (buffer.size() < kResponseHeaderAndResult || buffer[0] != 'J' || buffer[1] != 'T') return 0;
    const std::uint32_t code = tessaron::jrx::getU32(buffer.data() + tessaron::jrx::kHeaderSize);
    if (code != tessaron::jrx::JRX_SUCCESS) return 0;  // asynchronous replies with a failure code are ignored
    _lastReplyCode = code;
    const std::size_t length = buffer.size() - kResponseHeaderAndResult;
    PLUMEX_CUPSLog::debug("received %lu response bytes from %s with reply code %s", static_cast<unsigned long>(length),
                          printerID().c_str(), strForJRXResultCode(code));
    const std::span<const std::uint8_t> record(buffer.data() + kResponseHeaderAndResult, length);
    const std::uint8_t command = buffer[6];
    switch (command) {
        case tessaron::jrx::JRX_GET_PRINTER_INFO:
            if (length == tessaron::jrx::kPrinterInfoSize) processInfoResponse(record);
            return 0;
        case tessaron::jrx::JRX_GET_PAPER:
        case tessaron::jrx::JRX_GET_PAPER_AD: {
            const auto* expected = valueForKey<std::int64_t>(tessaron::jrx::keys::kExpectedResponseLength);
            if (expected && static_cast<std::int64_t>(length) == *expected) return processGetPaperResponse(record);
            return 0;
        }
        case tessaron::jrx::JRX_GET_STATUS:
            if (length == tessaron::jrx::kStatusSize) processStatusResponse(record);
            return 0;
        default: return 0;
    }
}

void VantrelTessaronJob::newDataAvailable(const tessaron::Notification&) {
    const auto head = availableDataPeekAtFirstBytes(tessaron::jrx::kHeaderSize);
    if (!head || (*head)[0] != 'J' || (*head)[1] != 'T') return;
    const std::uint64_t dataLength = tessaron::jrx::getU32(head->data() + 8);
    if (availableDataSize() == dataLength + tessaron::jrx::kHeaderSize) {
        auto all = copyAvailableData();
        if (all) processResponseData(*all);
        return;
    }
    PLUMEX_CUPSLog::debug("received partial response %lu and need %lu; waiting for more ...",
                          static_cast<unsigned long>(availableDataSize()), static_cast<unsigned long>(dataLength));
    if (shouldStartRunLoop()) tessaron::RunLoop::current().run();
}

// ---- Worker query ----------------------------------------------------------------------

namespace {

struct DuplexQuery {
    std::shared_ptr<VantrelTessaronJob> job;
    std::atomic<bool> done{false};
    std::atomic<bool> canDuplex{false};
};

}  // namespace

void VantrelTessaronJob::threadedGetInfo(VantrelTessaronJob* job) {
    registerNewThread();
    job->getInfo();
    job->registeredPapers();
    if (auto* loop = job->mainRunLoop()) loop->stop();
}

bool VantrelTessaronJob::supportsDuplexAtDeviceURI(const std::string& uri) {
    // The worker shares the query: it may outlive the wait below.
    auto query = std::make_shared<DuplexQuery>();
    query->job = std::shared_ptr<VantrelTessaronJob>(initWithDeviceURI(uri));
    if (!query->job) return false;
    tessaron::RunLoop& mainLoop = tessaron::RunLoop::main();
    query->job->setMainRunLoop(&mainLoop);
    const auto timer = mainLoop.addTimer(std::chrono::seconds(1000), std::chrono::seconds(0),
                                         [&mainLoop](tessaron::RunLoop::SourceId) { mainLoop.stop(); });
    const bool started = newThreadForSelectorToTargetWithObject([query] {
        threadedGetInfo(query->job.get());
        query->canDuplex = query->job->canDuplex();
        query->done = true;
    });
    if (started) {
        const auto result = tessaron::RunLoop::current().runFor(std::chrono::seconds(50));
        PLUMEX_CUPSLog::debug("exited for reason %d", static_cast<int>(result));
    }
    mainLoop.removeTimer(timer);
    return query->done && query->canDuplex;
}
