#include "BackendLines.h"

#include <charconv>

namespace tessaron::printerapp {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

void readReasons(std::string_view text, BackendLine& line) {
    std::vector<std::string>* list = &line.added;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        if (text.front() == '-') list = &line.removed;
        text.remove_prefix(1);
    }
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view reason = trimmed(text.substr(0, comma));
        if (!reason.empty()) list->emplace_back(reason);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

BackendLine parseBackendLine(std::string_view raw) {
    BackendLine line;
    const std::size_t colon = raw.find(':');
    if (colon == std::string_view::npos) return line;
    const std::string_view prefix = raw.substr(0, colon);
    const std::string_view text = trimmed(raw.substr(colon + 1));
    line.text = std::string(text);
    if (prefix == "PAGE") {
        int page = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), page);
        if (error == std::errc() && page > 0) {
            line.kind = LineKind::Page;
            line.page = page;
        }
    } else if (prefix == "STATE") {
        line.kind = LineKind::State;
        readReasons(text, line);
    } else if (prefix == "INFO") {
        line.kind = LineKind::Info;
    } else if (prefix == "ERROR" || startsWith(prefix, "CRIT") || prefix == "ALERT" || prefix == "EMERG") {
        line.kind = LineKind::Error;
    } else if (prefix == "ATTR") {
        line.kind = LineKind::Attr;
    }
    return line;
}

std::vector<std::string> LineSplitter::feed(std::string_view bytes) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (c == '\n') {
            lines.push_back(std::move(pending_));
            pending_.clear();
            dropping_ = false;
        } else if (!dropping_) {
            pending_ += c;
            if (pending_.size() >= kMaxLine) dropping_ = true;
        }
    }
    return lines;
}

std::string LineSplitter::finish() {
    std::string rest = std::move(pending_);
    pending_.clear();
    dropping_ = false;
    return rest;
}

}  // namespace tessaron::printerapp
