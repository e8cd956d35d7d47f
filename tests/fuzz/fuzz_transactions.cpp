// Synchronous transactions against a lab whose replies are the hostile bytes: the reply
// header and its length check, the result block, and the information, status and error
// replies and the paper list (both record forms) as the command driver and the print job
// read them. The lab is a listener on an ephemeral loopback port of this process.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <atomic>
#include <cstring>
#include <thread>

#include "FuzzSupport.h"
#include "VantrelTessaronJob.h"

using namespace tessaron::fuzz;

namespace {

// One listener for the whole run; each input is served to the first connection made for it.
struct Listener {
    int fd = -1;
    std::vector<uint8_t> address;  // family, port, IPv4 address, as the client keeps it

    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof in;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0 || ::listen(fd, 16) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length) != 0)
            finding("cannot listen on loopback");
        address.assign(8, 0);
        address[1] = AF_INET;
        std::memcpy(&address[2], &in.sin_port, 2);
        std::memcpy(&address[4], &in.sin_addr, 4);
    }
};

// Serves `reply` on the first connection, drops later ones, until `done`.
void serve(int listener, std::span<const uint8_t> reply, const std::atomic<bool>& done) {
    bool served = false;
    while (!done) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer < 0) continue;
        if (!served) {
            served = true;
            size_t sent = 0;
            while (sent < reply.size()) {
                const ssize_t n = ::send(peer, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
        }
        ::shutdown(peer, SHUT_WR);
        // Reads the request until the client closes, so that closing never resets the reply.
        char sink[4096];
        for (;;) {
            pollfd q{peer, POLLIN, 0};
            if (::poll(&q, 1, 1000) <= 0 || ::recv(peer, sink, sizeof sink, 0) <= 0) break;
        }
        ::close(peer);
    }
}

class LabClient : public VantrelTessaronJob {
public:
    explicit LabClient(const std::vector<uint8_t>& address) {
        _addressData = address;
        _hostName = "127.0.0.1";
        _printerName = "fuzz";
    }
    void ask(uint8_t what) {
        switch (what % 5) {
            case 0: getInfo(); break;
            case 1: getTessaronStatus(); break;
            case 2: getErrorStatus(); break;
            case 3: getRegisteredPapers(); break;
            default: {
                // The extended form is asked for once the information reply has shown extra features.
                std::uint8_t info[tessaron::jrx::kPrinterInfoSize] = {'L', 'a', 'b'};
                tessaron::jrx::putU32(info + 20, 0x03000000);
                tessaron::jrx::putU16(info + 30, 1);
                processInfoResponse(info);
                getRegisteredPapers();
                break;
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    static Listener listener;
    VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds(1));
    InputReader input({data, size});
    const uint8_t what = input.byte();
    const auto reply = input.rest();
    std::atomic<bool> done{false};
    std::thread lab(serve, listener.fd, reply, std::cref(done));
    {
        LabClient client(listener.address);
        try {
            client.ask(what);
        } catch (const JobEnded&) {
        }
    }
    done = true;
    lab.join();
    requireCupsLines();
    return 0;
}
