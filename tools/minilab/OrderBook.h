// The orders a minilab holds, by order reference: frames that arrive before their order
// (normal mode) or after it (fast print), spooling, completion and cancelling.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>

#include "Config.h"
#include "OrderStore.h"
#include "Validation.h"
#include "Wire.h"

namespace tessaron::minilab {

struct FrameArrival {
    uint8_t command = 0;
    std::span<const uint8_t> clientInfo;
    std::span<const uint8_t> frame;   // the frame part as sent
    std::span<const uint8_t> image;
    ImageInfo imageInfo;
    const Paper* paper = nullptr;
};

struct OrderArrival {
    uint8_t command = 0;
    std::span<const uint8_t> clientInfo;
    std::span<const uint8_t> order;   // the order part as sent
    const Paper* paper = nullptr;
};

class OrderBook {
public:
    OrderBook(const LabConfig& lab, OrderStore* store) : lab_(lab), store_(store) {}

    std::optional<Violation> addFrame(const FrameArrival& frame);
    std::optional<Violation> spool(const OrderArrival& order);
    std::optional<Violation> cancel(uint64_t refId);
    // Frames of completed orders, for the status's print count.
    uint64_t printedFrames() const { return printedFrames_; }

private:
    struct Order {
        uint32_t number = 0;
        uint64_t refId = 0;
        uint16_t frameNum = 0;
        uint8_t frameCommand = 0;
        uint8_t spoolCommand = 0;
        bool spooled = false;
        bool fastPrint = false;      // spooled before its frames
        bool cancelled = false;
        bool published = false;
        std::set<uint16_t> frames;
        Bytes firstFrame;            // the frame part of the first frame, for consistency
        Bytes orderRecord;
        uint16_t copies = 0;
    };

    Order& create(uint64_t refId, uint16_t frameNum);
    std::optional<Violation> checkAgainstOrder(const Order& order, const FrameArrival& frame) const;
    std::optional<Violation> checkAgainstFrames(const Order& order, const OrderArrival& arrival) const;
    // False when the store could not keep the files: the request is then refused, so that
    // no client is told an order was spooled that the store lost.
    bool storeFrame(const Order& order, const FrameArrival& frame);
    bool storeOrder(const Order& order, const OrderArrival& arrival);
    void completeIfDone(Order& order);

    const LabConfig& lab_;
    OrderStore* store_;
    std::map<uint64_t, Order> orders_;
    uint32_t lastNumber_ = 0;
    uint64_t printedFrames_ = 0;
};

}  // namespace tessaron::minilab
