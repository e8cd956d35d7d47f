// One dialog's state for one queue: its printer description, the host the panels talk to,
// the loaded plug-in and its panels. The window and the command line both work through it,
// so a choice from either reaches the panels and the job the same way.
#pragma once

#include "DialogHost.h"
#include "JobSubmission.h"
#include "PlugInLoader.h"
#include "QueuePPD.h"

#include <QString>

#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaron::print {

class PrintSession {
public:
    // The queue as the scheduler knows it (its PPD fetched), or, with `ppdPath`, that printer
    // description in place of the scheduler's copy; the queue then need not exist. Null with
    // `error` set when neither gives a printer description.
    static std::unique_ptr<PrintSession> open(const std::string& queue, const std::string& ppdPath,
                                              std::string& error);
    ~PrintSession();
    PrintSession(const PrintSession&) = delete;
    PrintSession& operator=(const PrintSession&) = delete;

    DialogHost& host() { return *host_; }
    const std::string& queue() const { return host_->queue(); }
    // Whether the scheduler knows the queue (printing and saving need it).
    bool queueKnown() const { return queueKnown_; }

    // Loads the plug-in from `location` and creates its panels with their values restored.
    // False with `error` set when it cannot be loaded; the dialog then goes on without panels.
    bool loadPanels(const QString& location, QString& error);
    const std::vector<std::unique_ptr<pde::PDEPanel>>& panels() const { return panels_; }

    // A choice from the command line or the dialog's own page: through the host's checks,
    // then announced to every panel.
    bool choose(const std::string& key, const std::string& value, std::string& why);
    // Called after every accepted choice, whoever made it (the dialog's preview follows it).
    void setChoiceListener(std::function<void()> listener) { listener_ = std::move(listener); }
    // "KEY=VALUE" from the command line.
    bool chooseAssignment(const std::string& assignment, std::string& why);

    // Lets every panel write its values before they are used, as the dialog does on closing.
    void commitPanels();
    // Tells the panels the dialog is going away (once).
    void close(bool userCancelled);

    std::optional<SubmittedJob> print(const std::string& path, std::string& error);
    bool saveDefaults(std::string& error);

private:
    PrintSession() = default;
    void announce(const std::string& key, const std::string& choice);

    // Destroyed bottom-up: the panels go before the plug-in and the host, the PPD last.
    std::unique_ptr<QueuePPD> ppd_;
    std::unique_ptr<DialogHost> host_;
    std::unique_ptr<LoadedPlugIn> plugIn_;
    std::vector<std::unique_ptr<pde::PDEPanel>> panels_;
    bool queueKnown_ = false;
    std::function<void()> listener_;
    bool announcing_ = false;
    bool closed_ = false;
};

}  // namespace tessaron::print
