// Command framing and synchronous transactions: a fresh blocking socket per command, the
// request sent in full, the reply read within the time limits.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LocalizedFormat.h"
#include "PLUMEX_BoundedSocket.h"
#include "PLUMEX_CUPSJobReport.h"
#include "ProtocolSupport.h"
#include "VantrelTessaronJob.h"

namespace {

std::chrono::milliseconds gReplyPollInterval{100};
constexpr long kWaitReportEvery = 100;   // attempts between "Waiting for the printer ..." reports
constexpr long kMaxWaitAttempts = 3000;  // about five minutes of 100 ms attempts
constexpr auto kHeaderTimeLimit = std::chrono::seconds(4);

}  // namespace

void VantrelTessaronJob::setReplyPollInterval(std::chrono::milliseconds interval) { gReplyPollInterval = interval; }

// ---- Framing ---------------------------------------------------------------------------

std::vector<std::uint8_t> VantrelTessaronJob::dataPayloadForCommandWithDataExtraData(std::uint8_t command,
                                                                                      std::span<const std::uint8_t> data,
                                                                                      std::span<const std::uint8_t> extra) {
    _commandHeader.command = command;
    _commandHeader.dataLength = static_cast<std::uint32_t>(data.size() + extra.size());
    const auto header = _commandHeader.encode();
    std::vector<std::uint8_t> request(header.size() + data.size());
    std::copy(header.begin(), header.end(), request.begin());
    if (!data.empty()) std::copy(data.begin(), data.end(), request.begin() + static_cast<std::ptrdiff_t>(header.size()));
    return request;
}

std::vector<std::uint8_t> VantrelTessaronJob::dataPayloadForCommandWithData(std::uint8_t command,
                                                                             std::span<const std::uint8_t> data) {
    return dataPayloadForCommandWithDataExtraData(command, data, {});
}

bool VantrelTessaronJob::verifyJRXReplyHeaderLength(const std::uint8_t* bytes, std::size_t length) const {
    if (length != tessaron::jrx::kHeaderSize || !bytes) return false;
    if (bytes[0] != 'J' || bytes[1] != 'T' || bytes[6] != _commandHeader.command) return false;
    return (bytes[7] == 0x10 && _commandHeader.command <= 0x20) || (bytes[7] == 0x01 && _commandHeader.command >= 0x21);
}

// ---- Synchronous transactions ----------------------------------------------------------


bool VantrelTessaronJob::sendAllOrFail(std::span<const std::uint8_t> bytes, std::size_t& sent) {
    const auto result = tessaron::sendCommandBytes(_nativeSocket.get(), bytes);
    if (result == tessaron::network::SendResult::Failed) tessaron::badResponse();
    // Stalled: a lab that stopped reading; no reply can come, the caller decides.
    if (result == tessaron::network::SendResult::Stalled) return false;
    sent += bytes.size();
    return true;
}

