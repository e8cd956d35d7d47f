#include "PLUMEX_CUPSLogState.h"

#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "PLUMEX_TextUtilities.h"

namespace tessaron::printjob {
namespace {

// The state lives until the process ends: fatal() exits from deep inside the job, and
// nothing may be torn down under a late log call.
LogState& sharedState() {
    static LogState* state = [] {
        auto* s = new LogState;
        s->preFileBuffer = std::string();
        s->applicationName = processName();
        return s;
    }();
    return *state;
}

std::recursive_mutex& stateMutex() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

std::atomic<int64_t>& errorPauseMs() {
    static std::atomic<int64_t> value{5000};
    return value;
}

constexpr const char16_t* kLogDatePattern = u"[YYYY/MM/dd HH:mm:ss.SSS Z]";

}  // namespace

StateLock::StateLock() { stateMutex().lock(); }
StateLock::~StateLock() { stateMutex().unlock(); }
LogState& StateLock::state() { return sharedState(); }

std::atomic<int>& seenSignalStore() {
    static std::atomic<int> value{0};
    return value;
}

std::chrono::milliseconds errorPause() { return std::chrono::milliseconds(errorPauseMs().load()); }

void setErrorPause(std::chrono::milliseconds duration) { errorPauseMs().store(duration.count()); }

// The program file's own name. The scheduler starts a backend with the device URI as argv[0],
// so the name the process was invoked by says nothing about which program this is.
std::string processName() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0) {
        std::string_view file(path, static_cast<size_t>(length));
        constexpr std::string_view kDeleted = " (deleted)";  // the file was replaced while running
        if (file.size() > kDeleted.size() && file.substr(file.size() - kDeleted.size()) == kDeleted)
            file.remove_suffix(kDeleted.size());
        const size_t slash = file.rfind('/');
        if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
        if (!file.empty()) return std::string(file);
    }
    const char* invoked = program_invocation_name ? program_invocation_name : "";
    return std::strchr(invoked, ':') ? std::string() : std::string(program_invocation_short_name);
}

std::string formattedLogDate(LogState& state, std::chrono::system_clock::time_point when) {
    if (!state.dateFormatter) {
        UErrorCode status = U_ZERO_ERROR;
        auto* formatter = new icu::SimpleDateFormat(icu::UnicodeString(kLogDatePattern), icu::Locale(kNeutralDateLocale), status);
        if (U_FAILURE(status)) {
            delete formatter;
            return {};
        }
        state.dateFormatter = formatter;
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    icu::UnicodeString text;
    static_cast<icu::SimpleDateFormat*>(state.dateFormatter)->format(static_cast<UDate>(ms), text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

}  // namespace tessaron::printjob
