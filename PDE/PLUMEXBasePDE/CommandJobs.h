// CUPS command jobs that make the backend refresh what it stores in the queue's PPD, and the
// job-state queries the panels wait with.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tessaron::pde {

// "#CUPS-COMMAND\n" followed by the commands, each ended by a newline.
QByteArray commandJobDocument(const QStringList& commands);
QString stringForCupsJobState(int state);

// Id of the first active job of the queue that is processing, or 0.
int activeJobIDForDesinationName(const QString& queue);
// Creates the job "Updating status ..." carrying `document`; its id, 0 when it was not created.
int submitCommandJob(const QString& queue, const QByteArray& document);
// The job's state among the queue's active jobs, else among its completed ones; 0 when
// the queue knows no such job.
int currentJobState(const QString& queue, int jobID);
// Cancels and purges the job.
void cancelAndPurgeJob(const QString& queue, int jobID);

}  // namespace tessaron::pde
