// The "vantrelps" device scheme: listing runs the backend's discovery; opening a device only
// keeps its URI, since every job's bytes go to the lab through the backend child.
#pragma once

namespace tessaron::printerapp {

void registerDeviceScheme();

// The "devices" sub-command: the minilabs that answer our discovery, one URI a line with its
// description below. PAPPL's own listing would also search USB and send SNMP and DNS-SD
// queries on every network; a minilab application has no use for those printers.
int listMinilabs();

}  // namespace tessaron::printerapp
