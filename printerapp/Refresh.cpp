#include "Refresh.h"

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "BackendCommand.h"
#include "DriverData.h"
#include "LabRegistry.h"

namespace tessaron::printerapp {
namespace {

constexpr std::chrono::seconds kQueryDeadline{20};
constexpr std::size_t kMaxReportBytes = 1 << 20;

void refreshPrinter(pappl_printer_t* printer) {
    const char* uri = papplPrinterGetDeviceURI(printer);
    if (!uri) return;
    const std::string deviceURI = uri;
    LabRegistry& registry = LabRegistry::shared();
    if (auto pending = registry.takePending(deviceURI)) applyCapabilities(printer, *pending);
    if (!registry.beginRefresh(deviceURI, std::time(nullptr), kRefreshSeconds)) return;
    std::thread([deviceURI] {
        queryAndStore(deviceURI);
        LabRegistry::shared().endRefresh(deviceURI);
    }).detach();
}

}  // namespace

LabReport queryAndStore(const std::string& deviceURI) {
    const CapturedRun run = runCaptured(labQueryCommand(deviceURI), kQueryDeadline, kMaxReportBytes);
    LabReport report = parseLabReport(run.out);
    LabRegistry::shared().store(deviceURI, report, std::time(nullptr));
    return report;
}

std::vector<int> printerIds(pappl_system_t* system) {
    std::vector<int> ids;
    // Only collected here: the iteration holds the system's lock, which the work below takes.
    papplSystemIteratePrinters(
        system, [](pappl_printer_t* printer, void* data) { static_cast<std::vector<int>*>(data)->push_back(papplPrinterGetID(printer)); },
        &ids);
    return ids;
}

bool refreshTimer(pappl_system_t* system, void*) {
    for (int id : printerIds(system))
        if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr)) refreshPrinter(printer);
    return true;
}

}  // namespace tessaron::printerapp
