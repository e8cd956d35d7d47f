#include "PLUMEX_PrintCoreNetwork.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "PLUMEX_BoundedSocket.h"
#include "PLUMEX_CUPSLog.h"

namespace {

constexpr const char* kShouldStartRunLoop = "shouldStartRunLoop";
constexpr std::chrono::milliseconds kConnectLimit{1000};
// How long the asynchronous request may take to go out.
constexpr std::chrono::milliseconds kAsyncSendLimit{1000};

std::chrono::milliseconds gReconnectPause{5000};

}  // namespace

void PLUMEX_PrintCoreNetwork::setReconnectPause(std::chrono::milliseconds pause) { gReconnectPause = pause; }

PLUMEX_PrintCoreNetwork::PLUMEX_PrintCoreNetwork() = default;

PLUMEX_PrintCoreNetwork::~PLUMEX_PrintCoreNetwork() { destroyOutSocket(); }

// ---- Host and address ------------------------------------------------------------------

void PLUMEX_PrintCoreNetwork::setHostName(const std::optional<std::string>& name) {
    if (_currentHost) {
        _currentHost = false;
        _currentHostIsResolved = 0;
        _resolvedAddresses.clear();
    }
    if (!name) return;
    _currentHost = true;
    _hostName = *name;
}

bool PLUMEX_PrintCoreNetwork::connectToPort(std::uint16_t port) {
    _currentPort = port;
    if (!_currentHost || !_hostName) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(_hostName->c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        _resolutionError = {1, rc};
        return false;
    }
    _resolvedAddresses.clear();
    for (addrinfo* a = list; a; a = a->ai_next) {
        // The platform's address records: a length byte, the family byte, then the rest.
        std::vector<std::uint8_t> record(a->ai_addrlen, 0);
        if (a->ai_family == AF_INET && a->ai_addrlen == sizeof(sockaddr_in)) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
            record[0] = 16;
            record[1] = AF_INET;
            std::memcpy(&record[2], &in->sin_port, 2);
            std::memcpy(&record[4], &in->sin_addr, 4);
        } else {
            record[0] = static_cast<std::uint8_t>(a->ai_addrlen);
            record[1] = static_cast<std::uint8_t>(a->ai_family);
        }
        _resolvedAddresses.push_back(std::move(record));
    }
    ::freeaddrinfo(list);
    _currentHostIsResolved = 1;
    setSocketAddress();
    return true;
}

void PLUMEX_PrintCoreNetwork::setSocketAddress() {
    for (const auto& record : _resolvedAddresses) {
        if (record.size() < 16 || record[0] != 16 || record[1] != AF_INET) continue;
        std::vector<std::uint8_t> copy(record.begin(), record.begin() + 16);
        copy[2] = static_cast<std::uint8_t>(_currentPort >> 8);
        copy[3] = static_cast<std::uint8_t>(_currentPort);
        _addressData = std::move(copy);
        return;
    }
}

std::optional<std::string> PLUMEX_PrintCoreNetwork::stringForCurrentIP4Address() const {
    if (!_addressData || _addressData->size() < 8) return std::nullopt;
    const auto& a = *_addressData;
    return dottedQuadString((std::uint32_t(a[4]) << 24) | (std::uint32_t(a[5]) << 16) | (std::uint32_t(a[6]) << 8) | a[7]);
}

std::string PLUMEX_PrintCoreNetwork::dottedQuadString(std::uint32_t v) {
    return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) +
           "." + std::to_string(v & 0xFF);
}

std::optional<std::string> PLUMEX_PrintCoreNetwork::stringForIPAddress(const sockaddr_in* address) {
    if (!address) return std::nullopt;
    return dottedQuadString(ntohl(address->sin_addr.s_addr));
}

// ---- Run loop --------------------------------------------------------------------------

void PLUMEX_PrintCoreNetwork::setShouldStartRunLoop(bool on) { _values[kShouldStartRunLoop] = on; }

bool PLUMEX_PrintCoreNetwork::shouldStartRunLoop() const { return boolValueForKey(kShouldStartRunLoop); }

bool PLUMEX_PrintCoreNetwork::runLoopIsRunning() { return tessaron::RunLoop::current().isRunning(); }

void PLUMEX_PrintCoreNetwork::startRunLoopIfNecessary() {
    if (runLoopIsRunning()) return;
    _runLoopShouldBeStopped = true;
    tessaron::RunLoop::current().runFor(std::chrono::seconds(360000));
}

// ---- Asynchronous path -----------------------------------------------------------------

void PLUMEX_PrintCoreNetwork::sendData(std::vector<std::uint8_t> data) {
    setDataToSend(std::move(data));
    if (_socketIsConnected && (!_socketIsUsed || _shouldReuseSocket)) {
        sendDataAsync();
        return;
    }
    while (openCurrentPort() == 1) std::this_thread::sleep_for(gReconnectPause);
}

int PLUMEX_PrintCoreNetwork::openCurrentPort() {
    if (!_currentHost || !_addressData) {
        PLUMEX_CUPSLog::debug("aborting from %s after entering with a NULL host.", "-[PLUMEX_PrintCoreNetwork openCurrentPort]");
        return 0;
    }
    destroyOutSocket();
    const std::optional<sockaddr_in> address = tessaron::network::socketAddressFromData(*_addressData);
    if (address) _outSocket = tessaron::network::connectWithin(*address, kConnectLimit, tessaron::network::Blocking::No);
    if (!_outSocket) {
        deviceOffline();
        return 1;
    }
    const int fd = _outSocket.get();
    deviceOnline();
    _socketRunLoopSrc = tessaron::RunLoop::current().addSocket(
        fd, tessaron::RunLoop::ReadEvent | tessaron::RunLoop::ConnectEvent,
        [this](int, unsigned events, int error) { handleSocketEvent(events, error); });
    if (shouldStartRunLoop()) tessaron::RunLoop::current().run();
    return 0;
}

