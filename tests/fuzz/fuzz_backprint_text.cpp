// Back-print lines as the job turns them into the frame's 120-byte fields: escapes, tokens
// and restored characters, then UTF-8 with the (C) sign as the lab's shift code, cut so that a
// terminating zero remains and no character is split.
#include <cstring>

#include "BackPrintText.h"
#include "FuzzSupport.h"

using namespace tessaron::fuzz;

namespace {

// Valid UTF-8 up to the first zero byte, the shift code 0E C1 0F counted as one character.
bool fieldIsWellFormed(const uint8_t* field, size_t size) {
    size_t i = 0;
    while (i < size && field[i] != 0) {
        const uint8_t c = field[i];
        size_t n = 0;
        if (c == 0x0E) {
            if (i + 2 >= size || field[i + 1] != 0xC1 || field[i + 2] != 0x0F) return false;
            n = 3;
        } else if (c < 0x80) n = 1;
        else if ((c & 0xE0) == 0xC0) n = 2;
        else if ((c & 0xF0) == 0xE0) n = 3;
        else if ((c & 0xF8) == 0xF0) n = 4;
        else return false;
        if (c != 0x0E)
            for (size_t k = 1; k < n; ++k)
                if (i + k >= size || (field[i + k] & 0xC0) != 0x80) return false;
        i += n;
    }
    return i < size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    setUpHarness();
    InputReader input({data, size});
    tessaron::BackPrintTokens tokens;
    tokens.title = text(input.until(0));
    tokens.host = text(input.until(0));
    tokens.user = text(input.until(0));
    tokens.formatDate = [](std::string_view pattern) { return "<" + std::string(pattern.substr(0, 16)) + ">"; };
    const std::string line = text(input.rest());

    uint8_t field[121];
    std::memset(field, 0xAA, sizeof field);
    tessaron::convertBackPrintLine(line, tokens, field, 120);
    require(field[120] == 0xAA, "the conversion wrote past its field");
    require(fieldIsWellFormed(field, 120), "the field is not well-formed text with its zero");
    const std::string expanded = tessaron::expandBackPrintLine(line, tokens);
    (void)expanded;
    requireCupsLines();
    return 0;
}
