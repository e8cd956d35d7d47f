// The panel base's printer-data half: fresh PPD reads and the command-job wait.
#include "CommandJobs.h"
#include "LocalNotifications.h"
#include "PDELog.h"
#include "PLUMEXBasePDEVantrel.h"
#include "PrinterData.h"

#include <cups/cups.h>

#include <chrono>
#include <thread>

namespace tessaron::pde {

QString PLUMEXBasePDEVantrel::destinationName() const {
    return pdePluginCallbackObject_ ? pdePluginCallbackObject_->printerID() : QString();
}

QString PLUMEXBasePDEVantrel::printerDeviceURI() {
    if (deviceURI_) return *deviceURI_;
    const QString uri = pdePluginCallbackObject_ ? pdePluginCallbackObject_->printerDeviceURI() : QString();
    if (uri.isEmpty()) return QStringLiteral("null://");
    deviceURI_ = uri;
    return uri;
}

QMap<QString, QString> PLUMEXBasePDEVantrel::ppdValuesForAttributes(const QStringList& names) const {
    return ppdValuesForAttributesOfQueue(destinationName(), names);
}

std::optional<QString> PLUMEXBasePDEVantrel::ppdValueForAttribute(const QString& name) const {
    const auto values = ppdValuesForAttributes({name});
    if (!values.contains(name)) return std::nullopt;
    return values.value(name);
}

std::optional<QByteArray> PLUMEXBasePDEVantrel::ppdSavedDataForAttribute(const QString& baseName) const {
    return ppdSavedDataForAttributeOfQueue(destinationName(), baseName);
}

bool PLUMEXBasePDEVantrel::isWaiting() const {
    std::lock_guard lock(semaphoreMutex_);
    return pdeUnloadSemaphore_ != nullptr;
}

void PLUMEXBasePDEVantrel::sendPrinterCommands(const QStringList& commands) {
    const QString queue = destinationName();
    if (isWaiting() || activeJobIDForDesinationName(queue) != 0) {
        ppdUpdateDidAbort();
        return;
    }
    waitForJobCompletion(submitCommandJob(queue, commandJobDocument(commands)));
}

void PLUMEXBasePDEVantrel::waitForJobCompletion(int jobID) {
    auto semaphore = std::make_shared<std::binary_semaphore>(0);
    {
        std::lock_guard lock(semaphoreMutex_);
        pdeUnloadSemaphore_ = semaphore;
    }
    background_.async([this, queue = destinationName(), jobID, semaphore] { runWaitLoop(queue, jobID, semaphore); });
}

void PLUMEXBasePDEVantrel::runWaitLoop(const QString& queue, int jobID,
                                       std::shared_ptr<std::binary_semaphore> semaphore) {
    int state = 0;
    for (;;) {
        if (pdePluginDidUnload_) {
            cancelAndPurgeJob(queue, jobID);
            pdeLog("bailing out of wait loop bc pde plugin unloaded.");
            // Left stored: this panel submits no further command job.
            semaphore->release();
            return;
        }
        state = currentJobState(queue, jobID);
        if (state != IPP_JSTATE_PENDING && state != IPP_JSTATE_PROCESSING) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    LocalNotificationCenter::defaultCenter().postNotificationName(
        state == IPP_JSTATE_COMPLETED ? kPPDUpdateDidCompleteNotification : kPPDUpdateDidAbortNotification, this);
    {
        std::lock_guard lock(semaphoreMutex_);
        if (pdeUnloadSemaphore_ == semaphore) pdeUnloadSemaphore_.reset();
    }
    // A destruction that fetched the semaphore meanwhile waits for this.
    semaphore->release();
}

}  // namespace tessaron::pde
