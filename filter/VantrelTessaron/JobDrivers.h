// The job drivers of the backend; each answers the process exit status.
#pragma once

// A CUPS command job: refreshes the minilab's information and paper catalogue in the PPD.
int commandFilter();

// A CUPS raster job: prints it as a Tessaron order.
int rasterFilter();

// The printer application's query of the lab at `uri`: information, status, errors and paper
// catalogue as records on standard output (LabQuery.cpp describes them).
int labQueryDriver(const char* uri);
