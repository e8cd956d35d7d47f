#include "Destinations.h"

#include <cups/cups.h>

namespace tessaron::print {

namespace {

class Dests {
public:
    Dests() : count_(cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_)) {}
    ~Dests() { cupsFreeDests(count_, dests_); }
    Dests(const Dests&) = delete;
    Dests& operator=(const Dests&) = delete;
    int count() const { return count_; }
    cups_dest_t* dests() const { return dests_; }
    cups_dest_t* find(const std::string& name) const { return cupsGetDest(name.c_str(), nullptr, count_, dests_); }

private:
    cups_dest_t* dests_ = nullptr;
    int count_;
};

Queue queueFrom(const cups_dest_t& dest) {
    Queue queue;
    queue.name = dest.name;
    if (const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options)) queue.deviceURI = uri;
    queue.saved = PrintSettings::fromDestinationOptions(dest.num_options, dest.options);
    queue.isDefault = dest.is_default != 0;
    return queue;
}

}  // namespace

std::vector<Queue> listQueues() {
    Dests dests;
    std::vector<Queue> queues;
    for (int i = 0; i < dests.count(); ++i)
        if (!dests.dests()[i].instance) queues.push_back(queueFrom(dests.dests()[i]));
    return queues;
}

std::optional<Queue> chooseQueue(const std::string& name, std::string& error) {
    const std::vector<Queue> queues = listQueues();
    if (queues.empty()) {
        error = "the print system has no queues";
        if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) error += std::string(" (") + cupsLastErrorString() + ")";
        return std::nullopt;
    }
    for (const Queue& queue : queues)
        if (name.empty() ? queue.isDefault : queue.name == name) return queue;
    if (name.empty() && queues.size() == 1) return queues.front();
    error = name.empty() ? "no default queue; choose one with --queue" : "no queue named " + name;
    return std::nullopt;
}

bool saveQueueDefaults(const std::string& queue, const PrintSettings& settings, std::string& error) {
    Dests dests;
    cups_dest_t* dest = dests.find(queue);
    if (!dest) {
        error = "no queue named " + queue;
        return false;
    }
    // lpoptions files hold an empty value as a bare name, which libcups reads back as "true".
    // An empty value is left out instead: the queue's description then gives its empty default.
    for (const auto& [key, value] : settings.entries())
        dest->num_options = value.empty() ? cupsRemoveOption(key.c_str(), dest->num_options, &dest->options)
                                          : cupsAddOption(key.c_str(), value.c_str(), dest->num_options, &dest->options);
    if (cupsSetDests2(CUPS_HTTP_DEFAULT, dests.count(), dests.dests()) != 0) {
        error = "cannot save the defaults of " + queue + ": " + cupsLastErrorString();
        return false;
    }
    return true;
}

}  // namespace tessaron::print
