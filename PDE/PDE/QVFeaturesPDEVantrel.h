// Printer features: paper feed, sheet paper or roll width and surface, resolution, tone,
// overspill, two-sided printing and binding margin. The menus come from the paper catalogue
// the backend keeps in the PPD; a refresh timer keeps it fresh and asks the backend for new
// data when it is older than two minutes.
#pragma once

#include "PLUMEXBasePDEVantrel.h"
#include "PaperCatalogue.h"

#include <QDateTime>

#include <atomic>
#include <memory>

class QComboBox;
class QTimer;

namespace tessaron::pde {

inline constexpr int kRefreshIntervalMs = 15000;
inline constexpr double kStaleAfterSeconds = 120.0;
inline constexpr int kStatusLabelTag = 42;

class QVFeaturesPDEVantrel : public PLUMEXBasePDEVantrel {
    Q_OBJECT
public:
    QVFeaturesPDEVantrel();
    ~QVFeaturesPDEVantrel() override;

    bool initWithCallback(PDEHostCallback* host) override;
    QString nibName() const override { return QStringLiteral("TessaronFeatures"); }
    QString panelNameKey() const override { return QStringLiteral("Features"); }
    QString panelKind() const override { return QStringLiteral("com.vantrel.print.pde.features"); }
    QWidget* loadNibNamed(const QString& name) override;
    QWidget* panelView() override;
    void willShow() override;
    void printWindowWillClose(bool userCancelled) override;
    bool saveValuesAndReturnError() override;
    bool restoreValuesAndReturnError() override;
    QStringList supportedPPDOptionKeys() override;
    std::optional<QString> ppdOptionKeyForTag(int tag) override;
    std::optional<QString> ppdChoiceForTag(int tag) override;
    int tagForStringValue(const QString& choice) override;
    std::optional<QString> newChoiceForSender(QWidget* control) override;
    void setChoiceForKey(const std::optional<QString>& choice, const QString& key) override;
    int indexOfMenuItemForValue(QComboBox* menu, const std::optional<QString>& value) override;
    std::optional<QString> defaultValueForOptionKey(const QString& key) override;
    void setDefaults() override;
    void updateUI() override;
    // The binding-margin menu shows the stored paper edge as it is seen on the page.
    void updateControlWithValue(QWidget* control, const std::optional<QString>& value) override;
    QMap<QString, QString> summaryInfo() override;
    void controlTextDidChange(QWidget*) override {}
    void controlTextDidEndEditing(QWidget* field) override;
    void sendPrinterCommands(const QStringList& commands) override;
    void ppdDidUpdate() override;
    void ppdUpdateDidAbort() override;

    // Refresh cycle.
    void startPPDUpdateTimer();
    bool timerRunning() const { return ppdUpdateTimer_ != nullptr; }
    bool refreshRunning() const { return tickRunning_; }
    // One tick's work (runs on a background task).
    void waitForUpdatePPD();
    std::optional<QDateTime> lastUpdateDate();
    // Fetches the time stamp and the capabilities in one PPD read (background only).
    std::optional<QDateTime> refreshPrinterCapabilities();
    static std::optional<QDateTime> dateFromTimeStamp(const QString& stamp);
    // The time of the last update, with its date when that is not today's.
    static QString lastUpdateText(const QDateTime& date, const QDateTime& now);
    static bool ppdDataIsStale(const std::optional<QDateTime>& lastUpdate, const QDateTime& now);
    // Reads the capabilities and the catalogue again (after a refresh or a notification).
    void updatePaperDict();
    void loadPaperCatalogue();
    void updatePaperInfo(const PaperCatalogue& catalogue);
    void updatePaperUI();
    void enableResolutionsForPaper();
    void enableToneValues(quint64 bits);
    void setSupportsSheet();
    // Main thread: what the last capability read allows (sheet feed, two-sided printing).
    void applyCapabilities();
    bool hardwareSupportsExtraFeatures() const;
    bool hardwareSupportsDuplex() const;
    void setDuplexAvailable();
    void setBindingMarginAvailable();
    void setBindingWidthAvailable();
    void didSelectTwoSided();
    bool isLandscapeOrientation() const;
    bool paperIsTallerThanWide() const;
    QString bindingMarginForMarginReverse(const QString& margin, bool reverse) const;
    void shouldUnload();

    const std::optional<SortedPaper>& sortedPaper() const { return sortedPaper_; }

private slots:
    void printerInfoDidChange(const QString& object);
    void paperDidChange(const QString& object);

private:
    QComboBox* menuForTag(int tag);
    void didSelectNewPaper();
    void enableControlsForFeed(bool roll);
    void setSortedPaper(const SortedPaper& sorted);
    void storeDirectly(const QString& value, const QString& key);
    void pdelastRefreshTimeUpdateWithDate(const std::optional<QDateTime>& date);
    void setRefreshing(bool refreshing);
    void stopTimer();
    void observeDistributedNotifications();

    std::optional<PaperCatalogue> paperDict_;
    std::optional<SortedPaper> sortedPaper_;
    std::unique_ptr<QTimer> ppdUpdateTimer_;
    std::atomic<bool> tickRunning_{false};
    // Set once the system bus was asked for, so the destructor touches D-Bus only then.
    bool observingBus_ = false;
    std::atomic<bool> extraFeatures_{false};
    std::atomic<bool> duplex_{false};
    std::atomic<bool> capabilitiesKnown_{false};
    QString lastResolutionState_;
};

}  // namespace tessaron::pde
