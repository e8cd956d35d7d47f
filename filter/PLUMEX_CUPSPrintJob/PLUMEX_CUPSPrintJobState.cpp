// Printer-state reasons per job, and the queue's state as the scheduler reports it.
#include "PLUMEX_CUPSPrintJob.h"

#include <algorithm>
#include <cstdlib>

#include "PLUMEX_CUPSPrintJobInternal.h"

void PLUMEX_CUPSPrintJob::jobStateSet(const std::string& reasons) {
    stateSet(reasons);
    for (std::string& reason : tessaron::printjob::split(reasons, ',')) _printerStates.insert(std::move(reason));
}

void PLUMEX_CUPSPrintJob::jobStateClear(const std::string& reasons) {
    stateClear(reasons);
    for (const std::string& reason : tessaron::printjob::split(reasons, ',')) _printerStates.erase(reason);
}

void PLUMEX_CUPSPrintJob::stateClearAll() {
    const std::set<std::string> snapshot = _printerStates;
    for (const std::string& reason : snapshot) jobStateClear(reason);
}

std::optional<std::map<std::string, std::string>> PLUMEX_CUPSPrintJob::cupsDeviceOptions() {
    const char* printer = getenv("PRINTER");
    if (!printer) return std::nullopt;
    cups_dest_t* dests = nullptr;
    int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    std::optional<std::map<std::string, std::string>> result;
    if (count > 0) {
        if (cups_dest_t* dest = cupsGetDest(printer, nullptr, count, dests)) {
            result.emplace();
            for (int i = 0; i < dest->num_options; ++i) (*result)[dest->options[i].name] = dest->options[i].value;
        }
    }
    cupsFreeDests(count, dests);
    return result;
}

std::optional<std::vector<std::string>> PLUMEX_CUPSPrintJob::cupsDeviceState() {
    auto options = cupsDeviceOptions();
    if (!options) return std::nullopt;
    auto reasons = options->find("printer-state-reasons");
    if (reasons == options->end()) return std::nullopt;
    return tessaron::printjob::split(reasons->second, ',');
}

void PLUMEX_CUPSPrintJob::cupsDeviceStateClearAll() {
    auto options = cupsDeviceOptions();
    if (!options) return;
    auto reasons = options->find("printer-state-reasons");
    if (reasons != options->end()) stateClear(reasons->second);
}

bool PLUMEX_CUPSPrintJob::deviceIsOffline() const {
    auto state = cupsDeviceState();
    if (!state) return false;
    return std::any_of(state->begin(), state->end(), [](const std::string& reason) {
        return reason == "connecting-to-device" || reason == "offline-report";
    });
}
