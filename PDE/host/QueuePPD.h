// The queue's printer description, fetched from the scheduler (cupsGetPPD2) into a private
// temporary file, opened, its defaults marked. The file is removed when the object goes.
#pragma once

#include <cups/ppd.h>

#include <memory>
#include <string>

namespace tessaron::print {

class QueuePPD {
public:
    // Fetches and opens the PPD of `queue`; null with `error` set when either fails.
    static std::unique_ptr<QueuePPD> fetch(const std::string& queue, std::string& error);
    // Opens a PPD file that stays where it is (tests, a queue without a scheduler copy).
    static std::unique_ptr<QueuePPD> open(const std::string& path, std::string& error);
    ~QueuePPD();
    QueuePPD(const QueuePPD&) = delete;
    QueuePPD& operator=(const QueuePPD&) = delete;

    ppd_file_t* ppd() const { return ppd_; }

private:
    QueuePPD(ppd_file_t* ppd, std::string removeOnClose) : ppd_(ppd), removeOnClose_(std::move(removeOnClose)) {}
    ppd_file_t* ppd_;
    std::string removeOnClose_;
};

}  // namespace tessaron::print
