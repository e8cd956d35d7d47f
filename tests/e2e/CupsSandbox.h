// A private CUPS scheduler for end-to-end tests: its own ServerRoot, ServerBin (CUPS's
// filters and backends linked in, the suite's programs copied next to them), spool, logs
// and cache in a temporary directory, listening on a domain socket only, no browsing, no
// sharing, no web interface. Started with `cupsd -f` and stopped by its pid.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Process.h"

namespace tessaron::test {

struct CupsSandboxPrograms {
    std::string backend;        // vantrelps
    std::string rasterFilter;   // rastertovantrel
    std::string commandFilter;  // commandtovantrel
    // Also listen on 127.0.0.1:tcpPort and point the tools there (0: the domain socket only).
    // lpoptions -l fetches the PPD by the printer URI, which names localhost:631 when the
    // request came through the domain socket.
    int tcpPort = 0;
};

struct CupsJob {
    int id = 0;
    int state = 0;  // ipp_jstate_t: 3 pending ... 9 completed
    std::string stateName() const;
};

class CupsSandbox {
public:
    explicit CupsSandbox(const CupsSandboxPrograms& programs);
    ~CupsSandbox();
    CupsSandbox(const CupsSandbox&) = delete;
    CupsSandbox& operator=(const CupsSandbox&) = delete;

    // False when the scheduler could not be set up; failure() says why.
    bool ready() const { return ready_; }
    const std::string& failure() const { return failure_; }
    const std::string& server() const { return server_; }  // the value for CUPS_SERVER
    const std::string& root() const { return dir_; }

    // Runs a CUPS client tool (lpadmin, lp, lpstat, cancel, lpoptions) against this scheduler.
    ProcessResult tool(const std::string& program, const std::vector<std::string>& args,
                       std::optional<std::string> stdinData = std::nullopt) const;

    // LANG of the client tools: lp sends it as the job's language, and the scheduler starts the
    // job's filters and backend with LANG set from that.
    void setClientLanguage(const std::string& lang) { clientLanguage_ = lang; }

    // lpadmin -p NAME -E -v URI -P PPD; empty on success, else the tool's message.
    std::string addQueue(const std::string& name, const std::string& uri, const std::string& ppd) const;
    // lp -d QUEUE [-o k=v ...] FILE (or the given data on standard input); the job id.
    std::optional<int> submit(const std::string& queue, const std::map<std::string, std::string>& options,
                              const std::string& file, std::string* message = nullptr) const;
    // A command job with the given commands, as the print dialog submits one.
    std::optional<int> submitCommands(const std::string& queue, const std::vector<std::string>& commands,
                                      std::string* message = nullptr) const;

    std::optional<CupsJob> job(const std::string& queue, int id) const;
    // Polls until the job reaches one of the states; answers the last state seen.
    std::optional<CupsJob> waitForJobState(const std::string& queue, int id, const std::vector<int>& states,
                                           std::chrono::milliseconds timeout) const;
    // The queue's "printer-state-reasons", comma-separated as CUPS reports it.
    std::string printerStateReasons(const std::string& queue) const;
    // Polls until the reasons contain `reason`.
    bool waitForReason(const std::string& queue, const std::string& reason,
                       std::chrono::milliseconds timeout) const;

    // The scheduler's copy of the queue's PPD, as it stands now.
    std::string queuePpdPath(const std::string& queue) const;
    std::string queuePpd(const std::string& queue) const;
    std::string errorLog() const;

private:
    bool setUp(const CupsSandboxPrograms& programs);
    bool writeConfiguration();
    bool populateServerBin(const CupsSandboxPrograms& programs);
    bool start();

    std::string dir_;
    std::string socket_;
    std::string server_;
    int tcpPort_ = 0;
    std::string clientLanguage_ = "C";
    std::unique_ptr<BackgroundProcess> cupsd_;
    bool ready_ = false;
    std::string failure_;
};

// The value of a PPD main keyword in a PPD text ("*Key: value" or "*Key: \"value\""),
// quotes removed; none when the keyword is absent.
std::optional<std::string> ppdKeywordValue(const std::string& ppdText, const std::string& keyword);

}  // namespace tessaron::test
