#include "Lab.h"

#include <cstdio>

#include "Codes.h"
#include "Log.h"
#include "Replies.h"

namespace tessaron::minilab {

Lab::Lab(LabConfig config, std::unique_ptr<OrderStore> store)
    : config_(std::move(config)), store_(std::move(store)), orders_(config_, store_.get()) {}

HeaderCheck Lab::inspectHeader(std::span<const uint8_t> header, const std::string& peer) {
    (void)peer;
    return checkHeader(header, config_);
}

Answer Lab::failure(uint8_t command, const Violation& v, const std::string& peer) {
    logError("%s: %s (0x%02X) refused with %u %s: at byte %zu of the request: %s", peer.c_str(), commandName(command),
             command, v.code, resultName(v.code), v.offset, v.what.c_str());
    Answer a;
    a.replies.push_back(encodeReply(config_, command, v.code));
    a.result = v.code;
    a.close = v.fatal;
    return a;
}

Answer Lab::success(uint8_t command, std::vector<Bytes> records) {
    Answer a;
    if (records.empty()) a.replies.push_back(encodeReply(config_, command, kSuccess));
    for (const auto& r : records) a.replies.push_back(encodeReply(config_, command, kSuccess, r));
    return a;
}

Answer Lab::reject(std::span<const uint8_t> header, const Violation& v, const std::string& peer) {
    return failure(header[6], v, peer);
}

StatusStep Lab::nextStatus() {
    if (config_.status.empty()) return StatusStep{};
    uint64_t n = statusRequests_++;
    for (const auto& step : config_.status) {
        if (n < step.repeat) return step;
        n -= step.repeat;
    }
    return config_.status.back();
}

Answer Lab::respond(std::span<const uint8_t> header, std::span<const uint8_t> data, const std::string& peer,
                    uint32_t refusal) {
    const uint8_t command = header[6];
    requestVersion_ = getU32(header, 2);
    logHex("request data", data);
    switch (command) {
    case kGetPrinterInfo:
        return success(command, {infoRecord(config_, ownAddress_)});
    case kGetStatus: {
        if (auto v = checkQueryData(command, data)) return failure(command, *v, peer);
        return success(command, {statusRecord(config_, nextStatus(), config_.printCount + orders_.printedFrames())});
    }
    case kGetErrors: {
        if (auto v = checkQueryData(command, data)) return failure(command, *v, peer);
        // Errors are pending until reported once; a client drains the list until it is empty.
        std::vector<PrinterError> pending = errorsReported_ ? std::vector<PrinterError>{} : config_.errors;
        errorsReported_ = true;
        return success(command, errorRecords(pending));
    }
    case kGetPaper:
    case kGetPaperAd:
        if (auto v = checkQueryData(command, data)) return failure(command, *v, peer);
        return success(command, paperRecords(config_, command == kGetPaperAd));
    case kSpoolOrder:
    case kSpoolFastPrintOrder:
    case kSetOrderAd:
        return orderCommand(command, data, refusal, peer);
    case kSendPrintData:
    case kSendFastPrintData:
    case kTransmitFileAd:
        return imageCommand(command, data, peer);
    case kCancelFastPrintOrder:
        return cancelCommand(data, peer);
    default:
        return failure(command, Violation{kNoSupport, 6, "unknown command", false}, peer);
    }
}

Answer Lab::orderCommand(uint8_t command, std::span<const uint8_t> data, uint32_t refusal, const std::string& peer) {
    auto info = data.subspan(0, kClientInfoSize);
    if (auto v = checkClientInfo(info, requestVersion_)) return failure(command, *v, peer);
    auto order = data.subspan(kClientInfoSize);
    const Paper* paper = nullptr;
    if (auto v = checkOrder(command, info, order, config_, paper)) return failure(command, *v, peer);
    if (refusal) return failure(command, Violation{refusal, 0, "spool refused by configuration", false}, peer);
    if (auto v = orders_.spool(OrderArrival{command, info, order, paper})) return failure(command, *v, peer);
    return success(command);
}

Answer Lab::imageCommand(uint8_t command, std::span<const uint8_t> data, const std::string& peer) {
    auto info = data.subspan(0, kClientInfoSize);
    if (auto v = checkClientInfo(info, requestVersion_)) return failure(command, *v, peer);
    const size_t part = recordLength(command);
    auto frame = data.subspan(kClientInfoSize, part);
    auto image = data.subspan(kClientInfoSize + part);
    const Paper* paper = nullptr;
    if (auto v = checkFrame(command, frame, image.size(), config_, paper)) return failure(command, *v, peer);
    ImageInfo imageInfo;
    if (auto v = checkImage(getU32(frame, 28), image, kRecordOffset + part, config_, imageInfo))
        return failure(command, *v, peer);
    if (auto v = orders_.addFrame(FrameArrival{command, info, frame, image, imageInfo, paper}))
        return failure(command, *v, peer);
    logInfo("%s: frame %u of %u (%s %ux%u, %zu bytes) for RefId %llu", peer.c_str(), getU16(frame, 4), getU16(frame, 2),
            imageInfo.kind, imageInfo.width, imageInfo.height, image.size(),
            static_cast<unsigned long long>(getU64(frame, 296)));
    return success(command);
}

Answer Lab::cancelCommand(std::span<const uint8_t> data, const std::string& peer) {
    auto info = data.subspan(0, kClientInfoSize);
    if (auto v = checkClientInfo(info, requestVersion_))
        return failure(kCancelFastPrintOrder, *v, peer);
    const uint64_t refId = getU64(data, kClientInfoSize);
    if (auto v = orders_.cancel(refId)) return failure(kCancelFastPrintOrder, *v, peer);
    return success(kCancelFastPrintOrder);
}

}  // namespace tessaron::minilab
