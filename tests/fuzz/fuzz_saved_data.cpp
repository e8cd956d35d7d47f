// Saved data in the queue's PPD: Base64 chunks in numbered attributes, read back from hostile
// attribute values (and the archive they decode to); and every byte string written as saved
// data reads back as itself once the scheduler has stored its "PPD:" lines.
#include <cups/ppd.h>

#include <cstdio>

#include "FuzzSupport.h"
#include "KeyedArchive.h"
#include "PLUMEX_CUPSPrintJob.h"

using namespace tessaron::fuzz;

namespace {

const char* const kName = "JRXPapersKnown";

std::string ppdWithAttributes(const std::string& attributes) {
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"FUZZ.PPD\"\n*Manufacturer: \"Fuzz\"\n"
           "*Product: \"(Fuzz)\"\n*ModelName: \"Fuzz\"\n*ShortNickName: \"Fuzz\"\n*NickName: \"Fuzz\"\n"
           "*PSVersion: \"(3010.000) 0\"\n" +
           attributes;
}

std::optional<std::vector<uint8_t>> readBack(const std::string& attributes) {
    const std::string path = writeScratchFile("queue.ppd", bytesOf(ppdWithAttributes(attributes)));
    ppd_file_t* ppd = ppdOpenFile(path.c_str());
    if (!ppd) return std::nullopt;
    auto data = PLUMEX_CUPSPrintJob::ppdSavedDataForAttributeForPPD(kName, ppd);
    ppdClose(ppd);
    return data;
}

// Hostile chunk values, one per input line, as the scheduler would have stored them.
void readHostileChunks(InputReader& input) {
    std::string attributes;
    for (int index = 0; !input.empty() && index < 64; ++index) {
        std::string value = text(input.until('\n'));
        std::erase(value, '\r');
        char name[32];
        std::snprintf(name, sizeof name, "*%s%05x", kName, index);
        attributes += std::string(name) + ": " + value + "\n";
    }
    const auto data = readBack(attributes);
    if (data) {
        require(!data->empty(), "saved data read back as an empty value");
        (void)tessaron::keyedarchive::decode(*data);
    }
}

// The "PPD:" lines of a save, stored as the scheduler stores them, read back.
void roundTrip(std::span<const uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes.begin(), bytes.end());
    takeStandardError();
    PLUMEX_CUPSPrintJob::ppdSaveDataForAttribute(data, kName);
    const std::string out = takeStandardError();
    std::string attributes;
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with("PPD: ")) continue;
        line.erase(0, 5);
        const size_t equals = line.find('=');
        require(equals != std::string::npos, "saved-data line without a value");
        // The scheduler stores each value as the line carries it, without adding quotes.
        attributes += "*" + line.substr(0, equals) + ": " + line.substr(equals + 1) + "\n";
    }
    if (data.empty()) {
        require(attributes.empty(), "empty data was saved");
        return;
    }
    const auto back = readBack(attributes);
    if (!back) finding("saved data did not read back from: " + attributes.substr(0, 400));
    require(*back == data, "saved data read back different");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    if (input.byte() & 1) roundTrip(input.rest());
    else readHostileChunks(input);
    requireCupsLines();
    return 0;
}
