#include "Config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "UniqueFd.h"

namespace tessaron::minilab {

using nlohmann::json;

namespace {

constexpr size_t kMaxConfigBytes = 4 * 1024 * 1024;

// Small checked readers: the configuration is input, so nothing may throw or wrap.
class Reader {
public:
    explicit Reader(std::string& error) : error_(error) {}
    bool failed() const { return !error_.empty(); }

    void fail(const std::string& where, const std::string& what) {
        if (error_.empty()) error_ = where + ": " + what;
    }

    template <typename T>
    void number(const json& obj, const char* key, T& out, const std::string& where, uint64_t max = 0) {
        if (!obj.contains(key)) return;
        auto v = unsignedValue(obj[key], where + "." + key);
        uint64_t limit = max ? max : static_cast<uint64_t>(std::numeric_limits<T>::max());
        if (!v) return;
        if (*v > limit) return fail(where + "." + key, "out of range");
        out = static_cast<T>(*v);
    }

    void signedNumber(const json& obj, const char* key, int16_t& out, const std::string& where) {
        if (!obj.contains(key)) return;
        const json& v = obj[key];
        if (!v.is_number_integer()) return fail(where + "." + key, "expected an integer");
        int64_t n = v.get<int64_t>();
        if (n < INT16_MIN || n > INT16_MAX) return fail(where + "." + key, "out of range");
        out = static_cast<int16_t>(n);
    }

    void flag(const json& obj, const char* key, bool& out, const std::string& where) {
        if (!obj.contains(key)) return;
        if (!obj[key].is_boolean()) return fail(where + "." + key, "expected true or false");
        out = obj[key].get<bool>();
    }

    void text(const json& obj, const char* key, std::string& out, const std::string& where) {
        if (!obj.contains(key)) return;
        if (!obj[key].is_string()) return fail(where + "." + key, "expected a string");
        out = obj[key].get<std::string>();
    }

