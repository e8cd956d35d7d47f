#include "HostFixtures.h"

#include <QBuffer>
#include <QImage>

#include <cups/raster.h>

#include <memory>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tessaron::pdetest {

std::string constrainedPPD() {
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEST.PPD\"\n*Manufacturer: \"Test\"\n*Product: \"(Test)\"\n"
           "*ModelName: \"Test\"\n*ShortNickName: \"Test\"\n*NickName: \"Test\"\n*PSVersion: \"(3010.000) 0\"\n"
           "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: RGB\n*FileSystem: False\n"
           "*Throughput: \"1\"\n*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n"
           "*cupsFilter: \"application/vnd.cups-raster 0 -\"\n"
           "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n*DefaultPageSize: Small\n"
           "*PageSize Small/Small: \"\"\n*PageSize Large/Large: \"\"\n*CloseUI: *PageSize\n"
           "*OpenUI *PageRegion: PickOne\n*OrderDependency: 10 AnySetup *PageRegion\n*DefaultPageRegion: Small\n"
           "*PageRegion Small/Small: \"\"\n*PageRegion Large/Large: \"\"\n*CloseUI: *PageRegion\n"
           "*DefaultImageableArea: Small\n*ImageableArea Small/Small: \"10 20 278 422\"\n"
           "*ImageableArea Large/Large: \"0 0 612 792\"\n"
           "*DefaultPaperDimension: Small\n*PaperDimension Small/Small: \"288 432\"\n"
           "*PaperDimension Large/Large: \"612 792\"\n"
           "*OpenUI *InputSlot/Paper Feed: PickOne\n*OrderDependency: 10 AnySetup *InputSlot\n*DefaultInputSlot: Roll\n"
           "*InputSlot Roll/Roll: \"\"\n*InputSlot Tray/Tray: \"\"\n*CloseUI: *InputSlot\n"
           "*OpenUI *PaperTone/Paper Tone: PickOne\n*OrderDependency: 10 AnySetup *PaperTone\n*DefaultPaperTone: Glossy\n"
           "*PaperTone Glossy/Glossy: \"\"\n*PaperTone Matte/Matte: \"\"\n*PaperTone Luster/Luster: \"\"\n"
           "*CloseUI: *PaperTone\n"
           "*UIConstraints: *PageSize Large *InputSlot Roll\n*UIConstraints: *InputSlot Roll *PageSize Large\n";
}

std::string pdfDocument(int pages, bool incrementalUpdate) {
    // Object 1 catalogue, 2 page tree, 3.. pages. Offsets are not checked by the counter.
    std::string kids, body = "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
    body += "2 0 obj\n<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>\nendobj\n";
    for (int i = 0; i < pages; ++i)
        body += std::to_string(3 + i) + " 0 obj\n<</Type/Page/Parent 2 0 R/MediaBox [0 0 288 432]>>\nendobj\n";
    body += "trailer\n<< /Root 1 0 R >>\n%%EOF\n";
    if (incrementalUpdate)
        body += "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 432 288] /Rotate 90 >>\nendobj\n"
                "trailer\n<< /Root 1 0 R >>\n%%EOF\n";
    return body;
}

std::string rasterDocument(int pages, bool cutLastPage) {
    char name[] = "/tmp/tessaron-pdehost-rasterXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return {};
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsWidth = 8;
    header.cupsHeight = 4;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24;
    header.cupsBytesPerLine = 24;
    header.cupsColorSpace = CUPS_CSPACE_RGB;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.HWResolution[0] = header.HWResolution[1] = 72;
    unsigned char line[24] = {};
    for (int page = 0; page < pages; ++page) {
        cupsRasterWriteHeader2(raster, &header);
        const unsigned lines = cutLastPage && page == pages - 1 ? header.cupsHeight - 1 : header.cupsHeight;
        for (unsigned y = 0; y < lines; ++y) {
            line[0] = static_cast<unsigned char>(y * 40 + page);  // rows differ, so nothing is merged
            cupsRasterWritePixels(raster, line, sizeof line);
        }
    }
    cupsRasterClose(raster);
    std::string bytes;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    unlink(name);
    return bytes;
}

std::string imageDocument(const char* format) {
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

}  // namespace tessaron::pdetest

// Panels are widgets: every test program of the host runs inside one QApplication.
#include "QtTestEnvironment.h"

namespace {

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new tessaron::test::QtEnvironment("test_pdehost"));

}  // namespace
