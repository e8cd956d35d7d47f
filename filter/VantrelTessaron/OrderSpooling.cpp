// Order spooling, the frame and spool transactions, and cancelling a fast-print order.
#include <atomic>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LocalizedFormat.h"
#include "PLUMEX_BoundedSocket.h"
#include "PLUMEX_CUPSJobReport.h"
#include "ProtocolSupport.h"
#include "OrderRecords.h"
#include "VantrelTessaronJob.h"

namespace {

// The job whose fast-print order is spooled on the minilab but still lacks frames. Any way the
// process ends before the last frame (a reply time-out, a bad reply) cancels that order.
std::atomic<VantrelTessaronJob*> gIncompleteFastPrintOrder{nullptr};

void cancelIncompleteOrderAtExit() {
    if (VantrelTessaronJob* job = gIncompleteFastPrintOrder.exchange(nullptr)) job->cancelFastPrintJob();
}

void watchFastPrintOrder(VantrelTessaronJob* job) {
    static const bool registered = std::atexit(cancelIncompleteOrderAtExit) == 0;
    if (registered) gIncompleteFastPrintOrder = job;
}

// A cancel has this long in all, from the first connect to the reply: it runs while the
// scheduler waits to kill the job.
constexpr std::chrono::milliseconds kCancelLimit{3000};
constexpr std::chrono::milliseconds kCancelConnectPause{200};

}  // namespace

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::orderRequestOnce(std::uint8_t command,
                                                                              std::span<const std::uint8_t> data,
                                                                              std::span<const std::uint8_t> extra) {
    const std::vector<std::uint8_t> request = dataPayloadForCommandWithDataExtraData(command, data, extra);
    // Without a connection the general transaction reports the printer and waits for it.
    if (!openCommandSocket()) return responseForCommandExtraData(request, extra);
    PLUMEX_CUPSLog::debug("sending %lu command bytes", static_cast<unsigned long>(request.size() + extra.size()));
    // Any send failure answers none, so that a lost connection is retried, not fatal.
    const auto sent = [this](std::span<const std::uint8_t> bytes) {
        return tessaron::sendCommandBytes(_nativeSocket.get(), bytes) == tessaron::network::SendResult::Sent;
    };
    if (!sent(request) || !sent(extra)) {
        PLUMEX_CUPSLog::debug("failed to send all data.");
        return std::nullopt;
    }
    PLUMEX_CUPSLog::debug("sent %lu bytes to %s", static_cast<unsigned long>(request.size() + extra.size()),
                          printerID().c_str());
    std::int64_t code = 0;
    auto reply = getVantrelReply(&code);
    if (reply)
        PLUMEX_CUPSLog::debug("%s sent reply %ld (%s) for command %.2xH (%s)", printerID().c_str(), static_cast<long>(code),
                              strForJRXResultCode(static_cast<std::uint32_t>(code)), command, strForJRXCommand(command));
    return reply;
}

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::orderTransaction(std::uint8_t command,
                                                                              std::span<const std::uint8_t> data,
                                                                              std::span<const std::uint8_t> extra) {
    // A cancel from the signal thread must not interleave with a frame on the same socket.
    auto hold = PLUMEX_CUPSPrintJob::holdSignalCleanup();
    auto once = [&]() { return orderRequestOnce(command, data, extra); };
    auto reply = once();
    if (reply) return reply;
    // No reply at all: the command may never have arrived. Each transaction connects afresh.
    PLUMEX_CUPSLog::debug("no reply to command %.2xH (%s); sending it once more on a new connection", command,
                          strForJRXCommand(command));
    reply = once();
    if (!reply)
        PLUMEX_CUPSLog::debug("no reply to command %.2xH (%s) again; giving up", command, strForJRXCommand(command));
    return reply;
}

void VantrelTessaronJob::failOrder(const std::string& message) {
    if (_fastPrint && _didSpool) cancelFastPrintJob();
    PLUMEX_CUPSLog::fatal("%s", message.c_str());
}

