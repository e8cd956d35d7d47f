// What the panel tests share: a host that keeps a real PPD and print settings, the PPD text
// of a Tessaron queue, and waiting on conditions while Qt delivers queued work.
#pragma once

#include "PDEInterfaces.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaron::pdetest {

// The options and defaults of the suite's PPD that the panels use; `extra` is appended.
std::string tessaronPPD(const std::string& extra = "");

class FakeHost : public pde::PDEHostCallback {
public:
    explicit FakeHost(const std::string& ppdText = tessaronPPD(), bool constraintCheck = true);
    ~FakeHost() override;

    QString printerID() const override { return QStringLiteral("lab"); }
    QString printerDeviceURI() const override { return QStringLiteral("vantrelps://127.0.0.40"); }
    ppd_file_t* ppdFile() const override { return ppd_; }
    bool respondsToWillChangePPDOptionKeyValue() const override { return constraintCheck_; }
    bool willChangePPDOptionKeyValuePpdChoice(const QString& key, const QString& choice) override;
    bool hasPrintSettings() const override { return true; }
    std::optional<QString> printSettingsGetValue(const QString& key) const override;
    int printSettingsSetValue(const QString& key, const QString& value) override;
    std::optional<pde::PageOrientation> orientation() const override { return orientation_; }
    std::optional<pde::PaperRect> unadjustedPaperRect() const override { return paperRect_; }

    // The marked choice of a PPD option, else the print-settings value.
    std::optional<QString> valueFor(const QString& key) const;

    QMap<QString, QString> settings;
    QSet<QString> refusedKeys;       // the host refuses changes of these
    QSet<QString> failingSettings;   // print settings refuse these
    QStringList changes;             // "key=choice" as the panels asked for them
    pde::PageOrientation orientation_ = pde::PageOrientation::Portrait;
    pde::PaperRect paperRect_{0, 0, 288, 432};

private:
    std::string dir_;
    ppd_file_t* ppd_ = nullptr;
    bool constraintCheck_;
};

// Polls `done` while processing Qt events until it holds or five seconds passed.
bool waitUntil(const std::function<bool()>& done);
// Lets queued main-thread work run.
void processEvents();

}  // namespace tessaron::pdetest
