// Documents and printer descriptions for the host's tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QueuePPD.h"
#include "TempDir.h"

namespace tessaron::pdetest {

// A small PPD: PageSize Small/Large with their sizes, InputSlot Roll/Tray, PaperTone
// Glossy/Matte/Luster, and the constraint "Large paper is not fed from the roll".
std::string constrainedPPD();

// A PDF with `pages` page objects, a page tree node, and, when asked, an incremental update
// that writes the first page again.
std::string pdfDocument(int pages, bool incrementalUpdate = false);
// A CUPS raster stream of `pages` small RGB pages; `cutLastPage` drops the last page's
// final line.
std::string rasterDocument(int pages, bool cutLastPage = false);
// An image in the given Qt format ("PNG", "JPEG").
std::string imageDocument(const char* format);

// A test with constrainedPPD() opened as a queue's PPD from a private folder.
class ConstrainedPPDTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ppd_ = print::QueuePPD::open(temp_.write("test.ppd", constrainedPPD()), error);
        ASSERT_TRUE(ppd_) << error;
    }

    test::TempDir temp_;
    std::unique_ptr<print::QueuePPD> ppd_;
};

}  // namespace tessaron::pdetest
