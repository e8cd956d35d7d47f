// Command and result codes of the Tessaron protocol as the minilab knows them, and which
// commands a given protocol version offers.
#pragma once

#include <cstdint>

namespace tessaron::minilab {

enum Command : uint8_t {
    kGetPrinterInfo = 0x01,
    kSendPrintData = 0x02,
    kSpoolOrder = 0x03,
    kGetPaper = 0x06,
    kGetErrors = 0x07,
    kGetStatus = 0x09,
    kCancelFastPrintOrder = 0x0D,
    kSendFastPrintData = 0x12,
    kSpoolFastPrintOrder = 0x13,
    kGetPaperAd = 0x21,
    kTransmitFileAd = 0x22,
    kSetOrderAd = 0x23,
};

enum Result : uint32_t {
    kSuccess = 0,
    kFail = 1,
    kInvalidOrderNo = 11,
    kInvalidFrameNo = 12,
    kNotSupportFormat = 13,
    kInvalidRepeatNum = 14,
    kDiskFullSpool = 15,
    kInvalidFrameNum = 16,
    kInvalidPaper = 17,
    kInvalidPaperFitting = 20,
    kNoSuchOrder = 22,
    kInvalidPaperLength = 26,
    kReceiveAbort = 27,
    kInvalidSize = 29,
    kInvalidHost = 33,
    kInvalidUser = 34,
    kInvalidParameter = 35,
    kInvalidRefId = 36,
    kFileExists = 42,
    kIllegalImageData = 43,
    kInvalidImageSize = 44,
    kBusy = 50,
    kNoSupport = 51,
};

constexpr uint32_t kVersionFloor = 0x01000501;   // the oldest version a client speaks
constexpr uint32_t kVersionCeiling = 0x03000000; // the newest version a client speaks
constexpr uint32_t kVersionMoreFrames = 0x02000000;
constexpr uint32_t kVersionFastPrint = 0x02020000;
constexpr uint32_t kVersionExtended = 0x03000000;

const char* commandName(uint32_t code);
const char* resultName(uint32_t code);

bool isImageCommand(uint8_t command);
bool isSpoolCommand(uint8_t command);
// Whether a minilab of this API version (and with or without extended features) has the command.
bool commandOffered(uint8_t command, uint32_t apiVersion, bool extraFeatures);
// The version a client speaks to a minilab of this API version.
uint32_t clientVersionFor(uint32_t apiVersion);
// Frames one order may hold at this API version.
uint32_t maxFramesFor(uint32_t apiVersion);
// The reply header's direction byte for a command.
uint8_t replyDirection(uint8_t command);

}  // namespace tessaron::minilab
