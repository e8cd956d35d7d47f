// The two job drivers of the backend; each answers the process exit status.
#pragma once

// A CUPS command job: refreshes the minilab's information and paper catalogue in the PPD.
int commandFilter();

// A CUPS raster job: prints it as a Tessaron order.
int rasterFilter();
