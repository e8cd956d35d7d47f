#include "Program.h"

#include "PageCount.h"
#include "PrintDialog.h"
#include "PrintSession.h"
#include "Screenshots.h"

namespace tessaron::print {

namespace {

std::vector<DocumentInfo> inspectDocuments(const std::vector<std::string>& paths) {
    std::vector<DocumentInfo> documents;
    for (const std::string& path : paths) documents.push_back({path, documentPageCount(path)});
    return documents;
}

std::string pagesText(const std::optional<uint32_t>& pages) {
    if (!pages) return "pages counted by the driver";
    return std::to_string(*pages) + (*pages == 1 ? " page" : " pages");
}

int printDocuments(PrintSession& session, const std::vector<DocumentInfo>& documents, std::ostream& out,
                   std::ostream& err) {
    for (const DocumentInfo& document : documents) {
        std::string error;
        const auto job = session.print(document.path, error);
        if (!job) {
            err << "tessaron-print: " << error << "\n";
            return kExitFailed;
        }
        out << "tessaron-print: " << session.queue() << "-" << job->id << ": " << document.path << " ("
            << pagesText(job->pages) << ")\n";
    }
    return kExitOK;
}

}  // namespace

int runProgram(const CommandLine& line, std::ostream& out, std::ostream& err) {
    std::string error;
    std::unique_ptr<PrintSession> session = PrintSession::open(line.queue, line.ppd, error);
    if (!session) {
        err << "tessaron-print: " << error << "\n";
        return kExitFailed;
    }
    QString plugInError;
    if (!session->loadPanels(plugInLocation(), plugInError))
        err << "tessaron-print: " << plugInError.toStdString() << "; showing the dialog's own page only\n";
    for (const std::string& assignment : line.assignments) {
        std::string why;
        if (!session->chooseAssignment(assignment, why)) {
            err << "tessaron-print: " << why << "\n";
            return kExitFailed;
        }
    }
    const std::vector<DocumentInfo> documents = inspectDocuments(line.documents);

    if (line.interactive()) {
        PrintDialog dialog(*session, documents);
        dialog.exec();
        return kExitOK;
    }
    if (!line.screenshotDirectory.empty()) {
        PrintDialog dialog(*session, documents);
        QString shotError;
        const QStringList files = writeScreenshots(dialog, QString::fromStdString(line.screenshotDirectory), shotError);
        for (const QString& file : files) out << file.toStdString() << "\n";
        if (!shotError.isEmpty()) {
            err << "tessaron-print: " << shotError.toStdString() << "\n";
            return kExitFailed;
        }
    }
    session->commitPanels();
    if (line.print || line.saveDefaults) {
        if (!session->queueKnown()) {
            err << "tessaron-print: the print system has no queue named " << session->queue() << "\n";
            return kExitFailed;
        }
    }
    if (line.print) {
        if (const int status = printDocuments(*session, documents, out, err); status != kExitOK) return status;
    }
    if (line.saveDefaults) {
        if (!session->saveDefaults(error)) {
            err << "tessaron-print: " << error << "\n";
            return kExitFailed;
        }
        out << "tessaron-print: saved the defaults of " << session->queue() << "\n";
    }
    session->close(false);
    return kExitOK;
}

}  // namespace tessaron::print
