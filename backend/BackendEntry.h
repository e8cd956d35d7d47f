// The backend's entry: discovery without job arguments, a job driver with them, and the
// lab query of the printer application.
#pragma once

namespace tessaron::backend {

struct JobDriverTable {
    int (*commandFilter)();  // CUPS command jobs
    int (*rasterFilter)();   // everything else
    int (*labQuery)(const char* uri);  // --query-lab URI, for the printer application
};

// Dispatches by argument count; answers the process exit status.
int backendMain(int argc, char* argv[], const JobDriverTable& drivers);

// The driver for a job of the given CONTENT_TYPE (which may be absent).
int runJobDriver(const char* contentType, const JobDriverTable& drivers);

}  // namespace tessaron::backend