    // An unsigned integer given as a number or as text ("0x22", "34").
    std::optional<uint64_t> unsignedValue(const json& v, const std::string& where) {
        if (v.is_number_unsigned()) return v.get<uint64_t>();
        if (v.is_number_integer()) {
            if (v.get<int64_t>() < 0) fail(where, "must not be negative");
            else return static_cast<uint64_t>(v.get<int64_t>());
            return std::nullopt;
        }
        if (v.is_string()) {
            const std::string s = v.get<std::string>();
            errno = 0;
            char* end = nullptr;
            unsigned long long n = strtoull(s.c_str(), &end, 0);
            if (!s.empty() && s[0] != '-' && errno == 0 && end && *end == 0) return n;
        }
        fail(where, "expected an unsigned number");
        return std::nullopt;
    }

private:
    std::string& error_;
};

void readPaper(Reader& r, const json& p, Paper& paper, const std::string& where) {
    if (!p.is_object()) return r.fail(where, "expected an object");
    r.number(p, "number", paper.number, where);
    r.text(p, "name", paper.name, where);
    r.number(p, "width", paper.width, where);
    r.number(p, "surface", paper.surface, where);
    r.number(p, "resolution", paper.resolution, where);
    r.number(p, "lmin", paper.lmin, where);
    r.number(p, "lmax", paper.lmax, where);
    r.number(p, "tone", paper.tone, where);
    r.number(p, "magazine", paper.magazine, where);
    r.number(p, "remain", paper.remain, where);
    r.number(p, "borderless", paper.borderless, where);
    if (p.contains("source")) {
        const json& s = p["source"];
        if (s == "sheet") paper.sheet = true;
        else if (s == "roll") paper.sheet = false;
        else r.fail(where + ".source", "expected \"roll\" or \"sheet\"");
    }
    if (p.contains("trim")) {
        const json& t = p["trim"];
        if (!t.is_object()) return r.fail(where + ".trim", "expected an object");
        r.signedNumber(t, "top", paper.trimTop, where + ".trim");
        r.signedNumber(t, "bottom", paper.trimBottom, where + ".trim");
        r.signedNumber(t, "left", paper.trimLeft, where + ".trim");
        r.signedNumber(t, "right", paper.trimRight, where + ".trim");
    }
    if (paper.sheet && paper.name.empty()) r.fail(where, "a sheet paper needs a name");
    if (paper.lmin > paper.lmax) r.fail(where, "lmin is above lmax");
}

void readStatus(Reader& r, const json& s, StatusStep& step, const std::string& where) {
    if (!s.is_object()) return r.fail(where, "expected an object");
    r.number(s, "state", step.state, where);
    r.number(s, "receive", step.receive, where);
    r.number(s, "printingUnit", step.printingUnit, where);
    r.number(s, "repeat", step.repeat, where);
    if (s.contains("busy")) {
        bool busy = false;
        r.flag(s, "busy", busy, where);
        if (busy) {
            step.state = 1;
            step.receive = 1;
        }
    }
    if (step.repeat == 0) r.fail(where + ".repeat", "must be at least 1");
}

void readError(Reader& r, const json& e, PrinterError& err, const std::string& where) {
    if (!e.is_object()) return r.fail(where, "expected an object");
    r.number(e, "number", err.number, where);
    r.number(e, "mainError", err.mainError, where);
    r.number(e, "subError", err.subError, where);
    r.number(e, "level", err.level, where);
    r.text(e, "message", err.message, where);
}

void readTrigger(Reader& r, const json& f, Trigger& t, const std::string& where) {
    if (f.contains("command")) {
        auto c = r.unsignedValue(f["command"], where + ".command");
        if (c && *c > 0xFF) r.fail(where + ".command", "not a command code");
        else if (c) t.command = static_cast<uint8_t>(*c);
    }
    if (f.contains("at")) {
        auto n = r.unsignedValue(f["at"], where + ".at");
        if (n && (*n == 0 || *n > UINT32_MAX)) r.fail(where + ".at", "counts from 1");
        else if (n) t.at = static_cast<uint32_t>(*n);
    }
}

std::optional<std::vector<uint8_t>> parseHex(const std::string& text) {
    std::vector<uint8_t> out;
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        if (!isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += c;
    }
    if (digits.size() % 2) return std::nullopt;
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
    return out;
}

// A switch is an object, a list of objects, or a bare number for its main value.
template <typename Fn>
void eachSwitch(const json& v, const std::string& where, Fn fn) {
    if (v.is_array()) {
        for (size_t i = 0; i < v.size(); ++i) fn(v[i], where + "[" + std::to_string(i) + "]");
    } else {
        fn(v, where);
    }
}

// A switch that is only a trigger: an object naming command and count, or the bare count.
Trigger triggerSwitch(Reader& r, const json& v, const std::string& at) {
    Trigger t;
    if (v.is_object()) readTrigger(r, v, t, at);
    else if (auto n = r.unsignedValue(v, at)) t.at = static_cast<uint32_t>(*n);
    return t;
}

// The number a switch sets: the object's `key` beside its trigger, or the bare number, which
// is cut to `max` where an object's is refused above it.
void readTriggeredNumber(Reader& r, const json& v, const std::string& at, Trigger& when, const char* key,
                         uint32_t& number, uint64_t max) {
    if (v.is_object()) {
        readTrigger(r, v, when, at);
        r.number(v, key, number, at, max);
    } else if (auto n = r.unsignedValue(v, at)) {
        number = static_cast<uint32_t>(std::min<uint64_t>(*n, max));
    }
}

// A switch that is an object with its trigger (true: the caller reads its other fields), or
// just `true`.
bool triggerObjectOrTrue(Reader& r, const json& v, const std::string& at, Trigger& when) {
    if (v.is_object()) {
        readTrigger(r, v, when, at);
        return true;
    }
    if (!v.is_boolean() || !v.get<bool>()) r.fail(at, "expected an object or true");
    return false;
}

void readFaults(Reader& r, const json& f, Faults& faults) {
    const std::string w = "faults";
    if (!f.is_object()) return r.fail(w, "expected an object");
    for (const auto& [key, value] : f.items()) {
        const std::string where = w + "." + key;
        if (key == "replyDelay") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                DelayFault d;
                readTriggeredNumber(r, v, at, d.when, "ms", d.ms, 600000);
                faults.replyDelay.push_back(d);
            });
        } else if (key == "closeWithoutReply") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                faults.closeWithoutReply.push_back(triggerSwitch(r, v, at));
            });
        } else if (key == "resetAtFrame") {
            auto k = r.unsignedValue(value, where);
            if (k && (*k == 0 || *k > UINT32_MAX)) r.fail(where, "counts from 1");
            else if (k) faults.resetAtFrame = static_cast<uint32_t>(*k);
        } else if (key == "noiseBeforeReply") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                NoiseFault n;
                n.bytes = {0x00, 0x13, 0x7E};
                if (triggerObjectOrTrue(r, v, at, n.when) && v.contains("bytes")) {
                    auto hex = v["bytes"].is_string() ? parseHex(v["bytes"].get<std::string>()) : std::nullopt;
                    if (!hex || hex->empty() || hex->size() > 4096) r.fail(at + ".bytes", "expected hex bytes");
                    else n.bytes = *hex;
                }
                faults.noise.push_back(n);
            });
        } else if (key == "splitReply") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                SplitFault s;
                readTriggeredNumber(r, v, at, s.when, "segment", s.segment, UINT32_MAX);
                if (v.is_object()) r.number(v, "gapMs", s.gapMs, at, 10000);
                if (s.segment == 0) r.fail(at + ".segment", "must be at least 1");
                faults.split.push_back(s);
            });
        } else if (key == "trickle") {
            // One reply byte at a time, `ms` apart.
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                SplitFault s;
                s.segment = 1;
                readTriggeredNumber(r, v, at, s.when, "ms", s.gapMs, 10000);
                faults.split.push_back(s);
            });
        } else if (key == "stopReading") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                faults.stopReading.push_back(triggerSwitch(r, v, at));
            });
        } else if (key == "wrongLength") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                LengthFault l;
                if (!v.is_object()) return r.fail(at, "expected an object");
                readTrigger(r, v, l.when, at);
                if (!v.contains("delta") || !v["delta"].is_number_integer()) return r.fail(at + ".delta", "expected an integer");
                l.delta = v["delta"].get<int64_t>();
                faults.wrongLength.push_back(l);
            });
        } else if (key == "oversizedDataLength") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                LengthFault l;
                l.value = 0xFFFFFFF0u;
                if (triggerObjectOrTrue(r, v, at, l.when)) {
                    uint32_t value32 = *l.value;
                    r.number(v, "value", value32, at);
                    l.value = value32;
                }
                faults.oversizedDataLength.push_back(l);
            });
        } else if (key == "spoolRefused") {
            eachSwitch(value, where, [&](const json& v, const std::string& at) {
                SpoolRefusal s;
                readTriggeredNumber(r, v, at, s.when, "code", s.code, UINT32_MAX);
                if (s.code == 0) r.fail(at + ".code", "a refusal needs a failure code");
                faults.spoolRefused.push_back(s);
            });
        } else {
            r.fail(where, "unknown fault switch");
        }
    }
}

