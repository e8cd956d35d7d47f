// Whole-buffer file reads and writes, shared by the job framework and the print job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace tessaron::printjob {

// Writes every byte, retrying partial writes and interruptions: 0, or the errno of the failure
// (EIO when the descriptor takes nothing).
int writeAll(int fd, const void* bytes, std::size_t length);

// The whole content of a regular file, opened without following a link; none when it cannot
// be opened, is larger than `limit` bytes, or cannot be read completely.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, off_t limit);

}  // namespace tessaron::printjob
