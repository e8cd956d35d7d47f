#include "Validation.h"

#include <cstdio>

#include "Codes.h"
#include "ImageCheck.h"

namespace tessaron::minilab {

namespace {

constexpr size_t kMaxNonImageData = 64 * 1024;

Violation violation(uint32_t code, size_t offset, std::string what, bool fatal = false) {
    return Violation{code, offset, std::move(what), fatal};
}

std::string expectGot(const char* field, uint64_t expected, uint64_t got) {
    char buf[160];
    snprintf(buf, sizeof buf, "%s: expected %llu, got %llu", field, static_cast<unsigned long long>(expected),
             static_cast<unsigned long long>(got));
    return buf;
}

std::optional<size_t> firstNonZero(std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i]) return i;
    return std::nullopt;
}

// Every field of `view` that must be zero (reserved, unused groups) and every listed text.
std::optional<Violation> checkZeroFields(const RecordView& view, size_t base,
                                         std::initializer_list<const char*> alsoZero) {
    for (const auto& f : view.layout().fields) {
        bool mustBeZero = f.type == FieldType::Zero;
        for (const char* name : alsoZero) mustBeZero = mustBeZero || std::string_view(name) == f.name;
        if (!mustBeZero) continue;
        auto raw = view.raw(f.name);
        if (auto at = firstNonZero(raw))
            return violation(kInvalidParameter, base + f.offset + *at,
                             std::string(view.layout().name) + "." + f.name + ": must be zero");
    }
    return std::nullopt;
}

// A field cut by the end of the data must be zero in the part that was sent.
std::optional<Violation> checkCutFields(const RecordView& view, size_t base) {
    for (const auto& f : view.layout().fields) {
        if (f.offset >= view.bytes().size() || view.has(f.name)) continue;
        if (auto at = firstNonZero(view.raw(f.name)))
            return violation(kInvalidParameter, base + f.offset + *at,
                             std::string(view.layout().name) + "." + f.name + ": cut field must be zero");
    }
    return std::nullopt;
}

std::optional<Violation> checkText(const RecordView& view, const char* name, size_t base, uint32_t code,
                                   bool shiftCodes = false) {
    const Field* f = view.layout().find(name);
    if (!view.has(name)) return std::nullopt;
    if (auto at = checkTextField(view.raw(name), shiftCodes))
        return violation(code, base + f->offset + *at,
                         std::string(view.layout().name) + "." + name +
                             ": text must be UTF-8 ended by a zero byte and padded with zeros");
    return std::nullopt;
}

std::optional<Violation> checkEquals(const RecordView& view, const char* name, uint64_t expected, size_t base,
                                     uint32_t code) {
    uint64_t got = view.number(name);
    if (got != expected) return violation(code, base + view.layout().find(name)->offset, expectGot(name, expected, got));
    return std::nullopt;
}

std::optional<Violation> checkAtMost(const RecordView& view, const char* name, uint64_t max, size_t base,
                                     uint32_t code) {
    uint64_t got = view.number(name);
    if (got > max) {
        char buf[120];
        snprintf(buf, sizeof buf, "%s: %llu is above %llu", name, static_cast<unsigned long long>(got),
                 static_cast<unsigned long long>(max));
        return violation(code, base + view.layout().find(name)->offset, buf);
    }
    return std::nullopt;
}

std::optional<Violation> checkCount(const RecordView& view, const char* name, uint64_t min, uint64_t max, size_t base,
                                    uint32_t code) {
    uint64_t got = view.number(name);
    if (got < min || got > max) {
        char buf[140];
        snprintf(buf, sizeof buf, "%s: %llu is outside %llu to %llu", name, static_cast<unsigned long long>(got),
                 static_cast<unsigned long long>(min), static_cast<unsigned long long>(max));
        return violation(code, base + view.layout().find(name)->offset, buf);
    }
    return std::nullopt;
}

#define RETURN_IF(expr)                        \
    do {                                       \
        if (auto v_ = (expr)) return v_;       \
    } while (0)

