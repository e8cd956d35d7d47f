// The command lines of the backend runs: discovery, the lab query and a print job, with the
// environment each gets (a fixed list passed on from the server's own, never PRINTER or PPD:
// the backend must not ask a scheduler about a queue it does not have).
#pragma once

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace tessaron::printerapp {

// $TESSARON_VANTRELPS when set (tests point it at the build tree), else the installed backend.
std::string backendProgram();

ChildCommand discoveryCommand();
ChildCommand labQueryCommand(const std::string& deviceURI);

struct PrintRequest {
    std::string deviceURI;
    int jobId = 0;
    std::string user;
    std::string title;
    int copies = 1;
    std::string options;  // "name=value ..." as the scheduler passes them
};
// The raster job as cupsd runs it: the device URI as argv[0], raster on standard input.
ChildCommand printCommand(const PrintRequest& request);

// The environment passed on: PATH, the language, TMPDIR, the discovery address, the bus
// address and the catalogue folder, plus `extra`.
std::vector<std::string> childEnvironment(const std::vector<std::string>& extra);

}  // namespace tessaron::printerapp
