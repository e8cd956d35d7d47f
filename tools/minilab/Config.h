// What one emulated minilab is: identity, capabilities, papers, status, errors, faults.
// Read from the JSON configuration (schema in README.md and --help).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"

namespace tessaron::minilab {

struct Paper {
    uint32_t number = 0;     // sequence number in the list (1...); 0: by position
    std::string name;        // sheet paper's name (extended records only)
    uint16_t width = 0;      // 0.1 mm
    uint16_t surface = 0;
    uint16_t resolution = 0; // as the record carries it (e.g. 3000 for 300 dpi)
    uint16_t lmin = 0;       // shortest print length, 0.1 mm
    uint16_t lmax = 0;       // longest print length, 0.1 mm
    uint16_t tone = 0;
    bool sheet = false;      // source: roll (false) or sheet (true)
    uint16_t magazine = 0;
    uint32_t remain = 0;
    uint16_t borderless = 0;
    int16_t trimTop = 0, trimBottom = 0, trimLeft = 0, trimRight = 0;
};

struct StatusStep {
    uint16_t state = 0;        // 0 idle, 1 print, 2 setup, 3 alert
    uint16_t receive = 0;      // 0: can receive an order
    uint16_t printingUnit = 0; // 0: able
    uint32_t repeat = 1;       // how many status requests this step answers
};

struct PrinterError {
    uint32_t number = 0;
    uint16_t mainError = 0;
    uint16_t subError = 0;
    uint16_t level = 0;
    std::string message;
};

struct LabConfig {
    std::string name = "Tessaron Minilab";
    std::string infoName;          // name in the information reply; empty: `name`
    std::string address = "127.0.0.2";
    uint32_t apiVersion = 0x03000000;
    bool extraFeatures = true;
    bool duplex = true;
    uint32_t imageFormats = 0x3;   // JPEG | BMP
    uint64_t maxImageBytes = 256ull * 1024 * 1024;
    std::vector<Paper> papers;
    std::vector<StatusStep> status;  // empty: always idle and able to receive
    uint64_t printCount = 0;
    uint16_t temp[3] = {0, 0, 0};
    uint16_t remainLevels[3] = {0, 0, 0};
    uint64_t spoolerSpace = 1ull << 32;
    std::vector<PrinterError> errors;  // reported once, by the first error-list request
    Faults faults;
};

struct Config {
    std::vector<LabConfig> labs;
};

// The lab used without --config: version 3.0.0.0 with extended features and duplex, two
// roll papers and one sheet paper.
LabConfig defaultLab();

// Parses the configuration text; on failure answers nothing and sets `error`.
std::optional<Config> parseConfig(const std::string& text, std::string& error);
std::optional<Config> loadConfig(const std::string& path, std::string& error);

// "3.0.0.0" or a number: the four-byte version value.
std::optional<uint32_t> parseVersion(const std::string& text);
std::string versionText(uint32_t version);

}  // namespace tessaron::minilab
