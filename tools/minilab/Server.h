// The emulator's event loop: per lab a TCP listener on port 5001 and discovery sockets on
// UDP port 5002, client connections, timed reply segments, and the stop signal.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"
#include "Lab.h"
#include "UniqueFd.h"

namespace tessaron::minilab {

struct ServerOptions {
    bool allowNonLoopback = false;
};

class Server {
public:
    explicit Server(ServerOptions options) : options_(options) {}
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the lab's sockets; false (with a logged reason) when it cannot.
    bool addLab(std::unique_ptr<Lab> lab);
    // Runs until SIGTERM or SIGINT; answers the exit status.
    int run();

private:
    using Clock = std::chrono::steady_clock;

    struct LabSockets {
        std::unique_ptr<Lab> lab;
        FaultCounter faults;
        UniqueFd listenFd;
        UniqueFd unicastFd;     // own address:5002, also the source of discovery replies
        UniqueFd broadcastFd;   // 127.255.255.255:5002 (any address:5002 off loopback)
    };

    struct Connection {
        UniqueFd fd;
        LabSockets* lab = nullptr;
        std::string peer;
        Bytes header;
        Bytes data;
        size_t dataLength = 0;
        bool haveHeader = false;
        std::optional<Violation> headerViolation;
        FaultPlan plan;
        std::deque<Segment> out;
        size_t outBytes = 0;     // reply bytes queued and not yet sent
        size_t outOffset = 0;
        bool stoppedReading = false;
        Clock::time_point nextWrite{};
        bool closeAfterWrite = false;
        bool dead = false;
    };

    void acceptOn(LabSockets& lab);
    void readFrom(Connection& c);
    void onHeader(Connection& c);
    void onRequest(Connection& c);
    void writeTo(Connection& c);
    void queue(Connection& c, std::vector<Segment> segments);
    void answerDiscovery(LabSockets& lab, int fd);
    void resetConnection(Connection& c);
    int pollTimeout() const;
    // Whether the connection's requests may be read: not while its replies are not being taken.
    static bool takesRequests(const Connection& c);

    ServerOptions options_;
    std::vector<std::unique_ptr<LabSockets>> labs_;
    std::vector<std::unique_ptr<Connection>> connections_;
    Bytes spareData_;   // the largest finished request's buffer, emptied, for the next image
    UniqueFd signalFd_;
    bool stopping_ = false;
};

// Whether an IPv4 address (host order) lies in 127.0.0.0/8.
bool isLoopback(uint32_t address);

}  // namespace tessaron::minilab
