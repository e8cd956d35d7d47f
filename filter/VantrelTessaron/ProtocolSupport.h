// Small helpers shared by the protocol files of the client.
#pragma once

#include <string>

#include "KeyedArchive.h"

// A value tree as the log shows it: { key = value; ... }.
std::string describeValue(const tessaron::keyedarchive::Value& value, int indent = 0);

// Posts a system-wide notification with the job's device URI as its object; without a bus
// the failure is logged at debug level and the job goes on.
void postJRXNotification(const char* name);
