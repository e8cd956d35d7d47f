// A stand-in panel for the host's tests: a paper-tone menu filled from the PPD and a
// checkbox for a key the PPD lacks, both written through the host. summaryInfo reports
// what the host did to the panel, so tests see the calls from outside the library.
#pragma once

#include "PDEInterfaces.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QWidget>

#include <memory>

namespace tessaron::pdetest {

inline constexpr const char* kMenuKey = "PaperTone";
inline constexpr const char* kFlagKey = "TestFlag";

class TestPanel : public pde::PDEPanel {
public:
    TestPanel(QString name, pde::PDEHostCallback& host);
    ~TestPanel() override;

    QString panelName() override { return name_; }
    QString panelKind() const override { return QStringLiteral("com.vantrel.print.pde.test"); }
    QWidget* panelView() override;
    QMap<QString, QString> summaryInfo() override;
    bool shouldShowHelp() override { return true; }
    void willShow() override { ++shown_; }
    bool shouldHide() override {
        ++hidden_;
        return true;
    }
    bool saveValuesAndReturnError() override;
    bool restoreValuesAndReturnError() override;
    void printWindowWillClose(bool userCancelled) override { closed_ = userCancelled ? "cancelled" : "done"; }
    QStringList supportedPPDOptionKeys() override { return {kMenuKey, kFlagKey}; }
    void PPDOptionKeyValueDidChangePpdChoice(const QString& key, const QString& choice) override;

private:
    void menuActivated(int index);
    void showMenuValue(const QString& choice);

    QString name_;
    pde::PDEHostCallback& host_;
    std::unique_ptr<QWidget> view_;
    QPointer<QComboBox> menu_;
    QPointer<QCheckBox> flag_;
    QString tone_;
    bool flagOn_ = false;
    int shown_ = 0, hidden_ = 0, restored_ = 0, saved_ = 0;
    QString notified_, closed_;
};

}  // namespace tessaron::pdetest