bool VantrelTessaronJob::openCommandSocket() {
    _nativeSocket.reset();
    if (_addressData) _nativeSocket = connectToAddressData(*_addressData);
    return static_cast<bool>(_nativeSocket);
}

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::responseForCommandExtraData(
    const std::vector<std::uint8_t>& request, std::optional<std::span<const std::uint8_t>> extra) {
    _nativeSocket.reset();
    PLUMEX_CUPSPrintJob* context = PLUMEX_CUPSPrintJob::sharedObject();
    while (!_addressData) {
        tessaron::printjob::reportRecoverable(localizedFormat("\"%s\" is not online!", printerID().c_str()));
        connectToPort(tessaron::jrx::kTessaronPort);  // look again: the name may resolve by now
        setPrinterIP4Address(stringForCurrentIP4Address());
    }
    if (context) context->recoverIfNeeded();

    while (!openCommandSocket())
        tessaron::printjob::reportRecoverable(localizedFormat("\"%s\" is not a TESSaron printer!", printerID().c_str()));
    if (context) context->recoverIfNeeded();

    const std::size_t extraLength = extra ? extra->size() : 0;
    PLUMEX_CUPSLog::debug("sending %lu command bytes", static_cast<unsigned long>(request.size() + extraLength));
    std::size_t sent = 0;
    if (sendAllOrFail(request, sent) && extra) sendAllOrFail(*extra, sent);
    PLUMEX_CUPSLog::debug("sent %lu bytes to %s", static_cast<unsigned long>(sent), printerID().c_str());
    if (sent != request.size() + extraLength) {
        PLUMEX_CUPSLog::debug("failed to send all data.");
        return std::nullopt;
    }

    std::int64_t code = 0;
    auto reply = getVantrelReply(&code);
    if (!reply) {
        PLUMEX_CUPSLog::debug("failed to send data ... attempting transaction again.");
        return std::nullopt;
    }
    PLUMEX_CUPSLog::debug("%s sent reply %ld (%s) for command %.2xH (%s)", printerID().c_str(), static_cast<long>(code),
                          strForJRXResultCode(static_cast<std::uint32_t>(code)), _commandHeader.command,
                          strForJRXCommand(_commandHeader.command));
    if (!reply->empty())
        PLUMEX_CUPSLog::debug("received %lu response bytes from %s", static_cast<unsigned long>(reply->size()),
                              printerID().c_str());
    return reply;
}

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::responseForCommand(const std::vector<std::uint8_t>& request) {
    return responseForCommandExtraData(request, std::nullopt);
}

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::responseForCommandWithData(std::uint8_t command,
                                                                                        std::span<const std::uint8_t> data) {
    return responseForCommand(dataPayloadForCommandWithData(command, data));
}

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::responseForCommandWithDataExtraData(
    std::uint8_t command, std::span<const std::uint8_t> data, std::span<const std::uint8_t> extra) {
    return responseForCommandExtraData(dataPayloadForCommandWithDataExtraData(command, data, extra), extra);
}

// ---- Reading a reply -------------------------------------------------------------------

