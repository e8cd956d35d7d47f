// Keyed archives: every value type survives a round trip, Python's plistlib reads the layout
// (the dialog and other readers depend on it), and damaged or hostile archives are refused.
#include <gtest/gtest.h>

#include "KeyedArchive.h"
#include "KeyedArchiveReader.h"
#include "Process.h"
#include "TempDir.h"

#include <plist/plist.h>
#include <sys/resource.h>

using namespace tessaron::keyedarchive;

namespace {

Value catalogue() {
    Dictionary roll{{"paperWidth", 1270}, {"paperLMin", 890}, {"paperLMax", 2540}, {"paperSource", 0}};
    Dictionary sheet{{"paperName", "A4 \xC3\xA9"}, {"paperWidth", 2100}, {"paperSource", 1}, {"tone", 0.5},
                     {"installed", true}, {"big", std::int64_t{1} << 40}, {"negative", -7}, {"empty", ""}};
    return Value(Dictionary{{"w1270s1r300", roll}, {"A4-r300", sheet}, {"nested", Dictionary{{"deep", Dictionary{}}}}});
}

TEST(KeyedArchive, RoundTripKeepsEveryType) {
    const auto archive = encode(catalogue());
    ASSERT_TRUE(archive);
    EXPECT_EQ(std::string(archive->begin(), archive->begin() + 8), "bplist00");
    const auto back = decode(*archive);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, catalogue());
    const auto& sheet = *back->dictionary()->at("A4-r300").dictionary();
    EXPECT_TRUE(sheet.at("installed").isBool());
    EXPECT_TRUE(sheet.at("tone").isReal());
    EXPECT_EQ(sheet.at("big").integer(), std::int64_t{1} << 40);
}

TEST(KeyedArchive, IndependentReaderResolvesTheLayout) {
    const auto archive = encode(catalogue());
    ASSERT_TRUE(archive);
    tessaron::test::TempDir dir;
    const std::string path = dir.write("archive.plist", std::string(archive->begin(), archive->end()));
    tessaron::test::ProcessSpec spec;
    spec.program = "/usr/bin/python3";
    spec.args = {"-c", std::string(tessaron::test::kKeyedArchiveResolver) + R"(
import sys
a = plistlib.load(open(sys.argv[1], "rb"))
assert a["$archiver"] == "NSKeyedArchiver" and a["$version"] == 100000, a
o = a["$objects"]
assert o[0] == "$null"
root = resolve(o, a["$top"]["root"])
s = root["A4-r300"]
print(s["paperName"], s["paperWidth"], s["tone"], s["installed"], s["big"], s["negative"], repr(s["empty"]),
      root["w1270s1r300"]["paperLMax"], root["nested"])
)",
                 path};
    const auto result = tessaron::test::runProcess(spec);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "A4 \xC3\xA9 2100 0.5 True 1099511627776 -7 '' 2540 {'deep': {}}\n");
}

