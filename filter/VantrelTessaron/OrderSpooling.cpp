// Order spooling, the frame and spool transactions, and cancelling a fast-print order.
#include "LocalizedFormat.h"
#include "OrderRecords.h"
#include "VantrelTessaronJob.h"

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::orderTransaction(std::uint8_t command,
                                                                              std::span<const std::uint8_t> data,
                                                                              std::span<const std::uint8_t> extra) {
    // A cancel from the signal thread must not interleave with a frame on the same socket.
    auto hold = PLUMEX_CUPSPrintJob::holdSignalCleanup();
    auto once = [&]() {
        return extra.empty() ? responseForCommandWithData(command, data)
                             : responseForCommandWithDataExtraData(command, data, extra);
    };
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
    if (_didSpool) return true;
    const tessaron::OrderProtocol protocol = tessaron::orderProtocolFor(_extraFeatures, _fastPrint);
    const auto client = _jrxClientInfo.encode();
    const std::vector<std::uint8_t> payload = tessaron::spoolPayload(protocol, client, _jrxOrderParam2);
    PLUMEX_CUPSLog::debug("sending spool order command:");
    PLUMEX_CUPSLog::logData(payload.data() + client.size(), payload.size() - client.size());
    const auto reply = orderTransaction(tessaron::spoolCommandFor(protocol), payload, {});
    if (!reply) PLUMEX_CUPSLog::fatal("%s", localizedFormat("Failed to spool order: the printer did not answer").c_str());
    if (!reply->empty()) PLUMEX_CUPSLog::fatal("%s", localizedFormat("Failed to spool order %s", lastErrorReply().c_str()).c_str());
    _didSpool = true;
    return _didSpool;
}

void VantrelTessaronJob::ensureAllFramesSent() {
    const std::uint16_t announced = _jrxOrderParam2.FrameNum;
    if (_framesSent >= announced) return;
    PLUMEX_CUPSLog::debug("only %u of %u frames reached the printer", _framesSent, announced);
    failOrder(localizedFormat("Only %d of %d images could be sent; the order was not printed.", static_cast<int>(_framesSent),
                              static_cast<int>(announced)));
}

void VantrelTessaronJob::cancelFastPrintJob() {
    const std::string text = localizedFormat("Cancelling the FAST PRINT order ...");
    if (PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject()) context->info("%s", text.c_str());
    else PLUMEX_CUPSLog::logLevelMessage(PLUMEX_CUPSLog::kLevelInfo, text);
    PLUMEX_CUPSLog::debug("cancelling fast print order for RefID: %llu",
                          static_cast<unsigned long long>(_jrxOrderParam2.RefId));
    const auto client = _jrxClientInfo.encode();
    const std::vector<std::uint8_t> payload = tessaron::cancelPayload(client, _jrxOrderParam2.RefId);
    const auto reply = orderTransaction(tessaron::kCancelFastPrintCommand, payload, {});
    if (!reply || !reply->empty()) PLUMEX_CUPSLog::debug("Failed to cancel order with error %s", lastErrorReply().c_str());
}

void VantrelTessaronJob::cleanupOnSignal(int signalNumber) {
    (void)signalNumber;
    if (_fastPrint && _didSpool) cancelFastPrintJob();
}
