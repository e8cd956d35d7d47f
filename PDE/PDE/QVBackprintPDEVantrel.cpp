#include "QVBackprintPDEVantrel.h"

#include "BackPrintEscaping.h"
#include "Controls.h"
#include "LocalNotifications.h"
#include "PDELog.h"
#include "PDEStrings.h"
#include "ui_TessaronCVP.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

namespace tessaron::pde {

namespace {
constexpr int kTokenMenuTag = 256;
constexpr int kTokenInsertTag = 257;
constexpr int kLine1Toggle = kToggleTagBit;
constexpr int kLine2Toggle = kToggleTagBit + 1;

bool isLineKey(const QString& key) { return key.size() > 2 && key.startsWith(QLatin1String("CVP")); }
}  // namespace

QVBackprintPDEVantrel::~QVBackprintPDEVantrel() {
    QObject::disconnect(focusObservation_);
    LocalNotificationCenter::defaultCenter().postNotificationName(kPluginIsUnloadingNotification, host());
    stopBackgroundWork();
}

const QStringList& QVBackprintPDEVantrel::tokens() {
    static const QStringList list{"[YYYY]", "[YY]", "[DD]", "[D]", "[MM]", "[M]", "[C]", "[F]", "[P]", "[U]"};
    return list;
}

QString QVBackprintPDEVantrel::tokenMeaning(const QString& token) {
    static const QMap<QString, QString> meanings{
        {"[YYYY]", "year, four digits"}, {"[YY]", "year, two digits"}, {"[DD]", "day, two digits"},
        {"[D]", "day"},                  {"[MM]", "month, two digits"}, {"[M]", "month"},
        {"[C]", "copyright sign"},       {"[F]", "document title"},   {"[P]", "computer name"},
        {"[U]", "user name"}};
    return meanings.value(token);
}

QMap<QString, QString> QVBackprintPDEVantrel::summaryInfo() {
    QMap<QString, QString> summary;
    const auto line = [this](const char* enable, const char* text) {
        if (summaryValueForKey(QString::fromLatin1(enable)).compare(QStringLiteral("True"), Qt::CaseInsensitive) != 0)
            return pdeLocalized(QStringLiteral("Off"));
        const QString value = stringWithUnsafeCharacters(summaryValueForKey(QString::fromLatin1(text)));
        return value.isEmpty() ? pdeLocalized(QStringLiteral("On, empty")) : QStringLiteral("\u201C%1\u201D").arg(value);
    };
    summary.insert(pdeLocalized(QStringLiteral("Back print line 1")), line("EnableCVP1", "CVP1"));
    summary.insert(pdeLocalized(QStringLiteral("Back print line 2")), line("EnableCVP2", "CVP2"));
    summary.insert(pdeLocalized(QStringLiteral("Debug Log")), summaryChoiceTextForKey(QStringLiteral("DebugLog")));
    return summary;
}

bool QVBackprintPDEVantrel::initWithCallback(PDEHostCallback* host) {
    if (!PLUMEXBasePDEVantrel::initWithCallback(host)) return false;
    restoreValuesAndReturnError();
    // The restored lines reach the print settings even when the panel is never opened.
    saveValuesAndReturnError();
    return true;
}

QWidget* QVBackprintPDEVantrel::loadNibNamed(const QString& name) {
    if (name != nibName()) return nullptr;
    auto* view = new QWidget;
    Ui::TessaronCVP().setupUi(view);
    for (int tag : {1, 2})
        if (auto* field = qobject_cast<QLineEdit*>(controlForTag(view, tag))) field->setMaxLength(kBackPrintLineLimit + 1);
    return view;
}

void QVBackprintPDEVantrel::willShow() {
    speakString(QStringLiteral("Enter up to two lines of text to appear on the back side of the picture."));
    pdeLog("will show backprint");
    if (!focusObservation_)
        focusObservation_ = connect(qApp, &QApplication::focusChanged, this,
                                    [this](QWidget* old, QWidget*) { focusDidLeave(old); });
}

bool QVBackprintPDEVantrel::shouldHide() {
    pdeLog("entering %s %s ", metaObject()->className(), "shouldHide");
    QObject::disconnect(focusObservation_);
    focusObservation_ = {};
    return true;
}

void QVBackprintPDEVantrel::focusDidLeave(QWidget* old) {
    auto* field = qobject_cast<QLineEdit*>(old);
    if (!field || !loadedView() || !loadedView()->isAncestorOf(field)) return;
    const int tag = tagOf(field).value_or(0);
    if (tag == 1 || tag == 2) lastResponder_ = field;
}

QStringList QVBackprintPDEVantrel::supportedPPDOptionKeys() {
    return {QStringLiteral("CVP1"), QStringLiteral("CVP2"), QStringLiteral("EnableCVP1"), QStringLiteral("EnableCVP2"),
            QStringLiteral("DebugLog")};
}

std::optional<QString> QVBackprintPDEVantrel::ppdOptionKeyForTag(int tag) {
    switch (tag) {
    case 1: return QStringLiteral("CVP1");
    case 2: return QStringLiteral("CVP2");
    case kLine1Toggle: return QStringLiteral("EnableCVP1");
    case kLine2Toggle: return QStringLiteral("EnableCVP2");
    case kToggleTagBit + 2: return QStringLiteral("DebugLog");
    default: return std::nullopt;
    }
}

void QVBackprintPDEVantrel::populateMenuObjectsInView(QWidget* view) {
    auto* menu = qobject_cast<QComboBox*>(controlForTag(view, kTokenMenuTag));
    if (!menu) return;
    menu->clear();
    // Each token with what it prints, so nobody has to guess what [P] stands for.
    for (const QString& token : tokens())
        addMenuItem(menu, token + QStringLiteral("  ") + pdeLocalized(tokenMeaning(token)), token, kTokenMenuTag);
    int index = 0;
    if (const auto last = globalDefaultsObjectForKey(QString::fromLatin1(kLastTokenDefault)))
        index = std::max(0, indexOfRepresentedObject(menu, *last));
    selectIndex(menu, index);
}

std::optional<QString> QVBackprintPDEVantrel::newChoiceForSender(QWidget* control) {
    if (!isControl(control)) return std::nullopt;
    return stringWithSafeCharacters(stringValue(control));
}

void QVBackprintPDEVantrel::updateControlWithValue(QWidget* control, const std::optional<QString>& value) {
    if (kindOf(control) == ControlKind::TextField && value) {
        setStringValue(control, stringWithUnsafeCharacters(*value));
        return;
    }
    PLUMEXBasePDEVantrel::updateControlWithValue(control, value);
}

void QVBackprintPDEVantrel::setControlsEnabledByToggle(QWidget* toggle) {
    if (!toggle) return;
    const bool on = isOn(toggle);
    const int tag = tagOf(toggle).value_or(0);
    QWidget* view = loadedView();
    if (QWidget* line = viewControlForTag(view, (tag & 15) + 1); line && (tag == kLine1Toggle || tag == kLine2Toggle))
        line->setEnabled(on);
    QWidget* menu = viewControlForTag(view, kTokenMenuTag);
    if (!menu) return;
    QWidget* insert = viewControlForTag(view, kTokenInsertTag);
    if (on && !menu->isEnabled()) {
        menu->setEnabled(true);
        if (insert) insert->setEnabled(true);
        return;
    }
    if (isOn(viewControlForTag(view, kLine1Toggle)) || isOn(viewControlForTag(view, kLine2Toggle))) return;
    menu->setEnabled(false);
    if (insert) insert->setEnabled(false);
}

bool QVBackprintPDEVantrel::saveValuesAndReturnError() {
    PDEHostCallback* cb = host();
    if (!cb || !cb->hasPrintSettings() || !useConstraintHandling()) return true;
    for (const QString& key : supportedPPDOptionKeys()) {
        if (!choiceDict().contains(key)) continue;
        QString value = choiceDict().value(key);
        if (isLineKey(key)) value = stringWithSafeCharacters(value);
        if (const int status = cb->printSettingsSetValue(key, value); status != 0)
            pdeLog("PDE got an error %ld setting the value for %s !", static_cast<long>(status), key.toUtf8().constData());
    }
    return true;
}

bool QVBackprintPDEVantrel::restoreValuesAndReturnError() {
    PDEHostCallback* cb = host();
    if (!cb || !cb->hasPrintSettings() || !useConstraintHandling()) return PLUMEXBasePDEVantrel::restoreValuesAndReturnError();
    for (const QString& key : supportedPPDOptionKeys()) {
        std::optional<QString> value = cb->printSettingsGetValue(key);
        if (!value) value = defaultValueForOptionKey(key);
        setChoiceForKey(value, key);
    }
    updateUI();
    return true;
}

void QVBackprintPDEVantrel::sendUICommand(QWidget* sender) {
    QWidget* view = loadedView();
    if (!view || !sender) return;
    auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!field || !view->isAncestorOf(field)) field = lastResponder_.data();
    auto* menu = qobject_cast<QComboBox*>(siblingForTag(sender, kTokenMenuTag, view));
    if (!field || !menu || !field->isEnabled()) return;
    const QString token = representedObject(menu, menu->currentIndex());
    if (token.isEmpty()) return;
    field->setFocus();
    field->insert(token);
    setGlobalDefaultsObjectForKey(token, QString::fromLatin1(kLastTokenDefault));
    controlTextDidChange(field);
    controlTextDidEndEditing(field);
}

void QVBackprintPDEVantrel::controlTextDidChange(QWidget* field) {
    const auto key = ppdOptionKeyForTag(tagOf(field).value_or(0));
    if (!key) return;
    const QString text = stringValue(field);
    QString value = stringWithOnlyCharactersInSet(text, backPrintSafeCharacters());
    const bool removed = value != text;
    if (value.size() <= kBackPrintLineLimit) {
        setChoiceForKey(value, *key);
        if (!removed) return;
    } else {
        value.truncate(kBackPrintLineLimit);
        setChoiceForKey(value, *key);
    }
    setStringValue(field, value);
    QApplication::beep();
}

void QVBackprintPDEVantrel::controlTextDidEndEditing(QWidget* field) {
    const auto key = ppdOptionKeyForTag(tagOf(field).value_or(0));
    if (!key) return;
    const QString text = stringValue(field);
    // Text that never passed through typing (a restored value) is filtered here as well.
    const QString limited = limitCVPValue(stringWithOnlyCharactersInSet(text, backPrintSafeCharacters()));
    if (limited != text) setStringValue(field, limited);
    setChoiceForKey(stringWithSafeCharacters(limited), *key);
    changePrinterSetting(field);
}

}  // namespace tessaron::pde
