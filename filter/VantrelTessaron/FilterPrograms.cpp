#include "FilterPrograms.h"

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PLUMEX_CUPSPrintJob.h"
#include "FileIO.h"
#include "UniqueFd.h"

namespace {

constexpr std::size_t kMinimumCopyBuffer = 4096;

}  // namespace

int raw_cat(int fd) {
    // One buffer for the process, sized on first use to the output's preferred block size.
    static std::unique_ptr<char[]> buffer;
    static std::size_t size = 0;
    if (!buffer) {
        size = kMinimumCopyBuffer;
        struct stat st{};
        if (::fstat(STDOUT_FILENO, &st) == 0 && static_cast<std::size_t>(st.st_blksize) > size)
            size = static_cast<std::size_t>(st.st_blksize);
        buffer.reset(new (std::nothrow) char[size]);
        if (!buffer) {
            PLUMEX_CUPSLog::debug("memory allocation error");
            return 1;
        }
    }
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), size);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR) continue;
            PLUMEX_CUPSLog::debug("error reading input file");
            return 1;
        }
        if (tessaron::writeAll(STDOUT_FILENO, buffer.get(), static_cast<std::size_t>(n)) != 0) {
            PLUMEX_CUPSLog::debug("write error");
            return 1;
        }
    }
}

int passThroughFilterMain(int argc, char** argv) {
    if (argc == 7) {
        const tessaron::UniqueFd file(::open(argv[6], O_RDONLY | O_CLOEXEC));
        if (!file) return 0;
        return raw_cat(file.get());
    }
    if (argc == 6) return raw_cat(STDIN_FILENO);
    // Prints the version line or the usage line and ends the process.
    PLUMEX_CUPSPrintJob::initWithArguments(std::vector<std::string>(argv, argv + argc));
    return 1;
}
