// The CUPS queues the dialog can print to (cupsGetDests) and the user's saved defaults of
// one of them, written back with cupsSetDests as lpoptions does.
#pragma once

#include "PrintSettings.h"

#include <optional>
#include <string>
#include <vector>

namespace tessaron::print {

struct Queue {
    std::string name;
    std::string deviceURI;
    PrintSettings saved;  // the user's defaults for the queue, no printer attributes
    bool isDefault = false;
};

std::vector<Queue> listQueues();
// The named queue; without a name the default queue, else the only one. None with `error`.
std::optional<Queue> chooseQueue(const std::string& name, std::string& error);

// Stores `settings` as the queue's defaults (later values replace saved ones; saved keys
// not in `settings` stay). False with `error` when the file cannot be written.
bool saveQueueDefaults(const std::string& queue, const PrintSettings& settings, std::string& error);

}  // namespace tessaron::print
