#include "ProtocolSupport.h"

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

int connectToAddressData(const std::vector<std::uint8_t>& address) {
    if (address.size() < 8) return -1;
    sockaddr_in in{};
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_port, &address[2], 2);
    std::memcpy(&in.sin_addr, &address[4], 4);
    return tessaron::network::connectWithin(in, tessaron::network::kConnectAttemptLimit);
}
