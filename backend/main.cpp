#include "BackendEntry.h"
#include "JobDrivers.h"

int main(int argc, char* argv[]) {
    return tessaron::backend::backendMain(argc, argv, tessaron::backend::JobDriverTable{commandFilter, rasterFilter, labQueryDriver});
}