void readVersion(Reader& r, const json& lab, uint32_t& out, const std::string& where) {
    if (!lab.contains("apiVersion")) return;
    const json& v = lab["apiVersion"];
    std::optional<uint32_t> parsed;
    if (v.is_string()) parsed = parseVersion(v.get<std::string>());
    else if (v.is_number_unsigned() && v.get<uint64_t>() <= UINT32_MAX) parsed = static_cast<uint32_t>(v.get<uint64_t>());
    if (!parsed) return r.fail(where + ".apiVersion", "expected \"a.b.c.d\" or a number");
    out = *parsed;
}

// Appends the items of the list under `key`, each read by `readOne(element, item, where, index)`;
// false, after failing, when the key holds no list.
template <typename T, typename ReadOne>
bool readList(Reader& r, const json& obj, const char* key, const std::string& where, std::vector<T>& out, ReadOne readOne) {
    if (!obj.contains(key)) return true;
    const json& list = obj[key];
    const std::string at = where + "." + key;
    if (!list.is_array()) {
        r.fail(at, "expected a list");
        return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        T item;
        readOne(list[i], item, at + "[" + std::to_string(i) + "]", i);
        out.push_back(item);
    }
    return true;
}

void readLab(Reader& r, const json& lab, LabConfig& cfg, const std::string& where) {
    if (!lab.is_object()) return r.fail(where, "expected an object");
    static const char* const kKnown[] = {"name", "infoName", "address", "apiVersion", "extraFeatures", "duplex",
                                         "imageFormats", "maxImageBytes", "papers", "status", "printCount",
                                         "temp", "remain", "spoolerSpace", "errors", "faults", "comment"};
    for (const auto& [key, value] : lab.items()) {
        bool known = false;
        for (const char* k : kKnown) known = known || key == k;
        if (!known) r.fail(where + "." + key, "unknown key");
    }
    r.text(lab, "name", cfg.name, where);
    r.text(lab, "infoName", cfg.infoName, where);
    r.text(lab, "address", cfg.address, where);
    readVersion(r, lab, cfg.apiVersion, where);
    r.flag(lab, "extraFeatures", cfg.extraFeatures, where);
    r.flag(lab, "duplex", cfg.duplex, where);
    r.number(lab, "imageFormats", cfg.imageFormats, where);
    r.number(lab, "maxImageBytes", cfg.maxImageBytes, where, 0xFFFFFFFFull - 1024);
    r.number(lab, "printCount", cfg.printCount, where);
    r.number(lab, "spoolerSpace", cfg.spoolerSpace, where);
    for (const char* key : {"temp", "remain"}) {
        if (!lab.contains(key)) continue;
        const json& a = lab[key];
        uint16_t* target = std::string(key) == "temp" ? cfg.temp : cfg.remainLevels;
        if (!a.is_array() || a.size() != 3) {
            r.fail(where + "." + key, "expected three numbers (CD, BF, STB)");
            continue;
        }
        for (size_t i = 0; i < 3; ++i) {
            auto n = r.unsignedValue(a[i], where + "." + key);
            if (n && *n <= 0xFFFF) target[i] = static_cast<uint16_t>(*n);
            else if (n) r.fail(where + "." + key, "out of range");
        }
    }
    // A given paper list replaces the default paper; the other lists start empty.
    if (lab.contains("papers") && lab["papers"].is_array()) cfg.papers.clear();
    const bool listsRead =
        readList(r, lab, "papers", where, cfg.papers,
                 [&](const json& v, Paper& p, const std::string& at, size_t) { readPaper(r, v, p, at); }) &&
        readList(r, lab, "status", where, cfg.status,
                 [&](const json& v, StatusStep& s, const std::string& at, size_t) { readStatus(r, v, s, at); }) &&
        readList(r, lab, "errors", where, cfg.errors, [&](const json& v, PrinterError& e, const std::string& at, size_t i) {
            readError(r, v, e, at);
            if (e.number == 0) e.number = static_cast<uint32_t>(i + 1);
        });
    if (!listsRead) return;
    if (lab.contains("faults")) readFaults(r, lab["faults"], cfg.faults);
    for (size_t i = 0; i < cfg.papers.size(); ++i)
        if (cfg.papers[i].number == 0) cfg.papers[i].number = static_cast<uint32_t>(i + 1);
}

}  // namespace

