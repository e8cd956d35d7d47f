// One emulated minilab's protocol behaviour: checks a request and answers it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Config.h"
#include "OrderBook.h"
#include "OrderStore.h"
#include "Validation.h"
#include "Wire.h"

namespace tessaron::minilab {

struct Answer {
    std::vector<Bytes> replies;   // each a header and its payload
    uint32_t result = 0;          // result code of the first reply
    bool close = false;           // the stream is out of step: close after the replies
};

class Lab {
public:
    Lab(LabConfig config, std::unique_ptr<OrderStore> store);

    const LabConfig& config() const { return config_; }
    uint32_t ownAddress() const { return ownAddress_; }
    void setOwnAddress(uint32_t address) { ownAddress_ = address; }

    // Checks a header before its data is read; a fatal violation means the data is not read.
    HeaderCheck inspectHeader(std::span<const uint8_t> header, const std::string& peer);
    // Answers a whole request. `refusal` (non-zero) is the result a spool command gets instead.
    Answer respond(std::span<const uint8_t> header, std::span<const uint8_t> data, const std::string& peer,
                   uint32_t refusal = 0);
    // The answer to a header that failed inspection.
    Answer reject(std::span<const uint8_t> header, const Violation& v, const std::string& peer);

private:
    Answer failure(uint8_t command, const Violation& v, const std::string& peer);
    Answer success(uint8_t command, std::vector<Bytes> records = {});
    Answer orderCommand(uint8_t command, std::span<const uint8_t> data, uint32_t refusal, const std::string& peer);
    Answer imageCommand(uint8_t command, std::span<const uint8_t> data, const std::string& peer);
    Answer cancelCommand(std::span<const uint8_t> data, const std::string& peer);
    StatusStep nextStatus();

    LabConfig config_;
    std::unique_ptr<OrderStore> store_;
    OrderBook orders_;
    uint32_t ownAddress_ = 0;
    uint32_t requestVersion_ = 0;   // the serverVersion of the request being answered
    uint64_t statusRequests_ = 0;
    bool errorsReported_ = false;
};

}  // namespace tessaron::minilab