bool VantrelTessaronJob::spoolOrder() {
    std::string failure;
    {
        // Held until _didSpool is set, so that a signal in between still cancels the order.
        auto hold = PLUMEX_CUPSPrintJob::holdSignalCleanup();
        if (_didSpool) return true;
        const tessaron::OrderProtocol protocol = tessaron::orderProtocolFor(_extraFeatures, _fastPrint);
        const auto client = _jrxClientInfo.encode();
        const std::vector<std::uint8_t> payload = tessaron::spoolPayload(protocol, client, _jrxOrderParam2);
        PLUMEX_CUPSLog::debug("sending spool order command:");
        PLUMEX_CUPSLog::logData(payload.data() + client.size(), payload.size() - client.size());
        _spoolSent = _fastPrint;
        const auto reply = orderTransaction(tessaron::spoolCommandFor(protocol), payload, {});
        if (reply && !reply->empty()) _spoolSent = false;  // refused: the lab holds no order
        if (!reply) failure = localizedFormat("Failed to spool order: the printer did not answer");
        else if (!reply->empty()) failure = localizedFormat("Failed to spool order %s", lastErrorReply().c_str());
        else _didSpool = true;
        if (_didSpool && _fastPrint && _framesSent < _jrxOrderParam2.FrameNum) watchFastPrintOrder(this);
    }
    if (!failure.empty()) PLUMEX_CUPSLog::fatal("%s", failure.c_str());
    return _didSpool;
}

void VantrelTessaronJob::ensureAllFramesSent() {
    const std::uint16_t announced = _jrxOrderParam2.FrameNum;
    if (_framesSent >= announced) {
        gIncompleteFastPrintOrder = nullptr;  // complete: nothing to cancel any more
        return;
    }
    PLUMEX_CUPSLog::debug("only %u of %u frames reached the printer", _framesSent, announced);
    failOrder(localizedFormat("Only %d of %d images could be sent; the order was not printed.", static_cast<int>(_framesSent),
                              static_cast<int>(announced)));
}

void VantrelTessaronJob::cancelFastPrintJob() {
    gIncompleteFastPrintOrder = nullptr;
    tessaron::printjob::reportInfo(localizedFormat("Cancelling the FAST PRINT order ..."));
    PLUMEX_CUPSLog::debug("cancelling fast print order for RefID: %llu",
                          static_cast<unsigned long long>(_jrxOrderParam2.RefId));
    const std::optional<std::uint32_t> code = cancelOnFreshConnection();
    if (!code) PLUMEX_CUPSLog::debug("Failed to cancel order: the printer did not answer in time");
    else if (*code != tessaron::jrx::JRX_SUCCESS)
        PLUMEX_CUPSLog::debug("Failed to cancel order with error (ERROR %ld: %s)", static_cast<long>(*code),
                              strForJRXResultCode(*code));
}

std::optional<std::uint32_t> VantrelTessaronJob::cancelOnFreshConnection() const {
    // Its own socket and header: the frame connection may be blocked in another thread.
    const tessaron::network::Clock::time_point deadline = tessaron::network::Clock::now() + kCancelLimit;
    const auto client = _jrxClientInfo.encode();
    const std::vector<std::uint8_t> payload = tessaron::cancelPayload(client, _jrxOrderParam2.RefId);
    jrx_command_header_s header;
    header.serverVersion = _cancelHeaderVersion.load();
    header.command = tessaron::kCancelFastPrintCommand;
    header.dataLength = static_cast<std::uint32_t>(payload.size());
    const auto head = header.encode();
    std::vector<std::uint8_t> request(head.begin(), head.end());
    request.insert(request.end(), payload.begin(), payload.end());
    const std::optional<sockaddr_in> address =
        _addressData ? tessaron::network::socketAddressFromData(*_addressData) : std::nullopt;
    if (!address) return std::nullopt;
    tessaron::UniqueFd socket;
    while (!socket && tessaron::network::Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - tessaron::network::Clock::now());
        socket = tessaron::network::connectWithin(*address, std::min(left, tessaron::network::kConnectAttemptLimit));
        if (!socket) std::this_thread::sleep_for(std::min(left, kCancelConnectPause));
    }
    if (!socket) return std::nullopt;
    std::optional<std::uint32_t> code;
    if (tessaron::network::sendWithin(socket.get(), request, kCancelLimit, deadline) == tessaron::network::SendResult::Sent) {
        std::array<std::uint8_t, tessaron::jrx::kHeaderSize + tessaron::jrx::kResultBlockSize> reply{};
        if (tessaron::network::receiveWithin(socket.get(), reply, deadline) == reply.size() && reply[0] == 'J' &&
            reply[1] == 'T' && reply[6] == tessaron::kCancelFastPrintCommand)
            code = tessaron::jrx::getU32(reply.data() + tessaron::jrx::kHeaderSize);
    }
    return code;
}

void VantrelTessaronJob::cleanupOnSignal(int signalNumber) {
    (void)signalNumber;
    // The spool may still be under way in the main thread: once it was sent, the lab may
    // hold the order, and a cancel of an order it never took does no harm.
    if (_fastPrint && (_didSpool || _spoolSent.load())) cancelFastPrintJob();
}
