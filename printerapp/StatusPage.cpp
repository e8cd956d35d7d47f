#include "StatusPage.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <string>

#include "LabRegistry.h"

namespace tessaron::printerapp {
namespace {

void escaped(pappl_client_t* client, const std::string& text) { papplClientHTMLEscape(client, text.c_str(), text.size()); }

std::string timeText(std::time_t when) {
    if (when == 0) return "never";
    char text[64];
    std::tm local{};
    localtime_r(&when, &local);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void catalogueTable(pappl_client_t* client, const LabSnapshot& lab) {
    papplClientHTMLPuts(client, "<h2 class=\"title\">Paper</h2>\n<table class=\"list\"><thead><tr><th>Paper</th>"
                                "<th>Magazine</th><th>Surface</th><th>Resolution</th><th>Length (mm)</th>"
                                "<th>Remaining</th></tr></thead><tbody>\n");
    for (const LabPaper& paper : lab.report.papers) {
        papplClientHTMLPuts(client, "<tr><td>");
        escaped(client, paper.sheet ? paper.name : std::to_string(paper.width / 10) + " mm roll");
        papplClientHTMLPrintf(client, "</td><td>%u</td><td>%u</td><td>%u dpi</td><td>%.1f&ndash;%.1f</td><td>%lld</td></tr>\n",
                              paper.magazine, paper.surface, paper.dpi(), paper.lmin / 10.0, paper.lmax / 10.0,
                              paper.remain);
    }
    papplClientHTMLPuts(client, "</tbody></table>\n");
}

void errorTable(pappl_client_t* client, const LabSnapshot& lab) {
    papplClientHTMLPuts(client, "<h2 class=\"title\">Last errors</h2>\n");
    if (lab.recentErrors.empty()) {
        papplClientHTMLPuts(client, "<p>None reported.</p>\n");
        return;
    }
    papplClientHTMLPuts(client, "<table class=\"list\"><thead><tr><th>Time</th><th>Code</th><th>Message</th></tr>"
                                "</thead><tbody>\n");
    for (auto it = lab.recentErrors.rbegin(); it != lab.recentErrors.rend(); ++it) {
        papplClientHTMLPrintf(client, "<tr><td>%s</td><td>%s %u/%u</td><td>", timeText(it->when).c_str(),
                              it->error.main > 4999 ? "Error" : "Attention", it->error.main, it->error.sub);
        escaped(client, it->error.message);
        papplClientHTMLPuts(client, "</td></tr>\n");
    }
    papplClientHTMLPuts(client, "</tbody></table>\n");
}

constexpr const char* kPagePath = "/lab";

int printerIdFromOptions(pappl_client_t* client) {
    const char* options = papplClientGetOptions(client);
    int id = 0;
    if (options && std::sscanf(options, "printer=%d", &id) == 1) return id;
    return 0;
}

bool labPage(pappl_client_t* client, void*) {
    const int printerId = printerIdFromOptions(client);
    pappl_printer_t* printer =
        printerId > 0 ? papplSystemFindPrinter(papplClientGetSystem(client), nullptr, printerId, nullptr) : nullptr;
    if (!printer) return false;
    if (!papplClientHTMLAuthorize(client)) return true;
    const char* uri = papplPrinterGetDeviceURI(printer);
    const std::optional<LabSnapshot> lab = LabRegistry::shared().snapshot(uri ? uri : "");
    papplClientHTMLPrinterHeader(client, printer, "Lab Status", 30, nullptr, nullptr);
    papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\">\n");
    if (!lab) {
        papplClientHTMLPuts(client, "<p>The minilab has not been read yet.</p>\n");
    } else {
        papplClientHTMLPuts(client, "<p>");
        escaped(client, lab->report.reached ? lab->report.name + " (protocol " + lab->report.api + ")" : "The minilab does not answer.");
        papplClientHTMLPrintf(client, "<br>Last refresh: %s</p>\n", timeText(lab->refreshed).c_str());
        catalogueTable(client, *lab);
        errorTable(client, *lab);
    }
    papplClientHTMLPuts(client, "</div></div>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

}  // namespace

void registerStatusPage(pappl_system_t* system) {
    papplSystemAddResourceCallback(system, kPagePath, "text/html", labPage, nullptr);
}

void linkStatusPage(pappl_printer_t* printer) {
    static std::mutex mutex;
    static std::set<int> linked;
    const int id = papplPrinterGetID(printer);
    {
        std::lock_guard lock(mutex);
        if (!linked.insert(id).second) return;
    }
    const std::string path = std::string(kPagePath) + "?printer=" + std::to_string(id);
    papplPrinterAddLink(printer, "Lab Status", path.c_str(),
                        static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

}  // namespace tessaron::printerapp