namespace {

enum class ReadOutcome { Progress, Closed, Reset, Late };

// Waits up to one attempt's length for bytes and receives what is there into `buffer` from
// `have` on. Attempts without bytes are counted; the printer is reported as slow every
// kWaitReportEvery attempts and given up after kMaxWaitAttempts. Past `deadline` (set once
// a reply has begun) it answers Late.
ReadOutcome receiveSome(int fd, std::uint8_t* buffer, std::size_t want, std::size_t& have, long& attempts,
                        tessaron::network::Clock::time_point deadline) {
    for (;;) {
        const auto now = tessaron::network::Clock::now();
        if (now >= deadline) return ReadOutcome::Late;
        const auto untilDeadline = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now) +
                                   std::chrono::milliseconds(1);
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min(gReplyPollInterval, untilDeadline).count()));
        ssize_t n = -1;
        int e = EAGAIN;
        if (ready > 0) {
            n = ::recv(fd, buffer + have, want - have, 0);
            e = errno;
        } else if (ready < 0) {
            e = errno;
        }
        if (n > 0) {
            have += static_cast<std::size_t>(n);
            return ReadOutcome::Progress;
        }
        if (n == 0) return ReadOutcome::Closed;
        if (e != EAGAIN && e != EWOULDBLOCK) PLUMEX_CUPSLog::debug("DEBUG ONLY - Checking Code %d = %s", e, std::strerror(e));
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) {
            ++attempts;
            if (attempts % kWaitReportEvery == 0) {
                tessaron::printjob::reportInfo(localizedFormat("Waiting for the printer ..."));
            }
            if (attempts >= kMaxWaitAttempts) {
                PLUMEX_CUPSLog::debug("Timed out waiting for the printer reply ...");
                tessaron::badResponse();
            }
            continue;
        }
        if (e == ECONNRESET) {
            PLUMEX_CUPSLog::debug("Error: the printer unexepectedly reset the connection (%s)", std::strerror(e));
            return ReadOutcome::Reset;
        }
        PLUMEX_CUPSLog::debug("Error %d connecting to printer: %s", e, std::strerror(e));
        tessaron::badResponse();
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> VantrelTessaronJob::getVantrelReply(std::int64_t* outCode) {
    const int fd = _nativeSocket.get();
    if (fd < 0) return std::nullopt;
    const auto start = std::chrono::steady_clock::now();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    std::uint8_t header[tessaron::jrx::kHeaderSize] = {};
    std::size_t have = 0;
    long attempts = 0;
    // The wait for a reply to begin is the attempts' patience; once its first byte is in, the
    // whole reply has a deadline by its length, so that a trickle cannot hold the job.
    auto deadline = tessaron::network::Clock::time_point::max();
    std::optional<tessaron::network::Clock::time_point> firstByte;
    auto late = [&](std::size_t bytesIn, std::size_t bytesWanted) {
        PLUMEX_CUPSLog::debug("the reply from %s did not complete in time: %lu of %lu bytes; counted as no reply",
                              printerID().c_str(), static_cast<unsigned long>(bytesIn),
                              static_cast<unsigned long>(bytesWanted));
        return std::nullopt;
    };
    while (have < tessaron::jrx::kHeaderSize && std::chrono::steady_clock::now() - start <= kHeaderTimeLimit) {
        const auto outcome = receiveSome(fd, header, tessaron::jrx::kHeaderSize, have, attempts, deadline);
        if (!firstByte && have > 0) {
            firstByte = tessaron::network::Clock::now();
            deadline = *firstByte + tessaron::network::replyDeadline(0);
        }
        if (outcome == ReadOutcome::Late) return late(have, tessaron::jrx::kHeaderSize);
        if (outcome == ReadOutcome::Reset) return std::nullopt;
        if (outcome == ReadOutcome::Closed) {
            // A closed connection never brings the rest: no reply, the caller decides.
            PLUMEX_CUPSLog::debug("Error: the printer closed the connection after %lu reply bytes",
                                  static_cast<unsigned long>(have));
            return std::nullopt;
        }
    }
    if (have < tessaron::jrx::kHeaderSize) {
        PLUMEX_CUPSLog::debug("bad reply header of %ld bytes (expected %d).", static_cast<long>(have),
                              static_cast<int>(tessaron::jrx::kHeaderSize));
        tessaron::badResponse();
    }
    const auto decoded = jrx_command_header_s::decode(header);
    const std::uint32_t dataLength = decoded->dataLength;
    if (!verifyJRXReplyHeaderLength(header, tessaron::jrx::kHeaderSize) || dataLength == 0 ||
        dataLength > tessaron::jrx::maxReplyDataLength(_commandHeader.command)) {
        PLUMEX_CUPSLog::debug("bad command response from %s", printerID().c_str());
        PLUMEX_CUPSLog::logData(header, sizeof header);
        tessaron::badResponse();
    }
    PLUMEX_CUPSLog::logData(header, sizeof header);

    std::vector<std::uint8_t> payload(dataLength, 0);
    std::size_t got = 0;
    deadline = *firstByte + tessaron::network::replyDeadline(dataLength);
    while (got < payload.size()) {
        const auto outcome = receiveSome(fd, payload.data(), payload.size(), got, attempts, deadline);
        if (outcome == ReadOutcome::Late) return late(tessaron::jrx::kHeaderSize + got, tessaron::jrx::kHeaderSize + payload.size());
        if (outcome != ReadOutcome::Progress) break;
    }
    if (got < tessaron::jrx::kResultBlockSize) return std::nullopt;
    if (got < payload.size()) {
        PLUMEX_CUPSLog::debug("incomplete reply: %lu of %lu bytes", static_cast<unsigned long>(got),
                              static_cast<unsigned long>(payload.size()));
        return std::nullopt;
    }
    const std::uint32_t code = tessaron::jrx::getU32(payload.data());
    if (code == tessaron::jrx::JRX_SUCCESS) payload.erase(payload.begin(), payload.begin() + tessaron::jrx::kResultBlockSize);
    _lastReplyCode = code;
    if (outCode) *outCode = code;
    return payload;
}
