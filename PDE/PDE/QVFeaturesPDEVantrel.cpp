#include "QVFeaturesPDEVantrel.h"

#include "Controls.h"
#include "LocalNotifications.h"
#include "Notify.h"
#include "PDELog.h"
#include "PDEStrings.h"
#include "ui_TessaronFeatures.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDBusConnection>
#include <QProgressBar>
#include <QTimeZone>
#include <QTimer>

#include <sys/stat.h>

#include <cmath>

namespace tessaron::pde {

namespace {

enum Tag : int { kWidth = 1, kSurface = 2, kOverspill = 3, kResolution = 4, kTone = 5, kFeed = 6, kName = 7,
           kMargin = 8, kBindingWidth = 9, kTwoSided = 10 };

const QString kRoll = QStringLiteral("Roll");
const QString kSheet = QStringLiteral("Sheet");
const QString kNone = QStringLiteral("None");
const QString kNoDataYet = QStringLiteral("Last updated never: no data from the minilab yet");

bool equalsTrue(const std::optional<QString>& v) {
    return v && v->compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0;
}

QString dictionaryText(const QMap<QString, QString>& dict) {
    QString text;
    for (auto it = dict.cbegin(); it != dict.cend(); ++it) text += it.key() + '=' + it.value() + ';';
    return text;
}

bool isSocket(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Without a system bus there is nothing to observe, and asking Qt for one would start its D-Bus
// thread for nothing (a thread whose state Qt frees racily at exit). Only a plain socket path is
// checked here; any other address is left to D-Bus.
bool systemBusMayExist() {
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty()) return isSocket("/var/run/dbus/system_bus_socket");
    const QByteArray prefix = "unix:path=";
    if (!address.startsWith(prefix) || address.contains(';') || address.contains(',')) return true;
    return isSocket(address.mid(prefix.size()));
}

}  // namespace

QVFeaturesPDEVantrel::QVFeaturesPDEVantrel() = default;

QVFeaturesPDEVantrel::~QVFeaturesPDEVantrel() {
    pdeLog("entered %s in (self) %s", "dealloc", "QVFeaturesPDEVantrel");
    if (observingBus_)
        QDBusConnection::systemBus().disconnect(QString(), QString::fromLatin1(notify::kObjectPath),
                                                QString::fromLatin1(notify::kInterface), QString(), this, nullptr);
    stopTimer();
    LocalNotificationCenter::defaultCenter().removeObserver(this);
    stopBackgroundWork();
}

bool QVFeaturesPDEVantrel::initWithCallback(PDEHostCallback* host) {
    if (!PLUMEXBasePDEVantrel::initWithCallback(host)) return false;
    pdeLog("initializing the printer features object with cb %p", static_cast<void*>(host));
    // The back-print panel announces its destruction; the panels go together.
    LocalNotificationCenter::defaultCenter().addObserver(
        this, kPluginIsUnloadingNotification, nullptr, [this](const QString&, const void*) {
            onMainQueue([this] { shouldUnload(); });
        });
    observeDistributedNotifications();
    startPPDUpdateTimer();
    restoreValuesAndReturnError();
    return true;
}

void QVFeaturesPDEVantrel::observeDistributedNotifications() {
    if (!systemBusMayExist()) {
        pdeLog("no system bus; printer notifications are not observed");
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    observingBus_ = true;
    if (!bus.isConnected()) {
        pdeLog("no system bus; printer notifications are not observed");
        return;
    }
    const QString path = QString::fromLatin1(notify::kObjectPath), iface = QString::fromLatin1(notify::kInterface);
    bus.connect(QString(), path, iface, QStringLiteral("JRXPrinterInfoDidUpdateNotification"), this,
                SLOT(printerInfoDidChange(QString)));
    bus.connect(QString(), path, iface, QStringLiteral("JRXPrinterPaperDidUpdateNotification"), this,
                SLOT(paperDidChange(QString)));
}

void QVFeaturesPDEVantrel::printerInfoDidChange(const QString& object) {
    if (object != printerDeviceURI()) return;
    // New capabilities may open or close sheet feed and two-sided printing.
    backgroundQueue().async([this] { refreshPrinterCapabilities(); });
}

void QVFeaturesPDEVantrel::paperDidChange(const QString& object) {
    pdeLog("entering %s for %s with object %s", "newPaperDict:", "JRXPrinterPaperDidUpdateNotification",
           object.toUtf8().constData());
    // Reading the PPD is a server round trip: never on the main thread.
    backgroundQueue().async([this] { updatePaperDict(); });
}

QWidget* QVFeaturesPDEVantrel::loadNibNamed(const QString& name) {
    if (name != nibName()) return nullptr;
    auto* view = new QWidget;
    Ui::TessaronFeatures().setupUi(view);
    return view;
}

QComboBox* QVFeaturesPDEVantrel::menuForTag(int tag) { return qobject_cast<QComboBox*>(viewControlForTag(nullptr, tag)); }

QWidget* QVFeaturesPDEVantrel::panelView() {
    const bool first = !viewIsLoaded();
    QWidget* view = PLUMEXBasePDEVantrel::panelView();
    if (!view || !first) return view;
    if (QComboBox* resolutions = menuForTag(kResolution))
        for (int i = 0; i < resolutions->count(); ++i) resolutions->setItemData(i, kResolution, Qt::UserRole + 1);
    if (QComboBox* tone = menuForTag(kTone)) tone->setEnabled(true);
    // The feed was restored before the view existed.
    enableControlsForFeed(choiceDict().value(QStringLiteral("PaperFeed")) != kSheet);
    if (sortedPaper_) {
        updatePaperUI();
        if (paperDict_) enableToneValues(sortPaperCatalogue(*paperDict_).toneBits);
    } else {
        // Nothing from the minilab yet: the PPD's menus stay, and the panel says so.
        if (QWidget* status = viewControlForTag(view, kStatusLabelTag))
            setStringValue(status, pdeLocalized(kNoDataYet));
    }
    updateUI();
    setDuplexAvailable();
    return view;
}

void QVFeaturesPDEVantrel::willShow() {
    PLUMEXBasePDEVantrel::willShow();
    pdeLog("entered %s in (self) %s", "willShow", "QVFeaturesPDEVantrel");
    startPPDUpdateTimer();
    // The page format may have turned while the panel was hidden: show the binding edges anew.
    didSelectTwoSided();
    speakString(QStringLiteral("Choose the Tessaron paper and printing opp-shuns."));
}

void QVFeaturesPDEVantrel::printWindowWillClose(bool userCancelled) {
    pdeLog("entered %s in (self) %s", "printWindowWillClose:", "QVFeaturesPDEVantrel");
    stopTimer();
    PLUMEXBasePDEVantrel::printWindowWillClose(userCancelled);
}

void QVFeaturesPDEVantrel::shouldUnload() {
    pdeLog("got notification to unload ");
    setPdePluginDidUnload(true);
    stopTimer();
}

void QVFeaturesPDEVantrel::stopTimer() { ppdUpdateTimer_.reset(); }

// ---- refresh cycle ----------------------------------------------------------------------

void QVFeaturesPDEVantrel::startPPDUpdateTimer() {
    if (ppdUpdateTimer_) return;
    ppdUpdateTimer_ = std::make_unique<QTimer>();
    ppdUpdateTimer_->setInterval(kRefreshIntervalMs);
    const auto tick = [this] {
        // A tick while the last one still waits for the server is skipped, so slow servers
        // do not pile up tasks.
        if (tickRunning_.exchange(true)) return;
        backgroundQueue().async([this] {
            waitForUpdatePPD();
            tickRunning_ = false;
        });
    };
    QObject::connect(ppdUpdateTimer_.get(), &QTimer::timeout, this, tick);
    ppdUpdateTimer_->start();
    tick();
}

void QVFeaturesPDEVantrel::waitForUpdatePPD() {
    const auto date = refreshPrinterCapabilities();
    if (date) {
        pdeLog("last paper dict update from printer was %s", date->toString(Qt::ISODate).toUtf8().constData());
        loadPaperCatalogue();
    }
    if (!pdePluginDidUnload() && ppdDataIsStale(date, QDateTime::currentDateTimeUtc()))
        sendPrinterCommands({QStringLiteral("ReportStatus"), QStringLiteral("AutoConfigure")});
}

std::optional<QDateTime> QVFeaturesPDEVantrel::dateFromTimeStamp(const QString& stamp) {
    bool ok = false;
    const double seconds = stamp.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || std::abs(seconds) > 1e11) return std::nullopt;
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return reference.addMSecs(static_cast<qint64>(seconds * 1000.0));
}

std::optional<QDateTime> QVFeaturesPDEVantrel::lastUpdateDate() {
    std::optional<QDateTime> date;
    if (const auto stamp = ppdValueForAttribute(QStringLiteral("JRXTimeStamp"))) date = dateFromTimeStamp(*stamp);
    pdelastRefreshTimeUpdateWithDate(date);
    return date;
}

QString QVFeaturesPDEVantrel::lastUpdateText(const QDateTime& date, const QDateTime& now) {
    const QDateTime local = date.toLocalTime();
    // The time alone reads the same for yesterday's data: another day shows its date.
    const QString pattern = local.date() == now.toLocalTime().date() ? QStringLiteral("h:mm a")
                                                                      : QStringLiteral("yyyy-MM-dd h:mm a");
    return stringWithUTSFormat(local, pattern).value_or(local.toString(Qt::ISODate));
}

bool QVFeaturesPDEVantrel::ppdDataIsStale(const std::optional<QDateTime>& lastUpdate, const QDateTime& now) {
    if (!lastUpdate) return true;
    return lastUpdate->msecsTo(now) / 1000.0 > kStaleAfterSeconds;
}

void QVFeaturesPDEVantrel::pdelastRefreshTimeUpdateWithDate(const std::optional<QDateTime>& date) {
    // Without a time stamp the backend never reached the minilab for this queue: say so.
    const QString text = date ? pdeLocalized(QStringLiteral("Last updated %1"))
                                    .arg(lastUpdateText(*date, QDateTime::currentDateTime()))
                              : pdeLocalized(kNoDataYet);
    onMainQueue([this, text] {
        if (QWidget* status = viewControlForTag(nullptr, kStatusLabelTag); status && takesStringValue(status))
            setStringValue(status, text);
    });
}

void QVFeaturesPDEVantrel::setRefreshing(bool refreshing) {
    QWidget* view = loadedView();
    if (!view) return;
    if (QWidget* status = viewControlForTag(view, kStatusLabelTag)) status->setVisible(!refreshing);
    if (auto* progress = view->findChild<QProgressBar*>()) progress->setVisible(refreshing);
}

void QVFeaturesPDEVantrel::sendPrinterCommands(const QStringList& commands) {
    onMainQueue([this] { setRefreshing(true); });
    PLUMEXBasePDEVantrel::sendPrinterCommands(commands);
}

void QVFeaturesPDEVantrel::ppdDidUpdate() {
    pdeLog("%s ...", "ppdDidUpdate");
    updatePaperDict();
}

void QVFeaturesPDEVantrel::ppdUpdateDidAbort() {
    pdeLog("%s ...", "ppdUpdateDidAbort");
    onMainQueue([this] { setRefreshing(false); });
}

void QVFeaturesPDEVantrel::updatePaperDict() {
    // The backend rewrites the capabilities with the catalogue: both are read again.
    refreshPrinterCapabilities();
    loadPaperCatalogue();
}

void QVFeaturesPDEVantrel::loadPaperCatalogue() {
    std::optional<PaperCatalogue> catalogue;
    if (const auto data = ppdSavedDataForAttribute(QStringLiteral("JRXPapersKnown")); data && !data->isEmpty()) {
        catalogue = decodePaperCatalogue(*data);
        if (!catalogue) pdeLog("the saved paper catalogue does not decode; ignored");
    }
    const size_t count = catalogue ? catalogue->size() : 0;
    pdeLog("PDE recovered %lu Tessaron Papers", static_cast<unsigned long>(count));
    if (!count) return;
    // The catalogue is handed over whole to the main thread, which alone keeps it.
    onMainQueue([this, c = std::move(*catalogue)] {
        updatePaperInfo(c);
        setSupportsSheet();
    });
}

void QVFeaturesPDEVantrel::updatePaperInfo(const PaperCatalogue& catalogue) {
    pdeLog("received new paper dictionary");
    pdeLog("paper count is %lu", static_cast<unsigned long>(catalogue.size()));
    paperDict_ = catalogue;
    QStringList bad;
    const SortedPaper sorted = sortPaperCatalogue(catalogue, &bad);
    for (const QString& key : bad) pdeLog("bad paper: %s", key.toUtf8().constData());
    setSortedPaper(sorted);
    enableToneValues(sorted.toneBits);
    restoreValuesAndReturnError();
    setRefreshing(false);
    stopTimer();
}

void QVFeaturesPDEVantrel::setSortedPaper(const SortedPaper& sorted) {
    if (sortedPaper_ && *sortedPaper_ == sorted) return;
    sortedPaper_ = sorted;
    updatePaperUI();
}

void QVFeaturesPDEVantrel::updatePaperUI() {
    if (!viewIsLoaded() || !sortedPaper_) return;
    pdeLog("entering %s", "updatePaperUI");
    QComboBox* names = menuForTag(kName);
    QComboBox* widths = menuForTag(kWidth);
    QComboBox* feed = menuForTag(kFeed);
    if (!names || !widths || !feed) return;
    const QStringList nameList = sortedPaperNames(*sortedPaper_);
    names->clear();
    for (int i = 0; i < feed->count(); ++i) setItemEnabled(feed, i, true);
    if (!nameList.isEmpty()) {
        names->setEnabled(true);
        for (const QString& n : nameList) addMenuItem(names, n, n, kName);
        std::optional<QString> chosen = printSystemValueForKey(QStringLiteral("PaperName"));
        if (!chosen || !nameList.contains(*chosen)) chosen = cupsOptionValueForKey(QStringLiteral("PaperName"));
        if (chosen && nameList.contains(*chosen)) {
            setChoiceForKey(*chosen, QStringLiteral("PaperName"));
            selectIndex(names, indexOfTitle(names, *chosen));
        } else {
            setChoiceForKey(nameList.first(), QStringLiteral("PaperName"));
            markChoiceForPPDOptionKeyFromSender(nameList.first(), QStringLiteral("PaperName"), names);
        }
    } else {
        names->setEnabled(false);
        setChoiceForKey(kRoll, QStringLiteral("PaperFeed"));
        markChoiceForPPDOptionKeyFromSender(kRoll, QStringLiteral("PaperFeed"), feed);
        setItemEnabled(feed, indexOfRepresentedObject(feed, kSheet), false);
    }
    widths->clear();
    const QStringList widthList = sortedPaperWidths(*sortedPaper_);
    if (!widthList.isEmpty()) {
        widths->setEnabled(choiceDict().value(QStringLiteral("PaperFeed")) != kSheet);
        for (const QString& w : widthList) addMenuItem(widths, humanReadablePaperWidthForActual(w), w, kWidth);
    } else {
        widths->setEnabled(false);
        setChoiceForKey(kSheet, QStringLiteral("PaperFeed"));
        markChoiceForPPDOptionKeyFromSender(kSheet, QStringLiteral("PaperFeed"), feed);
        setItemEnabled(feed, indexOfRepresentedObject(feed, kRoll), false);
    }
    if (const int at = indexOfMenuItemForValue(widths, choiceDict().value(QStringLiteral("PaperWidth"))); at >= 0)
        selectIndex(widths, at);
    updateControlWithValue(feed, choiceDict().value(QStringLiteral("PaperFeed")));
    enableResolutionsForPaper();
    pdeLog("exiting %s", "updatePaperUI");
}

void QVFeaturesPDEVantrel::enableToneValues(quint64 bits) {
    QComboBox* tone = menuForTag(kTone);
    if (!tone) return;
    tone->setEnabled(bits != 0);
    if (!bits) return;
    pdeLog("Enabling Tone for bits: %lu", static_cast<unsigned long>(bits));
    for (int i = 0; i < tone->count(); ++i) setItemEnabled(tone, i, i == 0 || (i - 1 < 64 && (bits >> (i - 1)) & 1));
    if (!isItemEnabled(tone, tone->currentIndex())) {
        selectIndex(tone, 0);
        changePrinterSetting(tone);
    }
}

void QVFeaturesPDEVantrel::storeDirectly(const QString& value, const QString& key) {
    if (useConstraintHandling()) host()->willChangePPDOptionKeyValuePpdChoice(key, value);
    PLUMEXBasePDEVantrel::setChoiceForKey(value, key);
}

void QVFeaturesPDEVantrel::enableResolutionsForPaper() {
    if (!sortedPaper_) {
        pdeLog("aborting %s due to empty sorted paper", "enableResolutionsForPaper");
        return;
    }
    QComboBox* resolutions = menuForTag(kResolution);
    if (!resolutions) return;
    const bool sheet = choiceDict().value(QStringLiteral("PaperFeed")) == kSheet;
    std::optional<QStringList> valid;
    if (sheet) {
        QString name = choiceDict().value(QStringLiteral("PaperName"));
        if (!sortedPaper_->names.contains(name)) {
            QComboBox* names = menuForTag(kName);
            const QString selected = names ? representedObject(names, names->currentIndex()) : QString();
            if (!selected.isEmpty()) {
                pdeLog("existing paper %s is not a valid selection; changing %s", name.toUtf8().constData(),
                       selected.toUtf8().constData());
                storeDirectly(selected, QStringLiteral("PaperName"));
                name = selected;
            }
        }
        if (sortedPaper_->names.contains(name)) valid = sortedPaper_->names.value(name);
    } else if (!sortedPaper_->widths.isEmpty()) {
        if (!choiceDict().contains(QStringLiteral("PaperWidth"))) return;
        QString width = choiceDict().value(QStringLiteral("PaperWidth"));
        if (!sortedPaper_->widths.contains(width)) {
            QComboBox* widths = menuForTag(kWidth);
            const QString selected = widths ? representedObject(widths, widths->currentIndex()) : QString();
            if (!sortedPaper_->widths.contains(selected)) return;
            pdeLog("existing paper width of %s is not a valid selection; changing width to %s",
                   width.toUtf8().constData(), selected.toUtf8().constData());
            storeDirectly(selected, QStringLiteral("PaperWidth"));
            width = selected;
            if (widths) selectIndex(widths, indexOfRepresentedObject(widths, width));
        }
        const auto surfaces = sortedPaper_->widths.value(width);
        QWidget* matrix = viewControlForTag(nullptr, kSurface);
        if (QButtonGroup* group = matrixGroup(matrix)) {
            for (QAbstractButton* cell : group->buttons()) cell->setEnabled(surfaces.contains(cell->text()));
            QAbstractButton* selected = group->checkedButton();
            if ((!selected || !selected->isEnabled()) && !surfaces.isEmpty()) {
                const QString surface = surfaces.firstKey();
                selectCell(matrix, tagForStringValue(surface));
                storeDirectly(surface, QStringLiteral("PaperSurface"));
            }
        }
        const QString current = choiceDict().value(QStringLiteral("PaperSurface"));
        if (surfaces.contains(current)) valid = surfaces.value(current);
    }
    pdeLog("enabling resolutions: %s", valid ? valid->join(',').toUtf8().constData() : "none");
    for (int i = 0; i < resolutions->count(); ++i)
        setItemEnabled(resolutions, i, valid && valid->contains(resolutions->itemText(i)));
    if (!sheet && resolutions->count() > 0) setItemEnabled(resolutions, 0, true);
    if (valid && choiceDict().contains(QStringLiteral("Resolution")) &&
        !isItemEnabled(resolutions, resolutions->currentIndex())) {
        for (int i = resolutions->count() - 1; i >= 0; --i) {
            if (!isItemEnabled(resolutions, i)) continue;
            selectIndex(resolutions, i);
            if (const auto choice = representedObject(resolutions, i); !choice.isEmpty())
                storeDirectly(choice, QStringLiteral("Resolution"));
            break;
        }
    }
    pdeLog("exiting %s", "enableResolutionsForPaper");
}

void QVFeaturesPDEVantrel::didSelectNewPaper() {
    const QString state = dictionaryText(choiceDict());
    if (state == lastResolutionState_ || !choiceDict().contains(QStringLiteral("Resolution"))) return;
    lastResolutionState_ = state;
    enableResolutionsForPaper();
}

void QVFeaturesPDEVantrel::setSupportsSheet() {
    QComboBox* feed = menuForTag(kFeed);
    const bool extra = hardwareSupportsExtraFeatures();
    // A catalogue without sheet papers keeps "Sheet" off even on a printer that could feed them.
    const bool sheets = !sortedPaper_ || !sortedPaper_->names.isEmpty();
    if (feed) setItemEnabled(feed, indexOfRepresentedObject(feed, kSheet), extra && sheets);
    if (extra) return;
    pdeLog("This printer does not support sheet printing");
    markChoiceForPPDOptionKeyFromSender(kRoll, QStringLiteral("PaperFeed"), feed);
    if (feed) updateControlWithValue(feed, kRoll);
}

std::optional<QDateTime> QVFeaturesPDEVantrel::refreshPrinterCapabilities() {
    const auto values = ppdValuesForAttributes(
        {QStringLiteral("JRXTimeStamp"), QStringLiteral("JRXExtraFeatures"), QStringLiteral("JRXDuplex")});
    extraFeatures_ = equalsTrue(values.contains(QStringLiteral("JRXExtraFeatures"))
                                    ? std::optional(values.value(QStringLiteral("JRXExtraFeatures")))
                                    : std::nullopt);
    duplex_ = equalsTrue(values.contains(QStringLiteral("JRXDuplex")) ? std::optional(values.value(QStringLiteral("JRXDuplex")))
                                                                       : std::nullopt);
    std::optional<QDateTime> date;
    if (values.contains(QStringLiteral("JRXTimeStamp"))) date = dateFromTimeStamp(values.value(QStringLiteral("JRXTimeStamp")));
    pdelastRefreshTimeUpdateWithDate(date);
    // Without a time stamp the backend has not written the capabilities yet: a PPD that lacks
    // them says nothing about the minilab, and the saved choices stand until it does.
    if (date) {
        capabilitiesKnown_ = true;
        onMainQueue([this] { applyCapabilities(); });
    }
    return date;
}

void QVFeaturesPDEVantrel::applyCapabilities() {
    setSupportsSheet();
    setDuplexAvailable();
}

// Read on the main thread from what the last refresh fetched: a server round trip there
// would stall the dialog.
bool QVFeaturesPDEVantrel::hardwareSupportsExtraFeatures() const { return extraFeatures_; }
bool QVFeaturesPDEVantrel::hardwareSupportsDuplex() const { return duplex_; }

// ---- storing and producing values -------------------------------------------------------

void QVFeaturesPDEVantrel::enableControlsForFeed(bool roll) {
    if (QWidget* names = viewControlForTag(nullptr, kName)) names->setEnabled(!roll);
    for (int tag : {int{kOverspill}, kOverspill | kValueFieldTagBit, int{kWidth}, int{kSurface}})
        if (QWidget* c = viewControlForTag(nullptr, tag)) c->setEnabled(roll);
}

void QVFeaturesPDEVantrel::setChoiceForKey(const std::optional<QString>& choice, const QString& key) {
    if (!choice) return;
    // Until the first refresh has read the printer's capabilities a restored "Sheet" stands;
    // refusing it then would overwrite the user's saved choice.
    if (*choice == kSheet && capabilitiesKnown_ && !hardwareSupportsExtraFeatures()) {
        setSupportsSheet();
        return;
    }
    if (choiceDict().contains(key) && choiceDict().value(key) == *choice) return;
    PLUMEXBasePDEVantrel::setChoiceForKey(choice, key);
    if (key == QLatin1String("PaperFeed")) {
        const bool roll = *choice != kSheet;
        pdeLog("setting %s to %s", key.toUtf8().constData(), choice->toUtf8().constData());
        pdeLog("setting %s to %s", "PaperName Popup", roll ? "disabled" : "enabled");
        pdeLog("setting %s to %s", "PaperWidth Popup", roll ? "enabled" : "disabled");
        enableControlsForFeed(roll);
        didSelectNewPaper();
        setDuplexAvailable();
    } else if (key == QLatin1String("TwoSided")) {
        if (QWidget* menu = viewControlForTag(nullptr, kTwoSided)) updateControlWithValue(menu, *choice);
        setBindingMarginAvailable();
    } else if (key == QLatin1String("BindingMargin")) {
        setBindingWidthAvailable();
    } else if (key == QLatin1String("PaperWidth") || key == QLatin1String("PaperName") ||
               key == QLatin1String("PaperSurface")) {
        didSelectNewPaper();
    }
}

std::optional<QString> QVFeaturesPDEVantrel::newChoiceForSender(QWidget* control) {
    if (!isControl(control)) return std::nullopt;
    int tag = tagOf(control).value_or(0);
    if (tag & kValueFieldTagBit) tag ^= kValueFieldTagBit;
    if (tag == kOverspill || tag == kBindingWidth) return floatValueForSenderFormatAllowsNegative(control, 1, false);
    const ControlKind kind = kindOf(control);
    if (kind == ControlKind::Matrix) return ppdChoiceForTag(selectedCellTag(control).value_or(0));
    auto* menu = qobject_cast<QComboBox*>(control);
    if (!menu) return stringValue(control);
    if (tag == kResolution) {
        // The printer prints the first resolution the paper offers.
        for (int i = 0; i < menu->count(); ++i)
            if (isItemEnabled(menu, i)) return representedObject(menu, i);
        return std::nullopt;
    }
    const QString selected = representedObject(menu, menu->currentIndex());
    if (tag == kMargin) return bindingMarginForMarginReverse(selected, false);
    return selected;
}

int QVFeaturesPDEVantrel::indexOfMenuItemForValue(QComboBox* menu, const std::optional<QString>& value) {
    if (!menu || !value) return 0;
    const int at = indexOfRepresentedObject(menu, *value);
    if (at >= 0) return at;
    return menu->count() > 0 ? 0 : -1;
}

std::optional<QString> QVFeaturesPDEVantrel::defaultValueForOptionKey(const QString& key) {
    if (key == QLatin1String("PaperName"))
        if (QComboBox* names = menuForTag(kName); names && names->count() > 0) return representedObject(names, 0);
    return PLUMEXBasePDEVantrel::defaultValueForOptionKey(key);
}

void QVFeaturesPDEVantrel::setDefaults() {
    PLUMEXBasePDEVantrel::setDefaults();
    updateUI();
    updatePaperUI();
}

void QVFeaturesPDEVantrel::updateUI() {
    PLUMEXBasePDEVantrel::updateUI();
    didSelectNewPaper();
}

void QVFeaturesPDEVantrel::updateControlWithValue(QWidget* control, const std::optional<QString>& value) {
    if (value && tagOf(control) == int{kMargin}) {
        PLUMEXBasePDEVantrel::updateControlWithValue(control, bindingMarginForMarginReverse(*value, true));
        return;
    }
    PLUMEXBasePDEVantrel::updateControlWithValue(control, value);
}

void QVFeaturesPDEVantrel::controlTextDidEndEditing(QWidget* field) {
    PLUMEXBasePDEVantrel::controlTextDidEndEditing(field);
    changePrinterSetting(field);
}

QStringList QVFeaturesPDEVantrel::supportedPPDOptionKeys() {
    return {QStringLiteral("PaperFeed"),     QStringLiteral("PaperName"),    QStringLiteral("PaperWidth"),
            QStringLiteral("PaperSurface"),  QStringLiteral("Resolution"),   QStringLiteral("PaperTone"),
            QStringLiteral("Overspill"),     QStringLiteral("BindingMargin"), QStringLiteral("BindingWidth"),
            QStringLiteral("ResizeOption"),  QStringLiteral("TwoSided"),     QStringLiteral("Duplex"),
            QStringLiteral("VantrelLastResolution")};
}

std::optional<QString> QVFeaturesPDEVantrel::ppdOptionKeyForTag(int tag) {
    if (tag & kValueFieldTagBit) tag ^= kValueFieldTagBit;
    switch (tag) {
    case kWidth: return QStringLiteral("PaperWidth");
    case kSurface: return QStringLiteral("PaperSurface");
    case kOverspill: return QStringLiteral("Overspill");
    case kResolution: return QStringLiteral("Resolution");
    case kTone: return QStringLiteral("PaperTone");
    case kFeed: return QStringLiteral("PaperFeed");
    case kName: return QStringLiteral("PaperName");
    case kMargin: return QStringLiteral("BindingMargin");
    case kBindingWidth: return QStringLiteral("BindingWidth");
    case kTwoSided: return QStringLiteral("TwoSided");
    default: return std::nullopt;
    }
}

namespace {
const QStringList kCellChoices{"1", "2", "3", "4", "Real", "Resize", "Crop"};
}

std::optional<QString> QVFeaturesPDEVantrel::ppdChoiceForTag(int tag) {
    if (tag >= 1 && tag <= kCellChoices.size()) return kCellChoices.at(tag - 1);
    return std::nullopt;
}

int QVFeaturesPDEVantrel::tagForStringValue(const QString& choice) {
    const auto at = kCellChoices.indexOf(choice);
    return at < 0 ? 0 : static_cast<int>(at) + 1;
}

// ---- two-sided printing and binding -----------------------------------------------------

void QVFeaturesPDEVantrel::setDuplexAvailable() {
    const bool possible = printSystemValueForKey(QStringLiteral("PaperFeed")) == kSheet && hardwareSupportsDuplex();
    QComboBox* twoSided = menuForTag(kTwoSided);
    if (twoSided) twoSided->setEnabled(possible);
    // Before the printer's capabilities are read a saved two-sided choice stands, as a saved
    // sheet feed does.
    if (!possible && (capabilitiesKnown_ || printSystemValueForKey(QStringLiteral("PaperFeed")) != kSheet) &&
        printSystemValueForKey(QStringLiteral("TwoSided")).value_or(kNone) != kNone) {
        storeDirectly(kNone, QStringLiteral("TwoSided"));
        if (twoSided) updateControlWithValue(twoSided, kNone);
    }
    setBindingMarginAvailable();
}

void QVFeaturesPDEVantrel::setBindingMarginAvailable() {
    QComboBox* twoSided = menuForTag(kTwoSided);
    QComboBox* margin = menuForTag(kMargin);
    if (margin)
        margin->setEnabled(twoSided && twoSided->isEnabled() &&
                           printSystemValueForKey(QStringLiteral("TwoSided")).value_or(kNone) != kNone);
    setBindingWidthAvailable();
    didSelectTwoSided();
}

void QVFeaturesPDEVantrel::setBindingWidthAvailable() {
    QComboBox* margin = menuForTag(kMargin);
    const bool on = margin && margin->isEnabled() &&
                    printSystemValueForKey(QStringLiteral("BindingMargin")).value_or(kNone) != kNone;
    for (int tag : {int{kBindingWidth}, kBindingWidth | kValueFieldTagBit})
        if (QWidget* c = viewControlForTag(nullptr, tag)) c->setEnabled(on);
}

void QVFeaturesPDEVantrel::didSelectTwoSided() {
    QComboBox* margin = menuForTag(kMargin);
    if (!margin || margin->count() == 0) return;
    bool side = printSystemValueForKey(QStringLiteral("TwoSided")) == QLatin1String("LongEdge");
    if (!paperIsTallerThanWide()) side = !side;
    for (int i = 0; i < margin->count(); ++i) {
        const QString m = representedObject(margin, i);
        const bool leftRight = m == QLatin1String("Left") || m == QLatin1String("Right");
        setItemEnabled(margin, i, m == kNone || (leftRight ? side : !side));
    }
    const QString current =
        bindingMarginForMarginReverse(printSystemValueForKey(QStringLiteral("BindingMargin")).value_or(kNone), true);
    if (const int at = indexOfRepresentedObject(margin, current); at >= 0 && at != margin->currentIndex())
        selectIndex(margin, at);
    if (!isItemEnabled(margin, margin->currentIndex())) {
        int pick = 0;
        if (margin->isEnabled())
            for (int i = 1; i < margin->count(); ++i)
                if (isItemEnabled(margin, i)) {
                    pick = i;
                    break;
                }
        selectIndex(margin, pick);
    }
    changePrinterSetting(margin);
}

bool QVFeaturesPDEVantrel::isLandscapeOrientation() const {
    const auto o = host() ? host()->orientation() : std::nullopt;
    return o == PageOrientation::Landscape || o == PageOrientation::ReverseLandscape;
}

bool QVFeaturesPDEVantrel::paperIsTallerThanWide() const {
    const auto rect = host() ? host()->unadjustedPaperRect() : std::nullopt;
    const bool tall = rect && rect->height() > rect->width();
    return isLandscapeOrientation() ? !tall : tall;
}

QString QVFeaturesPDEVantrel::bindingMarginForMarginReverse(const QString& margin, bool reverse) const {
    if (margin == kNone || !isLandscapeOrientation()) return margin;
    static const QMap<QString, QString> forward{{"Bottom", "Right"}, {"Top", "Left"}, {"Left", "Bottom"}, {"Right", "Top"}};
    static const QMap<QString, QString> backward{{"Bottom", "Left"}, {"Top", "Right"}, {"Left", "Top"}, {"Right", "Bottom"}};
    const auto& table = reverse ? backward : forward;
    if (!table.contains(margin)) return margin;
    const QString turned = table.value(margin);
    if (!reverse)
        pdeLog("flopping \"Binding Margin\" from \"%s\" to \"%s\" for \"Landscape\" orientation",
               margin.toUtf8().constData(), turned.toUtf8().constData());
    return turned;
}

// ---- summary ------------------------------------------------------------------------------

QMap<QString, QString> QVFeaturesPDEVantrel::summaryInfo() {
    QMap<QString, QString> summary;
    const bool sheet = summaryValueForKey(QStringLiteral("PaperFeed")) == kSheet;
    if (sheet) {
        summary.insert(pdeLocalized(QStringLiteral("Paper")), pdeLocalized(QStringLiteral("Sheet paper \"%1\""))
                                                                  .arg(summaryValueForKey(QStringLiteral("PaperName"))));
    } else {
        summary.insert(pdeLocalized(QStringLiteral("Paper")),
                       pdeLocalized(QStringLiteral("Roll %1, surface %2"))
                           .arg(humanReadablePaperWidthForActual(summaryValueForKey(QStringLiteral("PaperWidth"))),
                                summaryValueForKey(QStringLiteral("PaperSurface"))));
        summary.insert(pdeLocalized(QStringLiteral("Overspill")), summaryValueForKey(QStringLiteral("Overspill")));
    }
    summary.insert(pdeLocalized(QStringLiteral("Resolution")), summaryChoiceTextForKey(QStringLiteral("Resolution")));
    summary.insert(pdeLocalized(QStringLiteral("Paper Tone")), summaryChoiceTextForKey(QStringLiteral("PaperTone")));
    const QString twoSided = summaryValueForKey(QStringLiteral("TwoSided"));
    summary.insert(pdeLocalized(QStringLiteral("Two-Sided")), summaryChoiceTextForKey(QStringLiteral("TwoSided")));
    const QString margin = summaryValueForKey(QStringLiteral("BindingMargin"));
    if (!twoSided.isEmpty() && twoSided != kNone && !margin.isEmpty() && margin != kNone)
        summary.insert(pdeLocalized(QStringLiteral("Binding Margin")),
                       pdeLocalized(QStringLiteral("%1 edge of the paper, %2 mm"))
                           .arg(summaryChoiceTextForKey(QStringLiteral("BindingMargin")),
                                summaryValueForKey(QStringLiteral("BindingWidth"))));
    return summary;
}

// ---- save and restore -------------------------------------------------------------------

bool QVFeaturesPDEVantrel::saveValuesAndReturnError() {
    PDEHostCallback* cb = host();
    if (!cb || !cb->hasPrintSettings() || !useConstraintHandling()) return true;
    for (const char* key : {"PaperName", "BindingWidth", "Overspill"}) {
        const QString k = QString::fromLatin1(key);
        if (!choiceDict().contains(k)) continue;
        if (const int status = cb->printSettingsSetValue(k, choiceDict().value(k)); status != 0)
            pdeLog("PDE got an error %ld setting the value for %s !", static_cast<long>(status), key);
    }
    return true;
}

bool QVFeaturesPDEVantrel::restoreValuesAndReturnError() {
    const bool result = PLUMEXBasePDEVantrel::restoreValuesAndReturnError();
    didSelectNewPaper();
    setDuplexAvailable();
    didSelectTwoSided();
    return result;
}

}  // namespace tessaron::pde
