#include "App.h"

#include <pappl/pappl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "DeviceLines.h"
#include "Devices.h"
#include "DriverData.h"
#include "Refresh.h"
#include "StatusPage.h"
#include "VendorOptions.h"
#include "WebFooter.h"

#ifndef TESSARON_VERSION
#define TESSARON_VERSION "0"
#endif

namespace tessaron::printerapp {
namespace {

constexpr const char* kAppName = "tessaron-printer-app";
constexpr const char* kFooter = "Tessaron driver suite for Vantrel JRX minilabs";
constexpr const char* kDefaultListen = "localhost";

// Only a server keeps state: "drivers" and its kind make a system too, and loading the
// printers would query every lab.
bool gServing = false;

pappl_pr_driver_t gDrivers[] = {{kDriverName, kDriverDescription, kDeviceID, nullptr}};

const char* autoAdd(const char*, const char* deviceURI, const char* deviceID, void*) {
    if (deviceURI && std::strncmp(deviceURI, "vantrelps://", 12) == 0) return kDriverName;
    if (deviceID && std::strstr(deviceID, "MFG:Vantrel;")) return kDriverName;
    return nullptr;
}

bool makeDriver(pappl_system_t*, const char* driverName, const char* deviceURI, const char*,
                pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
    if (!driverName || std::strcmp(driverName, kDriverName) != 0) return false;
    fillFixedDriverData(*data);
    HighWaterMarks marks;
    const LabReport report = deviceURI ? queryAndStore(deviceURI) : LabReport{};
    const Capabilities caps = capabilitiesFor(report, marks);
    fillLabDriverData(*data, caps);
    *attrs = ippNew();
    addVendorAttributes(*attrs, {});
    addAlertAttributes(*attrs, caps);
    return true;
}

pappl_loglevel_t logLevel(const char* text) {
    if (!text) return PAPPL_LOGLEVEL_WARN;
    const std::string level = text;
    if (level == "fatal") return PAPPL_LOGLEVEL_FATAL;
    if (level == "error") return PAPPL_LOGLEVEL_ERROR;
    if (level == "info") return PAPPL_LOGLEVEL_INFO;
    if (level == "debug") return PAPPL_LOGLEVEL_DEBUG;
    return PAPPL_LOGLEVEL_WARN;
}

// Runs under the system's read lock (PAPPL's timers do): nothing here may take it for writing.
bool maintainPrinters(pappl_system_t* system, void*) {
    for (int id : printerIds(system))
        if (pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr)) linkStatusPage(printer);
    return refreshTimer(system, nullptr);
}

bool saveState(pappl_system_t* system, void* path) { return papplSystemSaveState(system, static_cast<const char*>(path)); }

// The state file named with -o state-file (the service, tests and the demo name theirs);
// without it one per user, as PAPPL's own servers keep: PAPPL loads and saves nothing for a
// server whose system the application makes.
std::string defaultStateFile() {
    constexpr const char* kFileName = "/tessaron-printer-app.state";
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) return config + std::string(kFileName);
    if (const char* home = std::getenv("HOME"); home && *home && ::getuid() != 0) {
        const std::string directory = home + std::string("/.config");
        ::mkdir(directory.c_str(), 0700);
        return directory + kFileName;
    }
    return std::string("/var/lib") + kFileName;
}

// Text defaults come back from the state file with PAPPL's escapes still in them.
void restoreTextDefaults(pappl_system_t* system) {
    for (int id : printerIds(system)) {
        pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, id, nullptr);
        pappl_pr_driver_data_t data;
        if (!printer || !papplPrinterGetDriverData(printer, &data)) continue;
        const std::map<std::string, std::string> saved = savedVendorDefaults(printer);
        cups_option_t* restored = nullptr;
        int count = 0;
        for (const VendorOption& option : vendorOptions()) {
            const auto it = saved.find(std::string(option.name) + "-default");
            if (option.text && it != saved.end())
                count = cupsAddOption(option.name, unescapedSavedText(it->second).c_str(), count, &restored);
        }
        if (count > 0) papplPrinterSetDriverDefaults(printer, &data, count, restored);
        cupsFreeOptions(count, restored);
    }
}

void useStateFile(pappl_system_t* system, const char* path) {
    static std::string stateFile;
    stateFile = path ? path : defaultStateFile();
    if (papplSystemLoadState(system, stateFile.c_str())) restoreTextDefaults(system);
    papplSystemSetSaveCallback(system, saveState, stateFile.data());
}

// The server listens where it is told (loopback unless told otherwise) and advertises
// nothing of its own accord: its DNS-SD names stay unset.
pappl_system_t* makeSystem(int numOptions, cups_option_t* options, void*) {
    const char* portText = cupsGetOption("server-port", numOptions, options);
    const int port = portText ? std::atoi(portText) : 0;
    const char* listen = cupsGetOption("listen-hostname", numOptions, options);
    pappl_system_t* system = papplSystemCreate(
        static_cast<pappl_soptions_t>(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                                      PAPPL_SOPTIONS_NO_TLS),
        "Tessaron Printer Application", port, nullptr, cupsGetOption("spool-directory", numOptions, options),
        cupsGetOption("log-file", numOptions, options), logLevel(cupsGetOption("log-level", numOptions, options)),
        cupsGetOption("auth-service", numOptions, options), false);
    if (!system) return nullptr;
    papplSystemSetHostName(system, listen ? listen : kDefaultListen);
    if (!cupsGetOption("private-server", numOptions, options)) papplSystemAddListeners(system, listen ? listen : kDefaultListen);
    if (const char* group = cupsGetOption("admin-group", numOptions, options)) papplSystemSetAdminGroup(system, group);
    papplSystemSetPrinterDrivers(system, static_cast<int>(std::size(gDrivers)), gDrivers, autoAdd, nullptr, makeDriver,
                                 nullptr);
    papplSystemSetFooterHTML(system, webFooterHTML());
    registerStatusPage(system);
    papplSystemAddTimerCallback(system, 0, kTimerSeconds, maintainPrinters, nullptr);
    if (gServing) useStateFile(system, cupsGetOption("state-file", numOptions, options));
    return system;
}

// The sub-command is the first argument that is neither an option nor an option's value.
std::string_view subcommandOf(int argc, char* argv[]) {
    static constexpr std::string_view kTakesValue = "adhjmnouv";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() == 2 && arg[0] == '-' && kTakesValue.find(arg[1]) != std::string_view::npos) {
            ++i;
        } else if (!arg.empty() && arg[0] != '-') {
            return arg;
        }
    }
    return {};
}

}  // namespace

int runMainloop(int argc, char* argv[]) {
    registerDeviceScheme();
    const std::string_view subcommand = subcommandOf(argc, argv);
    if (subcommand == "devices") return listMinilabs();
    gServing = subcommand == "server";
    return papplMainloop(argc, argv, TESSARON_VERSION, kFooter, static_cast<int>(std::size(gDrivers)), gDrivers, autoAdd,
                         makeDriver, nullptr, nullptr, makeSystem, nullptr, nullptr);
}

}  // namespace tessaron::printerapp