bool Trigger::matches(uint8_t requestCommand, uint32_t matchingCount) const {
    if (command && *command != requestCommand) return false;
    return !at || *at == matchingCount;
}

LabConfig defaultLab() {
    LabConfig lab;
    Paper roll;
    roll.width = 1020;
    roll.surface = 1;
    roll.resolution = 3000;
    roll.lmin = 890;
    roll.lmax = 3050;
    roll.magazine = 1;
    roll.remain = 500;
    lab.papers.push_back(roll);
    roll.width = 1520;
    roll.lmin = 1020;
    roll.lmax = 4570;
    roll.magazine = 2;
    lab.papers.push_back(roll);
    Paper sheet;
    sheet.sheet = true;
    sheet.name = "A4";
    sheet.width = 2100;
    sheet.surface = 1;
    sheet.resolution = 3000;
    sheet.lmin = 2970;
    sheet.lmax = 2970;
    sheet.magazine = 3;
    sheet.remain = 200;
    lab.papers.push_back(sheet);
    for (size_t i = 0; i < lab.papers.size(); ++i) lab.papers[i].number = static_cast<uint32_t>(i + 1);
    return lab;
}

std::optional<Config> parseConfig(const std::string& text, std::string& error) {
    error.clear();
    json doc = json::parse(text, nullptr, false, true);
    if (doc.is_discarded()) {
        error = "not valid JSON";
        return std::nullopt;
    }
    if (!doc.is_object()) {
        error = "the configuration must be a JSON object";
        return std::nullopt;
    }
    Reader r(error);
    Config cfg;
    if (doc.contains("labs")) {
        const json& labs = doc["labs"];
        if (!labs.is_array() || labs.empty()) {
            error = "labs: expected a non-empty list";
            return std::nullopt;
        }
        for (size_t i = 0; i < labs.size(); ++i) {
            LabConfig lab = defaultLab();
            readLab(r, labs[i], lab, "labs[" + std::to_string(i) + "]");
            cfg.labs.push_back(lab);
        }
    } else {
        LabConfig lab = defaultLab();
        readLab(r, doc, lab, "lab");
        cfg.labs.push_back(lab);
    }
    if (r.failed()) return std::nullopt;
    return cfg;
}

std::optional<Config> loadConfig(const std::string& path, std::string& error) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        error = path + ": " + strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd.get(), buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kMaxConfigBytes) {
            error = path + ": larger than 4 MiB";
            return std::nullopt;
        }
    }
    auto cfg = parseConfig(text, error);
    if (!cfg) error = path + ": " + error;
    return cfg;
}

std::optional<uint32_t> parseVersion(const std::string& text) {
    unsigned a, b, c, d;
    char tail;
    if (sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4) {
        if (a > 255 || b > 255 || c > 255 || d > 255) return std::nullopt;
        return (a << 24) | (b << 16) | (c << 8) | d;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long long n = strtoull(text.c_str(), &end, 0);
    if (text.empty() || errno || !end || *end || n > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(n);
}

std::string versionText(uint32_t v) {
    char buf[20];
    snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return buf;
}

}  // namespace tessaron::minilab