// The paper an order or frame names. Sheet papers are named; roll papers are found by
// width and surface (and resolution where the command carries it), and their length must
// lie within the paper's limits.
std::optional<Violation> matchPaper(const RecordView& view, size_t base, const LabConfig& lab, bool withResolution,
                                    const char* lengthField, const Paper*& paper) {
    const auto width = view.number("PaperWidth");
    const auto surface = view.number("Surface");
    const auto resolution = view.number("Resolut");
    const auto length = view.number(lengthField);
    const std::string name = view.has("PaperName") ? decodeTextField(view.raw("PaperName")) : std::string();
    const size_t widthAt = base + view.layout().find("PaperWidth")->offset;
    const size_t lengthAt = base + view.layout().find(lengthField)->offset;
    paper = nullptr;
    if (!name.empty()) {
        for (const auto& p : lab.papers)
            if (p.sheet && p.name == name && (!withResolution || p.resolution == resolution)) paper = &p;
        if (!paper) return violation(kInvalidPaper, base + view.layout().find("PaperName")->offset,
                                     "PaperName: no sheet paper \"" + name + "\" at this resolution");
        if (paper->width != width || paper->surface != surface)
            return violation(kInvalidPaper, widthAt, "sheet paper \"" + name + "\": width or surface differ");
        if (length != paper->lmin)
            return violation(kInvalidPaperLength, lengthAt, expectGot(lengthField, paper->lmin, length));
        return std::nullopt;
    }
    bool known = false;
    for (const auto& p : lab.papers) {
        if (p.sheet || p.width != width || p.surface != surface) continue;
        if (withResolution && p.resolution != resolution) continue;
        known = true;
        if (length >= p.lmin && length <= p.lmax) {
            paper = &p;
            return std::nullopt;
        }
    }
    char buf[160];
    if (!known) {
        snprintf(buf, sizeof buf, "no roll paper of width %llu, surface %llu%s", static_cast<unsigned long long>(width),
                 static_cast<unsigned long long>(surface), withResolution ? " at this resolution" : "");
        return violation(kInvalidPaper, widthAt, buf);
    }
    snprintf(buf, sizeof buf, "%s: %llu is outside the paper's length limits", lengthField,
             static_cast<unsigned long long>(length));
    return violation(kInvalidPaperLength, lengthAt, buf);
}

}  // namespace

std::optional<size_t> fixedDataLength(uint8_t command) {
    switch (command) {
    case kGetPrinterInfo: return 0;
    case kGetPaper:
    case kGetPaperAd:
    case kGetErrors: return 2;
    case kGetStatus: return 34;
    case kCancelFastPrintOrder: return kClientInfoSize + 8;
    case kSendPrintData:
    case kSpoolOrder:
    case kSendFastPrintData:
    case kSpoolFastPrintOrder:
    case kTransmitFileAd:
    case kSetOrderAd: return kClientInfoSize + recordLength(command);
    default: return std::nullopt;
    }
}

size_t recordLength(uint8_t command) {
    switch (command) {
    case kSendPrintData: return 320;
    case kSendFastPrintData: return 384;
    case kTransmitFileAd: return 480;
    case kSpoolOrder: return 64;
    case kSpoolFastPrintOrder: return 256;
    case kSetOrderAd: return 240;
    default: return 0;
    }
}

HeaderCheck checkHeader(std::span<const uint8_t> header, const LabConfig& lab) {
    HeaderCheck out;
    RecordView h(kHeaderLayout, header);
    const uint8_t command = static_cast<uint8_t>(h.number("command"));
    const uint64_t length = h.number("dataLength");
    if (h.number("J") != 'J' || h.number("T") != 'T') {
        out.violation = violation(kFail, h.number("J") != 'J' ? 0 : 1, "header: no 'J' 'T' marker", true);
        return out;
    }
    const uint32_t speaks = clientVersionFor(lab.apiVersion);
    const uint64_t version = h.number("serverVersion");
    if (version < kVersionFloor || version > speaks) {
        out.violation = violation(kNoSupport, 2,
                                  "serverVersion: " + versionText(static_cast<uint32_t>(version)) +
                                      " is not between 1.0.5.1 and " + versionText(speaks));
    } else if (h.number("direction") != 0) {
        out.violation = violation(kInvalidParameter, 7, expectGot("direction", 0, h.number("direction")));
    } else if (h.number("reserve") != 0) {
        out.violation = violation(kInvalidParameter, 12, expectGot("reserve", 0, h.number("reserve")));
    } else if (!fixedDataLength(command) || !commandOffered(command, lab.apiVersion, lab.extraFeatures)) {
        char buf[120];
        snprintf(buf, sizeof buf, "command 0x%02X (%s) is not offered at version %s", command, commandName(command),
                 versionText(lab.apiVersion).c_str());
        out.violation = violation(kNoSupport, 6, buf);
    } else if (isImageCommand(command)) {
        const size_t fixed = *fixedDataLength(command);
        if (length <= fixed) {
            out.violation = violation(kInvalidSize, 8, "dataLength: no room for an image after the frame block");
        } else if (length - fixed > lab.maxImageBytes) {
            out.violation = violation(kInvalidImageSize, 8, "dataLength: image larger than the limit", true);
        } else {
            out.imageLength = length - fixed;
        }
    } else if (length != *fixedDataLength(command)) {
        out.violation = violation(kInvalidSize, 8, expectGot("dataLength", *fixedDataLength(command), length));
    }
    // A refused request's data is read only to stay in step; a large one is not worth
    // holding (nor trusting): answer and close instead.
    if (out.violation && length > kMaxNonImageData) out.violation->fatal = true;
    return out;
}

