#include "LabRegistry.h"

namespace tessaron::printerapp {

// Never destroyed: a refresh thread still querying a lab when the server exits may store
// its report after static destruction has begun.
LabRegistry& LabRegistry::shared() {
    static LabRegistry* const registry = new LabRegistry;
    return *registry;
}

Capabilities LabRegistry::store(const std::string& uri, const LabReport& report, std::time_t now) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[uri];
    entry.snapshot.capabilities = capabilitiesFor(report, entry.marks);
    entry.snapshot.report = report;
    entry.snapshot.refreshed = now;
    entry.pending = true;
    for (const LabError& error : report.errors) {
        entry.snapshot.recentErrors.push_back(RecentError{now, error});
        if (entry.snapshot.recentErrors.size() > kRecentErrors) entry.snapshot.recentErrors.pop_front();
    }
    if (report.reached) {
        std::vector<Alert>& alerts = entry.snapshot.capabilities.alerts;
        alerts.clear();
        for (const RecentError& recent : entry.snapshot.recentErrors)
            if (now - recent.when < kAlertSeconds) alerts.push_back(alertFor(recent.error));
    }
    return entry.snapshot.capabilities;
}

std::optional<LabSnapshot> LabRegistry::snapshot(const std::string& uri) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(uri);
    if (it == entries_.end() || it->second.snapshot.refreshed == 0) return std::nullopt;
    return it->second.snapshot;
}

std::optional<Capabilities> LabRegistry::takePending(const std::string& uri) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(uri);
    if (it == entries_.end() || !it->second.pending) return std::nullopt;
    it->second.pending = false;
    return it->second.snapshot.capabilities;
}

bool LabRegistry::beginRefresh(const std::string& uri, std::time_t now, std::time_t interval) {
    std::lock_guard lock(mutex_);
    Entry& entry = entries_[uri];
    if (entry.refreshing || (entry.started != 0 && now - entry.started < interval)) return false;
    entry.refreshing = true;
    entry.started = now;
    return true;
}

void LabRegistry::endRefresh(const std::string& uri) {
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(uri); it != entries_.end()) it->second.refreshing = false;
}

}  // namespace tessaron::printerapp
