// CUPS filter for command files: hands the command file to the backend unchanged.
#include "FilterPrograms.h"

int main(int argc, char** argv) {
    passThroughFilterMain(argc, argv);
    return 0;
}
