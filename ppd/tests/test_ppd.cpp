// The queue's starting PPD, read the way the backend and the raster filters read it.
#include <cups/ppd.h>
#include <cups/raster.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <strings.h>

namespace {

struct PpdCloser {
    void operator()(ppd_file_t* p) const { ppdClose(p); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdCloser>;

Ppd openPpd() {
    Ppd ppd(ppdOpenFile(TESSARON_PPD_PATH));
    EXPECT_TRUE(ppd) << "cannot open " << TESSARON_PPD_PATH;
    return ppd;
}

// The backend's fall-back: the option's default choice, else the "<Key>Default" attribute.
std::optional<std::string> defaultFor(ppd_file_t* ppd, const std::string& key) {
    if (ppd_option_t* option = ppdFindOption(ppd, key.c_str())) return std::string(option->defchoice);
    ppd_attr_t* attr = ppdFindAttr(ppd, (key + "Default").c_str(), nullptr);
    if (attr && attr->value) return std::string(attr->value);
    return std::nullopt;
}

constexpr std::array kJobOptionKeys{
    "PaperFeed", "PaperName", "TwoSided", "BindingMargin", "BindingWidth", "PaperWidth", "PaperSurface",
    "Resolution", "Overspill", "PaperTone", "CVP1", "CVP2", "EnableCVP1", "EnableCVP2", "DebugLog",
    "AdjustmentsEnabled", "Red", "Green", "Blue", "Brightness", "Contrast", "Saturation", "Gamma",
    "SharpnessEnabled", "SharpnessRadius", "SharpnessIntensity", "AP_ColorMatchingMode"};

TEST(Ppd, EveryJobOptionHasADefaultAndNoFlagIsOnByDefault) {
    Ppd ppd = openPpd();
    ASSERT_TRUE(ppd);
    for (const char* key : kJobOptionKeys) {
        auto value = defaultFor(ppd.get(), key);
        ASSERT_TRUE(value) << key << " has no default";
    }
    // An absent flag reads as on in the backend, so every flag must be stated off.
    for (const char* flag : {"EnableCVP1", "EnableCVP2", "DebugLog", "AdjustmentsEnabled", "SharpnessEnabled"}) {
        EXPECT_EQ(defaultFor(ppd.get(), flag), "False") << flag;
        EXPECT_EQ(ppdFindOption(ppd.get(), flag)->ui, PPD_UI_BOOLEAN) << flag;
    }
    // Numeric defaults leave the picture untouched.
    for (const char* key : {"Red", "Green", "Blue", "Brightness", "Contrast", "Saturation", "Gamma", "Overspill",
                            "BindingWidth"})
        EXPECT_EQ(std::stod(*defaultFor(ppd.get(), key)), 0.0) << key;
    EXPECT_EQ(defaultFor(ppd.get(), "PaperFeed"), "Roll");
    EXPECT_EQ(defaultFor(ppd.get(), "TwoSided"), "None");
    EXPECT_EQ(defaultFor(ppd.get(), "BindingMargin"), "None");
    EXPECT_EQ(defaultFor(ppd.get(), "AP_ColorMatchingMode"), "AP_VendorColorMatching");
}

TEST(Ppd, FiltersRouteRasterAndCommandJobsToThePassThroughFilters) {
    Ppd ppd = openPpd();
    ASSERT_TRUE(ppd);
    bool raster = false, command = false;
    for (ppd_attr_t* a = ppdFindAttr(ppd.get(), "cupsFilter2", nullptr); a;
         a = ppdFindNextAttr(ppd.get(), "cupsFilter2", nullptr)) {
        std::string v = a->value;
        raster |= v.starts_with("application/vnd.cups-raster ") && v.ends_with(" rastertovantrel");
        command |= v.starts_with("application/vnd.cups-command ") && v.ends_with(" commandtovantrel");
    }
    EXPECT_TRUE(raster);
    EXPECT_TRUE(command);
    // Tools that only know the old form get the same routes.
    ASSERT_EQ(ppd->num_filters, 2);
    EXPECT_STREQ(ppd->filters[0], "application/vnd.cups-raster 0 rastertovantrel");
    EXPECT_STREQ(ppd->filters[1], "application/vnd.cups-command 0 commandtovantrel");
    ppd_attr_t* commands = ppdFindAttr(ppd.get(), "cupsCommands", nullptr);
    ASSERT_TRUE(commands);
    EXPECT_STREQ(commands->value, "AutoConfigure ReportStatus");
    EXPECT_FALSE(ppd->manual_copies) << "the minilab makes the copies of a frame";
}

cups_page_header2_t rasterHeaderFor(ppd_file_t* ppd, const char* options) {
    ppdMarkDefaults(ppd);
    cups_option_t* opts = nullptr;
    int n = cupsParseOptions(options, 0, &opts);
    cupsMarkOptions(ppd, n, opts);
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    EXPECT_EQ(cupsRasterInterpretPPD(&header, ppd, n, opts, nullptr), 0) << cupsRasterErrorString();
    cupsFreeOptions(n, opts);
    return header;
}

TEST(Ppd, RasterIsEightBitRgbAndTwoSidedSetsTheDuplexFlag) {
    Ppd ppd = openPpd();
    ASSERT_TRUE(ppd);
    cups_page_header2_t h = rasterHeaderFor(ppd.get(), "");
    EXPECT_EQ(h.cupsColorSpace, CUPS_CSPACE_RGB);
    EXPECT_EQ(h.cupsBitsPerColor, 8u);
    EXPECT_EQ(h.cupsBitsPerPixel, 24u);
    EXPECT_EQ(h.HWResolution[0], 300u);
    EXPECT_EQ(h.PageSize[0], 288u);
    EXPECT_EQ(h.PageSize[1], 432u);
    EXPECT_FALSE(h.Duplex);

    h = rasterHeaderFor(ppd.get(), "Resolution=400dpi TwoSided=LongEdge");
    EXPECT_EQ(h.HWResolution[0], 400u);
    EXPECT_TRUE(h.Duplex);
    EXPECT_FALSE(h.Tumble);
    h = rasterHeaderFor(ppd.get(), "TwoSided=ShortEdge");
    EXPECT_TRUE(h.Duplex);
    EXPECT_TRUE(h.Tumble);
}

// The backend converts points to tenths of a millimetre and matches the page's width
// against the paper's exact width plus the overspill (1 adds 2 mm).
unsigned tenthsOfMm(float points) { return static_cast<unsigned>(std::lround(points * 3.52777778)); }

TEST(Ppd, PhotoSizesMatchTheRollWidthsWithAndWithoutBleed) {
    Ppd ppd = openPpd();
    ASSERT_TRUE(ppd);
    struct Photo {
        const char* plain;
        const char* bleed;
        unsigned exactWidth, exactLength;
    };
    constexpr std::array photos{
        Photo{"3.5x5.Fullbleed", "90.9x129mm.Fullbleed", 889, 1270},
        Photo{"4x6.Fullbleed", "103.6x154.4mm.Fullbleed", 1016, 1524},
        Photo{"5x7.Fullbleed", "129x179.8mm.Fullbleed", 1270, 1778},
        Photo{"6x8.Fullbleed", "154.4x205.2mm.Fullbleed", 1524, 2032},
        Photo{"8x10.Fullbleed", "205.2x256mm.Fullbleed", 2032, 2540},
        Photo{"8x12.Fullbleed", "205.2x306.8mm.Fullbleed", 2032, 3048},
    };
    for (const Photo& p : photos) {
        ppd_size_t* plain = ppdPageSize(ppd.get(), p.plain);
        ppd_size_t* bleed = ppdPageSize(ppd.get(), p.bleed);
        ASSERT_TRUE(plain && bleed) << p.plain;
        EXPECT_EQ(tenthsOfMm(plain->width), p.exactWidth) << p.plain;
        EXPECT_EQ(tenthsOfMm(plain->length), p.exactLength) << p.plain;
        EXPECT_EQ(tenthsOfMm(bleed->width), p.exactWidth + 20) << p.bleed;
        EXPECT_EQ(tenthsOfMm(bleed->length), p.exactLength + 20) << p.bleed;
        // Edge to edge: the imageable area is the whole sheet.
        for (ppd_size_t* s : {plain, bleed}) {
            EXPECT_EQ(s->left, 0.0f) << s->name;
            EXPECT_EQ(s->bottom, 0.0f) << s->name;
            EXPECT_EQ(s->right, s->width) << s->name;
            EXPECT_EQ(s->top, s->length) << s->name;
        }
    }
    EXPECT_TRUE(ppd->variable_sizes);
    EXPECT_EQ(ppd->custom_min[0], 252.0f);
    EXPECT_EQ(ppd->custom_max[0], 864.0f);
}

// libcups loads only the current language's texts, so the file is read as text.
TEST(Ppd, EveryOptionAndChoiceHasAGermanText) {
    Ppd ppd = openPpd();
    ASSERT_TRUE(ppd);
    std::ifstream in(TESSARON_PPD_PATH);
    std::stringstream text;
    text << in.rdbuf();
    const std::string file = text.str();
    auto hasLine = [&](const std::string& start) {
        size_t at = file.find("\n" + start);
        return at != std::string::npos && file[at + 1 + start.size()] != ':';
    };
    ppd_group_t* group = ppd->groups;
    for (int g = 0; g < ppd->num_groups; ++g, ++group) {
        ppd_option_t* option = group->options;
        for (int o = 0; o < group->num_options; ++o, ++option) {
            if (!strcmp(option->keyword, "PageRegion")) continue;
            EXPECT_TRUE(hasLine(std::string("*de.Translation ") + option->keyword + "/")) << option->keyword;
            for (int c = 0; c < option->num_choices; ++c) {
                if (!strcmp(option->choices[c].choice, "Custom")) continue;  // the custom size has no text
                EXPECT_TRUE(hasLine(std::string("*de.") + option->keyword + " " + option->choices[c].choice + "/"))
                    << option->keyword << " " << option->choices[c].choice;
            }
        }
    }
    EXPECT_NE(file.find("\n*de.Translation PaperFeed/Papierzufuhr:"), std::string::npos);
}

}  // namespace
