// Temporary files that nobody else can have prepared: mkostemp creates them exclusively, 0600.
#include "PLUMEX_CUPSPrintJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::optional<std::string> PLUMEX_CUPSPrintJob::safeTempFile(tessaron::UniqueFd* fd) {
    const char* tmpdir = getenv("TMPDIR");
    std::string directory = tmpdir && *tmpdir ? tmpdir : "/tmp";
    std::string path = directory;
    if (path.back() != '/') path += '/';
    path += "XXXXXXXXXXXXXXXX";
    tessaron::UniqueFd created(mkostemp(path.data(), O_CLOEXEC));
    if (!created) {
        int error = errno;
        debug("ERROR: failed to create temporary file %s (Error %d: %s)", (directory + "/XXXXXXXXXXXXXXXX").c_str(),
              error, strerror(error));
        if (fd) fd->reset();
        return std::nullopt;
    }
    if (fd) *fd = std::move(created);
    return path;
}
