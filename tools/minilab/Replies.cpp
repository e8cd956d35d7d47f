#include "Replies.h"

#include "Codes.h"

namespace tessaron::minilab {

Bytes encodeReply(const LabConfig& lab, uint8_t command, uint32_t result, const Bytes& record) {
    RecordWriter header(kHeaderLayout);
    header.set("J", 'J').set("T", 'T').set("serverVersion", lab.apiVersion).set("command", command);
    header.set("direction", replyDirection(command));
    header.set("dataLength", kResultBlockSize + record.size()).set("reserve", 0);
    Bytes out = header.bytes();
    Bytes block(kResultBlockSize, 0);
    putU32(block, 0, result);
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), record.begin(), record.end());
    return out;
}

Bytes infoRecord(const LabConfig& lab, uint32_t ownAddress) {
    RecordWriter w(kInfoLayout);
    // The client reads the name up to a zero byte or the field's end.
    w.setText("name", lab.infoName.empty() ? lab.name : lab.infoName, false);
    w.set("apiVersion", lab.apiVersion).set("ipAddress", ownAddress);
    w.set("extraFeatures", lab.extraFeatures ? 1 : 0).set("duplex", lab.duplex ? 1 : 0);
    return w.bytes();
}

Bytes statusRecord(const LabConfig& lab, const StatusStep& step, uint64_t printCount) {
    RecordWriter w(kStatusLayout);
    w.set("state", step.state).set("receive", step.receive).set("printingUnit", step.printingUnit);
    w.set("imageFormats", lab.imageFormats).set("printCount", printCount);
    w.set("tempCD", lab.temp[0]).set("tempBF", lab.temp[1]).set("tempSTB", lab.temp[2]);
    w.set("remainCD", lab.remainLevels[0]).set("remainBF", lab.remainLevels[1]).set("remainSTB", lab.remainLevels[2]);
    w.set("spoolerSpace", lab.spoolerSpace);
    return w.bytes();
}

namespace {

// UTF-8 to UTF-16 big-endian, at most `maxBytes` bytes; undecodable bytes become U+FFFD.
Bytes utf16be(const std::string& text, size_t maxBytes) {
    Bytes out;
    auto push = [&](uint32_t unit) {
        out.push_back(static_cast<uint8_t>(unit >> 8));
        out.push_back(static_cast<uint8_t>(unit));
    };
    for (size_t i = 0; i < text.size();) {
        uint8_t c = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t n = 1;
        if (c < 0x80) cp = c;
        else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) { cp = ((c & 0x1Fu) << 6) | (text[i + 1] & 0x3F); n = 2; }
        else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((text[i + 1] & 0x3Fu) << 6) | (text[i + 2] & 0x3F);
            n = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            cp = ((c & 0x07u) << 18) | ((text[i + 1] & 0x3Fu) << 12) | ((text[i + 2] & 0x3Fu) << 6) | (text[i + 3] & 0x3F);
            n = 4;
        }
        i += n;
        size_t need = cp > 0xFFFF ? 4 : 2;
        if (out.size() + need > maxBytes) break;
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            push(0xD800 + (cp >> 10));
            push(0xDC00 + (cp & 0x3FF));
        } else {
            push(cp);
        }
    }
    return out;
}

}  // namespace

std::vector<Bytes> errorRecords(const std::vector<PrinterError>& errors) {
    std::vector<Bytes> out;
    if (errors.empty()) {
        out.push_back(RecordWriter(kErrorLayout).bytes());
        return out;
    }
    for (const auto& e : errors) {
        RecordWriter w(kErrorLayout);
        w.set("count", errors.size()).set("number", e.number).set("mainError", e.mainError);
        w.set("subError", e.subError).set("level", e.level);
        w.setRaw("message", utf16be(e.message, kErrorLayout.find("message")->size));
        out.push_back(w.bytes());
    }
    return out;
}

std::vector<Bytes> paperRecords(const LabConfig& lab, bool extended) {
    std::vector<const Paper*> listed;
    for (const auto& p : lab.papers)
        if (extended || !p.sheet) listed.push_back(&p);
    std::vector<Bytes> out;
    uint32_t position = 0;
    for (const Paper* p : listed) {
        ++position;
        RecordWriter w(extended ? kPaperAdLayout : kPaperLayout);
        // Plain lists renumber so that their sequence numbers run 1 to the count.
        uint32_t number = extended ? p->number : position;
        w.set("count", listed.size()).set("number", number).set("width", p->width);
        w.set("resolution", p->resolution).set("magazine", p->magazine).set("remain", p->remain);
        w.set("surface", p->surface).set("lmin", p->lmin).set("lmax", p->lmax);
        if (extended) {
            w.set("source", p->sheet ? 1 : 0).setText("name", p->name, false);
            w.set("borderless", p->borderless).set("trimTop", static_cast<uint16_t>(p->trimTop));
            w.set("trimBottom", static_cast<uint16_t>(p->trimBottom)).set("trimLeft", static_cast<uint16_t>(p->trimLeft));
            w.set("trimRight", static_cast<uint16_t>(p->trimRight)).set("tone", p->tone);
        }
        out.push_back(w.bytes());
    }
    if (out.empty()) out.push_back(RecordWriter(extended ? kPaperAdLayout : kPaperLayout).bytes());
    return out;
}

}  // namespace tessaron::minilab
