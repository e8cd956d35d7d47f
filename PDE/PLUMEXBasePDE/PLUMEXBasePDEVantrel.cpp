#include "PLUMEXBasePDEVantrel.h"

#include "Controls.h"
#include "LocalNotifications.h"
#include "PDELog.h"
#include "PDEStrings.h"
#include "PrinterData.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace tessaron::pde {
namespace {

QJsonObject& bundleStorage() {
    static QJsonObject bundle;
    return bundle;
}

// Only async-signal-safe calls: the line goes to standard error.
void sigpipeHandler(int signalNumber) {
    char line[40] = "caught a signal ";
    size_t n = std::strlen(line);
    char digits[12];
    int d = 0;
    unsigned v = static_cast<unsigned>(signalNumber);
    do {
        digits[d++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v && d < 11);
    while (d > 0 && n < sizeof line - 2) line[n++] = digits[--d];
    line[n++] = '\n';
    [[maybe_unused]] ssize_t written = write(STDERR_FILENO, line, n);
}

void installSigpipeHandler() {
    struct sigaction action {};
    action.sa_handler = sigpipeHandler;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGPIPE, &action, nullptr) != 0) pdeLog("error registering for SIGPIPE handler\n");
}

}  // namespace

PLUMEXBasePDEVantrel::PLUMEXBasePDEVantrel() = default;

PLUMEXBasePDEVantrel::~PLUMEXBasePDEVantrel() {
    pdeLog("entered %s in %s", "dealloc", "PLUMEXBasePDEVantrel");
    stopBackgroundWork();
    LocalNotificationCenter::defaultCenter().removeObserver(this);
    ppd_ = nullptr;
    delete _panelView.data();
}

void PLUMEXBasePDEVantrel::setPlugInBundle(const QJsonObject& bundle) { bundleStorage() = bundle; }
QJsonObject PLUMEXBasePDEVantrel::plugInBundle() { return bundleStorage(); }

bool PLUMEXBasePDEVantrel::initWithCallback(PDEHostCallback* host) {
    installSigpipeHandler();
    pdePluginCallbackObject_ = host;
    if (!host) return false;
    useConstraintHandling_ = host->respondsToWillChangePPDOptionKeyValue();
    // Hosts without the constraint check would need a PPD of the panel's own; there is none.
    ppd_ = useConstraintHandling_ ? host->ppdFile() : nullptr;
    if (!ppd_) return false;
    observePPDUpdateNotifications();
    return true;
}

void PLUMEXBasePDEVantrel::observePPDUpdateNotifications() {
    // Each panel's waits post with the panel as object, so a panel hears only its own.
    auto& center = LocalNotificationCenter::defaultCenter();
    center.addObserver(this, kPPDUpdateDidCompleteNotification, this,
                       [this](const QString&, const void*) { ppdDidUpdate(); });
    center.addObserver(this, kPPDUpdateDidAbortNotification, this,
                       [this](const QString&, const void*) { ppdUpdateDidAbort(); });
}

void PLUMEXBasePDEVantrel::stopBackgroundWork() {
    pdePluginDidUnload_ = true;
    std::shared_ptr<std::binary_semaphore> semaphore;
    {
        std::lock_guard lock(semaphoreMutex_);
        semaphore = pdeUnloadSemaphore_;
    }
    if (semaphore) {
        semaphore->acquire();
        pdeLog("continuing dealloc after waiting for unload semaphore");
        std::lock_guard lock(semaphoreMutex_);
        if (pdeUnloadSemaphore_ == semaphore) pdeUnloadSemaphore_.reset();
    }
    background_.joinAll();
}