TEST(KeyedArchive, TextsThatAreNotUTF8ReadTheSameOnBothSides) {
    // Valid UTF-8 (two, three and four bytes) stays; stray, overlong and surrogate bytes are Latin-1.
    EXPECT_EQ(archiveText("A4 \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7"), "A4 \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xB7");
    EXPECT_EQ(archiveText("Pap\xA7r"), "Pap\xC2\xA7r");
    EXPECT_EQ(archiveText("\xC3"), "\xC3\x83");             // cut sequence
    EXPECT_EQ(archiveText("\xC0\xAF"), "\xC3\x80\xC2\xAF");  // overlong "/"
    EXPECT_EQ(archiveText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // surrogate
    // The name the backend files a paper under is the name the dialog reads back and offers.
    const std::string filed = archiveText("Pap\xA7r");
    const auto archive = encode(Value(Dictionary{{filed + "-r30", Dictionary{{"paperName", "Pap\xA7r"}}}}));
    ASSERT_TRUE(archive);
    const auto back = decode(*archive);
    ASSERT_TRUE(back);
    const auto& paper = back->dictionary()->at(filed + "-r30");
    EXPECT_EQ(*paper.dictionary()->at("paperName").string(), filed);
    EXPECT_EQ(archiveText(filed), filed);
    // A text read with a zero byte inside (a UTF-16 text may hold one) ends there, as it would
    // after being written again.
    using namespace std::string_literals;
    EXPECT_EQ(archiveText("Gloss\0\xED\x86\x81"s), "Gloss");
    const auto zeroed = encode(Value(Dictionary{{"k", "Matte\0tail"s}}));
    ASSERT_TRUE(zeroed);
    EXPECT_EQ(*decode(*zeroed)->dictionary()->at("k").string(), "Matte");
}

TEST(KeyedArchive, DamagedOrHostileArchivesAreRefused) {
    const auto archive = encode(catalogue());
    ASSERT_TRUE(archive);
    EXPECT_FALSE(decode({}));
    // Every truncation of a valid archive is refused or decodes to something, never crashes.
    for (std::size_t n = 0; n < archive->size(); n += 7)
        (void)decode(std::span<const std::uint8_t>(archive->data(), n));
    std::vector<std::uint8_t> garbage(archive->begin(), archive->end());
    for (std::size_t i = 8; i < garbage.size(); i += 5) garbage[i] ^= 0x5A;
    (void)decode(garbage);
    // A plain property list without the archive's layout is not an archive.
    const std::string plain = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><integer>1</integer></dict></plist>";
    EXPECT_FALSE(decode(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size())));
    // Too large.
    std::vector<std::uint8_t> huge(kMaxArchiveSize + 1, 0);
    EXPECT_FALSE(decode(huge));
}

TEST(KeyedArchive, NestingBeyondTheLimitIsRefused) {
    auto nest = [](int depth) {
        Value v(Dictionary{});
        for (int i = 0; i < depth; ++i) v = Value(Dictionary{{"d", v}});
        return v;
    };
    const auto shallow = encode(nest(kMaxDepth - 2));
    ASSERT_TRUE(shallow);
    EXPECT_TRUE(decode(*shallow));
    const auto deep = encode(nest(kMaxDepth + 4));
    ASSERT_TRUE(deep);
    std::string refusal;
    EXPECT_FALSE(decode(*deep, &refusal));
    EXPECT_NE(refusal.find("deeper"), std::string::npos) << refusal;
}

// An archive in the keyed archiver's layout whose dictionaries each refer `fanOut` times to the
// next one: a few hundred bytes that describe fanOut^levels objects when expanded naively.
std::vector<std::uint8_t> sharedReferenceBomb(int levels, int fanOut) {
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    for (int k = 0; k < fanOut; ++k) plist_array_append_item(objects, plist_new_string(("k" + std::to_string(k)).c_str()));
    const auto firstDict = static_cast<std::uint64_t>(fanOut + 1);
    for (int level = 0; level < levels; ++level) {
        plist_t dict = plist_new_dict();
        plist_t keys = plist_new_array(), values = plist_new_array();
        for (int k = 0; k < fanOut; ++k) {
            plist_array_append_item(keys, plist_new_uid(static_cast<std::uint64_t>(k + 1)));
            // The last level refers to a text, every other one to the next level's dictionary.
            const std::uint64_t next = level + 1 < levels ? firstDict + static_cast<std::uint64_t>(level) + 1 : 1;
            plist_array_append_item(values, plist_new_uid(next));
        }
        plist_dict_set_item(dict, "NS.keys", keys);
        plist_dict_set_item(dict, "NS.objects", values);
        plist_array_append_item(objects, dict);
    }
    plist_t archive = plist_new_dict();
    plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(archive, "$version", plist_new_uint(100000));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(firstDict));
    plist_dict_set_item(archive, "$top", top);
    plist_dict_set_item(archive, "$objects", objects);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(archive, &bytes, &length);
    std::vector<std::uint8_t> out(bytes, bytes + length);
    plist_to_bin_free(bytes);
    plist_free(archive);
    return out;
}

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(KeyedArchive, SharedReferencesExpandingWithoutBoundAreRefused) {
    // A tree of 8^14 objects from a small archive: refused with a reason, in bounded memory.
    const auto bomb = sharedReferenceBomb(kMaxDepth - 2, 8);
    EXPECT_LT(bomb.size(), 2048u);
    const long before = peakResidentKiB();
    std::string refusal;
    EXPECT_FALSE(decode(bomb, &refusal));
    EXPECT_NE(refusal.find("more than 262144 objects"), std::string::npos) << refusal;
    EXPECT_LT(peakResidentKiB() - before, 512L * 1024) << "KiB grown while refusing";

    // The same shape within the total still decodes, so the bound is on expansion, not shape.
    refusal.clear();
    const auto small = decode(sharedReferenceBomb(4, 8), &refusal);
    ASSERT_TRUE(small) << refusal;
    EXPECT_EQ(small->dictionary()->size(), 8u);
    EXPECT_TRUE(refusal.empty());
}

