// What the backend's lab query reports (records described in the backend's LabQuery.cpp),
// read back into plain values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron::printerapp {

struct LabPaper {
    std::string key;           // the catalogue key, "w1020s1r300" or "A4-r300"
    bool sheet = false;        // paper source not 0
    std::string name;          // sheet papers
    unsigned width = 0;        // nominal, 0.1 mm
    unsigned surface = 0;
    unsigned resolution = 0;   // the catalogue's value: dots per inch x 10
    unsigned lmin = 0, lmax = 0;  // 0.1 mm
    unsigned magazine = 0;
    long long remain = 0;
    unsigned tone = 0;

    unsigned dpi() const { return resolution / 10; }
};

struct LabError {
    unsigned number = 0, main = 0, sub = 0, level = 0;
    std::string message;
};

struct LabReport {
    bool reached = false;    // the lab answered its information query
    bool complete = false;   // the report ran to its "end" record
    std::string name, api, address;
    bool extended = false, duplex = false;
    int state = -1;          // JRX state, -1 when no status came
    std::string stateName;
    bool ableReceive = false;
    std::vector<LabPaper> papers;
    std::vector<LabError> errors;
};

inline constexpr std::size_t kMaxReportPapers = 2048;
inline constexpr std::size_t kMaxReportErrors = 64;

// Reads the records; unknown records and fields are skipped, lists are capped.
LabReport parseLabReport(std::string_view text);

}  // namespace tessaron::printerapp
