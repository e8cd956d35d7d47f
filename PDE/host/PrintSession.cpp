#include "PrintSession.h"

#include "Destinations.h"

#include <filesystem>

namespace tessaron::print {

std::unique_ptr<PrintSession> PrintSession::open(const std::string& queueName, const std::string& ppdPath,
                                                 std::string& error) {
    std::string lookupError;
    std::optional<Queue> queue = chooseQueue(queueName, lookupError);
    if (!queue) {
        // A printer description given by hand stands in for a queue the scheduler lacks.
        if (ppdPath.empty()) {
            error = lookupError;
            return nullptr;
        }
        // Without a queue name the description's file name names the dialog's printer.
        const std::string name = queueName.empty() ? std::filesystem::path(ppdPath).stem().string() : queueName;
        queue = Queue{name.empty() ? std::string("printer") : name, {}, {}, false};
    }
    std::unique_ptr<QueuePPD> ppd =
        ppdPath.empty() ? QueuePPD::fetch(queue->name, error) : QueuePPD::open(ppdPath, error);
    if (!ppd) return nullptr;
    std::unique_ptr<PrintSession> session(new PrintSession);
    session->queueKnown_ = lookupError.empty();
    session->ppd_ = std::move(ppd);
    session->host_ = std::make_unique<DialogHost>(queue->name, queue->deviceURI, session->ppd_->ppd(),
                                                  std::move(queue->saved));
    session->host_->setChangeObserver(
        [s = session.get()](const std::string& key, const std::string& choice) { s->announce(key, choice); });
    return session;
}

PrintSession::~PrintSession() {
    close(true);
    panels_.clear();
    host_->setChangeObserver({});
}

bool PrintSession::loadPanels(const QString& location, QString& error) {
    plugIn_ = loadPlugIn(location, error);
    if (!plugIn_) return false;
    panels_ = plugIn_->plugIn().PDEPanelsForTypeWithHostInfo(QString::fromLatin1(pde::kPrinterModuleExtensionType),
                                                            host_.get());
    std::erase(panels_, nullptr);
    for (auto& panel : panels_) panel->restoreValuesAndReturnError();
    return true;
}

bool PrintSession::choose(const std::string& key, const std::string& value, std::string& why) {
    return host_->choose(key, value, &why);
}

bool PrintSession::chooseAssignment(const std::string& assignment, std::string& why) {
    const size_t equals = assignment.find('=');
    if (equals == std::string::npos || equals == 0) {
        why = "\"" + assignment + "\" is not KEY=VALUE";
        return false;
    }
    return choose(assignment.substr(0, equals), assignment.substr(equals + 1), why);
}

void PrintSession::announce(const std::string& key, const std::string& choice) {
    if (listener_) listener_();
    // A panel reacting to the news may choose again; that choice is not announced back.
    if (announcing_) return;
    announcing_ = true;
    const QString qKey = QString::fromStdString(key), qChoice = QString::fromStdString(choice);
    for (auto& panel : panels_)
        if (panel->supportedPPDOptionKeys().contains(qKey)) panel->PPDOptionKeyValueDidChangePpdChoice(qKey, qChoice);
    announcing_ = false;
}

void PrintSession::commitPanels() {
    for (auto& panel : panels_) panel->saveValuesAndReturnError();
}

void PrintSession::close(bool userCancelled) {
    if (closed_) return;
    closed_ = true;
    for (auto& panel : panels_) panel->printWindowWillClose(userCancelled);
}

std::optional<SubmittedJob> PrintSession::print(const std::string& path, std::string& error) {
    return printFile(queue(), path, host_->settings(), error);
}

bool PrintSession::saveDefaults(std::string& error) { return saveQueueDefaults(queue(), host_->settings(), error); }

}  // namespace tessaron::print
