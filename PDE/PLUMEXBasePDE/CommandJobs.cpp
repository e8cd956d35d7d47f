#include "CommandJobs.h"

#include <cups/cups.h>

#include <optional>

namespace tessaron::pde {
namespace {

// The state of `jobID` in one of the queue's job lists.
std::optional<int> stateInJobList(const QString& queue, int jobID, int whichJobs) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, whichJobs);
    std::optional<int> state;
    for (int i = 0; i < count; ++i)
        if (jobs[i].id == jobID) {
            state = static_cast<int>(jobs[i].state);
            break;
        }
    cupsFreeJobs(count, jobs);
    return state;
}

}  // namespace

QByteArray commandJobDocument(const QStringList& commands) {
    return QStringLiteral("#CUPS-COMMAND\n%1\n").arg(commands.join(QLatin1Char('\n'))).toUtf8();
}

QString stringForCupsJobState(int state) {
    switch (state) {
    case IPP_JSTATE_PENDING: return QStringLiteral("pending");
    case IPP_JSTATE_HELD: return QStringLiteral("held");
    case IPP_JSTATE_PROCESSING: return QStringLiteral("processing");
    case IPP_JSTATE_STOPPED: return QStringLiteral("stopped");
    case IPP_JSTATE_CANCELED: return QStringLiteral("canceled");
    case IPP_JSTATE_ABORTED: return QStringLiteral("aborted");
    case IPP_JSTATE_COMPLETED: return QStringLiteral("completed");
    default: return QStringLiteral("unknown");
    }
}

int activeJobIDForDesinationName(const QString& queue) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ACTIVE);
    int id = 0;
    for (int i = 0; i < count; ++i)
        if (jobs[i].state == IPP_JSTATE_PROCESSING) {
            id = jobs[i].id;
            break;
        }
    cupsFreeJobs(count, jobs);
    return id;
}

int submitCommandJob(const QString& queue, const QByteArray& document) {
    const QByteArray name = queue.toUtf8();
    const int jobID = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), "Updating status ...", 0, nullptr);
    if (jobID <= 0) return 0;
    // As the dialog always did, the document calls' results are left to the job's state.
    cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), jobID, "CommandJob", CUPS_FORMAT_COMMAND, 1);
    cupsWriteRequestData(CUPS_HTTP_DEFAULT, document.constData(), static_cast<size_t>(document.size()));
    cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
    return jobID;
}

int currentJobState(const QString& queue, int jobID) {
    if (jobID <= 0) return 0;
    if (auto active = stateInJobList(queue, jobID, CUPS_WHICHJOBS_ACTIVE); active && *active != 0) return *active;
    return stateInJobList(queue, jobID, CUPS_WHICHJOBS_COMPLETED).value_or(0);
}

void cancelAndPurgeJob(const QString& queue, int jobID) {
    if (jobID > 0) cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.toUtf8().constData(), jobID, 1);
}

}  // namespace tessaron::pde
