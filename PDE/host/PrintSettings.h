// The dialog's print settings: CUPS options in the order they were first set, each key once.
// They become the job's options and, saved, the queue's defaults.
#pragma once

#include <cups/cups.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessaron::print {

class PrintSettings {
public:
    std::optional<std::string> value(const std::string& key) const;
    // Replaces the value of an existing key in place, or appends the pair.
    void set(const std::string& key, const std::string& value);
    void remove(const std::string& key);
    bool contains(const std::string& key) const { return value(key).has_value(); }
    const std::vector<std::pair<std::string, std::string>>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

    // Adds every pair to a CUPS option array (cupsAddOption), later keys replacing earlier ones.
    int addTo(int count, cups_option_t** options) const;
    // The options a job or a saved queue should carry from a destination's option list: the
    // scheduler's printer attributes (printer-*, marker-*, device-uri ...) are left out.
    static PrintSettings fromDestinationOptions(int count, const cups_option_t* options);
    static bool isPrinterAttribute(const std::string& key);

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Owns a CUPS option array.
class CupsOptions {
public:
    CupsOptions() = default;
    ~CupsOptions() { cupsFreeOptions(count_, options_); }
    CupsOptions(const CupsOptions&) = delete;
    CupsOptions& operator=(const CupsOptions&) = delete;

    void add(const std::string& key, const std::string& value) {
        count_ = cupsAddOption(key.c_str(), value.c_str(), count_, &options_);
    }
    void add(const PrintSettings& settings) { count_ = settings.addTo(count_, &options_); }
    std::optional<std::string> value(const std::string& key) const {
        const char* v = cupsGetOption(key.c_str(), count_, options_);
        return v ? std::optional<std::string>(v) : std::nullopt;
    }
    int count() const { return count_; }
    cups_option_t* options() const { return options_; }

private:
    int count_ = 0;
    cups_option_t* options_ = nullptr;
};

}  // namespace tessaron::print