void PLUMEX_PrintCoreNetwork::handleSocketEvent(unsigned events, int error) {
    const bool stopAfter = shouldStartRunLoop();
    if (events & tessaron::RunLoop::ConnectEvent) {
        if (error != 0) {
            PLUMEX_CUPSLog::debug("the socket failed to connect with error code %d", error);
        } else {
            socketDidConnect(tessaron::Notification{"PLUMEX_SocketDidConnect", this});
        }
    } else if (events & tessaron::RunLoop::ReadEvent) {
        PLUMEX_CUPSLog::debug("the socket has data waiting to be read");
        dataWaitingToBeReadOnSocket(_outSocket.get());
    }
    if (stopAfter) tessaron::RunLoop::current().stop();
}

void PLUMEX_PrintCoreNetwork::socketDidConnect(const tessaron::Notification& notification) {
    _socketIsConnected = true;
    sendDataAsync();
    if (_delegate && _delegate != static_cast<void*>(this)) _delegate->socketDidConnect(notification);
}

void PLUMEX_PrintCoreNetwork::newDataAvailable(const tessaron::Notification& notification) {
    if (_delegate) _delegate->newDataAvailable(notification);
}

void PLUMEX_PrintCoreNetwork::sendDataAsync() {
    if (!_dataToSend || !_socketIsConnected) {
        PLUMEX_CUPSLog::debug("tried to send NULL data on outbound connected socket.");
        return;
    }
    _socketIsUsed = true;
    const auto outcome = tessaron::network::sendWithin(_outSocket.get(), *_dataToSend, kAsyncSendLimit,
                                                       tessaron::network::Clock::now() + kAsyncSendLimit);
    // -2 a time-out, -1 an error
    const long result = outcome == tessaron::network::SendResult::Sent      ? 0
                        : outcome == tessaron::network::SendResult::Stalled ? -2
                                                                            : -1;
    if (shouldStartRunLoop()) tessaron::RunLoop::current().run();
    setDataToSend(std::nullopt);
    if (result != 0) PLUMEX_CUPSLog::debug("error %ld sending data", result);
}

void PLUMEX_PrintCoreNetwork::destroyOutSocket() {
    if (_socketRunLoopSrc) {
        tessaron::RunLoop::current().removeSocket(_socketRunLoopSrc);
        _socketRunLoopSrc = 0;
    }
    if (_outSocket) {
        _outSocket.reset();
        _socketIsConnected = false;
        _socketIsUsed = false;
    }
}

// ---- Waiting-data queue ----------------------------------------------------------------

void PLUMEX_PrintCoreNetwork::addToWaitingData(const std::optional<std::vector<std::uint8_t>>& data) {
    if (!data) return;
    _dataQueueIn.push_back(*data);
    newDataAvailable(tessaron::Notification{"newDataAvailable", this});
}

std::uint64_t PLUMEX_PrintCoreNetwork::availableDataSize() const {
    std::uint64_t total = 0;
    for (const auto& b : _dataQueueIn) total += b.size();
    return total;
}

std::optional<std::vector<std::uint8_t>> PLUMEX_PrintCoreNetwork::availableDataPeekAtFirstBytes(std::size_t count) const {
    if (availableDataSize() < count) return std::nullopt;
    std::vector<std::uint8_t> out;
    out.reserve(count);
    for (const auto& b : _dataQueueIn) {
        const std::size_t take = std::min(count - out.size(), b.size());
        out.insert(out.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(take));
        if (out.size() == count) break;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> PLUMEX_PrintCoreNetwork::copyAvailableData() {
    if (_dataQueueIn.empty()) return std::nullopt;
    std::vector<std::uint8_t> out;
    for (auto& b : _dataQueueIn) out.insert(out.end(), b.begin(), b.end());
    _dataQueueIn.clear();
    return out;
}

// ---- Thread registry -------------------------------------------------------------------

namespace {

// The count is changed on the calling thread and on the exiting worker: atomic, so the
// registry itself is free of data races.
std::atomic<std::uint64_t> gThreadCount{0};

struct ThreadExitWatch {
    ~ThreadExitWatch() { PLUMEX_PrintCoreNetwork::threadWillExit(); }
};

}  // namespace

bool PLUMEX_PrintCoreNetwork::newThreadForSelectorToTargetWithObject(std::function<void()> body) {
    const std::uint64_t count = ++gThreadCount;
    if (count > 1) {
        PLUMEX_CUPSLog::debug("waiting for existing thread to exit");
        --gThreadCount;
        return false;
    }
    PLUMEX_CUPSLog::debug("%lu new thread", static_cast<unsigned long>(count));
    std::thread(std::move(body)).detach();
    return true;
}

void PLUMEX_PrintCoreNetwork::registerNewThread() { thread_local ThreadExitWatch watch; (void)watch; }

void PLUMEX_PrintCoreNetwork::threadWillExit() {
    PLUMEX_CUPSLog::debug("a thread is exiting");
    --gThreadCount;
}

std::uint64_t PLUMEX_PrintCoreNetwork::threadCount() { return gThreadCount.load(); }
