// The minilab's replies: header, result block and the command's record.
#pragma once

#include <cstdint>
#include <vector>

#include "Config.h"
#include "Wire.h"

namespace tessaron::minilab {

// Header + 32-byte result block + record.
Bytes encodeReply(const LabConfig& lab, uint8_t command, uint32_t result, const Bytes& record = {});

Bytes infoRecord(const LabConfig& lab, uint32_t ownAddress);
Bytes statusRecord(const LabConfig& lab, const StatusStep& step, uint64_t printCount);
// One record per error, each carrying the total count; a single record with count 0 when
// there is none.
std::vector<Bytes> errorRecords(const std::vector<PrinterError>& errors);
// One record per paper of the list the command reports (plain records: roll papers only).
std::vector<Bytes> paperRecords(const LabConfig& lab, bool extended);

}  // namespace tessaron::minilab
