// The dialog's preview: where the print area and the binding margin lie on the page as it is
// seen, and the first page of a picture or a PDF drawn into it.
#include "DialogHost.h"
#include "HostFixtures.h"
#include "Preview.h"
#include "QueuePPD.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPdfWriter>

using namespace tessaron;

namespace {

constexpr double kMillimetre = 72.0 / 25.4;

class PreviewTest : public pdetest::ConstrainedPPDTest {
protected:
    void SetUp() override {
        ConstrainedPPDTest::SetUp();
        if (HasFatalFailure()) return;
        host_ = std::make_unique<print::DialogHost>("lab", "", ppd_->ppd(), print::PrintSettings{});
    }
    void choose(const char* key, const char* value) { ASSERT_TRUE(host_->choose(key, value)) << key; }

    std::unique_ptr<print::DialogHost> host_;
};

TEST_F(PreviewTest, PrintAreaAndBindingMarginTurnWithThePage) {
    // Small: 288 x 432 points, imageable 10 20 278 422 (margins left 10, bottom 20, right 10, top 10).
    auto portrait = print::previewLayout(*host_);
    ASSERT_TRUE(portrait);
    EXPECT_EQ(portrait->paper, QSizeF(288, 432));
    EXPECT_EQ(portrait->printArea, QRectF(10, 10, 268, 402));
    EXPECT_FALSE(portrait->binding) << "one-sided jobs have no binding margin";

    choose("TwoSided", "LongEdge");
    choose("BindingMargin", "Left");
    choose("BindingWidth", "10.0");
    auto bound = print::previewLayout(*host_);
    ASSERT_TRUE(bound && bound->binding);
    EXPECT_EQ(bound->bindingEdge, "Left");
    EXPECT_NEAR(bound->binding->width(), 10 * kMillimetre, 1e-9);
    EXPECT_EQ(bound->binding->height(), 432);

    // Landscape: the paper's left edge is the top of the page; the bottom margin comes left.
    choose("orientation-requested", "4");
    auto landscape = print::previewLayout(*host_);
    ASSERT_TRUE(landscape && landscape->binding);
    EXPECT_EQ(landscape->paper, QSizeF(432, 288));
    EXPECT_EQ(landscape->printArea, QRectF(20, 10, 402, 268));
    EXPECT_EQ(landscape->bindingEdge, "Top");
    EXPECT_EQ(landscape->binding->width(), 432);
    EXPECT_NEAR(landscape->binding->height(), 10 * kMillimetre, 1e-9);

    // The page edge undoes the panel's turn for every edge.
    for (const char* edge : {"Left", "Right", "Top", "Bottom"})
        EXPECT_EQ(print::pageEdgeForPaperEdge(edge, pde::PageOrientation::Portrait), edge);
    EXPECT_EQ(print::pageEdgeForPaperEdge("Bottom", pde::PageOrientation::Landscape), "Left");
    EXPECT_EQ(print::pageEdgeForPaperEdge("Right", pde::PageOrientation::ReverseLandscape), "Bottom");

    choose("BindingWidth", "0");
    EXPECT_FALSE(print::previewLayout(*host_)->binding) << "a zero width is no margin";
}

TEST_F(PreviewTest, TheFirstPageOfAPictureOrAPDFIsDrawnBesideTheMargin) {
    const std::string png = temp_.write("photo.png", pdetest::imageDocument("PNG"));
    const QImage picture = print::firstPageImage(png, 16);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 16) << "scaled down to the bound";

    // A PDF whose first page is red and second blue.
    const QString pdfPath = QString::fromStdString(temp_.file("pages.pdf"));
    {
        QPdfWriter writer(pdfPath);
        writer.setPageSize(QPageSize(QPageSize::A6));
        QPainter painter(&writer);
        painter.fillRect(painter.viewport(), Qt::red);
        writer.newPage();
        painter.fillRect(painter.viewport(), Qt::blue);
    }
    const QImage page = print::firstPageImage(pdfPath.toStdString(), 200);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(std::max(page.width(), page.height()), 200);
    EXPECT_EQ(page.pixelColor(page.width() / 2, page.height() / 2), QColor(Qt::red));
    EXPECT_TRUE(print::firstPageImage(temp_.write("notes.txt", "plain text\n")).isNull());

    choose("TwoSided", "LongEdge");
    choose("BindingMargin", "Left");
    choose("BindingWidth", "30.0");
    print::PreviewWidget preview(*host_, page);
    preview.resize(304, 448);  // the paper at one pixel a point, inside an 8 pixel border
    const QImage shown = preview.grab().toImage();
    const QColor band = shown.pixelColor(8 + 20, 224), picture_ = shown.pixelColor(8 + 200, 224);
    EXPECT_GT(band.red(), band.blue()) << "the binding margin is marked";
    EXPECT_GT(band.green(), 100) << "the margin is left free, not printed on";
    EXPECT_EQ(picture_, QColor(Qt::red)) << "the page is drawn beside it";
}

}  // namespace
