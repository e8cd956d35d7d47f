// The byte layout of every wire record as one table per record: the offset of each field,
// walked by the encoder and the decoder alike so the two can never disagree about an offset.
// Integers are big-endian; byte arrays are copied as they are. A table's rows follow the
// record's declaration.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "JRXWire.h"

namespace tessaron::jrx {

struct HeaderLayout {
    static constexpr std::size_t kSize = kHeaderSize;
    template <class Record, class Visit>
    static void fields(Record& r, Visit&& at) {
        at(0, r.J); at(1, r.T); at(2, r.serverVersion);
        at(6, r.command); at(7, r.direction); at(8, r.dataLength); at(12, r.reserve);
    }
};

struct ClientInfoLayout {
    static constexpr std::size_t kSize = kClientInfoSize;
    template <class Record, class Visit>
    static void fields(Record& r, Visit&& at) {
        at(0, r.User); at(20, r.Host);
        at(40, r.Address); at(46, r.IPAddress); at(50, r.Port);
        at(52, r.Version); at(56, r.Level); at(58, r.Reserve);
    }
};

struct OrderLayout {
    static constexpr std::size_t kSize = kOrderParamADSize;
    template <class Record, class Visit>
    static void fields(Record& r, Visit&& at) {
        at(0, r.OrderNo); at(2, r.FrameNum); at(4, r.PaperWidth);
        at(6, r.PaperLengthC); at(8, r.PaperLengthP); at(10, r.PaperLengthH);
        at(12, r.Surface); at(14, r.WithBorderC); at(16, r.WithBorderP); at(18, r.WithBorderH); at(20, r.IndexPrintFlg);
        at(22, r.PaperFittingFlg); at(24, r.IndexPaperWidth); at(26, r.IndexSurface); at(28, r.CmsFlg); at(30, r.Reserve1);
        at(32, r.RefId);
        at(40, r.SorterNum);
        at(42, r.PaperName);
        at(74, r.BothSidePrint); at(76, r.Copies); at(78, r.Collate);
        at(80, r.FastPrintFlg); at(82, r.Resolut); at(84, r.PaperTone);
        at(86, r.PaperLengthMin); at(88, r.PaperLengthMax); at(90, r.PaperWidthB); at(92, r.SurfaceB);
        at(94, r.PaperNameB);
        at(126, r.ResolutB); at(128, r.PaperToneB); at(130, r.PaperLengthMinB);
        at(132, r.PaperLengthMaxB); at(134, r.PaperWidthC); at(136, r.SurfaceC);
        at(138, r.PaperNameC);
        at(170, r.ResolutC); at(172, r.PaperToneC); at(174, r.PaperLengthMinC);
        at(176, r.PaperLengthMaxC); at(178, r.PaperWidthD); at(180, r.SurfaceD);
        at(182, r.PaperNameD);
        at(214, r.ResolutD); at(216, r.PaperToneD); at(218, r.PaperLengthMinD); at(220, r.PaperLengthMaxD);
        at(222, r.IndexPrintNum); at(224, r.EnablePriority); at(226, r.Priority);
        at(228, r.PrintMode); at(230, r.Wait); at(232, r.BlankPageNum);
        at(234, r.Reserve);
    }
};

// The gaps between the frame block's fields are reserved and stay zero.
struct FrameLayout {
    static constexpr std::size_t kSize = kFrameParamADSize;
    template <class Record, class Visit>
    static void fields(Record& r, Visit&& at) {
        at(0, r.OrderNo); at(2, r.FrameNum); at(4, r.FrameNo); at(6, r.FrameName);
        at(24, r.ImageSize); at(28, r.ImageFormat); at(34, r.Copies); at(36, r.FixedFF);
        at(38, r.CVP1); at(158, r.CVP2);
        at(280, r.PaperWidth); at(282, r.PaperLength); at(284, r.Surface); at(288, r.PaperFittingFlg);
        at(296, r.RefId); at(320, r.PaperName); at(352, r.Resolut); at(354, r.PaperTone);
    }
};

template <class Field>
constexpr std::size_t wireSize() {
    if constexpr (std::is_integral_v<Field>) {
        return sizeof(Field);
    } else {
        return std::tuple_size_v<Field>;
    }
}

struct FieldWriter {
    std::uint8_t* out;
    template <class Field>
    void operator()(std::size_t offset, const Field& value) const {
        if constexpr (std::is_integral_v<Field>) {
            for (std::size_t i = 0; i < sizeof(Field); ++i) {
                out[offset + i] = static_cast<std::uint8_t>(value >> (8 * (sizeof(Field) - 1 - i)));
            }
        } else {
            std::memcpy(out + offset, value.data(), value.size());
        }
    }
};

// Reads the fields that lie wholly inside the bytes given; the rest stay zero.
struct FieldReader {
    std::span<const std::uint8_t> in;
    template <class Field>
    void operator()(std::size_t offset, Field& value) const {
        if (offset + wireSize<Field>() > in.size()) return;
        if constexpr (std::is_integral_v<Field>) {
            Field v = 0;
            for (std::size_t i = 0; i < sizeof(Field); ++i) v = static_cast<Field>((v << 8) | in[offset + i]);
            value = v;
        } else {
            std::memcpy(value.data(), in.data() + offset, value.size());
        }
    }
};

template <class Layout, class Record>
std::array<std::uint8_t, Layout::kSize> encodeRecord(const Record& record) {
    std::array<std::uint8_t, Layout::kSize> out{};
    Layout::fields(record, FieldWriter{out.data()});
    return out;
}

// The fields that lie wholly inside `bytes`; the others keep their default.
template <class Layout, class Record>
Record decodeRecord(std::span<const std::uint8_t> bytes) {
    Record record{};
    Layout::fields(record, FieldReader{bytes});
    return record;
}

}  // namespace tessaron::jrx
