// The host description of the drivers' start-up line, from Linux's own sources.
#include "PLUMEX_CUPSLog.h"
#include "PLUMEX_CUPSLogState.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <bit>
#include <fstream>
#include <sstream>

namespace {

// Behaviour level of the platform layer; the pre-10.7 rules (below 833.1) never apply.
constexpr double kPlatformFrameworkVersion = 1858.112;
constexpr size_t kTextFileLimit = 1 << 20;

std::string readSmallTextFile(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    if (!ok) return {};
    std::string content(kTextFileLimit, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<size_t>(in.gcount()));
    return content;
}

std::string trimmed(std::string text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.back())) text.pop_back();
    size_t start = 0;
    while (start < text.size() && isSpace(text[start])) ++start;
    return text.substr(start);
}

uint64_t pageSize() {
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<uint64_t>(size) : 4096;
}

uint64_t physicalMemoryMB() {
    struct sysinfo info {};
    if (::sysinfo(&info) != 0) return 0;
    return (static_cast<uint64_t>(info.totalram) * info.mem_unit) >> 20;
}

std::string operatingSystemVersion() {
    struct utsname names {};
    if (::uname(&names) != 0) return "unknown";
    return std::string(names.sysname) + " " + names.release;
}

}  // namespace

double PLUMEX_CUPSLog::platformFrameworkVersion() { return kPlatformFrameworkVersion; }

std::string PLUMEX_CUPSLog::hostModelAndArch() {
    bool ok = false;
    std::string model = trimmed(readSmallTextFile("/sys/devices/virtual/dmi/id/product_name", ok));
    struct utsname names {};
    const std::string machine = ::uname(&names) == 0 ? names.machine : "unknown";
    if (model.empty()) model = "Unknown";
    return model + " (" + machine + ")";
}

std::map<std::string, uint64_t> PLUMEX_CUPSLog::vmStats() {
    std::ifstream in("/proc/meminfo");
    if (!in) return {};
    std::map<std::string, uint64_t> kilobytes;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        uint64_t value = 0;
        if (fields >> key >> value && key.size() > 1 && key.back() == ':') {
            key.pop_back();
            kilobytes[key] = value;
        }
    }
    const auto freeKB = kilobytes.find("MemFree");
    if (kilobytes.size() < 4 || freeKB == kilobytes.end()) return {};
    const uint64_t page = pageSize();
    const uint64_t freePages = freeKB->second * 1024 / page;
    const uint64_t freeBytes = freePages * page;
    return {{"freePages", freePages}, {"freeBytes", freeBytes}, {"freeMB", freeBytes >> 20}};
}

std::string PLUMEX_CUPSLog::cupsVersionString() { return cupsVersionStringFromFile("/usr/bin/cups-config"); }

std::string PLUMEX_CUPSLog::cupsVersionStringFromFile(const std::string& path) {
    bool ok = false;
    const std::string content = readSmallTextFile(path, ok);
    static const std::string marker = "\nVERSION=\"";
    const size_t at = ok ? content.find(marker) : std::string::npos;
    if (at == std::string::npos) return "unavailable";
    const size_t start = at + marker.size();
    const size_t end = content.find('"', start);
    if (end == std::string::npos) return "unavailable";
    return content.substr(start, end - start);
}

std::string PLUMEX_CUPSLog::systemVersionInfo() {
    const auto stats = vmStats();
    const auto freeMB = stats.find("freeMB");
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    const char* byteOrder = std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian";
    return tessaron::printjob::format("Mac OS X %s foundation (%.3f);\n%luMB (%ldMB free); %u CPU; %s (%d-bit); %s; CUPS (%s)",
                              operatingSystemVersion().c_str(), kPlatformFrameworkVersion,
                              static_cast<unsigned long>(physicalMemoryMB()),
                              static_cast<long>(freeMB == stats.end() ? 0 : freeMB->second),
                              static_cast<unsigned>(cpus > 0 ? cpus : 1), byteOrder,
                              static_cast<int>(sizeof(void*) * 8), hostModelAndArch().c_str(),
                              cupsVersionString().c_str());
}
