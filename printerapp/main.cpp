#include <csignal>

#include "App.h"

int main(int argc, char* argv[]) {
    // A backend child that ends while its raster is being written must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    return tessaron::printerapp::runMainloop(argc, argv);
}
