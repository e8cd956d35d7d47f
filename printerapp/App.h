// tessaron-printer-app: the standard printer-application interface of papplMainloop.
#pragma once

namespace tessaron::printerapp {

int runMainloop(int argc, char* argv[]);

}  // namespace tessaron::printerapp
