// Compiled catalogues as msgfmt writes them, in both byte orders, and the malformed ones a
// damaged installation could leave: every one is refused whole rather than read past its end.
#include "MessageCatalogue.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <utility>
#include <vector>

using tessaron::MessageCatalogue;

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;
using Bytes = std::vector<uint8_t>;

void putWord(Bytes& bytes, size_t at, uint32_t value, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 24 - 8 * i : 8 * i;
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> shift);
    }
}

// Header, the two descriptor tables, then the strings, each followed by a zero byte.
Bytes compiled(const Entries& entries, bool bigEndian = false) {
    const size_t count = entries.size(), originals = 28, translations = originals + 8 * count;
    Bytes bytes(translations + 8 * count, 0);
    putWord(bytes, 0, 0x950412de, bigEndian);
    putWord(bytes, 8, static_cast<uint32_t>(count), bigEndian);
    putWord(bytes, 12, static_cast<uint32_t>(originals), bigEndian);
    putWord(bytes, 16, static_cast<uint32_t>(translations), bigEndian);
    const auto append = [&](size_t descriptor, const std::string& text) {
        putWord(bytes, descriptor, static_cast<uint32_t>(text.size()), bigEndian);
        putWord(bytes, descriptor + 4, static_cast<uint32_t>(bytes.size()), bigEndian);
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.push_back(0);
    };
    for (size_t i = 0; i < count; ++i) {
        append(originals + 8 * i, entries[i].first);
        append(translations + 8 * i, entries[i].second);
    }
    return bytes;
}

const Entries kEntries = {{"", "Content-Type: text/plain; charset=UTF-8\n"},
                          {"Error", "Fehler"},
                          {std::string("%d photo\0%d photos", 18), std::string("%d Foto\0%d Fotos", 16)}};

}  // namespace

TEST(MessageCatalogue, ReadsBothByteOrdersSkipsTheHeaderAndAnswersAPluralWithItsSingular) {
    for (const bool bigEndian : {false, true}) {
        const auto catalogue = MessageCatalogue::parse(compiled(kEntries, bigEndian));
        ASSERT_TRUE(catalogue.has_value()) << bigEndian;
        EXPECT_EQ(catalogue->size(), 2u);
        ASSERT_NE(catalogue->find("Error"), nullptr);
        EXPECT_EQ(*catalogue->find("Error"), "Fehler");
        ASSERT_NE(catalogue->find("%d photo"), nullptr);
        EXPECT_EQ(*catalogue->find("%d photo"), "%d Foto");
        EXPECT_EQ(catalogue->find(""), nullptr);
        EXPECT_EQ(catalogue->find("Warning"), nullptr);
    }
}

TEST(MessageCatalogue, ADamagedCatalogueIsRefusedWhole) {
    const Bytes good = compiled(kEntries);
    ASSERT_TRUE(MessageCatalogue::parse(good).has_value());
    auto damaged = [&](auto change) {
        Bytes bytes = good;
        change(bytes);
        return MessageCatalogue::parse(bytes).has_value();
    };
    EXPECT_FALSE(damaged([](Bytes& b) { b.resize(20); })) << "cut inside the header";
    EXPECT_FALSE(damaged([](Bytes& b) { b.resize(b.size() - 1); })) << "last string without its zero byte";
    EXPECT_FALSE(damaged([](Bytes& b) { b[0] ^= 1; })) << "wrong magic number";
    EXPECT_FALSE(damaged([](Bytes& b) { putWord(b, 4, 2u << 16, false); })) << "unknown major revision";
    EXPECT_FALSE(damaged([](Bytes& b) { putWord(b, 8, 0xffffffff, false); })) << "entry count beyond the file";
    EXPECT_FALSE(damaged([](Bytes& b) { putWord(b, 16, 0xfffffff8, false); })) << "table offset beyond the file";
    EXPECT_FALSE(damaged([](Bytes& b) { putWord(b, 28 + 8, 0xffffffff, false); })) << "string length beyond the file";
    EXPECT_FALSE(damaged([](Bytes& b) { putWord(b, 28 + 12, 0xfffffffc, false); })) << "string start beyond the file";
}

TEST(MessageCatalogue, LoadsARegularFileButNotThroughASymbolicLink) {
    tessaron::test::TempDir dir;
    const std::string file = dir.path() + "/tessaron.mo", link = dir.path() + "/link.mo";
    const Bytes bytes = compiled(kEntries);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    EXPECT_TRUE(MessageCatalogue::load(file).has_value());
    EXPECT_FALSE(MessageCatalogue::load(link).has_value());
    EXPECT_FALSE(MessageCatalogue::load(dir.path()).has_value());
    EXPECT_FALSE(MessageCatalogue::load(dir.path() + "/missing.mo").has_value());
}
