// Keeping the capabilities fresh: the lab is queried through the backend when a printer is
// added, when a job starts and on a timer. Queries on the timer run on threads of their own
// (a lab that is away holds a query for seconds); the timer applies what they stored.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

#include "LabReport.h"

namespace tessaron::printerapp {

inline constexpr int kTimerSeconds = 2;
inline constexpr int kRefreshSeconds = 60;

// Runs the backend's lab query (bounded in time and output) and stores the report.
LabReport queryAndStore(const std::string& deviceURI);

// The ids of the system's printers.
std::vector<int> printerIds(pappl_system_t* system);

// The system timer: applies stored capabilities, starts the refreshes that are due.
bool refreshTimer(pappl_system_t* system, void* data);

}  // namespace tessaron::printerapp
