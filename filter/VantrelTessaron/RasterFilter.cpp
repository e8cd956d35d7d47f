#include "JobDrivers.h"

#include <cstdio>

int rasterFilter() {
    fputs("ERROR: vantrelps: print jobs are not supported by this build\n", stderr);
    return 1;
}
