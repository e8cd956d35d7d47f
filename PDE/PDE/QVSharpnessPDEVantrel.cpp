#include "QVSharpnessPDEVantrel.h"

#include "Controls.h"
#include "PDEStrings.h"
#include "ui_TessaronSharpness.h"

#include <algorithm>
#include <cmath>

namespace tessaron::pde {

namespace {
constexpr int kIntensityBit = 2;
}

QWidget* QVSharpnessPDEVantrel::loadNibNamed(const QString& name) {
    if (name != nibName()) return nullptr;
    auto* view = new QWidget;
    Ui::TessaronSharpness().setupUi(view);
    return view;
}

QStringList QVSharpnessPDEVantrel::supportedPPDOptionKeys() {
    return {QStringLiteral("SharpnessEnabled"), QStringLiteral("SharpnessIntensity"), QStringLiteral("SharpnessRadius")};
}

std::optional<QString> QVSharpnessPDEVantrel::ppdOptionKeyForTag(int tag) {
    if (tag & kValueFieldTagBit) tag ^= kValueFieldTagBit;
    switch (tag) {
    case 1: return QStringLiteral("SharpnessRadius");
    case 2: return QStringLiteral("SharpnessIntensity");
    case kToggleTagBit: return QStringLiteral("SharpnessEnabled");
    default: return std::nullopt;
    }
}

std::optional<QString> QVSharpnessPDEVantrel::ppdChoiceForTag(int tag) {
    if (tag >= 2 && tag <= 5) return QString::number(tag - 2);
    return std::nullopt;
}

int QVSharpnessPDEVantrel::tagForStringValue(const QString& choice) {
    for (int tag = 2; tag <= 5; ++tag)
        if (choice == QString::number(tag - 2)) return tag;
    return 0;
}

std::optional<QString> QVSharpnessPDEVantrel::newChoiceForSender(QWidget* control) {
    if (!isControl(control)) return std::nullopt;
    if (kindOf(control) == ControlKind::Matrix) return PLUMEXBasePDEVantrel::newChoiceForSender(control);
    if (tagOf(control).value_or(0) & kIntensityBit) return floatValueForSenderFormatAllowsNegative(control, 2, false);
    // The integer value of the control: a radius of 2.7 is 2.
    const double value = floatValue(control).value_or(stringValue(control).trimmed().toDouble());
    return QString::asprintf("%d", static_cast<int>(std::trunc(std::isfinite(value) ? std::clamp(value, -1e9, 1e9) : 0.0)));
}

void QVSharpnessPDEVantrel::controlTextDidEndEditing(QWidget* field) {
    PLUMEXBasePDEVantrel::controlTextDidEndEditing(field);
    if (!(tagOf(field).value_or(0) & kIntensityBit)) return;
    setStringValue(field, floatValueForSenderFormatAllowsNegative(field, 2, false));
    changePrinterSetting(field);
}

QMap<QString, QString> QVSharpnessPDEVantrel::summaryInfo() {
    QMap<QString, QString> summary;
    const QString title = pdeLocalized(QStringLiteral("Sharpening"));
    if (summaryValueForKey(QStringLiteral("SharpnessEnabled")).compare(QStringLiteral("True"), Qt::CaseInsensitive) != 0) {
        summary.insert(title, pdeLocalized(QStringLiteral("Off")));
        return summary;
    }
    summary.insert(title, pdeLocalized(QStringLiteral("radius %1 px, intensity %2"))
                              .arg(summaryValueForKey(QStringLiteral("SharpnessRadius")),
                                   summaryValueForKey(QStringLiteral("SharpnessIntensity"))));
    return summary;
}

}  // namespace tessaron::pde
