// Paper records of both forms (72 and 108 bytes) as the client reads them, one list of
// records after the other into a catalogue; the catalogue is then archived as the backend
// stores it and read back as itself.
#include <memory>

#include "FuzzSupport.h"
#include "KeyedArchive.h"
#include "VantrelTessaronJob.h"

using namespace tessaron::fuzz;
namespace ka = tessaron::keyedarchive;

namespace {

class PaperReader : public VantrelTessaronJob {
public:
    JRXPaperCatalogue readList(InputReader& input, bool extended) {
        if (extended) {
            // The extended record form is read once the information reply showed extra features.
            std::uint8_t info[tessaron::jrx::kPrinterInfoSize] = {'L', 'a', 'b'};
            tessaron::jrx::putU32(info + 20, 0x03000000);
            tessaron::jrx::putU16(info + 30, 1);
            processInfoResponse(info);
        }
        const size_t size = extended ? tessaron::jrx::kPaperRecordADSize : tessaron::jrx::kPaperRecordSize;
        JRXPaperCatalogue catalogue;
        for (int i = 0; i < 256 && !input.empty(); ++i) {
            const auto record = input.take(size);
            if (record.size() < size) break;  // the reader only ever gets whole records
            const JRXPaperDictionary paper = paperDictForData(record);
            const std::string key = paperKeyForDictionary(paper);
            auto it = catalogue.find(key);
            if (it != catalogue.end()) {
                require(it->second.dictionary() != nullptr, "catalogue entry is no dictionary");
                processPaperForExistingDuplicateWithName(paper, *it->second.dictionary(), key);
            } else {
                catalogue.emplace(key, ka::Value(paper));
            }
            (void)processGetPaperResponse(record);
        }
        return catalogue;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    const bool extended = input.byte() & 1;
    JRXPaperCatalogue catalogue;
    {
        auto reader = std::unique_ptr<PaperReader>(new PaperReader());
        try {
            catalogue = reader->readList(input, extended);
        } catch (const JobEnded&) {
        }
    }
    const auto archive = ka::encode(ka::Value(catalogue));
    require(archive.has_value(), "the catalogue could not be archived");
    const auto back = ka::decode(*archive);
    require(back.has_value(), "the archived catalogue could not be read");
    require(*back == ka::Value(catalogue), "the catalogue read back different");
    requireCupsLines();
    return 0;
}
