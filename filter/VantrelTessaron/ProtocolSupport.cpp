#include "ProtocolSupport.h"

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LocalizedFormat.h"
#include "Notify.h"
#include "PLUMEX_BoundedSocket.h"
#include "PLUMEX_CUPSPrintJob.h"

std::string describeValue(const tessaron::keyedarchive::Value& value, int indent) {
    if (const auto* s = value.string()) return "\"" + *s + "\"";
    if (value.isBool()) return *value.boolean() ? "1" : "0";
    if (value.isReal()) return std::to_string(*value.real());
    if (const auto* dict = value.dictionary()) {
        const std::string pad(static_cast<std::size_t>(indent + 4), ' ');
        std::string out = "{";
        for (const auto& [k, v] : *dict) out += "\n" + pad + k + " = " + describeValue(v, indent + 4) + ";";
        return out + "\n" + std::string(static_cast<std::size_t>(indent), ' ') + "}";
    }
    return std::to_string(*value.integer());
}

void postJRXNotification(const char* name) {
    const std::string uri = PLUMEX_CUPSPrintJob::deviceURI().value_or("");
    std::string error;
    if (!tessaron::notify::postDistributedNotification(name, uri, &error))
        PLUMEX_CUPSLog::debug("could not post %s: %s", name, error.c_str());
}

tessaron::UniqueFd connectToAddressData(const std::vector<std::uint8_t>& address) {
    const std::optional<sockaddr_in> in = tessaron::network::socketAddressFromData(address);
    if (!in) return {};
    return tessaron::network::connectWithin(*in, tessaron::network::kConnectAttemptLimit);
}

namespace tessaron {

void badResponse() { PLUMEX_CUPSLog::fatal("%s", localizedFormat("Bad response from printer.").c_str()); }

network::SendResult sendCommandBytes(int fd, std::span<const std::uint8_t> bytes) {
    const network::SendResult result = network::sendWithin(fd, bytes, network::kSendStallLimit);
    if (result == network::SendResult::Stalled) {
        PLUMEX_CUPSLog::debug("the printer took no data for %lld ms; giving up the send",
                              static_cast<long long>(network::kSendStallLimit.count()));
    } else if (result == network::SendResult::Failed) {
        const int e = errno;
        PLUMEX_CUPSLog::debug("Transmission error %d detected (%s)", e, std::strerror(e));
    }
    return result;
}

}  // namespace tessaron
