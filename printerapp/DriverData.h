// Capabilities into PAPPL: the driver data's media, sources, types, resolutions and sides,
// the vendor attributes, the supplies and the state reasons of a printer.
#pragma once

#include <pappl/pappl.h>

#include "Capabilities.h"

namespace tessaron::printerapp {

inline constexpr const char* kDriverName = "vantrel_jrx";
inline constexpr const char* kDriverDescription = "Vantrel JRX minilab";

// The fixed part of the driver: callbacks, colour, raster type, kind, vendor names.
void fillFixedDriverData(pappl_pr_driver_data_t& data);

// The lab's part: media, sources, ready media, types, resolutions, sides; defaults kept where
// the lab still offers them.
void fillLabDriverData(pappl_pr_driver_data_t& data, const Capabilities& caps);

// Applies the capabilities to a printer, keeping its vendor defaults.
void applyCapabilities(pappl_printer_t* printer, const Capabilities& caps);

}  // namespace tessaron::printerapp
