// Paper remaining per magazine as the queue's marker attributes.
#include <gtest/gtest.h>

#include "MarkerLevels.h"

namespace tessaron::printerapptest {
namespace {

using tessaron::keyedarchive::Dictionary;
using tessaron::keyedarchive::Value;

Dictionary paper(int width, int magazine, int remain, const char* name = nullptr) {
    Dictionary p{{"paperWidth", Value(width)}, {"paperSurface", Value(1)}, {"paperMagazine", Value(magazine)},
                 {"paperRemain", Value(remain)}};
    if (name) {
        p["paperSource"] = Value(1);
        p["paperName"] = Value(name);
    }
    return p;
}

TEST(MarkerLevels, OneMarkerPerMagazineWithTheLargestRemainder) {
    const Dictionary catalogue{{"w1020s1r300", Value(paper(1020, 2, 40))},
                               {"w1020s1r600", Value(paper(1020, 2, 55))},
                               {"A4-r300", Value(paper(2100, 1, 0, "A4, \"gloss\""))}};
    const auto supplies = tessaron::magazineSupplies(catalogue);
    ASSERT_EQ(supplies.size(), 2u);
    EXPECT_EQ(supplies[0].name, "A4   gloss  (magazine 1)") << "no comma or quote survives in a name";
    EXPECT_EQ(supplies[1].remain, 55);
    const auto attributes = tessaron::markerAttributes(supplies);
    std::map<std::string, std::string> byName(attributes.begin(), attributes.end());
    EXPECT_EQ(byName["marker-levels"], "0,-3") << "empty, and some left of an unknown capacity";
    EXPECT_EQ(byName["marker-names"], "\"A4   gloss  (magazine 1): 0 left\",\"102 mm surface 1 (magazine 2): 55 left\"");
    EXPECT_EQ(byName["marker-types"], "other,other");
    EXPECT_TRUE(tessaron::markerAttributes({}).empty());
}

}  // namespace
}  // namespace tessaron::printerapptest
