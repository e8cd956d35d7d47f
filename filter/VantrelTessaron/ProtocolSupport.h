// Small helpers shared by the protocol files of the client.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "KeyedArchive.h"
#include "PLUMEX_BoundedSocket.h"
#include "UniqueFd.h"

// A value tree as the log shows it: { key = value; ... }.
std::string describeValue(const tessaron::keyedarchive::Value& value, int indent = 0);

// Posts a system-wide notification with the job's device URI as its object; without a bus
// the failure is logged at debug level and the job goes on.
void postJRXNotification(const char* name);

// A blocking connection to the address the object resolved (its socket-address bytes:
// family, port, IPv4 address); empty when it cannot be made.
tessaron::UniqueFd connectToAddressData(const std::vector<std::uint8_t>& address);

namespace tessaron {

// Ends the job with the localized "Bad response from printer." message: a reply that cannot be
// read leaves the connection out of step, and no later command could be trusted.
[[noreturn]] void badResponse();

// Sends a command's bytes on a transaction's blocking connection within the stall limit and
// logs why when they did not all go out. What a failure means is the caller's to decide.
network::SendResult sendCommandBytes(int fd, std::span<const std::uint8_t> bytes);

}  // namespace tessaron
