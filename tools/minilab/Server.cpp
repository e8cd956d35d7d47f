#include "Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Codes.h"
#include "Log.h"

namespace tessaron::minilab {

namespace {

constexpr uint16_t kTcpPort = 5001;
constexpr uint16_t kUdpPort = 5002;
constexpr size_t kDiscoverySize = 44;
constexpr size_t kReadChunk = 256 * 1024;
// Each connection may hold one image of up to the image limit: the count bounds the total.
constexpr size_t kMaxConnections = 32;
constexpr auto kStopGrace = std::chrono::seconds(10);
// A client that sends requests and never reads the replies is read no further once this
// much waits for it; reading resumes when the queue drains.
constexpr size_t kMaxQueuedReplyBytes = 256 * 1024;

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

UniqueFd boundSocket(int type, uint32_t address, uint16_t port, bool reusePort, std::string& error) {
    UniqueFd socket(::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket) {
        error = strerror(errno);
        return socket;
    }
    const int fd = socket.get();
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (reusePort) setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    sockaddr_in sa = socketAddress(address, port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 16) != 0)) {
        error = dottedQuad(address) + ":" + std::to_string(port) + ": " + strerror(errno);
        return UniqueFd();
    }
    return socket;
}

std::string peerName(const sockaddr_in& sa) {
    return dottedQuad(ntohl(sa.sin_addr.s_addr)) + ":" + std::to_string(ntohs(sa.sin_port));
}

bool isBroadcastLike(uint32_t a) {
    return a == INADDR_BROADCAST || a == INADDR_ANY || (isLoopback(a) && (a & 0xFF) == 0xFF);
}

}  // namespace

bool isLoopback(uint32_t address) { return (address >> 24) == 127; }

Server::~Server() = default;

bool Server::addLab(std::unique_ptr<Lab> lab) {
    const std::string& text = lab->config().address;
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        logError("%s: not an IPv4 address", text.c_str());
        return false;
    }
    const uint32_t address = ntohl(parsed.s_addr);
    if (isBroadcastLike(address) || (!isLoopback(address) && !options_.allowNonLoopback)) {
        logError("%s: refusing to bind outside 127.0.0.0/8 (or a broadcast address); see --allow-non-loopback",
                 text.c_str());
        return false;
    }
    auto s = std::make_unique<LabSockets>();
    std::string error;
    s->listenFd = boundSocket(SOCK_STREAM, address, kTcpPort, false, error);
    if (s->listenFd) s->unicastFd = boundSocket(SOCK_DGRAM, address, kUdpPort, true, error);
    // Broadcast queries reach only sockets bound to the broadcast or the wildcard address.
    const uint32_t hears = isLoopback(address) ? 0x7FFFFFFFu : INADDR_ANY;
    if (s->unicastFd) s->broadcastFd = boundSocket(SOCK_DGRAM, hears, kUdpPort, true, error);
    if (!s->broadcastFd) {
        logError("cannot bind: %s", error.c_str());
        s->listenFd.reset();
        s->unicastFd.reset();
        return false;
    }
    lab->setOwnAddress(address);
    logInfo("lab \"%s\" on %s: API %s, extra features %s, duplex %s, %zu paper(s)", lab->config().name.c_str(),
            text.c_str(), versionText(lab->config().apiVersion).c_str(), lab->config().extraFeatures ? "yes" : "no",
            lab->config().duplex ? "yes" : "no", lab->config().papers.size());
    s->lab = std::move(lab);
    labs_.push_back(std::move(s));
    return true;
}

