// What the dialog offers the plug-in's panels (PDEHostCallback): the queue, the PPD whose
// marked choices are the store of PPD options, the print settings for every other key, the
// constraint check and the page format. A choice that ppdConflicts reports is refused and
// the previous choice stays marked.
#pragma once

#include "PDEInterfaces.h"
#include "PrintSettings.h"

#include <cups/ppd.h>

#include <functional>
#include <string>

namespace tessaron::print {

class DialogHost : public pde::PDEHostCallback {
public:
    // `ppd` is borrowed; `settings` are the queue's saved options, marked into the PPD here.
    DialogHost(std::string queue, std::string deviceURI, ppd_file_t* ppd, PrintSettings settings);

    // The write path every choice takes (panels, the copies and page-size page, the command
    // line). False with `why` set when the PPD has no such choice or the choice conflicts.
    bool choose(const std::string& key, const std::string& choice, std::string* why = nullptr);
    const PrintSettings& settings() const { return settings_; }
    // The marked choice of a PPD option, else the print-settings value.
    std::optional<std::string> currentValue(const std::string& key) const;
    // Called after every accepted choice (key, choice).
    void setChangeObserver(std::function<void(const std::string&, const std::string&)> observer) {
        observer_ = std::move(observer);
    }
    const std::string& queue() const { return queue_; }

    // PDEHostCallback
    QString printerID() const override;
    QString printerDeviceURI() const override;
    ppd_file_t* ppdFile() const override { return ppd_; }
    bool respondsToWillChangePPDOptionKeyValue() const override { return true; }
    bool willChangePPDOptionKeyValuePpdChoice(const QString& key, const QString& choice) override;
    bool hasPrintSettings() const override { return true; }
    std::optional<QString> printSettingsGetValue(const QString& key) const override;
    int printSettingsSetValue(const QString& key, const QString& value) override;
    std::optional<pde::PageOrientation> orientation() const override;
    // The marked paper size unturned (portrait), as the platform's unadjusted paper rectangle.
    std::optional<pde::PaperRect> unadjustedPaperRect() const override;

private:
    bool choosePPDChoice(ppd_option_t* option, const std::string& choice, std::string* why);
    std::string conflictsWith(const std::string& key) const;

    std::string queue_;
    std::string deviceURI_;
    ppd_file_t* ppd_;
    PrintSettings settings_;
    std::function<void(const std::string&, const std::string&)> observer_;
};

}  // namespace tessaron::print
