// CUPS filter for raster data: hands the raster stream to the backend unchanged.
#include "FilterPrograms.h"

int main(int argc, char** argv) { return passThroughFilterMain(argc, argv); }
