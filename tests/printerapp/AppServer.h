// The printer application as a test peer: `tessaron-printer-app server` on a free loopback
// port with its state, spool and log in a private directory, the backend from the build tree,
// stopped by its pid. Printers are added over IPP (Create-Printer), and ipptool runs against
// them. Hold a NetLock meanwhile: the server's local socket is shared by every test run.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Process.h"
#include "TempDir.h"

namespace tessaron::printerapptest {

// The environment of everything the tests start: discovery on loopback, no system bus.
std::map<std::string, std::string> testEnvironment(const std::string& tmpdir);

// `name=value` urlencoded, for a form.
std::string formField(const std::string& name, const std::string& value);

class AppServer {
public:
    // Private: -o state-file in `tmpdir`; Default: none named, so the server's own choice.
    enum class StateFile { Private, Default };
    explicit AppServer(const std::string& tmpdir, StateFile stateFile = StateFile::Private);
    ~AppServer();
    AppServer(const AppServer&) = delete;
    AppServer& operator=(const AppServer&) = delete;

    bool ready() const { return ready_; }
    int port() const { return port_; }
    std::string printerURI(const std::string& name) const;
    std::string log() const;

    // Create-Printer with the minilab's driver; empty on success, else ipptool's output.
    std::string addPrinter(const std::string& name, const std::string& deviceURI) const;

    // One request to the web interface in the browser language `language`, with an
    // urlencoded `form` when posting: the whole answer, headers and page; empty when none came.
    std::string web(const std::string& method, const std::string& path, const std::string& language,
                    const std::string& form = {}) const;

    // ipptool -t with the arguments, against `uri`, running `testFile`.
    test::ProcessResult ipptool(const std::string& uri, const std::string& testFile,
                                const std::vector<std::string>& extraArgs = {}) const;

private:
    std::string dir_;
    int port_ = 0;
    std::unique_ptr<test::BackgroundProcess> process_;
    bool ready_ = false;
};

}  // namespace tessaron::printerapptest
