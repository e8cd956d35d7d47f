#include "QueuePPD.h"

#include <cups/cups.h>

#include <unistd.h>

namespace tessaron::print {

namespace {

ppd_file_t* openMarked(const char* path, std::string& error) {
    ppd_file_t* ppd = ppdOpenFile(path);
    if (!ppd) {
        int line = 0;
        const ppd_status_t status = ppdLastError(&line);
        error = std::string("cannot read the printer description: ") + ppdErrorString(status) + " on line " +
                std::to_string(line);
        return nullptr;
    }
    ppdMarkDefaults(ppd);
    return ppd;
}

}  // namespace

std::unique_ptr<QueuePPD> QueuePPD::fetch(const std::string& queue, std::string& error) {
    // libcups writes it into a new private temporary file (cupsTempFd, never an existing one).
    const char* fetched = cupsGetPPD2(CUPS_HTTP_DEFAULT, queue.c_str());
    if (!fetched) {
        error = "no printer description for " + queue + ": " + cupsLastErrorString();
        return nullptr;
    }
    const std::string path = fetched;
    ppd_file_t* ppd = openMarked(path.c_str(), error);
    if (!ppd) {
        unlink(path.c_str());
        return nullptr;
    }
    return std::unique_ptr<QueuePPD>(new QueuePPD(ppd, path));
}

std::unique_ptr<QueuePPD> QueuePPD::open(const std::string& path, std::string& error) {
    ppd_file_t* ppd = openMarked(path.c_str(), error);
    if (!ppd) return nullptr;
    return std::unique_ptr<QueuePPD>(new QueuePPD(ppd, {}));
}

QueuePPD::~QueuePPD() {
    ppdClose(ppd_);
    if (!removeOnClose_.empty()) unlink(removeOnClose_.c_str());
}

}  // namespace tessaron::print