void Server::answerDiscovery(LabSockets& lab, int fd) {
    uint8_t buf[128];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = ::recvfrom(fd, buf, sizeof buf, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    const std::string peer = peerName(from);
    const uint32_t querier = ntohl(from.sin_addr.s_addr);
    const size_t size = static_cast<size_t>(n);
    const uint8_t kQuery[4] = {0x00, 0x0F, 0x00, 0x01};
    const char* problem = nullptr;
    if (size != kDiscoverySize) problem = "not 44 bytes";
    else if (memcmp(buf, kQuery, 4) != 0) problem = "does not start with 00 0F 00 01";
    else {
        for (size_t i = 4; i < kDiscoverySize && !problem; ++i)
            if (buf[i]) problem = "bytes 4 to 43 are not zero";
    }
    if (problem) {
        logInfo("discovery: ignored %zd-byte datagram from %s: %s", n, peer.c_str(), problem);
        return;
    }
    if (isBroadcastLike(querier) || (!isLoopback(querier) && !options_.allowNonLoopback)) {
        logError("discovery: not answering the query from %s (outside loopback or a broadcast address)", peer.c_str());
        return;
    }
    Bytes reply(kDiscoverySize, 0);
    reply[1] = 0x0F;
    reply[3] = 0x02;
    const std::string name = truncateUtf8(lab.lab->config().name, kDiscoverySize - 5);
    memcpy(reply.data() + 4, name.data(), name.size());
    // Replies go to the querying host's discovery port, whatever port the query came from.
    sockaddr_in to = socketAddress(querier, kUdpPort);
    ssize_t sent = ::sendto(lab.unicastFd.get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    logInfo("discovery: query from %s answered as \"%s\" to %s:%u%s", peer.c_str(), name.c_str(),
            dottedQuad(querier).c_str(), kUdpPort, sent == static_cast<ssize_t>(reply.size()) ? "" : " (send failed)");
}

void Server::acceptOn(LabSockets& lab) {
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        UniqueFd fd(::accept4(lab.listenFd.get(), reinterpret_cast<sockaddr*>(&from), &len, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) return;
        if (connections_.size() >= kMaxConnections) {
            logError("%s: refused: already %zu connections open", peerName(from).c_str(), connections_.size());
            continue;
        }
        int one = 1;
        // Split replies must leave as separate segments.
        setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = std::move(fd);
        c->lab = &lab;
        c->peer = peerName(from);
        logDetail("%s: connected", c->peer.c_str());
        connections_.push_back(std::move(c));
    }
}

void Server::resetConnection(Connection& c) {
    linger l{1, 0};
    setsockopt(c.fd.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    c.fd.reset();
    c.dead = true;
}

void Server::onHeader(Connection& c) {
    c.haveHeader = true;
    const uint8_t command = c.header[6];
    c.plan = c.lab->faults.plan(c.lab->lab->config().faults, command);
    HeaderCheck check = c.lab->lab->inspectHeader(c.header, c.peer);
    c.headerViolation = check.violation;
    if (c.plan.stopReading) {
        logInfo("%s: %s: fault: no longer reading this connection", c.peer.c_str(), commandName(command));
        c.stoppedReading = true;
        return;
    }
    if (c.plan.reset && !check.violation) {
        logInfo("%s: %s: fault: connection reset before the image", c.peer.c_str(), commandName(command));
        resetConnection(c);
        return;
    }
    if (check.violation && check.violation->fatal) {
        Answer a = c.lab->lab->reject(c.header, *check.violation, c.peer);
        queue(c, shapeReply(a.replies, FaultPlan{}));
        c.closeAfterWrite = true;
        return;
    }
    c.dataLength = getU32(c.header, 8);
    c.data.clear();
    // An image goes into the memory the last one used, instead of growing and faulting in a
    // fresh buffer for every frame.
    if (c.dataLength > kReadChunk && c.data.capacity() < spareData_.capacity()) c.data.swap(spareData_);
    if (c.dataLength == 0) onRequest(c);
}

void Server::onRequest(Connection& c) {
    const uint8_t command = c.header[6];
    Answer a = c.headerViolation ? c.lab->lab->reject(c.header, *c.headerViolation, c.peer)
                                 : c.lab->lab->respond(c.header, c.data, c.peer, c.plan.spoolRefusal);
    logInfo("%s: 0x%02X %s, %zu data bytes -> %u %s (%zu repl%s)", c.peer.c_str(), command, commandName(command),
            c.data.size(), a.result, resultName(a.result), a.replies.size(), a.replies.size() == 1 ? "y" : "ies");
    c.haveHeader = false;
    c.header.clear();
    // One image buffer is kept for the next request; the count of connections bounds the rest.
    c.data.clear();
    if (c.data.capacity() > spareData_.capacity()) spareData_.swap(c.data);
    c.data = Bytes();
    c.headerViolation.reset();
    if (c.plan.closeWithoutReply) {
        logInfo("%s: fault: closing without a reply", c.peer.c_str());
        c.fd.reset();
        c.dead = true;
        return;
    }
    if (c.plan.noise.size() || c.plan.segment || c.plan.delayMs || c.plan.lengthDelta || c.plan.dataLength)
        logInfo("%s: fault: reply shaped (delay %u ms, %zu noise bytes, segments of %u, length %s)", c.peer.c_str(),
                c.plan.delayMs, c.plan.noise.size(), c.plan.segment,
                c.plan.dataLength ? "replaced" : c.plan.lengthDelta ? "off" : "as is");
    queue(c, shapeReply(a.replies, c.plan));
    c.closeAfterWrite = c.closeAfterWrite || a.close;
}

bool Server::takesRequests(const Connection& c) {
    return !c.stoppedReading && !c.closeAfterWrite && c.outBytes < kMaxQueuedReplyBytes;
}

void Server::queue(Connection& c, std::vector<Segment> segments) {
    const bool idle = c.out.empty();
    for (auto& s : segments) {
        c.outBytes += s.bytes.size();
        c.out.push_back(std::move(s));
    }
    if (idle && !c.out.empty()) {
        c.outOffset = 0;
        c.nextWrite = Clock::now() + std::chrono::milliseconds(c.out.front().delayMs);
    }
}

void Server::readFrom(Connection& c) {
    for (;;) {
        if (c.stoppedReading) return;
        if (!c.haveHeader) {
            if (!takesRequests(c)) return;
            // Header bytes are staged in `data` until all 16 are in.
            const size_t got = c.data.size();
            c.data.resize(kHeaderSize);
            ssize_t n = ::recv(c.fd.get(), c.data.data() + got, kHeaderSize - got, 0);
            if (n <= 0) {
                c.data.resize(got);
                if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    if (got) logError("%s: connection closed inside a request header (%zu bytes)", c.peer.c_str(), got);
                    c.dead = true;
                }
                return;
            }
            c.data.resize(got + static_cast<size_t>(n));
            if (c.data.size() < kHeaderSize) continue;
            c.header.assign(c.data.begin(), c.data.end());
            c.data.clear();
            onHeader(c);
            if (c.dead || c.closeAfterWrite) return;
            continue;
        }
        const size_t have = c.data.size();
        const size_t want = std::min(kReadChunk, c.dataLength - have);
        // Grows with what arrives, never with what the header claims.
        c.data.resize(have + want);
        ssize_t n = ::recv(c.fd.get(), c.data.data() + have, want, 0);
        if (n <= 0) {
            c.data.resize(have);
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                logError("%s: %s: connection closed after %zu of %zu data bytes", c.peer.c_str(),
                         commandName(c.header[6]), have, c.dataLength);
                c.dead = true;
            }
            return;
        }
        c.data.resize(have + static_cast<size_t>(n));
        if (c.data.size() == c.dataLength) {
            onRequest(c);
            if (c.dead || c.closeAfterWrite) return;
        }
    }
}

void Server::writeTo(Connection& c) {
    while (!c.out.empty() && Clock::now() >= c.nextWrite) {
        Segment& s = c.out.front();
        ssize_t n = ::send(c.fd.get(), s.bytes.data() + c.outOffset, s.bytes.size() - c.outOffset, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return;
            logError("%s: write failed: %s", c.peer.c_str(), strerror(errno));
            c.dead = true;
            return;
        }
        c.outOffset += static_cast<size_t>(n);
        if (c.outOffset < s.bytes.size()) return;
        c.outBytes -= s.bytes.size();
        c.out.pop_front();
        c.outOffset = 0;
        if (!c.out.empty()) c.nextWrite = Clock::now() + std::chrono::milliseconds(c.out.front().delayMs);
    }
    if (c.out.empty() && c.closeAfterWrite) {
        c.fd.reset();
        c.dead = true;
    }
}

int Server::pollTimeout() const {
    auto now = Clock::now();
    int timeout = stopping_ ? 100 : -1;
    for (const auto& c : connections_) {
        if (c->out.empty() || c->nextWrite <= now) continue;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(c->nextWrite - now).count() + 1;
        if (timeout < 0 || ms < timeout) timeout = static_cast<int>(ms);
    }
    return timeout;
}

int Server::run() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    signalFd_.reset(signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    signal(SIGPIPE, SIG_IGN);
    if (!signalFd_) {
        logError("signalfd: %s", strerror(errno));
        return 1;
    }
    std::string where;
    for (const auto& l : labs_) where += (where.empty() ? "" : ", ") + l->lab->config().address;
    logInfo("ready on %s (TCP 5001, UDP 5002)", where.c_str());
    // The line test helpers wait for, always on standard error.
    dprintf(STDERR_FILENO, "tessaron-minilab: ready on %s\n", where.c_str());
    Clock::time_point stopDeadline{};
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<int, void*>> owners;   // kind, object
        fds.push_back({signalFd_.get(), POLLIN, 0});
        owners.push_back({0, nullptr});
        if (!stopping_) {
            for (auto& l : labs_) {
                for (int fd : {l->listenFd.get(), l->unicastFd.get(), l->broadcastFd.get()}) {
                    fds.push_back({fd, POLLIN, 0});
                    owners.push_back({fd == l->listenFd.get() ? 1 : 2, l.get()});
                }
            }
        }
        auto now = Clock::now();
        for (auto& c : connections_) {
            short events = 0;
            if (!stopping_ && takesRequests(*c)) events |= POLLIN;
            if (!c->out.empty() && c->nextWrite <= now) events |= POLLOUT;
            fds.push_back({c->fd.get(), events, 0});
            owners.push_back({3, c.get()});
        }
        int ready = ::poll(fds.data(), fds.size(), pollTimeout());
        if (ready < 0 && errno != EINTR) {
            logError("poll: %s", strerror(errno));
            return 1;
        }
        for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            auto [kind, object] = owners[i];
            if (kind == 0) {
                signalfd_siginfo info{};
                if (::read(signalFd_.get(), &info, sizeof info) > 0 && !stopping_) {
                    logInfo("signal %u: finishing pending replies, then stopping", info.ssi_signo);
                    stopping_ = true;
                    stopDeadline = Clock::now() + kStopGrace;
                }
            } else if (kind == 1) {
                acceptOn(*static_cast<LabSockets*>(object));
            } else if (kind == 2) {
                auto* lab = static_cast<LabSockets*>(object);
                answerDiscovery(*lab, fds[i].fd);
            } else {
                auto* c = static_cast<Connection*>(object);
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    if (c->fd && !c->dead && !stopping_) readFrom(*c);
                    else if (fds[i].revents & (POLLHUP | POLLERR)) c->dead = true;
                }
                if (c->fd && !c->dead) writeTo(*c);
            }
        }
        // Timed segments become due without a socket event.
        for (auto& c : connections_)
            if (!c->dead && c->fd && !c->out.empty()) writeTo(*c);
        std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) {
            if (c->dead) c->fd.reset();
            return c->dead;
        });
        if (stopping_) {
            for (auto& l : labs_) {
                l->listenFd.reset();
                l->unicastFd.reset();
                l->broadcastFd.reset();
            }
            bool pending = false;
            for (auto& c : connections_) pending = pending || !c->out.empty();
            if (!pending || Clock::now() >= stopDeadline) {
                logInfo("stopped");
                return 0;
            }
        }
    }
}

}  // namespace tessaron::minilab