void PLUMEXBasePDEVantrel::onMainQueue(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

QString PLUMEXBasePDEVantrel::panelName() {
    if (!thePDEName_ && !panelNameKey().isEmpty()) thePDEName_ = pdeLocalized(panelNameKey());
    return thePDEName_.value_or(QString());
}

// ---- loading the view -------------------------------------------------------------------

QWidget* PLUMEXBasePDEVantrel::panelView() {
    if (_panelView || nibName().isEmpty()) return _panelView.data();
    QWidget* view = loadNibNamed(nibName());
    if (!view) {
        pdeLog("Failed to load nib named %s", nibName().toUtf8().constData());
        return nullptr;
    }
    _panelView = view;
    buildMatrices(view);
    populateMenuObjectsInView(view);
    localizeStringsInView(view);
    enableTextFieldsForEditingInView(view);
    connectControls(view);
    enableCustom();
    // A view loaded after the values were restored shows them at once.
    updateUI();
    return view;
}

void PLUMEXBasePDEVantrel::populateMenuObjectsInView(QWidget* view) {
    // Tag 0 stands for the view itself, so the walk really starts at 1.
    for (int tag = 1;; ++tag) {
        QWidget* control = viewControlForTag(view, tag);
        if (!control) break;
        auto* menu = qobject_cast<QComboBox*>(control);
        const auto key = ppdOptionKeyForTag(tag);
        if (!menu || !key || !ppd_) continue;
        ppd_option_t* option = ppdFindOption(ppd_, key->toUtf8().constData());
        if (!option) continue;
        menu->clear();
        for (int i = 0; i < option->num_choices; ++i) {
            const QString keyword = QString::fromUtf8(option->choices[i].choice);
            QString title = pdeLocalized(keyword);
            if (title == keyword || title.isEmpty()) title = pdeLocalized(QString::fromUtf8(option->choices[i].text));
            addMenuItem(menu, title, keyword, 0);
        }
        selectIndex(menu, indexOfRepresentedObject(menu, QString::fromUtf8(option->defchoice)));
    }
}

void PLUMEXBasePDEVantrel::localizeStringsInView(QWidget* view) {
    auto localize = [](const QString& text) { return text.isEmpty() ? text : pdeLocalized(text); };
    QList<QWidget*> widgets = view->findChildren<QWidget*>();
    widgets.prepend(view);
    for (QWidget* w : widgets) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            for (int i = 0; i < tabs->count(); ++i) tabs->setTabText(i, localize(tabs->tabText(i)));
        if (auto* box = qobject_cast<QGroupBox*>(w)) {
            if (const QString t = localize(box->title()); t != box->title()) box->setTitle(t);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (const QString t = localize(button->text()); t != button->text()) button->setText(t);
        } else if (auto* label = qobject_cast<QLabel*>(w)) {
            if (const QString t = localize(label->text()); t != label->text()) label->setText(t);
        }
        if (const QString tip = localize(w->toolTip()); tip != w->toolTip()) w->setToolTip(tip);
    }
}

void PLUMEXBasePDEVantrel::enableTextFieldsForEditingInView(QWidget* view) {
    int missing = 0;
    for (int tag = kValueFieldTagBit; missing < 2; ++tag) {
        auto* field = qobject_cast<QLineEdit*>(viewControlForTag(view, tag));
        if (!field) {
            ++missing;
            continue;
        }
        missing = 0;
        field->setReadOnly(false);
    }
}

void PLUMEXBasePDEVantrel::connectControls(QWidget* view) {
    QList<QWidget*> widgets = view->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        const auto tag = tagOf(w);
        if (!tag) continue;
        if (auto* menu = qobject_cast<QComboBox*>(w)) {
            // Menus without an option (a token menu) only serve other controls.
            if (!ppdOptionKeyForTag(*tag)) continue;
            connect(menu, &QComboBox::activated, this, [this, menu] { changePrinterSetting(menu); });
        } else if (QButtonGroup* group = matrixGroup(w)) {
            connect(group, &QButtonGroup::idClicked, this, [this, w] { changePrinterSetting(w); });
        } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
            connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
            connect(field, &QLineEdit::editingFinished, this, [this, field] { controlTextDidEndEditing(field); });
        } else if (auto* slider = qobject_cast<QSlider*>(w)) {
            connect(slider, &QSlider::valueChanged, this, [this, slider] { changePrinterSetting(slider); });
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            connect(check, &QCheckBox::clicked, this, [this, check] { changePrinterSetting(check); });
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            const int t = *tag;
            if (t >= kStepUpTagBit && t < kStepUpTagBit + 256)
                connect(button, &QAbstractButton::clicked, this, [this, button] { incrementControl(button); });
            else if (t >= kStepDownTagBit && t < kStepDownTagBit + 256)
                connect(button, &QAbstractButton::clicked, this, [this, button] { decrementControl(button); });
            else if (t == kRestoreDefaultsTag)
                connect(button, &QAbstractButton::clicked, this, [this, button] { changePrinterSetting(button); });
            else
                connect(button, &QAbstractButton::clicked, this, [this, button] { sendUICommand(button); });
        }
    }
}

