// The read event of the run-loop connection: a reply header, its resynchronisation after noise,
// the length check, and the dispatch of information, status and paper records (both record
// forms, lists of any length) read from a socket that holds the hostile bytes.
#include <unistd.h>

#include <iterator>
#include <memory>

#include "FuzzSupport.h"
#include "VantrelTessaronJob.h"

using namespace tessaron::fuzz;

namespace {

constexpr uint8_t kCommands[] = {tessaron::jrx::JRX_GET_PRINTER_INFO, tessaron::jrx::JRX_GET_PAPER, tessaron::jrx::JRX_GET_PAPER_AD, tessaron::jrx::JRX_GET_STATUS};

class ReplyReader : public VantrelTessaronJob {
public:
    void readReplies(uint8_t command, int fd) {
        const uint8_t query[2] = {0, 1};
        dataPayloadForCommandWithData(command, query);  // the command the reply must answer
        const bool extended = command == tessaron::jrx::JRX_GET_PAPER_AD;
        setValueForKey(tessaron::jrx::keys::kExpectedResponseLength,
                       static_cast<std::int64_t>(extended ? tessaron::jrx::kPaperRecordADSize : tessaron::jrx::kPaperRecordSize));
        setValueForKey("shouldStartRunLoop", true);  // a paper list reads on from the same socket
        _outSocket.reset(fd);
        dataWaitingToBeReadOnSocket(fd);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    const uint8_t command = kCommands[input.byte() % std::size(kCommands)];
    const int fd = socketHolding(input.rest());
    if (fd < 0) return 0;
    {
        auto reader = std::unique_ptr<ReplyReader>(new ReplyReader());
        try {
            reader->readReplies(command, fd);
        } catch (const JobEnded&) {
        }
    }
    requireCupsLines();
    return 0;
}
