// The "vantrelps" device scheme: listing runs the backend's discovery; opening a device only
// keeps its URI, since every job's bytes go to the lab through the backend child.
#pragma once

namespace tessaron::printerapp {

void registerDeviceScheme();

}  // namespace tessaron::printerapp
