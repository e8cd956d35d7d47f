// Decoded records as JSON for the order store's files.
#pragma once

#include <nlohmann/json.hpp>

#include "Wire.h"

namespace tessaron::minilab {

// Every field present in the view except reserved ones: numbers, texts (© restored),
// addresses as text.
nlohmann::json recordJson(const RecordView& view);

}  // namespace tessaron::minilab
