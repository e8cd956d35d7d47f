// The image pipeline over a real page buffer: filters, margins on a white canvas and the
// write-back into the raster's layout, and the TIFF side file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "JobContextFixture.h"
#include "TempDir.h"

using tessaron::jobcontexttest::JobContext;
using tessaron::jobcontexttest::RasterPage;
namespace img = tessaron::image;

namespace {

class Margins : public PLUMEX_CUPSPrintJobDelegate {
public:
    explicit Margins(img::Rect rect) : _rect(rect) {}
    bool respondsToCroppingRectForPage() const override { return true; }
    img::Rect croppingRectForPage() override { return _rect; }
    bool respondsToNeedsMarginManagement() const override { return true; }
    bool needsMarginManagement() override { return true; }

private:
    img::Rect _rect;
};

img::Filter filter(const char* name, std::vector<std::pair<const char*, double>> values = {}) {
    std::optional<img::Filter> f = img::Filter::filterWithName(name);
    EXPECT_TRUE(f);
    for (auto& [key, value] : values) EXPECT_TRUE(f->setValueForKey(value, key));
    return *f;
}

std::vector<uint8_t> pageBytes(PLUMEX_CUPSPrintJob& job) {
    return std::vector<uint8_t>(job.pageData(), job.pageData() + job.pageDataLength());
}

// A job whose first page is in the page buffer; side files go to a folder of the test's.
struct PageJob : JobContext {
    explicit PageJob(const RasterPage& page) : JobContext({page}) { readPage(); }
    PageJob(const cups_page_header2_t& header, uint8_t seed) : JobContext(header, seed) { readPage(); }
    void readPage() {
        PLUMEX_CUPSPrintJob::setRawImageFolder(sideFiles.path());
        EXPECT_TRUE(job && job->readPixels());
    }
    ~PageJob() { PLUMEX_CUPSPrintJob::setRawImageFolder("/var/log/vantrel/"); }
    tessaron::test::TempDir sideFiles;
};

}  // namespace

TEST(Pipeline, IdentityFiltersLeaveThePageBitExact) {
    PageJob c({7, 5, 3});
    const std::vector<uint8_t> before = pageBytes(*c.job);
    EXPECT_EQ(before, tessaron::jobcontexttest::pagePixels({7, 5, 3}));
    auto image = c.job->imageRepForCurrentPageApplyingCIFilters(
        {filter("CIColorControls"), filter("CIGammaAdjust"), filter("CIUnsharpMask", {{"inputIntensity", 0.0}})});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->data, c.job->pageData());
    EXPECT_EQ(pageBytes(*c.job), before);
}

TEST(Pipeline, FilteredPixelsAreWrittenBackIntoThePageBuffer) {
    // An odd row length (27 bytes) against the rendering's 16-byte row alignment.
    const RasterPage page{9, 6, 40};
    PageJob c(page);
    const img::Filter brighter = filter("CIColorControls", {{"inputBrightness", 0.1}, {"inputSaturation", 1.3}});
    // The same filter on a plain copy of the page, as the engine computes it.
    std::vector<uint8_t> expected = tessaron::jobcontexttest::pagePixels(page);
    img::BitmapView copy{expected.data(), 9, 6, 27, img::PixelFormat::RGB8};
    ASSERT_TRUE(img::applyFilters(copy, std::span(&brighter, 1), 1));

    auto image = c.job->imageRepForCurrentPageApplyingCIFilters({brighter});
    ASSERT_TRUE(image);
    EXPECT_EQ(pageBytes(*c.job), expected);
    EXPECT_NE(pageBytes(*c.job), tessaron::jobcontexttest::pagePixels(page));
}

TEST(Pipeline, MarginsCentreThePictureInTheCropRectangleOnWhite) {
    const RasterPage page{4, 4, 0};
    PageJob c(page);
    Margins margins({0, 0, 2, 2});  // bottom left quarter, origin bottom left
    c.job->setDelegate(&margins);
    const std::vector<uint8_t> original = pageBytes(*c.job);
    ASSERT_TRUE(c.job->imageRepForCurrentPageApplyingCIFilters({}));
    const std::vector<uint8_t> out = pageBytes(*c.job);
    auto at = [](const std::vector<uint8_t>& b, int x, int y, int s) { return b[(y * 4 + x) * 3 + s]; };
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int s = 0; s < 3; ++s) {
                // The picture's centre moves onto the rectangle's centre; rows 2 and 3 from
                // the top are the rectangle's.
                const bool inside = x < 2 && y >= 2;
                const int expected = inside ? at(original, x + 1, y - 1, s) : 255;
                EXPECT_EQ(at(out, x, y, s), expected) << x << "," << y << "," << s;
            }
}

TEST(Pipeline, ACentredNarrowerRectangleLeavesWhiteStripsWithoutMovingThePicture) {
    const RasterPage page{10, 4, 9};
    PageJob c(page);
    Margins margins({2, 0, 6, 4});  // tx = (6 - 10) / 2 + 2 = 0
    c.job->setDelegate(&margins);
    const std::vector<uint8_t> original = pageBytes(*c.job);
    PLUMEX_CUPSLog::setShouldLogToStdErr(true);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(c.job->imageRepForCurrentPageApplyingCIFilters({}));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("applying crop margins"), std::string::npos) << err;
    const std::vector<uint8_t> out = pageBytes(*c.job);
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t x = i % 30 / 3;
        EXPECT_EQ(out[i], x < 2 || x >= 8 ? 255 : original[i]) << i;
    }
}

