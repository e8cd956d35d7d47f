#include "BackendEntry.h"

#include "Discovery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessaron::backend {

int runJobDriver(const char* contentType, const JobDriverTable& drivers) {
    // CUPS always sets the type; without one the job is treated as raster data.
    if (contentType && std::strcmp(contentType, "application/vnd.cups-command") == 0) return drivers.commandFilter();
    return drivers.rasterFilter();
}

int backendMain(int argc, char* argv[], const JobDriverTable& drivers) {
    if (argc == 6 || argc == 7) return runJobDriver(std::getenv("CONTENT_TYPE"), drivers);
    if (argc <= 1) return runDiscovery(false);
    if (argc == 2 && std::strcmp(argv[1], "--debug") == 0) return runDiscovery(true);
    if (argc == 3 && std::strcmp(argv[1], "--query-lab") == 0 && drivers.labQuery) return drivers.labQuery(argv[2]);
    std::fprintf(stderr, "usage: %s job-id user title copies options [file]\n", argv[0]);
    return 1;
}

}  // namespace tessaron::backend
