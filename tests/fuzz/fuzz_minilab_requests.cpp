// The emulator's strict reading of a client's requests: a stream of requests (header, client
// information, order and frame records, images) against a lab of a chosen protocol version.
// Every answer is a well-formed reply, and a request is never read past its bytes.
#include <iterator>

#include "Config.h"
#include "FuzzSupport.h"
#include "Lab.h"
#include "Wire.h"

using namespace tessaron::fuzz;

namespace {

constexpr uint32_t kVersions[] = {0x01000501, 0x02000000, 0x02020000, 0x03000000};

void requireReplies(const tessaron::minilab::Answer& answer) {
    for (const auto& reply : answer.replies) {
        require(reply.size() >= tessaron::minilab::kHeaderSize, "reply shorter than its header");
        require(reply[0] == 'J' && reply[1] == 'T', "reply without its marker");
        require(tessaron::minilab::getU32(reply, 8) == reply.size() - tessaron::minilab::kHeaderSize, "reply length field is wrong");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    tessaron::minilab::LabConfig config = tessaron::minilab::defaultLab();
    const uint8_t choice = input.byte();
    config.apiVersion = kVersions[choice % std::size(kVersions)];
    config.extraFeatures = config.duplex = config.apiVersion >= 0x03000000;
    tessaron::minilab::Lab lab(config, nullptr);
    for (int request = 0; request < 64 && !input.empty(); ++request) {
        const auto header = input.take(tessaron::minilab::kHeaderSize);
        if (header.size() < tessaron::minilab::kHeaderSize) break;
        const tessaron::minilab::HeaderCheck check = lab.inspectHeader(header, "fuzz");
        if (check.violation && check.violation->fatal) {
            requireReplies(lab.reject(header, *check.violation, "fuzz"));
            break;
        }
        const uint32_t length = tessaron::minilab::getU32(header, 8);
        const auto body = input.take(length);
        if (body.size() < length) break;  // the lab would still be waiting for the rest
        const tessaron::minilab::Answer answer =
            check.violation ? lab.reject(header, *check.violation, "fuzz") : lab.respond(header, body, "fuzz", 0);
        requireReplies(answer);
        if (answer.close) break;
    }
    takeStandardError();  // the emulator's own log, not CUPS lines
    return 0;
}
