// Whole-buffer file work: writing every byte, and opening and reading regular files in folders
// that others can write to, where no symbolic link is followed and nothing but a regular file
// is opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "UniqueFd.h"

namespace tessaron {

// Writes every byte, retrying partial writes and interruptions: 0, or the errno of the failure
// (EIO when the descriptor takes nothing).
int writeAll(int fd, const void* bytes, std::size_t length);

// Opens `path` only when it is a regular file, without following a symbolic link (flags and
// mode as for open(2); close-on-exec always). A FIFO planted in a shared folder cannot hang the
// open: it is made non-blocking and blocking again once the file is known to be regular.
// Empty with errno set when it cannot be opened, EINVAL when it is not a regular file.
UniqueFd openRegularFile(const std::string& path, int flags, mode_t mode = 0);

// The whole content of a regular file, opened without following a link; none when it cannot
// be opened, is larger than `limit` bytes, or cannot be read completely.
std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, off_t limit);

}  // namespace tessaron
