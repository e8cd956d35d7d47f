// The options of the print dialog's panels as vendor attributes of the printer: each has
// "<name>-default" (settable as a printer default), the integers also "<name>-supported", and
// travels with a job as "<name>". They become the backend's job options.
#pragma once

#include <cups/cups.h>

#include <map>
#include <string>
#include <vector>

namespace tessaron::printerapp {

struct VendorOption {
    const char* name;
    bool text;        // free text (back-print lines); else an integer in [lower, upper]
    int lower, upper, standard;
};

// The table, in the order the web page shows it.
const std::vector<VendorOption>& vendorOptions();

// Adds the "-supported" attribute of every integer option and the "-default" of every option,
// taken from `defaults` ("<name>-default" -> value) where it holds one.
void addVendorAttributes(ipp_t* attrs, const std::map<std::string, std::string>& defaults);

// A text default as PAPPL 1.3 reads it back from its state file, made whole again: the file
// holds the value with every quote, backslash and '[' escaped by a backslash, and the reader
// keeps the escapes, which would turn the back-print tokens ("[F]") into plain text.
std::string unescapedSavedText(const std::string& saved);

// The backend's option text for the job's vendor values (name -> value; absent ones take their
// standard): integers clamped to their range, texts cut to the back-print field.
std::vector<std::pair<std::string, std::string>> backendVendorOptions(const std::map<std::string, std::string>& values);

}  // namespace tessaron::printerapp
