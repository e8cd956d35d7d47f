#include "CupsSandbox.h"

#include <cups/cups.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "TempDir.h"

namespace fs = std::filesystem;

namespace tessaron::test {

namespace {

constexpr const char* kCupsServerBin = "/usr/lib/cups";

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

struct HttpCloser {
    void operator()(http_t* h) const { httpClose(h); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

Http connectTo(const std::string& socket) {
    return Http(httpConnect2(socket.c_str(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr));
}

}  // namespace

std::string CupsJob::stateName() const {
    switch (state) {
    case IPP_JSTATE_PENDING: return "pending";
    case IPP_JSTATE_HELD: return "held";
    case IPP_JSTATE_PROCESSING: return "processing";
    case IPP_JSTATE_STOPPED: return "stopped";
    case IPP_JSTATE_CANCELED: return "canceled";
    case IPP_JSTATE_ABORTED: return "aborted";
    case IPP_JSTATE_COMPLETED: return "completed";
    default: return "unknown";
    }
}

CupsSandbox::CupsSandbox(const CupsSandboxPrograms& programs) { ready_ = setUp(programs) && start(); }

CupsSandbox::~CupsSandbox() {
    // SIGTERM by pid; cupsd stops the filters and backends of running jobs itself.
    cupsd_.reset();
    if (!dir_.empty() && !getenv("TESSARON_SANDBOX_KEEP")) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
}

bool CupsSandbox::setUp(const CupsSandboxPrograms& programs) {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tessaron-cups-XXXXXX";
    if (!mkdtemp(tmpl.data())) {
        failure_ = std::string("mkdtemp: ") + strerror(errno);
        return false;
    }
    dir_ = tmpl;
    socket_ = dir_ + "/cups.sock";
    tcpPort_ = programs.tcpPort;
    server_ = tcpPort_ ? "127.0.0.1:" + std::to_string(tcpPort_) : socket_;
    // The backends run as lp: they must reach their programs, spool files and TMPDIR.
    chmod(dir_.c_str(), 0755);
    for (const char* sub : {"conf", "conf/ppd", "conf/ssl", "spool", "spool/tmp", "cache", "state", "log", "bin"})
        fs::create_directories(dir_ + "/" + sub);
    if (geteuid() == 0) {
        const group* lp = getgrnam("lp");
        if (!lp) {
            failure_ = "no group lp";
            return false;
        }
        for (const char* sub : {"spool", "spool/tmp", "cache", "state"})
            if (chown((dir_ + "/" + sub).c_str(), 0, lp->gr_gid) != 0) {
                failure_ = std::string("chown: ") + strerror(errno);
                return false;
            }
        chmod((dir_ + "/spool").c_str(), 0710);
        chmod((dir_ + "/spool/tmp").c_str(), 01770);
        chmod((dir_ + "/cache").c_str(), 0770);
        chmod((dir_ + "/state").c_str(), 0770);
    }
    return writeConfiguration() && populateServerBin(programs);
}

bool CupsSandbox::writeConfiguration() {
    std::ostringstream cupsd;
    cupsd << "LogLevel debug2\nMaxLogSize 0\nListen " << socket_ << "\n";
    if (tcpPort_) cupsd << "Listen 127.0.0.1:" << tcpPort_ << "\n";
    cupsd
          << "Browsing No\nBrowseLocalProtocols none\nDefaultShared No\nWebInterface No\n"
          << "JobRetryInterval 5\nPreserveJobHistory Yes\nPreserveJobFiles No\nMaxJobTime 0\n"
          << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
          << "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n  </Limit>\n</Policy>\n";
    std::ostringstream files;
    files << "ServerRoot " << dir_ << "/conf\nServerBin " << dir_ << "/bin\nDataDir /usr/share/cups\n"
          << "RequestRoot " << dir_ << "/spool\nTempDir " << dir_ << "/spool/tmp\n"
          << "CacheDir " << dir_ << "/cache\nStateDir " << dir_ << "/state\n"
          << "AccessLog " << dir_ << "/log/access_log\nErrorLog " << dir_ << "/log/error_log\n"
          << "PageLog " << dir_ << "/log/page_log\nFileDevice No\n"
          << "SetEnv VANTRELPS_DISCOVERY_ADDRESS 127.255.255.255\n"
          // No system bus for the backend's notifications: it logs and goes on.
          << "SetEnv DBUS_SYSTEM_BUS_ADDRESS unix:path=" << dir_ << "/no-bus\n";
    if (geteuid() == 0)
        files << "User lp\nGroup lp\nSystemGroup root\n";
    else if (const group* g = getgrgid(getegid()))
        files << "SystemGroup " << g->gr_name << "\n";
    if (!writeText(dir_ + "/conf/cupsd.conf", cupsd.str()) || !writeText(dir_ + "/conf/cups-files.conf", files.str())) {
        failure_ = "cannot write the configuration";
        return false;
    }
    return true;
}

bool CupsSandbox::populateServerBin(const CupsSandboxPrograms& programs) {
    const std::string bin = dir_ + "/bin";
    std::error_code ec;
    for (const char* sub : {"filter", "backend"}) {
        fs::create_directories(bin + "/" + sub);
        for (const auto& entry : fs::directory_iterator(std::string(kCupsServerBin) + "/" + sub, ec))
            fs::create_symlink(entry.path(), bin + "/" + sub + "/" + entry.path().filename().string(), ec);
    }
    for (const char* sub : {"daemon", "notifier", "driver", "monitor", "cgi-bin"}) {
        std::string from = std::string(kCupsServerBin) + "/" + sub;
        if (fs::exists(from)) fs::create_directory_symlink(from, bin + "/" + sub, ec);
    }
    // cupsd runs only programs owned by its user that nobody else may write: copy ours.
    auto place = [&](const std::string& from, const std::string& to) {
        std::error_code copyError;
        fs::remove(to, copyError);
        if (!fs::copy_file(from, to, copyError) || chmod(to.c_str(), 0755) != 0) {
            failure_ = "cannot copy " + from + " to " + to + ": " + copyError.message();
            return false;
        }
        return true;
    };
    return place(programs.backend, bin + "/backend/vantrelps") &&
           place(programs.rasterFilter, bin + "/filter/rastertovantrel") &&
           place(programs.commandFilter, bin + "/filter/commandtovantrel");
}

bool CupsSandbox::start() {
    const std::string conf = dir_ + "/conf/cupsd.conf", files = dir_ + "/conf/cups-files.conf";
    ProcessSpec checkSpec;
    checkSpec.program = "/usr/sbin/cupsd";
    checkSpec.args = {"-t", "-c", conf, "-s", files};
    ProcessResult check = runProcess(checkSpec);
    if (check.exitStatus != 0) {
        failure_ = "cupsd refused the configuration: " + check.err + check.out;
        return false;
    }
    ProcessSpec spec;
    spec.program = "/usr/sbin/cupsd";
    spec.args = {"-f", "-c", conf, "-s", files};
    spec.timeout = std::chrono::milliseconds(0);
    cupsd_ = std::make_unique<BackgroundProcess>(spec);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!cupsd_->running()) {
            failure_ = "cupsd ended at start: " + cupsd_->stderrSoFar() + errorLog();
            return false;
        }
        if (fs::exists(socket_) && tool("lpstat", {"-r"}).exitStatus == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    failure_ = "cupsd did not answer on " + socket_;
    return false;
}

ProcessResult CupsSandbox::tool(const std::string& program, const std::vector<std::string>& args,
                                std::optional<std::string> stdinData) const {
    ProcessSpec spec;
    spec.program = program.find('/') == std::string::npos ? "/usr/bin/" + program : program;
    spec.args = args;
    if (program == "lpadmin" || program == "cupsctl") spec.program = "/usr/sbin/" + program;
    spec.env = {{"CUPS_SERVER", server_}, {"LANG", clientLanguage_}};
    spec.unsetEnv = {"PRINTER", "LPDEST"};
    spec.stdinData = std::move(stdinData);
    spec.timeout = std::chrono::milliseconds(30000);
    return runProcess(spec);
}

std::string CupsSandbox::addQueue(const std::string& name, const std::string& uri, const std::string& ppd) const {
    ProcessResult r = tool("lpadmin", {"-p", name, "-E", "-v", uri, "-P", ppd});
    return r.exitStatus == 0 ? std::string() : "lpadmin: " + r.err + r.out;
}

namespace {

// "request id is lab-12 (1 file(s))" -> 12
std::optional<int> jobIdFromLp(const std::string& out) {
    const std::string marker = "request id is ";
    size_t at = out.find(marker);
    if (at == std::string::npos) return std::nullopt;
    size_t dash = out.find('-', at + marker.size());
    while (dash != std::string::npos && !isdigit(static_cast<unsigned char>(out[dash + 1])))
        dash = out.find('-', dash + 1);
    if (dash == std::string::npos) return std::nullopt;
    return atoi(out.c_str() + dash + 1);
}

}  // namespace

std::optional<int> CupsSandbox::submit(const std::string& queue, const std::map<std::string, std::string>& options,
                                       const std::string& file, std::string* message) const {
    std::vector<std::string> args{"-d", queue};
    for (const auto& [k, v] : options) {
        args.push_back("-o");
        args.push_back(k + "=" + v);
    }
    args.push_back(file);
    ProcessResult r = tool("lp", args);
    if (message) *message = r.out + r.err;
    return r.exitStatus == 0 ? jobIdFromLp(r.out) : std::nullopt;
}

std::optional<int> CupsSandbox::submitCommands(const std::string& queue, const std::vector<std::string>& commands,
                                               std::string* message) const {
    std::string document = "#CUPS-COMMAND\n";
    for (const auto& c : commands) document += c + "\n";
    ProcessResult r = tool("lp", {"-d", queue, "-t", "Updating status ...", "-o",
                                  "document-format=application/vnd.cups-command"},
                           document);
    if (message) *message = r.out + r.err;
    return r.exitStatus == 0 ? jobIdFromLp(r.out) : std::nullopt;
}

std::optional<CupsJob> CupsSandbox::job(const std::string& queue, int id) const {
    Http http = connectTo(socket_);
    if (!http) return std::nullopt;
    cups_job_t* jobs = nullptr;
    int n = cupsGetJobs2(http.get(), &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    std::optional<CupsJob> found;
    for (int i = 0; i < n; ++i)
        if (jobs[i].id == id) found = CupsJob{id, static_cast<int>(jobs[i].state)};
    cupsFreeJobs(n, jobs);
    return found;
}

std::optional<CupsJob> CupsSandbox::waitForJobState(const std::string& queue, int id, const std::vector<int>& states,
                                                    std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<CupsJob> last;
    for (;;) {
        last = job(queue, id);
        if (last)
            for (int s : states)
                if (last->state == s) return last;
        if (std::chrono::steady_clock::now() >= deadline) return last;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string CupsSandbox::printerStateReasons(const std::string& queue) const {
    Http http = connectTo(socket_);
    if (!http) return {};
    cups_dest_t* dests = nullptr;
    int n = cupsGetDests2(http.get(), &dests);
    std::string reasons;
    if (cups_dest_t* d = cupsGetDest(queue.c_str(), nullptr, n, dests))
        if (const char* v = cupsGetOption("printer-state-reasons", d->num_options, d->options)) reasons = v;
    cupsFreeDests(n, dests);
    return reasons;
}

bool CupsSandbox::waitForReason(const std::string& queue, const std::string& reason,
                                std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::string reasons = "," + printerStateReasons(queue) + ",";
        if (reasons.find("," + reason + ",") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string CupsSandbox::queuePpdPath(const std::string& queue) const { return dir_ + "/conf/ppd/" + queue + ".ppd"; }

std::string CupsSandbox::queuePpd(const std::string& queue) const { return readFile(queuePpdPath(queue)); }

std::string CupsSandbox::errorLog() const { return readFile(dir_ + "/log/error_log"); }

std::optional<std::string> ppdKeywordValue(const std::string& ppdText, const std::string& keyword) {
    const std::string marker = "\n*" + keyword + ":";
    size_t at = ppdText.find(marker);
    if (at == std::string::npos) return std::nullopt;
    size_t start = at + marker.size();
    size_t end = ppdText.find('\n', start);
    std::string value = ppdText.substr(start, end == std::string::npos ? std::string::npos : end - start);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

}  // namespace tessaron::test
