// The lab's own page beside PAPPL's printer pages: the paper catalogue with what remains,
// the last errors the lab reported, and when it was last read.
#pragma once

#include <pappl/pappl.h>

namespace tessaron::printerapp {

// The page, one for all printers ("/lab?printer=<id>"), registered with the system.
void registerStatusPage(pappl_system_t* system);
// The link to it from a printer's pages, once per printer.
void linkStatusPage(pappl_printer_t* printer);

}  // namespace tessaron::printerapp
