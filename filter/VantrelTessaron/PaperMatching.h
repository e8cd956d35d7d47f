// Finding the job's paper in the minilab's catalogue: sheet paper by its exact key, roll paper
// by its exact key or else by the width and surface part of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "KeyedArchive.h"

namespace tessaron {

using PaperEntry = keyedarchive::Dictionary;
using PaperCatalogueEntries = keyedarchive::Dictionary;

std::optional<PaperEntry> exactPaper(const PaperCatalogueEntries& papers, const std::string& key);

// The exact key, else the smallest key (numeric-aware, ignoring case) that starts with the key's
// part before its first "r"; every key found that way is logged as a partial match.
std::optional<PaperEntry> matchRollPaper(const PaperCatalogueEntries& papers, const std::string& key);

// A value of the entry as u16 (0 when absent, not a number or out of range).
uint16_t paperU16(const PaperEntry& paper, const std::string& name);

// "(key1, key2, ...)" for the log.
std::string describeKeys(const PaperCatalogueEntries& papers);

}  // namespace tessaron