QWidget* PLUMEXBasePDEVantrel::loadNibNamed(const QString&) { return nullptr; }

QWidget* PLUMEXBasePDEVantrel::viewControlForTag(QWidget* view, int tag) {
    return controlForTag(view ? view : _panelView.data(), tag);
}

// ---- panel protocol ---------------------------------------------------------------------

void PLUMEXBasePDEVantrel::willShow() {
    pdeLog("entered %s in %s", "willShow", metaObject()->className());
    pdePluginDidUnload_ = false;
    updateUI();
}

bool PLUMEXBasePDEVantrel::shouldHide() {
    pdeLog("entered %s in %s", "shouldHide", metaObject()->className());
    pdePluginDidUnload_ = true;
    return true;
}

bool PLUMEXBasePDEVantrel::saveValuesAndReturnError() {
    pdeLog("entered %s in %s", "saveValuesAndReturnError:", metaObject()->className());
    pdePluginDidUnload_ = true;
    return true;
}

void PLUMEXBasePDEVantrel::printWindowWillClose(bool) {
    pdeLog("entered %s in %s", "printWindowWillClose:", metaObject()->className());
    pdePluginDidUnload_ = true;
}

QStringList PLUMEXBasePDEVantrel::supportedPPDOptionKeys() {
    if (!supportedPPDOptionKeys_) {
        QStringList keys;
        for (int tag = 1;; ++tag) {
            const auto key = ppdOptionKeyForTag(tag);
            if (!key) break;
            keys.append(*key);
        }
        supportedPPDOptionKeys_ = keys;
    }
    return *supportedPPDOptionKeys_;
}

void PLUMEXBasePDEVantrel::PPDOptionKeyValueDidChangePpdChoice(const QString& key, const QString& choice) {
    // An empty choice is a choice (an emptied back-print line), not a missing one.
    if (key.isEmpty() || !supportedPPDOptionKeys().contains(key)) return;
    setChoiceForKey(choice, key);
    updateUI();
}

bool PLUMEXBasePDEVantrel::restoreValuesAndReturnError() {
    if (useConstraintHandling_) {
        for (const QString& key : supportedPPDOptionKeys()) {
            if (!ppd_) break;
            std::optional<QString> value = markedChoiceForPPD(key, ppd_);
            if (!value && pdePluginCallbackObject_->hasPrintSettings())
                value = pdePluginCallbackObject_->printSettingsGetValue(key);
            if (!value) value = defaultValueForOptionKey(key);
            setChoiceForKey(value, key);
        }
    } else if (choiceDict_.size() != supportedPPDOptionKeys().size()) {
        setDefaults();
    }
    if (viewIsLoaded()) updateUI();
    return true;
}

QMap<QString, QString> PLUMEXBasePDEVantrel::summaryInfo() {
    QMap<QString, QString> summary;
    for (const QString& key : supportedPPDOptionKeys()) {
        if (useConstraintHandling_) {
            if (!ppd_) continue;
            ppd_choice_t* choice = ppdFindMarkedChoice(ppd_, key.toUtf8().constData());
            if (!choice) continue;
            summary.insert(pdeLocalized(key), pdeLocalized(QString::fromUtf8(choice->text)));
        } else if (choiceDict_.contains(key)) {
            summary.insert(pdeLocalized(key), pdeLocalized(choiceDict_.value(key)));
        }
    }
    return summary;
}

bool PLUMEXBasePDEVantrel::shouldShowHelp() {
    const QJsonObject bundle = plugInBundle();
    const QString book = bundle.value(QStringLiteral("CFBundleHelpBookName")).toString();
    if (book.isEmpty()) return true;
    QString page = qEnvironmentVariable("TESSARON_HELP_PAGE");
    if (page.isEmpty()) page = bundle.value(QStringLiteral("TessaronHelpPage")).toString();
    return page.isEmpty() || !QDesktopServices::openUrl(QUrl::fromUserInput(page));
}

// ---- hooks with base behaviour ----------------------------------------------------------