std::optional<Violation> checkQueryData(uint8_t command, std::span<const uint8_t> data) {
    if (command == kGetStatus) {
        if (auto at = firstNonZero(data)) return violation(kInvalidParameter, kDataOffset + *at, "status request: 34 zero bytes expected");
        return std::nullopt;
    }
    if (command == kGetPaper || command == kGetPaperAd || command == kGetErrors) {
        const uint16_t expected = command == kGetErrors ? 2 : 1;
        const uint16_t got = getU16(data, 0);
        if (got != expected) return violation(kInvalidParameter, kDataOffset, expectGot("request value", expected, got));
    }
    return std::nullopt;
}

std::optional<Violation> checkClientInfo(std::span<const uint8_t> info, uint32_t headerVersion) {
    RecordView c(kClientInfoLayout, info);
    RETURN_IF(checkText(c, "User", kDataOffset, kInvalidUser));
    RETURN_IF(checkText(c, "Host", kDataOffset, kInvalidHost));
    RETURN_IF(checkEquals(c, "Port", 5002, kDataOffset, kInvalidParameter));
    RETURN_IF(checkEquals(c, "Version", headerVersion, kDataOffset, kInvalidParameter));
    RETURN_IF(checkEquals(c, "Level", 0, kDataOffset, kInvalidParameter));
    RETURN_IF(checkZeroFields(c, kDataOffset, {}));
    return std::nullopt;
}

std::optional<Violation> checkOrder(uint8_t command, std::span<const uint8_t> clientInfo,
                                    std::span<const uint8_t> data, const LabConfig& lab, const Paper*& paper) {
    const size_t base = kRecordOffset;
    const bool extended = command == kSetOrderAd;
    RecordView o(kOrderLayout, data.subspan(0, std::min<size_t>(data.size(), kOrderLayout.size)));
    RETURN_IF(checkEquals(o, "OrderNo", 0xFFFF, base, kInvalidOrderNo));
    RETURN_IF(checkCount(o, "FrameNum", 1, maxFramesFor(lab.apiVersion), base, kInvalidFrameNum));
    if (o.number("RefId") == 0) return violation(kInvalidRefId, base + 32, "RefId: must not be 0");
    RETURN_IF(checkEquals(o, "PaperFittingFlg", 2, base, kInvalidPaperFitting));
    RETURN_IF(checkAtMost(o, "CmsFlg", 1, base, kInvalidParameter));
    RETURN_IF(checkEquals(o, "PaperLengthP", o.number("PaperLengthC"), base, kInvalidPaperLength));
    RETURN_IF(checkEquals(o, "PaperLengthH", o.number("PaperLengthC"), base, kInvalidPaperLength));
    RETURN_IF(checkText(o, "PaperName", base, kInvalidParameter));
    RETURN_IF(checkAtMost(o, "BothSidePrint", 1, base, kInvalidParameter));
    RETURN_IF(checkAtMost(o, "FastPrintFlg", 1, base, kInvalidParameter));
    if (extended) {
        RETURN_IF(checkCount(o, "Copies", 1, 0xFFFF, base, kInvalidRepeatNum));
    } else {
        // Only extended orders carry copies, sheet papers, resolution, tone and length limits.
        RETURN_IF(checkEquals(o, "Copies", 0, base, kInvalidRepeatNum));
        RETURN_IF(checkZeroFields(o, base, {"PaperName", "BothSidePrint", "FastPrintFlg", "Resolut", "PaperTone",
                                            "PaperLengthMin", "PaperLengthMax"}));
    }
    RETURN_IF(checkZeroFields(o, base, {"WithBorderC", "WithBorderP", "WithBorderH", "IndexPrintFlg",
                                        "IndexPaperWidth", "IndexSurface", "SorterNum", "Collate", "PaperWidthB",
                                        "SurfaceB", "PaperNameB", "ResolutB", "PaperToneB", "PaperLengthMinB",
                                        "PaperLengthMaxB", "PaperWidthC", "SurfaceC", "PaperNameC", "ResolutC",
                                        "PaperToneC", "PaperLengthMinC", "PaperLengthMaxC", "PaperWidthD", "SurfaceD",
                                        "PaperNameD", "ResolutD", "PaperToneD", "PaperLengthMinD", "PaperLengthMaxD",
                                        "IndexPrintNum", "EnablePriority", "Priority", "PrintMode", "Wait",
                                        "BlankPageNum"}));
    RETURN_IF(checkCutFields(o, base));
    RETURN_IF(matchPaper(o, base, lab, extended, "PaperLengthC", paper));
    if (extended && !paper->sheet) {
        const auto min = o.number("PaperLengthMin"), max = o.number("PaperLengthMax");
        bool minKnown = false, maxKnown = false;
        for (const auto& p : lab.papers) {
            if (p.sheet || p.width != paper->width || p.surface != paper->surface || p.resolution != paper->resolution)
                continue;
            minKnown = minKnown || p.lmin == min;
            maxKnown = maxKnown || p.lmax == max;
        }
        if (!minKnown) return violation(kInvalidPaperLength, base + 86, "PaperLengthMin: not the paper's shortest length");
        if (!maxKnown) return violation(kInvalidPaperLength, base + 88, "PaperLengthMax: not the paper's longest length");
    } else if (extended) {
        RETURN_IF(checkEquals(o, "PaperLengthMin", paper->lmin, base, kInvalidPaperLength));
        RETURN_IF(checkEquals(o, "PaperLengthMax", paper->lmin, base, kInvalidPaperLength));
    }
    if (o.number("BothSidePrint") == 1 && !(paper->sheet && lab.duplex))
        return violation(kInvalidParameter, base + 74, "BothSidePrint: only for sheet paper on a duplex printer");
    if (command == kSpoolFastPrintOrder) {
        // The fast-print order is followed by the first 16 bytes of the client information.
        auto tail = data.subspan(kOrderLayout.size, 16);
        for (size_t i = 0; i < 16; ++i)
            if (tail[i] != clientInfo[i])
                return violation(kInvalidParameter, base + kOrderLayout.size + i,
                                 "fast-print order: the 16 bytes after the order record must repeat the client information");
    }
    return std::nullopt;
}

