// What the application knows of each lab, by device URI: the last report, its capabilities,
// when it was read, the errors the lab handed over recently and the paper high-water marks.
// Shared by the refresh threads, the jobs, the timer and the web page, behind one lock.
#pragma once

#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "Capabilities.h"
#include "LabReport.h"

namespace tessaron::printerapp {

struct RecentError {
    std::time_t when = 0;
    LabError error;
};

struct LabSnapshot {
    LabReport report;
    Capabilities capabilities;
    std::time_t refreshed = 0;
    std::deque<RecentError> recentErrors;  // newest last
};

class LabRegistry {
public:
    static constexpr std::size_t kRecentErrors = 10;
    // The lab hands each error over once; its alert stays this long after.
    static constexpr std::time_t kAlertSeconds = 300;
    static LabRegistry& shared();

    // Keeps the report and answers its capabilities, with an alert for every error handed
    // over within kAlertSeconds; they wait for takePending.
    Capabilities store(const std::string& uri, const LabReport& report, std::time_t now);
    std::optional<LabSnapshot> snapshot(const std::string& uri) const;
    // Capabilities stored since the last call, once.
    std::optional<Capabilities> takePending(const std::string& uri);

    // One refresh per lab at a time, none sooner than `interval` after the last: false when
    // one is running or not due.
    bool beginRefresh(const std::string& uri, std::time_t now, std::time_t interval);
    void endRefresh(const std::string& uri);

private:
    struct Entry {
        LabSnapshot snapshot;
        HighWaterMarks marks;
        bool refreshing = false;
        bool pending = false;
        std::time_t started = 0;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

}  // namespace tessaron::printerapp
