// One print job's backend child: its raster stream, the thread reading its messages back, and
// the wait for its end that watches for a cancel.
#pragma once

#include <cups/raster.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "BackendCommand.h"
#include "BackendLines.h"
#include "ChildProcess.h"

namespace tessaron::printerapp {

class BackendJob {
public:
    using LineHandler = std::function<void(const BackendLine&)>;

    // Starts the child and its reader; none when it could not be started.
    static std::unique_ptr<BackendJob> start(const PrintRequest& request, LineHandler onLine);
    ~BackendJob();

    bool writeHeader(cups_page_header2_t header);
    bool writeLine(const unsigned char* line, unsigned bytes);

    // Ends the raster stream and waits for the child; `cancelled` is asked between waits and,
    // once true, the child gets SIGTERM (and SIGKILL after the scheduler's kill delay).
    int finish(const std::function<bool()>& cancelled);

    // The last ERROR line, for the job's message.
    std::string lastError() const;

private:
    BackendJob(ChildProcess child, LineHandler onLine);
    void readMessages();
    void closeStream();

    ChildProcess child_;
    LineHandler onLine_;
    cups_raster_t* raster_ = nullptr;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string lastError_;
};

}  // namespace tessaron::printerapp
