#include "JobSubmission.h"

#include "PageCount.h"

#include <cups/cups.h>

#include <filesystem>

namespace tessaron::print {

bool changesPrintedPageCount(const PrintSettings& settings) {
    const auto numberUp = settings.value("number-up");
    const auto pageSet = settings.value("page-set");
    return settings.contains("page-ranges") || (numberUp && *numberUp != "1") || (pageSet && *pageSet != "all");
}

void assembleJobOptions(const PrintSettings& settings, std::optional<uint32_t> pageCount, CupsOptions& into) {
    into.add(settings);
    if (pageCount && !changesPrintedPageCount(settings)) {
        const std::string count = std::to_string(*pageCount);
        into.add(kTotalSidesImagedOption, count);
        into.add(kTotalBeginPagesOption, count);
    }
}

std::optional<SubmittedJob> printFile(const std::string& queue, const std::string& path,
                                      const PrintSettings& settings, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "cannot print " + path + ": no such file";
        return std::nullopt;
    }
    SubmittedJob job;
    job.pages = documentPageCount(path);
    CupsOptions options;
    assembleJobOptions(settings, job.pages, options);
    const std::string title = std::filesystem::path(path).filename().string();
    job.id = cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.c_str(), path.c_str(), title.c_str(), options.count(),
                            options.options());
    if (job.id <= 0) {
        error = "cannot print " + path + " on " + queue + ": " + cupsLastErrorString();
        return std::nullopt;
    }
    return job;
}

}  // namespace tessaron::print