std::optional<Violation> checkFrame(uint8_t command, std::span<const uint8_t> frame, size_t imageLength,
                                    const LabConfig& lab, const Paper*& paper) {
    const size_t base = kRecordOffset;
    const bool extended = command == kTransmitFileAd;
    RecordView f(kFrameLayout, frame);
    RETURN_IF(checkEquals(f, "OrderNo", 0xFFFF, base, kInvalidOrderNo));
    RETURN_IF(checkCount(f, "FrameNum", 1, maxFramesFor(lab.apiVersion), base, kInvalidFrameNum));
    RETURN_IF(checkCount(f, "FrameNo", 1, f.number("FrameNum"), base, kInvalidFrameNo));
    RETURN_IF(checkText(f, "FrameName", base, kInvalidParameter));
    RETURN_IF(checkEquals(f, "ImageSize", imageLength, base, kInvalidImageSize));
    const auto format = f.number("ImageFormat");
    if ((format != 1 && format != 2) || !(lab.imageFormats & format))
        return violation(kNotSupportFormat, base + 28, expectGot("ImageFormat (2 BMP or, where offered, 1 JPEG)", 2, format));
    RETURN_IF(checkCount(f, "Copies", 1, 0xFFFF, base, kInvalidRepeatNum));
    RETURN_IF(checkEquals(f, "FixedFF", 255, base, kInvalidParameter));
    RETURN_IF(checkText(f, "CVP1", base, kInvalidParameter, true));
    RETURN_IF(checkText(f, "CVP2", base, kInvalidParameter, true));
    RETURN_IF(checkEquals(f, "PaperFittingFlg", 2, base, kInvalidPaperFitting));
    if (f.number("RefId") == 0) return violation(kInvalidRefId, base + 296, "RefId: must not be 0");
    if (extended) {
        RETURN_IF(checkText(f, "PaperName", base, kInvalidParameter));
    } else {
        RETURN_IF(checkZeroFields(f, base, {"PaperName", "Resolut", "PaperTone"}));
    }
    RETURN_IF(checkZeroFields(f, base, {}));
    RETURN_IF(checkCutFields(f, base));
    return matchPaper(f, base, lab, extended, "PaperLength", paper);
}

std::optional<Violation> checkImage(uint32_t format, std::span<const uint8_t> image, size_t offset,
                                    const LabConfig& lab, ImageInfo& info) {
    (void)lab;
    ImageProblem problem;
    bool ok = format == 2 ? inspectBmp(image, info, problem) : inspectJpeg(image, info, problem);
    if (ok) return std::nullopt;
    return violation(kIllegalImageData, offset + problem.offset, problem.what);
}

}  // namespace tessaron::minilab
