// The panel base: controls bound to option keys by tag, the write path from a control through
// the host to the print settings, the display path back, enabling by toggles, defaults, save
// and restore, summary and help; and the printer-data half (fresh PPD reads, saved data,
// command jobs and their background wait).
#pragma once

#include "BackgroundQueue.h"
#include "PDEInterfaces.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>

class QComboBox;

namespace tessaron::pde {

class PLUMEXBasePDEVantrel : public QObject, public PDEPanel {
    Q_OBJECT
public:
    PLUMEXBasePDEVantrel();
    ~PLUMEXBasePDEVantrel() override;

    // False when the host offers no constraint check or no PPD; the panel must then be dropped.
    virtual bool initWithCallback(PDEHostCallback* host);

    // The plug-in's metadata (bundle id, help book); set by the plug-in entry.
    static void setPlugInBundle(const QJsonObject& bundle);
    static QJsonObject plugInBundle();

    // Panel protocol.
    QString panelName() override;
    QString panelKind() const override { return {}; }
    QWidget* panelView() override;
    QMap<QString, QString> summaryInfo() override;
    bool shouldShowHelp() override;
    void willShow() override;
    bool shouldHide() override;
    bool saveValuesAndReturnError() override;
    bool restoreValuesAndReturnError() override;
    void printWindowWillClose(bool userCancelled) override;
    QStringList supportedPPDOptionKeys() override;
    void PPDOptionKeyValueDidChangePpdChoice(const QString& key, const QString& choice) override;

    // Hooks.
    virtual QString nibName() const { return {}; }
    // Builds the named view (the panels' .ui forms compiled by uic); null when there is none.
    virtual QWidget* loadNibNamed(const QString& name);
    virtual QString panelNameKey() const { return {}; }
    virtual std::optional<QString> ppdOptionKeyForTag(int tag);
    virtual std::optional<QString> ppdChoiceForTag(int tag);
    virtual int tagForStringValue(const QString& choice);
    virtual std::optional<QString> newChoiceForSender(QWidget* control);
    virtual void setChoiceForKey(const std::optional<QString>& choice, const QString& key);
    virtual void updateControlWithValue(QWidget* control, const std::optional<QString>& value);
    virtual QString displayFormatForStringForPPDOptionKey(const QString& value, const QString& key);
    virtual int indexOfMenuItemForValue(QComboBox* menu, const std::optional<QString>& value);
    virtual bool isControlSupportedForTag(int tag);
    virtual bool enablerState(QWidget* toggle);
    virtual void setControlsEnabledByToggle(QWidget* toggle);
    virtual void populateMenuObjectsInView(QWidget* view);
    virtual void enableCustom() {}
    virtual void setToolTipFromSender(const QString& text, QWidget* control);
    virtual std::optional<QString> defaultValueForOptionKey(const QString& key);
    virtual void sendUICommand(QWidget* sender);
    virtual void ppdDidUpdate() {}
    virtual void ppdUpdateDidAbort() {}
    virtual void speakString(const QString& text);
    virtual QWidget* viewControlForTag(QWidget* view, int tag);
    virtual void setDefaults();
    virtual void updateUI();
    virtual void controlTextDidChange(QWidget* field);
    virtual void controlTextDidEndEditing(QWidget* field);

    // Control actions.
    void changePrinterSetting(QWidget* control);
    void incrementControl(QWidget* button);
    void decrementControl(QWidget* button);
    void markChoiceForPPDOptionKeyFromSender(const std::optional<QString>& value, const std::optional<QString>& key,
                                             QWidget* control);
    bool validateChoiceForPPDOptionKeyFromSender(const QString& value, const QString& key, QWidget* control);
    void rejectChoiceForPPDOptionKeyFromSender(const QString& value, const QString& key, QWidget* control);

    // Value lookup.
    std::optional<QString> printSystemValueForKey(const QString& key);
    std::optional<QString> cupsOptionValueForKey(const QString& key);
    // For the summary: the value the job gets (marked, else print settings, else the panel's
    // own, else the default), and the PPD's display text of a choice ("300 dpi" for 300dpi).
    QString summaryValueForKey(const QString& key);
    QString summaryChoiceTextForKey(const QString& key);
    // The format is "%.<decimals>f".
    static QString floatValueForSenderFormatAllowsNegative(QWidget* control, int decimals, bool allowsNegative);
    static void setGlobalDefaultsObjectForKey(const QString& value, const QString& key);
    static std::optional<QString> globalDefaultsObjectForKey(const QString& key);

    // Printer data and command jobs.
    QString destinationName() const;
    QString printerDeviceURI();
    // Fresh copies of the queue's PPD from the server (virtual so a test can stand in for it).
    virtual QMap<QString, QString> ppdValuesForAttributes(const QStringList& names) const;
    std::optional<QString> ppdValueForAttribute(const QString& name) const;
    virtual std::optional<QByteArray> ppdSavedDataForAttribute(const QString& baseName) const;
    virtual void sendPrinterCommands(const QStringList& commands);
    void waitForJobCompletion(int jobID);
    bool isWaiting() const;

    const QMap<QString, QString>& choiceDict() const { return choiceDict_; }
    PDEHostCallback* host() const { return pdePluginCallbackObject_; }
    ppd_file_t* ppd() const { return ppd_; }
    bool useConstraintHandling() const { return useConstraintHandling_; }
    bool pdePluginDidUnload() const { return pdePluginDidUnload_; }
    bool viewIsLoaded() const { return !_panelView.isNull(); }

protected:
    void setPdePluginDidUnload(bool on) { pdePluginDidUnload_ = on; }
    // Stops the wait and joins every background task; derived destructors call it first.
    void stopBackgroundWork();
    BackgroundQueue& backgroundQueue() { return background_; }
    QWidget* loadedView() const { return _panelView.data(); }
    // Runs `work` on the main thread later; dropped when the panel is gone by then.
    void onMainQueue(std::function<void()> work);

    void localizeStringsInView(QWidget* view);
    void enableTextFieldsForEditingInView(QWidget* view);

private:
    void connectControls(QWidget* view);
    void observePPDUpdateNotifications();
    void runWaitLoop(const QString& queue, int jobID, std::shared_ptr<std::binary_semaphore> semaphore);

    PDEHostCallback* pdePluginCallbackObject_ = nullptr;
    std::optional<QString> thePDEName_;
    QMap<QString, QString> choiceDict_;
    std::optional<QStringList> supportedPPDOptionKeys_;
    bool useConstraintHandling_ = false;
    std::atomic<bool> pdePluginDidUnload_{false};
    std::optional<QString> deviceURI_;
    ppd_file_t* ppd_ = nullptr;
    QPointer<QWidget> _panelView;
    mutable std::mutex semaphoreMutex_;
    std::shared_ptr<std::binary_semaphore> pdeUnloadSemaphore_;
    BackgroundQueue background_;
};

}  // namespace tessaron::pde