std::optional<QString> PLUMEXBasePDEVantrel::ppdOptionKeyForTag(int) { return std::nullopt; }
std::optional<QString> PLUMEXBasePDEVantrel::ppdChoiceForTag(int) { return std::nullopt; }
int PLUMEXBasePDEVantrel::tagForStringValue(const QString&) { return 0; }
bool PLUMEXBasePDEVantrel::isControlSupportedForTag(int) { return true; }
bool PLUMEXBasePDEVantrel::enablerState(QWidget* toggle) { return isOn(toggle); }
void PLUMEXBasePDEVantrel::sendUICommand(QWidget*) {}
void PLUMEXBasePDEVantrel::speakString(const QString&) {}
void PLUMEXBasePDEVantrel::setToolTipFromSender(const QString& text, QWidget* control) {
    if (control) control->setToolTip(text);
}
QString PLUMEXBasePDEVantrel::displayFormatForStringForPPDOptionKey(const QString& value, const QString&) {
    return value;
}

std::optional<QString> PLUMEXBasePDEVantrel::newChoiceForSender(QWidget* control) {
    switch (kindOf(control)) {
    case ControlKind::PopUp: {
        auto* menu = qobject_cast<QComboBox*>(control);
        return representedObject(menu, menu->currentIndex());
    }
    case ControlKind::Matrix: return ppdChoiceForTag(selectedCellTag(control).value_or(tagOf(control).value_or(0)));
    case ControlKind::TextField: {
        const QString text = stringValue(control);
        if (text == QStringLiteral("-")) return text;
        static const QString kDigits = QStringLiteral("-0123456789");
        qsizetype b = 0, e = text.size();
        while (b < e && !kDigits.contains(text[b])) ++b;
        while (e > b && !kDigits.contains(text[e - 1])) --e;
        // Like a number scanner: the leading integer of what is left, 0 when there is none.
        const QString trimmed = text.mid(b, e - b);
        qsizetype end = trimmed.startsWith(QLatin1Char('-')) ? 1 : 0;
        while (end < trimmed.size() && trimmed[end].isDigit()) ++end;
        return QString::asprintf("%d", trimmed.left(end).toInt());
    }
    case ControlKind::CheckBox: return isOn(control) ? QStringLiteral("True") : QStringLiteral("False");
    case ControlKind::None: return std::nullopt;
    default: return stringValue(control);
    }
}

void PLUMEXBasePDEVantrel::setChoiceForKey(const std::optional<QString>& choice, const QString& key) {
    if (choice && !key.isEmpty()) choiceDict_.insert(key, *choice);
}

int PLUMEXBasePDEVantrel::indexOfMenuItemForValue(QComboBox* menu, const std::optional<QString>& value) {
    if (!menu || !value) return 0;
    return indexOfRepresentedObject(menu, *value);
}

void PLUMEXBasePDEVantrel::updateControlWithValue(QWidget* control, const std::optional<QString>& value) {
    if (!isControl(control) || !value) return;
    switch (kindOf(control)) {
    case ControlKind::PopUp: {
        auto* menu = qobject_cast<QComboBox*>(control);
        selectIndex(menu, indexOfMenuItemForValue(menu, value));
        return;
    }
    case ControlKind::CheckBox:
        setOn(control, value->compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0);
        if (tagOf(control).value_or(0) & kToggleTagBit) setControlsEnabledByToggle(control);
        return;
    case ControlKind::Matrix: selectCell(control, tagForStringValue(*value)); return;
    default:
        if (!takesStringValue(control)) return;
        setStringValue(control, *value);
        if (QWidget* companion = siblingForTag(control, tagOf(control).value_or(0) ^ kValueFieldTagBit, _panelView))
            if (companion != control && takesStringValue(companion) && !companion->hasFocus())
                setStringValue(companion, *value);
    }
}

void PLUMEXBasePDEVantrel::setControlsEnabledByToggle(QWidget* toggle) {
    if (!toggle) return;
    const bool on = enablerState(toggle);
    QWidget* group = toggle->parentWidget() ? toggle->parentWidget() : _panelView.data();
    for (int first : {1, kValueFieldTagBit + 1, kStepDownTagBit + 1, kStepUpTagBit + 1}) {
        for (int tag = first;; ++tag) {
            QWidget* control = controlForTag(group, tag);
            if (!control) break;
            control->setEnabled(on && isControlSupportedForTag(tag));
        }
    }
}

std::optional<QString> PLUMEXBasePDEVantrel::defaultValueForOptionKey(const QString& key) {
    return cupsDefaultChoiceForOptionForPPD(key, ppd_);
}

void PLUMEXBasePDEVantrel::setDefaults() {
    for (const QString& key : supportedPPDOptionKeys())
        if (auto value = defaultValueForOptionKey(key)) markChoiceForPPDOptionKeyFromSender(value, key, nullptr);
}

