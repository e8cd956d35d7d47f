// Page output: each raster page becomes an image file and is sent as one frame of the order.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BMPPreparation.h"
#include "DebugImages.h"
#include "Encoders.h"
#include "LocalizedFormat.h"
#include "OrderRecords.h"
#include "FileIO.h"
#include "PaperLength.h"
#include "TextFields.h"
#include "VantrelTessaronJob.h"

namespace {

const char* formatName(std::uint32_t format) {
    static thread_local std::string name;
    name = VantrelTessaronJob::strForImageFormats(format);
    return name.c_str();
}

}  // namespace

std::string VantrelTessaronJob::encodedPageFile(const PLUMEX_BitmapImageRep& bitmap, std::string& extension) {
    const std::uint32_t format = _frameParam.ImageFormat;
    const double dpi = printJob()->cupsXResolution();
    bool encoded = false;
    PLUMEX_CUPSLog::debug("Converting raster data to image format %s", formatName(format));
    auto take = [this](std::optional<std::vector<std::uint8_t>> bytes) {
        if (bytes) _pageFile = std::move(*bytes);
        return bytes.has_value();
    };
    switch (format) {
        case tessaron::kImageFormatTIFF:
            extension = "tiff";
            encoded = take(tessaron::image::encodeTIFF(bitmap, dpi));
            break;
        case tessaron::kImageFormatBMP:
            extension = "bmp";
            encoded = tessaron::image::encodeBMPInto(bitmap, dpi, _pageFile);
            break;
        case tessaron::kImageFormatJPEG:
            extension = "jpg";
            encoded = take(tessaron::image::encodeJPEG(bitmap, 0.95, dpi));
            break;
        default:
            failOrder(localizedFormat("Unsupported Image Type %s", formatName(format)));
    }
    tessaron::UniqueFd fd;
    const std::optional<std::string> path = PLUMEX_CUPSPrintJob::safeTempFile(&fd);
    const bool written = path && fd && encoded && tessaron::writeAll(fd.get(), _pageFile.data(), _pageFile.size()) == 0;
    fd.reset();
    if (!written) {
        PLUMEX_CUPSLog::debug("failed to save current converted page data to temp file at path %s",
                              path.value_or("(null)").c_str());
        if (path) ::unlink(path->c_str());
        failOrder(localizedFormat("Unsupported Image Type %s", formatName(format)));
    }
    PLUMEX_CUPSLog::debug("wrote converted page to temp file at path %s", path->c_str());
    return *path;
}

void VantrelTessaronJob::outputPage() {
    PLUMEX_CUPSPrintJob* context = printJob();
    const std::int64_t page = context->page();
    std::string extension;
    std::string path;
    {
        const std::optional<PLUMEX_BitmapImageRep> bitmap = context->imageRepForCurrentPageApplyingCIFilters(_imageFilters);
        if (!bitmap) return;  // not rendered: no frame; the order is checked for it before spooling
        PLUMEX_CUPSLog::debug("%dMB bitmap", static_cast<int>(bitmap->bytesPerRow * bitmap->height / 1048576));
        path = encodedPageFile(*bitmap, extension);
    }
    context->freePixels();

    // The file's bytes stay in memory: what is sent is what the file holds, without reading it back.
    if (_frameParam.ImageFormat == tessaron::kImageFormatBMP) {
        const std::string corrected = tessaron::pathForCorrectedBMP(
            path, _pageFile, [](tessaron::UniqueFd* fd) { return PLUMEX_CUPSPrintJob::safeTempFile(fd); });
        if (corrected != path) {
            ::unlink(path.c_str());
            path = corrected;
        }
    }
    if (_debugLog && _debugLogFolder) {
        const std::string name = tessaron::debugImageName(page, extension);
        const std::string target = *_debugLogFolder + name;
        PLUMEX_CUPSLog::debug("saving %s image to a file in %s", formatName(_frameParam.ImageFormat), target.c_str());
        if (auto problem = tessaron::copyDebugImage(path, *_debugLogFolder, name))
            PLUMEX_CUPSLog::debug("Failed to write debug image to log directory %s (%s)", target.c_str(), problem->c_str());
    }

    ::unlink(path.c_str());
    if (!sendImageData(_pageFile))
        failOrder(localizedFormat("image %d could not be sent %s", static_cast<int>(page), lastErrorReply().c_str()));
}

bool VantrelTessaronJob::sendImageData(std::span<const std::uint8_t> image) {
    PLUMEX_CUPSPrintJob* context = printJob();
    const std::int64_t page = context ? context->page() : 0;
    _frameParam.FrameNo = static_cast<std::uint16_t>(page);
    _frameParam.ImageSize = static_cast<std::uint32_t>(image.size());
    const std::string title = context ? context->jobCupsTitle() : PLUMEX_CUPSPrintJob::cupsTitle();
    tessaron::writeTextField(_frameParam.FrameName, tessaron::frameNameForTitle(title, static_cast<std::uint64_t>(page)));
    const auto frame = tessaron::encodeFrameBlock(_frameParam);
    _jrxFrameParam2.assign(frame.begin(), frame.end());

    const std::string printing = localizedFormat("Printing image %d ...", static_cast<int>(page));
    if (context) context->info("%s", printing.c_str());
    PLUMEX_CUPSLog::debug("sending image %lu (%lu bytes) to %s", static_cast<unsigned long>(page),
                          static_cast<unsigned long>(image.size()), printerID().c_str());

    const tessaron::OrderProtocol protocol = tessaron::orderProtocolFor(_extraFeatures, _fastPrint);
    const auto client = _jrxClientInfo.encode();
    const std::vector<std::uint8_t> payload = tessaron::framePayload(protocol, client, _frameParam);
    PLUMEX_CUPSLog::debug("sending %s%sframe command:", _fastPrint ? "fast print " : "", _extraFeatures ? "AD " : "");
    PLUMEX_CUPSLog::logData(payload.data() + client.size(), payload.size() - client.size());

    const auto reply = orderTransaction(tessaron::frameCommandFor(protocol), payload, image);
    if (!reply)
        failOrder(localizedFormat("image %d could not be sent: the printer did not answer", static_cast<int>(page)));
    if (!reply->empty()) return false;
    ++_framesSent;
    return true;
}
