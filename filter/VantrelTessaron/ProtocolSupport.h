// Small helpers shared by the protocol files of the client.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KeyedArchive.h"

// A value tree as the log shows it: { key = value; ... }.
std::string describeValue(const tessaron::keyedarchive::Value& value, int indent = 0);

// Posts a system-wide notification with the job's device URI as its object; without a bus
// the failure is logged at debug level and the job goes on.
void postJRXNotification(const char* name);

// A blocking connection to the address the object resolved (its socket-address bytes:
// family, port, IPv4 address); -1 when it cannot be made.
int connectToAddressData(const std::vector<std::uint8_t>& address);
