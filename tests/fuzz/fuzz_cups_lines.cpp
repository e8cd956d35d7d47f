// The writer of CUPS message lines: texts from outside (printer names, paper names, error
// messages, option values) reach standard error through every kind of line, and each line
// stays one line with its level word, no control character, valid UTF-8 and balanced quotes.
#include "FuzzSupport.h"
#include "PLUMEX_CUPSLog.h"
#include "PLUMEX_CUPSPrintJob.h"

using namespace tessaron::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    const uint8_t kind = input.byte();
    const std::string first = text(input.until(0));
    const std::string second = text(input.rest());
    switch (kind % 8) {
        case 0: PLUMEX_CUPSLog::logLevelMessage(kind >> 3, first); break;
        case 1: PLUMEX_CUPSLog::debug("Printer name is \"%s\"", first.c_str()); break;
        case 2: PLUMEX_CUPSLog::err("%s", first.c_str()); break;
        case 3: PLUMEX_CUPSLog::stateSet(first); break;
        case 4: PLUMEX_CUPSLog::stateClear(first); break;
        case 5: PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::pair<std::string, std::string>>{{first, second}}); break;
        case 6: PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(std::vector<std::string>{first + "=" + second}); break;
        default: PLUMEX_CUPSPrintJob::ppdUpdatePrinterState(first); break;
    }
    requireCupsLines();
    return 0;
}
