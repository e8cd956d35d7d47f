#include "BackendEntry.h"
#include "JobDrivers.h"

int main(int argc, char* argv[]) {
    return vantrelps::backendMain(argc, argv, vantrelps::JobDriverTable{commandFilter, rasterFilter});
}