TEST(Pipeline, AFullCropRectangleWithFiltersMatchesTheFiltersAlone) {
    const RasterPage page{12, 10, 77};
    const img::Filter sharpen = filter("CIUnsharpMask", {{"inputRadius", 1.5}, {"inputIntensity", 0.8}});
    PageJob plain(page);
    ASSERT_TRUE(plain.job->imageRepForCurrentPageApplyingCIFilters({sharpen}));
    const std::vector<uint8_t> withoutMargins = pageBytes(*plain.job);
    plain.job.reset();

    PageJob c(page);
    Margins margins({0, 0, 12, 10});
    c.job->setDelegate(&margins);
    ASSERT_TRUE(c.job->imageRepForCurrentPageApplyingCIFilters({sharpen}));
    EXPECT_EQ(pageBytes(*c.job), withoutMargins);
}

TEST(Pipeline, AFailingFilterLeavesThePageAlone) {
    PageJob c({5, 5, 1});
    const std::vector<uint8_t> before = pageBytes(*c.job);
    // A geometry filter is not a pixel filter: the chain is refused as a whole.
    auto image = c.job->imageRepForCurrentPageApplyingCIFilters(
        {filter("CIColorControls", {{"inputContrast", 1.5}}), filter("CIAffineTransform")});
    ASSERT_TRUE(image);
    EXPECT_EQ(pageBytes(*c.job), before);
    // The same with margins: no white canvas reaches the page either.
    Margins margins({1, 1, 3, 3});
    c.job->setDelegate(&margins);
    ASSERT_TRUE(c.job->imageRepForCurrentPageApplyingCIFilters({filter("CIGammaAdjust", {{"inputPower", 0.5}}),
                                                                filter("CIConstantColorGenerator")}));
    EXPECT_EQ(pageBytes(*c.job), before);
}

TEST(Pipeline, TheSideFileIsATiffAndNeverFollowsALink) {
    PageJob c({6, 4, 5});
    const std::string path = PLUMEX_CUPSPrintJob::rawImagePathForPage(0);
    EXPECT_EQ(path, c.sideFiles.file("Vantrel_test_image_RAW_0.tiff"));
    ASSERT_TRUE(c.job->imageRepForCurrentPage());
    const std::string tiff = tessaron::test::readFile(path);
    ASSERT_GE(tiff.size(), 4u);
    EXPECT_TRUE(tiff.compare(0, 4, "II*\0", 4) == 0 || tiff.compare(0, 4, "MM\0*", 4) == 0);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u);

    // Someone else's link in the folder: the target stays as it was, the page still goes on.
    ASSERT_EQ(unlink(path.c_str()), 0);
    const std::string target = c.sideFiles.write("precious", "keep");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    EXPECT_TRUE(c.job->imageRepForCurrentPage());
    EXPECT_EQ(tessaron::test::readFile(target), "keep");

    // A hard link to that file is a regular file, but not ours to truncate.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(link(target.c_str(), path.c_str()), 0);
    EXPECT_TRUE(c.job->imageRepForCurrentPage());
    EXPECT_EQ(tessaron::test::readFile(target), "keep");

    // A FIFO without a reader neither hangs the page nor receives the image.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    EXPECT_TRUE(c.job->imageRepForCurrentPage());
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(Pipeline, OnlyEightBitRGBPagesHaveABitmap) {
    PageJob c({4, 4, 0});
    EXPECT_FALSE(c.job->imageRepForCurrentPageWithData(nullptr, 48));
    EXPECT_FALSE(c.job->imageRepForCurrentPageWithData(c.job->pageData(), 47));  // shorter than the page
    EXPECT_TRUE(c.job->imageRepForCurrentPageWithData(c.job->pageData(), 48));
}

TEST(Pipeline, AGrayPageHasNoImageNoSideFileAndStaysAsItIs) {
    cups_page_header2_t gray = tessaron::jobcontexttest::rgbHeader({8, 4, 0});
    gray.cupsColorSpace = CUPS_CSPACE_SW;
    gray.cupsBitsPerPixel = 8;
    gray.cupsBytesPerLine = 8;
    PageJob c(gray, 0);
    const std::vector<uint8_t> before = pageBytes(*c.job);
    EXPECT_FALSE(c.job->imageRepForCurrentPage());
    Margins margins({0, 0, 8, 4});
    c.job->setDelegate(&margins);
    EXPECT_FALSE(c.job->imageRepForCurrentPageApplyingCIFilters({filter("CIGammaAdjust", {{"inputPower", 2.0}})}));
    EXPECT_EQ(pageBytes(*c.job), before);
    EXPECT_NE(access(PLUMEX_CUPSPrintJob::rawImagePathForPage(0).c_str(), F_OK), 0);
}
