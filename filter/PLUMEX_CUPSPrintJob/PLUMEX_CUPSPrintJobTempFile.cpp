// Temporary files that nobody else can have prepared: mkostemp creates them exclusively, 0600.
#include "PLUMEX_CUPSPrintJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::optional<std::string> PLUMEX_CUPSPrintJob::safeTempFile(int* fd) {
    const char* tmpdir = getenv("TMPDIR");
    std::string directory = tmpdir && *tmpdir ? tmpdir : "/tmp";
    std::string path = directory;
    if (path.back() != '/') path += '/';
    path += "XXXXXXXXXXXXXXXX";
    int created = mkostemp(path.data(), O_CLOEXEC);
    if (created < 0) {
        int error = errno;
        debug("ERROR: failed to create temporary file %s (Error %d: %s)", (directory + "/XXXXXXXXXXXXXXXX").c_str(),
              error, strerror(error));
        if (fd) *fd = -1;
        return std::nullopt;
    }
    if (fd)
        *fd = created;
    else
        close(created);
    return path;
}
