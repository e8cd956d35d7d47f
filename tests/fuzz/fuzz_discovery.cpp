// Discovery datagrams from anyone on the lab's network: a reply yields exactly one well-formed
// device line whatever its name field holds, and any other datagram one safe debug line.
#include <arpa/inet.h>

#include "DiscoveryDatagram.h"
#include "FuzzSupport.h"
#include "PLUMEX_CUPSLog.h"

using namespace tessaron::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    const uint32_t sender = input.u32();
    char address[INET_ADDRSTRLEN] = {};
    const in_addr in{htonl(sender)};
    inet_ntop(AF_INET, &in, address, sizeof address);
    const auto datagram = input.rest();

    if (tessaron::backend::isDiscoveryReply(datagram.data(), datagram.size())) {
        const std::string line = tessaron::backend::deviceLineForReply(datagram.data(), datagram.size(), address);
        const std::string problem = deviceLineProblem(line);
        if (!problem.empty()) finding(problem + ": " + line.substr(0, 200));
        const std::string name = tessaron::backend::replyPrinterName(datagram.data(), datagram.size());
        require(name.size() <= datagram.size(), "printer name longer than the datagram");
    } else {
        const std::string line = tessaron::backend::strayDatagramLine(datagram.data(), datagram.size(), address);
        require(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1,
                "the dump of a stray datagram is not one line");
        PLUMEX_CUPSLog::debug("%s", line.substr(0, line.size() - 1).c_str());
    }
    requireCupsLines();
    return 0;
}
