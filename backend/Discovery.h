// Finding minilabs: one query to UDP port 5002, then three seconds of listening for replies.
#pragma once

#include <netinet/in.h>

#include <optional>

#include "UniqueFd.h"

namespace tessaron::backend {

// The receiving socket, bound to the wildcard address on port 5002; empty on failure.
UniqueFd CreateUdpSocket();

// A new sending socket, after sending the query on it; empty when it cannot be created.
UniqueFd SendLookup();

// Writes the device lines until the receive window ends; with `debug`, dumps stray datagrams.
void threadless(int receivingSocket, bool debug);

// The query's destination: $VANTRELPS_DISCOVERY_ADDRESS when set (none when it is not a
// dotted-decimal IPv4 address), else the limited broadcast address.
std::optional<in_addr> discoveryDestination();

// Runs the whole discovery; answers the program's exit status (1, with an error line and
// nothing sent, when $VANTRELPS_DISCOVERY_ADDRESS is set but not an address).
int runDiscovery(bool debug);

}  // namespace tessaron::backend
