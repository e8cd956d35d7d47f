#include "RecordJson.h"

namespace tessaron::minilab {

nlohmann::json recordJson(const RecordView& view) {
    nlohmann::json out = nlohmann::json::object();
    for (const auto& f : view.layout().fields) {
        if (!view.has(f.name)) continue;
        switch (f.type) {
        case FieldType::Zero: break;
        case FieldType::Text: out[f.name] = decodeTextField(view.raw(f.name)); break;
        case FieldType::S16: out[f.name] = view.signedNumber(f.name); break;
        case FieldType::Raw: {
            auto raw = view.raw(f.name);
            out[f.name] = raw.size() == 4 ? dottedQuad(getU32(raw, 0)) : hexString(raw);
            break;
        }
        default: out[f.name] = view.number(f.name); break;
        }
    }
    return out;
}

}  // namespace tessaron::minilab
