// Capabilities into PAPPL: the driver data's media, sources, types, resolutions and sides,
// the vendor attributes, the supplies, the state reasons and the alerts of a printer.
#pragma once

#include <pappl/pappl.h>

#include <map>
#include <string>

#include "Capabilities.h"

namespace tessaron::printerapp {

inline constexpr const char* kDriverName = "vantrel_jrx";
inline constexpr const char* kDriverDescription = "Vantrel JRX minilab";

// The fixed part of the driver: callbacks, colour, raster type, kind, vendor names.
void fillFixedDriverData(pappl_pr_driver_data_t& data);

// The lab's part: media, sources, ready media, types, resolutions, sides; defaults kept where
// the lab still offers them.
void fillLabDriverData(pappl_pr_driver_data_t& data, const Capabilities& caps);

// The printer's vendor defaults as saved ("<name>-default" -> value), from the web page,
// Set-Printer-Attributes or the state file.
std::map<std::string, std::string> savedVendorDefaults(pappl_printer_t* printer);

// printer-alert and printer-alert-description from the capabilities' alerts (none when all
// is well). PAPPL answers printer-state-message from the printer's state alone ("Idle."), so
// this is where the lab's own words reach IPP clients.
void addAlertAttributes(ipp_t* attrs, const Capabilities& caps);

// Applies the capabilities to a printer, keeping its vendor defaults.
void applyCapabilities(pappl_printer_t* printer, const Capabilities& caps);

}  // namespace tessaron::printerapp
