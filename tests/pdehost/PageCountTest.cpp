// The page count announced with a job: real counts for the kinds of documents the lab
// prints, and no count (the driver counts) where a guess could be wrong.
#include "HostFixtures.h"
#include "JobSubmission.h"
#include "PageCount.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace tessaron;
using print::documentPageCount;
using print::DocumentKind;

namespace {

TEST(PageCount, ImagesPrintAsOnePage) {
    test::TempDir temp;
    const std::string png = temp.write("photo.png", pdetest::imageDocument("PNG"));
    const std::string jpeg = temp.write("photo.jpg", pdetest::imageDocument("JPEG"));
    EXPECT_EQ(print::documentKind(png), DocumentKind::Image);
    EXPECT_EQ(print::documentKind(jpeg), DocumentKind::Image);
    EXPECT_EQ(documentPageCount(png), 1u);
    EXPECT_EQ(documentPageCount(jpeg), 1u);
}

TEST(PageCount, PDFCountsPageObjectsOnceEach) {
    test::TempDir temp;
    EXPECT_EQ(documentPageCount(temp.write("three.pdf", pdetest::pdfDocument(3))), 3u);
    // An incremental update writes a page again: still three pages, and /Pages is no page.
    EXPECT_EQ(documentPageCount(temp.write("updated.pdf", pdetest::pdfDocument(3, true))), 3u);
    EXPECT_EQ(documentPageCount(temp.write("one.pdf", pdetest::pdfDocument(1))), 1u);
}

TEST(PageCount, PDFPagesAcrossReadChunksAreCountedOnce) {
    // Padding pushes the page objects across the reader's 1 MiB chunk boundaries.
    std::string pdf = "%PDF-1.4\n";
    for (int i = 0; i < 5; ++i) {
        pdf += std::string(700'000 - 23, ' ') + "\n";
        pdf += std::to_string(10 + i) + " 0 obj\n<< /Type /Page >>\nendobj\n";
    }
    test::TempDir temp;
    EXPECT_EQ(documentPageCount(temp.write("padded.pdf", pdf)), 5u);
}

TEST(PageCount, PDFWithObjectStreamsLeavesTheCountToTheDriver) {
    // Page objects inside compressed object streams are not visible to the scan; one plain
    // page beside them must not be announced as the whole document.
    test::TempDir temp;
    std::string mixed = pdetest::pdfDocument(1);
    mixed += "9 0 obj\n<< /Type /ObjStm /N 4 /First 20 /Filter /FlateDecode >>\nstream\nxx\nendstream\nendobj\n";
    EXPECT_EQ(documentPageCount(temp.write("mixed.pdf", mixed)), std::nullopt);
    EXPECT_EQ(documentPageCount(temp.write("packed.pdf", "%PDF-1.5\n1 0 obj\n<< /Type /ObjStm /N 3 >>\nstream\nxx\n"
                                                         "endstream\nendobj\n%%EOF\n")),
              std::nullopt);
}

TEST(PageCount, RasterCountsWholePagesOnly) {
    test::TempDir temp;
    const std::string four = temp.write("four.ras", pdetest::rasterDocument(4));
    EXPECT_EQ(print::documentKind(four), DocumentKind::CupsRaster);
    EXPECT_EQ(documentPageCount(four), 4u);
    EXPECT_EQ(documentPageCount(temp.write("cut.ras", pdetest::rasterDocument(3, true))), 2u);
}

TEST(PageCount, PostScriptUsesItsPagesComment) {
    test::TempDir temp;
    EXPECT_EQ(documentPageCount(temp.write("a.ps", "%!PS-Adobe-3.0\n%%Pages: 7\n%%EndComments\nshowpage\n")), 7u);
    EXPECT_EQ(documentPageCount(temp.write("b.ps", "%!PS-Adobe-3.0\n%%Pages: (atend)\n%%EndComments\n"
                                                   "showpage\n%%Trailer\n%%Pages: 2\n%%EOF\n")),
              2u);
    EXPECT_EQ(documentPageCount(temp.write("c.ps", "%!PS-Adobe-3.0\n%%Pages: none\n")), std::nullopt);
    EXPECT_EQ(documentPageCount(temp.write("d.ps", "%!PS-Adobe-3.0\n%%Pages: 0\n")), std::nullopt);
}

TEST(PageCount, UnknownMissingAndEmptyFilesHaveNoCount) {
    test::TempDir temp;
    EXPECT_EQ(documentPageCount(temp.write("notes.txt", "just some text\n")), std::nullopt);
    EXPECT_EQ(documentPageCount(temp.write("empty", "")), std::nullopt);
    EXPECT_EQ(documentPageCount(temp.file("absent.pdf")), std::nullopt);
}

TEST(JobOptions, CarryTheSettingsAndTheRealPageCountInBothCountOptions) {
    print::PrintSettings settings;
    settings.set("PaperTone", "Matte");
    settings.set("copies", "2");
    print::CupsOptions counted;
    print::assembleJobOptions(settings, 3u, counted);
    EXPECT_EQ(counted.value("PaperTone"), "Matte");
    EXPECT_EQ(counted.value("copies"), "2");
    EXPECT_EQ(counted.value("com.apple.print.PrintSettings.PMTotalSidesImaged..n."), "3");
    EXPECT_EQ(counted.value("com.apple.print.PrintSettings.PMTotalBeginPages..n."), "3");

    // A count the user put into the settings is replaced by the document's own.
    settings.set("com.apple.print.PrintSettings.PMTotalSidesImaged..n.", "1");
    print::CupsOptions replaced;
    print::assembleJobOptions(settings, 5u, replaced);
    EXPECT_EQ(replaced.value("com.apple.print.PrintSettings.PMTotalSidesImaged..n."), "5");

    // Fewer or other sides than pages: the driver counts what really prints.
    for (auto [key, value] : {std::pair{"page-ranges", "1-2"}, std::pair{"number-up", "2"},
                              std::pair{"page-set", "odd"}}) {
        print::PrintSettings changed;
        changed.set(key, value);
        print::CupsOptions options;
        print::assembleJobOptions(changed, 4u, options);
        EXPECT_FALSE(options.value("com.apple.print.PrintSettings.PMTotalSidesImaged..n.")) << key;
        EXPECT_FALSE(options.value("com.apple.print.PrintSettings.PMTotalBeginPages..n.")) << key;
    }
    print::PrintSettings plain;
    plain.set("number-up", "1");
    plain.set("page-set", "all");
    EXPECT_FALSE(print::changesPrintedPageCount(plain));

    print::CupsOptions uncounted;
    print::assembleJobOptions(print::PrintSettings{}, std::nullopt, uncounted);
    EXPECT_EQ(uncounted.count(), 0);
}

TEST(JobOptions, PrintingAMissingFileFailsBeforeTheScheduler) {
    std::string error;
    EXPECT_FALSE(print::printFile("lab", "/nonexistent/photo.jpg", {}, error));
    EXPECT_NE(error.find("no such file"), std::string::npos);
}

}  // namespace
