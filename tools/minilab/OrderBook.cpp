#include "OrderBook.h"

#include <cstdio>
#include <ctime>

#include "Codes.h"
#include "Log.h"
#include "RecordJson.h"

namespace tessaron::minilab {

namespace {

Violation storeFailure() {
    return Violation{kDiskFullSpool, 0, "store: the order's files could not be written", false};
}

uint8_t frameCommandFor(uint8_t spoolCommand) {
    switch (spoolCommand) {
    case kSpoolOrder: return kSendPrintData;
    case kSpoolFastPrintOrder: return kSendFastPrintData;
    default: return kTransmitFileAd;
    }
}

Violation mismatch(uint32_t code, const char* field, size_t offset, const char* against) {
    char buf[160];
    snprintf(buf, sizeof buf, "%s differs from the %s of the same order", field, against);
    return Violation{code, kRecordOffset + offset, buf, false};
}

struct Pair {
    const char* frameField;
    const char* orderField;
    uint32_t code;
    bool extendedOnly;
};

constexpr Pair kFrameOrderPairs[] = {
    {"FrameNum", "FrameNum", kInvalidFrameNum, false},
    {"PaperWidth", "PaperWidth", kInvalidPaper, false},
    {"Surface", "Surface", kInvalidPaper, false},
    {"PaperLength", "PaperLengthC", kInvalidPaperLength, false},
    {"Copies", "Copies", kInvalidRepeatNum, true},
    {"Resolut", "Resolut", kInvalidPaper, true},
    {"PaperTone", "PaperTone", kInvalidParameter, true},
};

constexpr const char* kFrameFrameFields[] = {"FrameNum", "Copies", "PaperWidth", "PaperLength", "Surface",
                                             "PaperFittingFlg", "Resolut", "PaperTone", "ImageFormat"};

std::optional<Violation> compareWithOrder(std::span<const uint8_t> frameBytes, std::span<const uint8_t> orderBytes,
                                          bool extended, size_t frameBase, size_t orderBase, bool reportAtFrame) {
    RecordView f(kFrameLayout, frameBytes);
    RecordView o(kOrderLayout, orderBytes.subspan(0, std::min(orderBytes.size(), kOrderLayout.size)));
    for (const auto& p : kFrameOrderPairs) {
        if (p.extendedOnly && !extended) continue;
        if (f.number(p.frameField) != o.number(p.orderField)) {
            size_t at = reportAtFrame ? frameBase + kFrameLayout.find(p.frameField)->offset
                                      : orderBase + kOrderLayout.find(p.orderField)->offset;
            return mismatch(p.code, reportAtFrame ? p.frameField : p.orderField, at, reportAtFrame ? "order" : "frames");
        }
    }
    if (extended && decodeTextField(f.raw("PaperName")) != decodeTextField(o.raw("PaperName"))) {
        size_t at = reportAtFrame ? frameBase + 320 : orderBase + 42;
        return mismatch(kInvalidPaper, "PaperName", at, reportAtFrame ? "order" : "frames");
    }
    return std::nullopt;
}

double now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

}  // namespace

OrderBook::Order& OrderBook::create(uint64_t refId, uint16_t frameNum) {
    Order& o = orders_[refId];
    o.refId = refId;
    o.frameNum = frameNum;
    o.number = store_ ? store_->newOrder() : ++lastNumber_;
    return o;
}

std::optional<Violation> OrderBook::checkAgainstOrder(const Order& order, const FrameArrival& frame) const {
    if (frame.command != order.frameCommand) {
        char buf[120];
        snprintf(buf, sizeof buf, "frame command 0x%02X does not belong to an order of command 0x%02X", frame.command,
                 order.spoolCommand ? order.spoolCommand : order.frameCommand);
        return Violation{kInvalidParameter, 6, buf, false};
    }
    const size_t frameNo = getU16(frame.frame, 4);
    if (order.frames.count(static_cast<uint16_t>(frameNo)))
        return Violation{kInvalidFrameNo, kRecordOffset + 4, "FrameNo: this frame was already received", false};
    if (order.spooled)
        return compareWithOrder(frame.frame, order.orderRecord, order.spoolCommand == kSetOrderAd, kRecordOffset, 0, true);
    RecordView first(kFrameLayout, order.firstFrame), now(kFrameLayout, frame.frame);
    for (const char* field : kFrameFrameFields) {
        if (!now.has(field)) continue;
        if (first.number(field) != now.number(field))
            return mismatch(kInvalidParameter, field, kFrameLayout.find(field)->offset, "earlier frames");
    }
    if (decodeTextField(first.raw("PaperName")) != decodeTextField(now.raw("PaperName")))
        return mismatch(kInvalidPaper, "PaperName", 320, "earlier frames");
    return std::nullopt;
}

std::optional<Violation> OrderBook::checkAgainstFrames(const Order& order, const OrderArrival& arrival) const {
    if (order.frameCommand != frameCommandFor(arrival.command)) {
        char buf[120];
        snprintf(buf, sizeof buf, "spool command 0x%02X does not belong to frames of command 0x%02X", arrival.command,
                 order.frameCommand);
        return Violation{kInvalidParameter, 6, buf, false};
    }
    if (auto v = compareWithOrder(order.firstFrame, arrival.order, arrival.command == kSetOrderAd, 0, kRecordOffset, false))
        return v;
    if (order.frames.size() != order.frameNum)
        return Violation{kInvalidFrameNum, kRecordOffset + 2,
                         "FrameNum: " + std::to_string(order.frameNum) + " frames announced, " +
                             std::to_string(order.frames.size()) + " received",
                         false};
    return std::nullopt;
}

std::optional<Violation> OrderBook::addFrame(const FrameArrival& frame) {
    RecordView f(kFrameLayout, frame.frame);
    const uint64_t refId = f.number("RefId");
    auto it = orders_.find(refId);
    if (it == orders_.end()) {
        if (frame.command == kSendFastPrintData)
            return Violation{kNoSuchOrder, kRecordOffset + 296, "RefId: no fast-print order spooled with this reference", false};
        Order& o = create(refId, static_cast<uint16_t>(f.number("FrameNum")));
        o.frameCommand = frame.command;
        o.firstFrame.assign(frame.frame.begin(), frame.frame.end());
        it = orders_.find(refId);
    } else {
        const Order& o = it->second;
        if (o.cancelled) return Violation{kNoSuchOrder, kRecordOffset + 296, "RefId: the order was cancelled", false};
        if (o.spooled && !o.fastPrint)
            return Violation{kInvalidFrameNo, kRecordOffset + 296, "RefId: the order was already spooled", false};
        if (auto v = checkAgainstOrder(o, frame)) return v;
    }
    Order& order = it->second;
    if (!storeFrame(order, frame)) {
        if (order.frames.empty() && !order.spooled) orders_.erase(it);
        return storeFailure();
    }
    order.frames.insert(static_cast<uint16_t>(f.number("FrameNo")));
    completeIfDone(order);
    return std::nullopt;
}

std::optional<Violation> OrderBook::spool(const OrderArrival& arrival) {
    RecordView o(kOrderLayout, arrival.order.subspan(0, std::min(arrival.order.size(), kOrderLayout.size)));
    const uint64_t refId = o.number("RefId");
    const bool fast = arrival.command == kSpoolFastPrintOrder ||
                      (arrival.command == kSetOrderAd && o.number("FastPrintFlg") == 1);
    auto it = orders_.find(refId);
    if (it != orders_.end()) {
        const Order& existing = it->second;
        if (existing.spooled || existing.cancelled)
            return Violation{kFileExists, kRecordOffset + 32, "RefId: an order with this reference was already spooled", false};
        // A fast-print order is spooled before its first frame, never after.
        if (fast)
            return Violation{kInvalidParameter, kRecordOffset + 80,
                             "fast-print order spooled after its frames had arrived", false};
        if (auto v = checkAgainstFrames(existing, arrival)) return v;
    } else if (!fast) {
        return Violation{kInvalidFrameNum, kRecordOffset + 32, "RefId: no frames were received for this order", false};
    } else {
        Order& created = create(refId, static_cast<uint16_t>(o.number("FrameNum")));
        created.frameCommand = frameCommandFor(arrival.command);
        it = orders_.find(refId);
    }
    Order& order = it->second;
    order.fastPrint = fast;
    if (!storeOrder(order, arrival)) {
        if (order.frames.empty()) orders_.erase(it);
        return storeFailure();
    }
    order.spooled = true;
    order.spoolCommand = arrival.command;
    order.orderRecord.assign(arrival.order.begin(), arrival.order.end());
    logInfo("order %u (RefId %llu) spooled by %s: %u frame(s), %zu received%s", order.number,
            static_cast<unsigned long long>(refId), commandName(arrival.command), order.frameNum, order.frames.size(),
            fast ? ", fast print" : "");
    completeIfDone(order);
    return std::nullopt;
}

std::optional<Violation> OrderBook::cancel(uint64_t refId) {
    auto it = orders_.find(refId);
    if (it == orders_.end() || !it->second.spooled || !it->second.fastPrint || it->second.cancelled)
        return Violation{kNoSuchOrder, kRecordOffset, "RefId: no spooled fast-print order with this reference", false};
    Order& order = it->second;
    order.cancelled = true;
    if (store_) {
        nlohmann::json mark{{"cancelled", true},
                            {"refId", refId},
                            {"framesReceived", order.frames.size()},
                            {"frameNum", order.frameNum},
                            {"time", now()}};
        store_->writeJson(order.number, "cancelled.json", mark);
        if (!order.published) order.published = store_->publish(order.number);
    }
    // Logged once the store shows it, so whoever reads the log finds the marked order.
    logInfo("order %u (RefId %llu) cancelled after %zu of %u frame(s)", order.number,
            static_cast<unsigned long long>(refId), order.frames.size(), order.frameNum);
    return std::nullopt;
}

bool OrderBook::storeFrame(const Order& order, const FrameArrival& frame) {
    if (!store_) return true;
    RecordView f(kFrameLayout, frame.frame);
    const std::string k = std::to_string(f.number("FrameNo"));
    const std::string imageName = "frame-" + k + "." + frame.imageInfo.kind;
    if (!store_->writeFile(order.number, imageName, frame.image)) return false;
    nlohmann::json j{{"command", commandName(frame.command)},
                     {"record", recordJson(f)},
                     {"client", recordJson(RecordView(kClientInfoLayout, frame.clientInfo))},
                     {"backPrint", {{"CVP1", decodeTextField(f.raw("CVP1"))}, {"CVP2", decodeTextField(f.raw("CVP2"))}}},
                     {"image",
                      {{"file", imageName},
                       {"kind", frame.imageInfo.kind},
                       {"width", frame.imageInfo.width},
                       {"height", frame.imageInfo.height},
                       {"bytes", frame.image.size()}}},
                     {"time", now()}};
    // Previews are made on demand (tessaron-minilab --previews), never on the reply path.
    return store_->writeJson(order.number, "frame-" + k + ".json", j);
}

bool OrderBook::storeOrder(const Order& order, const OrderArrival& arrival) {
    if (!store_) return true;
    RecordView o(kOrderLayout, arrival.order.subspan(0, std::min(arrival.order.size(), kOrderLayout.size)));
    nlohmann::json paper = nullptr;
    if (arrival.paper)
        paper = {{"width", arrival.paper->width},           {"surface", arrival.paper->surface},
                 {"resolution", arrival.paper->resolution}, {"lmin", arrival.paper->lmin},
                 {"lmax", arrival.paper->lmax},             {"source", arrival.paper->sheet ? "sheet" : "roll"},
                 {"name", arrival.paper->name}};
    nlohmann::json j{{"order", order.number},
                     {"lab", lab_.name},
                     {"command", commandName(arrival.command)},
                     {"refId", order.refId},
                     {"fastPrint", order.fastPrint},
                     {"frameNum", order.frameNum},
                     {"record", recordJson(o)},
                     {"client", recordJson(RecordView(kClientInfoLayout, arrival.clientInfo))},
                     {"paper", paper},
                     {"time", now()}};
    return store_->writeJson(order.number, "order.json", j);
}

void OrderBook::completeIfDone(Order& order) {
    if (!order.spooled || order.cancelled || order.published || order.frames.size() != order.frameNum) return;
    printedFrames_ += order.frameNum;
    logInfo("order %u complete: %u frame(s)%s%s", order.number, order.frameNum, store_ ? " in " : "",
            store_ ? store_->orderPath(order.number, true).c_str() : "");
    order.published = store_ ? store_->publish(order.number) : true;
}

}  // namespace tessaron::minilab
