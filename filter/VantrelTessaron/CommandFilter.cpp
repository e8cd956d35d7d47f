#include "JobDrivers.h"

#include <cstdio>

int commandFilter() {
    fputs("ERROR: vantrelps: command jobs are not supported by this build\n", stderr);
    return 1;
}
