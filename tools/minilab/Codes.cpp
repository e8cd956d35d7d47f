#include "Codes.h"

#include <algorithm>

namespace tessaron::minilab {

const char* commandName(uint32_t code) {
    switch (code) {
    case kGetPrinterInfo: return "JRX_GET_PRINTER_INFO";
    case kSendPrintData: return "JRX_SEND_PRINT_DATA";
    case kSpoolOrder: return "JRX_SPOOL_ORDER";
    case kGetPaper: return "JRX_GET_PAPER";
    case kGetErrors: return "JRX_GET_ERRORS";
    case kGetStatus: return "JRX_GET_STATUS";
    case kCancelFastPrintOrder: return "JRX_CANCEL_FASTPRINT_ORDER";
    case kSendFastPrintData: return "JRX_SEND_FAST_PRINT_DATA";
    case kSpoolFastPrintOrder: return "JRX_SPOOL_FAST_PRINT_ORDER";
    case kGetPaperAd: return "JRX_GET_PAPER_AD";
    case kTransmitFileAd: return "JRX_TRANSMIT_FILE_AD";
    case kSetOrderAd: return "JRX_SET_ORDER_AD";
    default: return "JRX_COMMAND_UNKNOWN";
    }
}

const char* resultName(uint32_t code) {
    static const char* const kNames[] = {
        "JRX_SUCCESS", "JRX_FAIL", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, "JRX_INVALID_ORDERNO", "JRX_INVALID_FRAMENO", "JRX_NOT_SUPPORT_FORMAT",
        "JRX_INVALID_REPEATNUM", "JRX_DISKFULL_SPOOL", "JRX_INVALID_FRAMENUM", "JRX_INVALID_PAPER",
        "JRX_INVALID_WBSIZE", "JRX_INVALID_INDEXSIZE", "JRX_INVALID_PAPERFITTING", "JRX_INVALID_ID_AUTHORITY",
        "JRX_NO_SUCH_ORDER", "JRX_NOT_CONNECTED_PU", "JRX_REMAINING_DATA", "JRX_DISABLE_MODE",
        "JRX_INVALID_PAPERLENGTH", "JRX_RECEIVE_ABORT", "JRX_NOTEXIST_PROFILE", "JRX_INVALID_SIZE",
        "JRX_INVALID_FORMAT", "JRX_IMPERFECT_SETUP", "JRX_REMAIN_ORDER", "JRX_INVALID_HOST",
        "JRX_INVALID_USER", "JRX_INVALID_PARAMETER", "JRX_INVALID_REFID", "JRX_NOT_CONNECTED",
        "JRX_DISABLE_MAGAZINE_SUPPLY", "JRX_DISABLE_SETUP_MODE", "JRX_REMAIN_OTHER_SETUP",
        "JRX_NOREGISTERD_HOST", "JRX_FILE_EXISTS", "JRX_ILLEGAL_IMAGE_DATA", "JRX_INVALID_IMAGE_SIZE",
        "JRX_ACCESS_DENIED", "JRX_CALIBRAT_MODE", "JRX_NOT_CALIBRAT_MODE", "JRX_NOT_CHANGE_CALIBRAT",
        "JRX_INVALID_OUTMEDIA_PARAM", "JRX_BUSY", "JRX_NO_SUPPORT",
    };
    if (code < sizeof kNames / sizeof kNames[0] && kNames[code]) return kNames[code];
    return "JRX_unknown_code";
}

bool isImageCommand(uint8_t command) {
    return command == kSendPrintData || command == kSendFastPrintData || command == kTransmitFileAd;
}

bool isSpoolCommand(uint8_t command) {
    return command == kSpoolOrder || command == kSpoolFastPrintOrder || command == kSetOrderAd;
}

bool commandOffered(uint8_t command, uint32_t apiVersion, bool extraFeatures) {
    switch (command) {
    case kGetPrinterInfo:
    case kSendPrintData:
    case kSpoolOrder:
    case kGetPaper:
    case kGetErrors:
    case kGetStatus:
        return true;
    case kCancelFastPrintOrder:
    case kSendFastPrintData:
    case kSpoolFastPrintOrder:
        return apiVersion >= kVersionFastPrint;
    case kGetPaperAd:
    case kTransmitFileAd:
    case kSetOrderAd:
        return apiVersion >= kVersionExtended && extraFeatures;
    default:
        return false;
    }
}

uint32_t clientVersionFor(uint32_t apiVersion) {
    return std::clamp(apiVersion, kVersionFloor, kVersionCeiling);
}

uint32_t maxFramesFor(uint32_t apiVersion) { return apiVersion >= kVersionMoreFrames ? 9999 : 999; }

uint8_t replyDirection(uint8_t command) { return command <= 0x20 ? 0x10 : 0x01; }

}  // namespace tessaron::minilab