void PLUMEXBasePDEVantrel::updateUI() {
    QWidget* view = _panelView.data();
    if (!view) return;
    bool high = false;
    for (int tag = 1;;) {
        int used = tag;
        QWidget* control = viewControlForTag(view, tag);
        if (!isControl(control)) control = viewControlForTag(view, used = tag + 1);
        if (!isControl(control)) {
            if (high) break;
            high = true;
            tag = kToggleTagBit;
            continue;
        }
        if (const auto key = ppdOptionKeyForTag(used); key && choiceDict_.contains(*key))
            updateControlWithValue(control, choiceDict_.value(*key));
        tag = used + 1;
    }
}

// ---- the write path ---------------------------------------------------------------------

void PLUMEXBasePDEVantrel::changePrinterSetting(QWidget* control) {
    if (!isControl(control)) return;
    const int tag = tagOf(control).value_or(0);
    const auto key = ppdOptionKeyForTag(tag);
    std::optional<QString> value = newChoiceForSender(control);
    if (tag == kRestoreDefaultsTag) {
        setDefaults();
        updateUI();
        return;
    }
    if (tag & kToggleTagBit) {
        setControlsEnabledByToggle(control);
        value = isOn(control) ? QStringLiteral("True") : QStringLiteral("False");
    }
    markChoiceForPPDOptionKeyFromSender(value, key, control);
}

void PLUMEXBasePDEVantrel::markChoiceForPPDOptionKeyFromSender(const std::optional<QString>& value,
                                                               const std::optional<QString>& key, QWidget* control) {
    if (!value || !key || !validateChoiceForPPDOptionKeyFromSender(*value, *key, control)) {
        rejectChoiceForPPDOptionKeyFromSender(value.value_or(QString()), key.value_or(QString()), control);
        return;
    }
    if (useConstraintHandling_ && !pdePluginCallbackObject_->willChangePPDOptionKeyValuePpdChoice(*key, *value)) {
        setChoiceForKey(markedChoiceForPPD(*key, ppd_), *key);
        QTimer::singleShot(10, this, [this] { updateUI(); });
        return;
    }
    setChoiceForKey(*value, *key);
    if (!control) return;
    // A value field shows its slider's companion the other way round; the field being typed
    // into keeps the user's text.
    const int tag = tagOf(control).value_or(0);
    const int companionTag = (tag & kValueFieldTagBit) ? (tag ^ kValueFieldTagBit) : (tag | kValueFieldTagBit);
    QWidget* companion = siblingForTag(control, companionTag, _panelView);
    if (companion && companion != control) {
        const QString shown = displayFormatForStringForPPDOptionKey(*value, *key);
        if (tag & kValueFieldTagBit) {
            if (takesStringValue(companion)) setStringValue(companion, shown);
        } else if (!companion->hasFocus()) {
            updateControlWithValue(companion, shown);
        }
    }
}

bool PLUMEXBasePDEVantrel::validateChoiceForPPDOptionKeyFromSender(const QString& value, const QString&,
                                                                   QWidget* control) {
    if (kindOf(control) != ControlKind::TextField) return true;
    const int tag = tagOf(control).value_or(0);
    QWidget* partner = siblingForTag(control, (tag & kValueFieldTagBit) ? (tag ^ kValueFieldTagBit) : tag, _panelView);
    const auto maximum = maximumOf(partner), minimum = minimumOf(partner);
    if (!maximum && !minimum) return true;
    const double v = value.toDouble();
    return minimum.value_or(0) <= v && v <= maximum.value_or(0);
}

void PLUMEXBasePDEVantrel::rejectChoiceForPPDOptionKeyFromSender(const QString& value, const QString& key,
                                                                 QWidget* control) {
    QApplication::beep();
    speakString(QStringLiteral("rejecting choice %1 for %2").arg(value, key));
    std::optional<QString> shown;
    if (choiceDict_.contains(key)) shown = choiceDict_.value(key);
    if (useConstraintHandling_)
        if (auto marked = markedChoiceForPPD(key, ppd_)) shown = marked;
    if (control && shown) {
        // A refused field shows the kept value even while it has the focus.
        if (kindOf(control) == ControlKind::TextField)
            setStringValue(control, *shown);
        else
            updateControlWithValue(control, shown);
    }
}

