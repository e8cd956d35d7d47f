// Finding minilabs: one query to UDP port 5002, then three seconds of listening for replies.
#pragma once

#include <netinet/in.h>

namespace vantrelps {

// The receiving socket, bound to the wildcard address on port 5002; -1 on failure.
int CreateUdpSocket();

// A new sending socket, after sending the query on it; -1 when it cannot be created.
int SendLookup();

// Writes the device lines until the receive window ends; with `debug`, dumps stray datagrams.
void threadless(int receivingSocket, bool debug);

// The query's destination: $VANTRELPS_DISCOVERY_ADDRESS when it is a dotted-decimal IPv4
// address, else the limited broadcast address.
in_addr discoveryDestination();

// Runs the whole discovery; answers the program's exit status.
int runDiscovery(bool debug);

}  // namespace vantrelps
