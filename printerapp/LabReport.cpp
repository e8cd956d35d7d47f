#include "LabReport.h"

#include <charconv>
#include <map>

namespace tessaron::printerapp {
namespace {

using Fields = std::map<std::string, std::string, std::less<>>;

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

Fields fieldsOf(const std::vector<std::string_view>& parts) {
    Fields fields;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t equals = parts[i].find('=');
        if (equals != std::string_view::npos)
            fields.emplace(std::string(parts[i].substr(0, equals)), std::string(parts[i].substr(equals + 1)));
    }
    return fields;
}

std::string text(const Fields& fields, std::string_view key) {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

long long number(const Fields& fields, std::string_view key) {
    const std::string value = text(fields, key);
    long long result = 0;
    std::from_chars(value.data(), value.data() + value.size(), result);
    return result;
}

unsigned unsignedNumber(const Fields& fields, std::string_view key) {
    const long long value = number(fields, key);
    return value < 0 || value > 0xFFFFFFFFLL ? 0 : static_cast<unsigned>(value);
}

LabPaper paperOf(const Fields& f) {
    LabPaper paper;
    paper.key = text(f, "key");
    paper.sheet = number(f, "source") != 0;
    paper.name = text(f, "name");
    paper.width = unsignedNumber(f, "width");
    paper.surface = unsignedNumber(f, "surface");
    paper.resolution = unsignedNumber(f, "resolution");
    paper.lmin = unsignedNumber(f, "lmin");
    paper.lmax = unsignedNumber(f, "lmax");
    paper.magazine = unsignedNumber(f, "magazine");
    paper.remain = number(f, "remain");
    paper.tone = unsignedNumber(f, "tone");
    return paper;
}

LabError errorOf(const Fields& f) {
    return LabError{unsignedNumber(f, "number"), unsignedNumber(f, "main"), unsignedNumber(f, "sub"),
                    unsignedNumber(f, "level"), text(f, "message")};
}

void readRecord(LabReport& report, std::string_view line) {
    const auto parts = splitOn(line, '\t');
    const std::string_view kind = parts.front();
    const Fields f = fieldsOf(parts);
    if (kind == "lab") {
        report.reached = true;
        report.name = text(f, "name");
        report.api = text(f, "api");
        report.address = text(f, "address");
        report.extended = number(f, "extended") != 0;
        report.duplex = number(f, "duplex") != 0;
    } else if (kind == "status") {
        report.state = static_cast<int>(number(f, "state"));
        report.stateName = text(f, "state-name");
        report.ableReceive = number(f, "receive") != 0;
    } else if (kind == "paper" && report.papers.size() < kMaxReportPapers) {
        report.papers.push_back(paperOf(f));
    } else if (kind == "error" && report.errors.size() < kMaxReportErrors) {
        report.errors.push_back(errorOf(f));
    } else if (kind == "end") {
        report.complete = report.reached;
    }
}

}  // namespace

LabReport parseLabReport(std::string_view text) {
    LabReport report;
    for (std::string_view line : splitOn(text, '\n'))
        if (!line.empty()) readRecord(report, line);
    return report;
}

}  // namespace tessaron::printerapp
