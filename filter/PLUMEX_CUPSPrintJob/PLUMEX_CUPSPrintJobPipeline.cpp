// The image pipeline over the page buffer: filters in place, margin management on a white
// canvas rendered to RGBA and copied back into the raster's own layout; plus the TIFF side file.
#include "PLUMEX_CUPSPrintJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Accumulator.h"
#include "Encoders.h"
#include "PLUMEX_CUPSPrintJobInternal.h"
#include "FileIO.h"
#include "Render.h"

namespace img = tessaron::image;

namespace {
std::string& rawImageFolder() {
    static std::string folder = "/var/log/vantrel/";
    return folder;
}
}  // namespace

void PLUMEX_CUPSPrintJob::setRawImageFolder(const std::string& folder) {
    rawImageFolder() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string PLUMEX_CUPSPrintJob::rawImagePathForPage(int64_t page) {
    return rawImageFolder() + tessaron::printjob::format("Vantrel_test_image_RAW_%ld.%s", static_cast<long>(page), "tiff");
}

namespace {

// The side file's folder is shared: a planted FIFO must not hang the job (O_NONBLOCK, cleared
// once the file is known to be regular), and a device or a hard link to someone else's file is
// neither truncated nor written.
tessaron::UniqueFd openSideFile(const std::string& path) {
    tessaron::UniqueFd file = tessaron::openRegularFile(path, O_WRONLY | O_CREAT, 0644);
    struct stat info {};
    if (file && (fstat(file.get(), &info) != 0 || info.st_nlink != 1 || ftruncate(file.get(), 0) != 0)) file.reset();
    return file;
}

}  // namespace

void PLUMEX_CUPSPrintJob::writeRawImage(const PLUMEX_BitmapImageRep& image) const {
    const tessaron::UniqueFd out = openSideFile(rawImagePathForPage(_page));
    if (!out) return;
    fchmod(out.get(), 0664);
    img::writeTIFF(image, out.get(), _header.HWResolution[0]);  // failures are of no consequence
}

std::optional<PLUMEX_BitmapImageRep> PLUMEX_CUPSPrintJob::imageRepForCurrentPageWithData(uint8_t* data, size_t length) {
    std::optional<PLUMEX_BitmapImageRep> image;
    const bool rgb24 = headerWord(_header.cupsColorSpace) == CUPS_CSPACE_RGB && _header.cupsBitsPerColor == 8 &&
                       _header.cupsBitsPerPixel == 24;
    if (rgb24 && data && length > 0 &&
        uint64_t{_header.cupsBytesPerLine} * _header.cupsHeight <= length) {
        PLUMEX_BitmapImageRep view{data, static_cast<int>(_header.cupsWidth), static_cast<int>(_header.cupsHeight),
                                   _header.cupsBytesPerLine, img::PixelFormat::RGB8};
        if (view.isValid()) image = view;
    }
    if (image) writeRawImage(*image);
    return image;
}

std::optional<PLUMEX_BitmapImageRep> PLUMEX_CUPSPrintJob::imageRepForCurrentPage() {
    return imageRepForCurrentPageWithData(_pageData.get(), _pageDataLength);
}

std::optional<PLUMEX_BitmapImageRep> PLUMEX_CUPSPrintJob::imageRepForCurrentPageApplyingCIFilters(
    const PLUMEX_ImageFilterList& filters) {
    std::optional<PLUMEX_BitmapImageRep> image = imageRepForCurrentPage();
    if (!filters.empty() || needsMarginManagement()) return imageFromImageRepApplyingCIFilters(image, filters);
    return image;
}

img::Rect PLUMEX_CUPSPrintJob::croppingRectForPage() {
    if (_delegate && _delegate->respondsToCroppingRectForPage()) return _delegate->croppingRectForPage();
    return {0, 0, static_cast<double>(_header.cupsWidth), static_cast<double>(_header.cupsHeight)};
}

bool PLUMEX_CUPSPrintJob::needsMarginManagement() {
    return _delegate && _delegate->respondsToNeedsMarginManagement() && _delegate->needsMarginManagement();
}

std::optional<PLUMEX_BitmapImageRep> PLUMEX_CUPSPrintJob::imageFromImageRepApplyingCIFilters(
    std::optional<PLUMEX_BitmapImageRep> image, const PLUMEX_ImageFilterList& filters) {
    auto fail = [&]() {
        jobDebug("failed to adjust the input image; output image will be unadjusted");
        return image;
    };
    if (!image || !image->isValid()) return fail();
    const size_t length = _pageDataLength ? _pageDataLength : image->bytesPerRow * static_cast<size_t>(image->height);

    // The filters work on the page buffer itself: a chain that fails leaves it untouched, and
    // the page needs no rendering of its own. With margins the canvas is the one RGBA
    // rendering, allocated before any pixel changes so that a failure leaves the page as it came.
    if (!needsMarginManagement()) {
        if (!img::applyFilters(*image, filters)) return fail();
        return imageRepForCurrentPageWithData(image->data, length);
    }
    const img::Rect r = croppingRectForPage();
    const double w = std::max<double>(image->width, r.width);
    const double h = image->height;
    auto canvas = img::ImageAccumulator::create(static_cast<int>(w), static_cast<int>(h));
    if (!canvas || !img::applyFilters(*image, filters)) return fail();

    canvas->setImage(img::Image::imageWithColor({1, 1, 1, 1}));
    const double tx = (r.width - w) * 0.5 + r.x;
    const double ty = (r.height - h) * 0.5 + r.y;
    img::Image page = img::Image::imageWithBitmap(*image);
    if (tx != 0 || ty != 0) {
        jobDebug("applying crop margins to the image (pixels): left=%.1f, right=%.1f, top=%.1f, bottom=%.1f", r.x,
                 w - (r.x + r.width), h - (r.y + r.height), r.y);
        page = page.translatedBy(tx, ty);
    }
    canvas->setImageDirtyRect(page, r);
    std::optional<img::Bitmap> rendered =
        img::renderAccumulator(std::move(*canvas), {.alphaFirst = true, .rowAlignment = 16, .threads = 0});
    if (!rendered) return fail();

    const int alphaBits = rendered->bitsPerPixel() - static_cast<int>(_header.cupsBitsPerPixel);
    const long pad = static_cast<long>(rendered->bytesPerRow()) - static_cast<long>(_header.cupsBytesPerLine) -
                     static_cast<long>(_header.cupsWidth) * alphaBits / 8;
    jobDebug("stripping %d alpha bits and %ld pad bytes from each of %u rows of the adjusted image", alphaBits, pad,
             _header.cupsHeight);
    jobDebug("image bitmap format is 0x%02x", rendered->bitmapFormat());
    if (!img::stripAlphaInto(rendered->view(), *image)) return fail();
    jobDebug("Finished stripping alpha and pad bytes");
    return imageRepForCurrentPageWithData(image->data, length);
}