TEST(KeyedArchive, LargestRealCatalogueIsWithinTheLimits) {
    // 2048 distinct papers with every key the extended record yields, names included.
    Dictionary catalogue;
    for (int i = 0; i < 2048; ++i) {
        Dictionary paper;
        for (const char* key : {"paperNumber", "paperWidth", "paperResolution", "paperMagazine", "paperRemain",
                                "paperSurface", "paperLMin", "paperLMax", "paperSource", "borderless", "paperTone",
                                "trimTop", "trimBottom", "trimLeft", "trimRight"})
            paper[key] = i;
        paper["paperName"] = "Sheet paper number " + std::to_string(i) + " ....";
        catalogue["Sheet paper number " + std::to_string(i) + "-r30"] = Value(paper);
    }
    const auto archive = encode(Value(catalogue));
    ASSERT_TRUE(archive);
    std::string refusal;
    const auto back = decode(*archive, &refusal);
    ASSERT_TRUE(back) << refusal;
    EXPECT_EQ(back->dictionary()->size(), 2048u);
}

// A binary property list, written byte by byte, whose arrays each hold `fanOut` references to
// the next array: the parser would copy the last one fanOut^levels times.
std::vector<std::uint8_t> sharedArrayBomb(int levels, int fanOut) {
    std::vector<std::uint8_t> out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::uint16_t> offsets;
    for (int i = 0; i < levels; ++i) {
        offsets.push_back(static_cast<std::uint16_t>(out.size()));
        out.push_back(static_cast<std::uint8_t>(0xA0 | fanOut));
        for (int k = 0; k < fanOut; ++k) out.push_back(static_cast<std::uint8_t>(i + 1));
    }
    offsets.push_back(static_cast<std::uint16_t>(out.size()));
    out.insert(out.end(), {0x51, 'x'});
    const auto table = out.size();
    for (auto o : offsets) out.insert(out.end(), {static_cast<std::uint8_t>(o >> 8), static_cast<std::uint8_t>(o)});
    auto be64 = [&out](std::uint64_t v) { for (int s = 56; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s)); };
    out.insert(out.end(), {0, 0, 0, 0, 0, 0, 2, 1});
    be64(offsets.size());
    be64(0);
    be64(table);
    return out;
}

TEST(KeyedArchive, SharedPropertyListObjectsAreCountedBeforeParsing) {
    // 12 levels of 8: 8^12 copies from 140 bytes, which the parser alone would take minutes on.
    const auto bomb = sharedArrayBomb(12, 8);
    const long before = peakResidentKiB();
    std::string refusal;
    EXPECT_FALSE(decode(bomb, &refusal));
    EXPECT_NE(refusal.find("nodes"), std::string::npos) << refusal;
    EXPECT_LT(peakResidentKiB() - before, 64L * 1024) << "KiB grown while refusing";
    // A reference cycle and an object table pointing outside the file are malformed, not bombs.
    auto cyclic = sharedArrayBomb(2, 1);
    cyclic[9] = 0;  // the first array refers to itself
    EXPECT_FALSE(decode(cyclic));
    auto outside = sharedArrayBomb(2, 1);
    outside[outside.size() - 1] = 0xF0;  // offset table beyond the end
    EXPECT_FALSE(decode(outside));
}

}  // namespace
