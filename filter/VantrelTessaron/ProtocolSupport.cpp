#include "ProtocolSupport.h"

#include "Notify.h"
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
