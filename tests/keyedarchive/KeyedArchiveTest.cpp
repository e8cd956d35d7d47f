// Keyed archives: every value type survives a round trip, Python's plistlib reads the layout
// (the dialog and other readers depend on it), and damaged or hostile archives are refused.
#include <gtest/gtest.h>

#include "KeyedArchive.h"
#include "Process.h"
#include "TempDir.h"

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
    spec.args = {"-c", R"(
import plistlib, sys
a = plistlib.load(open(sys.argv[1], "rb"))
assert a["$archiver"] == "NSKeyedArchiver" and a["$version"] == 100000, a
o = a["$objects"]
assert o[0] == "$null"
def r(v):
    v = o[v.data] if isinstance(v, plistlib.UID) else v
    if isinstance(v, dict) and "NS.keys" in v:
        assert o[v["$class"].data]["$classname"] in ("NSDictionary", "NSMutableDictionary")
        return {r(k): r(x) for k, x in zip(v["NS.keys"], v["NS.objects"])}
    return v
root = r(a["$top"]["root"])
s = root["A4-r300"]
print(s["paperName"], s["paperWidth"], s["tone"], s["installed"], s["big"], s["negative"], repr(s["empty"]),
      root["w1270s1r300"]["paperLMax"], root["nested"])
)",
                 path};
    const auto result = tessaron::test::runProcess(spec);
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "A4 \xC3\xA9 2100 0.5 True 1099511627776 -7 '' 2540 {'deep': {}}\n");
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
    EXPECT_FALSE(decode(*deep));
}

}  // namespace