void PLUMEXBasePDEVantrel::incrementControl(QWidget* button) {
    const int tag = tagOf(button).value_or(0);
    const int partnerTag = (tag & (0x400 | 0x1000)) ? (tag ^ kStepUpTagBit) : tag;
    QWidget* partner = siblingForTag(button, partnerTag, _panelView);
    const auto maximum = maximumOf(partner);
    const auto value = floatValue(partner);
    if (!maximum || !value) return;
    const double next = static_cast<double>(static_cast<long long>(*value)) + 1;
    if (next > *maximum) return;
    setFloatValue(partner, next);
    changePrinterSetting(partner);
}

void PLUMEXBasePDEVantrel::decrementControl(QWidget* button) {
    const int tag = tagOf(button).value_or(0);
    const int partnerTag = (tag & (0x200 | 0x80)) ? (tag ^ kStepDownTagBit) : tag;
    QWidget* partner = siblingForTag(button, partnerTag, _panelView);
    const auto minimum = minimumOf(partner);
    const auto value = floatValue(partner);
    if (!minimum || !value) return;
    const double next = static_cast<double>(static_cast<long long>(*value)) - 1;
    if (next < *minimum) return;
    setFloatValue(partner, next);
    changePrinterSetting(partner);
}

void PLUMEXBasePDEVantrel::controlTextDidChange(QWidget* field) { changePrinterSetting(field); }

void PLUMEXBasePDEVantrel::controlTextDidEndEditing(QWidget* field) {
    if (stringValue(field) == QStringLiteral("-")) setStringValue(field, QStringLiteral("0"));
}

// ---- value lookup -----------------------------------------------------------------------

std::optional<QString> PLUMEXBasePDEVantrel::printSystemValueForKey(const QString& key) {
    if (auto marked = markedChoiceForPPD(key, ppd_)) return marked;
    if (pdePluginCallbackObject_ && pdePluginCallbackObject_->hasPrintSettings())
        return pdePluginCallbackObject_->printSettingsGetValue(key);
    return std::nullopt;
}

std::optional<QString> PLUMEXBasePDEVantrel::cupsOptionValueForKey(const QString& key) {
    return cupsChoiceForOptionForPPD(key, ppd_);
}

QString PLUMEXBasePDEVantrel::summaryValueForKey(const QString& key) {
    if (auto value = printSystemValueForKey(key)) return *value;
    if (choiceDict_.contains(key)) return choiceDict_.value(key);
    return defaultValueForOptionKey(key).value_or(QString());
}

QString PLUMEXBasePDEVantrel::summaryChoiceTextForKey(const QString& key) {
    const QString value = summaryValueForKey(key);
    if (ppd_) {
        const QByteArray k = key.toUtf8(), v = value.toUtf8();
        if (ppd_option_t* option = ppdFindOption(ppd_, k.constData()))
            if (ppd_choice_t* choice = ppdFindChoice(option, v.constData()); choice && choice->text[0])
                return pdeLocalized(QString::fromUtf8(choice->text));
    }
    return pdeLocalized(value);
}

QString PLUMEXBasePDEVantrel::floatValueForSenderFormatAllowsNegative(QWidget* control, int decimals,
                                                                     bool allowsNegative) {
    QString text;
    if (takesStringValue(control) && !qobject_cast<QSlider*>(control))
        text = stringValue(control);
    else if (auto v = floatValue(control))
        text = QString::number(*v, 'f', 6);
    const QString keep = allowsNegative ? QStringLiteral(".0123456789-") : QStringLiteral(".0123456789");
    qsizetype b = 0, e = text.size();
    while (b < e && !keep.contains(text[b])) ++b;
    while (e > b && !keep.contains(text[e - 1])) --e;
    return QString::number(text.mid(b, e - b).toDouble(), 'f', decimals);
}

void PLUMEXBasePDEVantrel::setGlobalDefaultsObjectForKey(const QString& value, const QString& key) {
    if (value.isEmpty() || key.isEmpty()) return;
    QSettings settings(QStringLiteral("vantrel"), QStringLiteral("GlobalPreferences"));
    settings.setValue(key, value);
    settings.sync();
}

std::optional<QString> PLUMEXBasePDEVantrel::globalDefaultsObjectForKey(const QString& key) {
    QSettings settings(QStringLiteral("vantrel"), QStringLiteral("GlobalPreferences"));
    const QVariant v = settings.value(key);
    if (!v.isValid()) return std::nullopt;
    return v.toString();
}

}  // namespace tessaron::pde
