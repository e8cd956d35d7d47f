#include "QVColorAdjustPDEVantrel.h"

#include "Controls.h"
#include "PDEStrings.h"
#include "ui_TessaronColorAdjust.h"

namespace tessaron::pde {

QWidget* QVColorAdjustPDEVantrel::loadNibNamed(const QString& name) {
    if (name != nibName()) return nullptr;
    auto* view = new QWidget;
    Ui::TessaronColorAdjust().setupUi(view);
    return view;
}

QStringList QVColorAdjustPDEVantrel::supportedPPDOptionKeys() {
    return {QStringLiteral("Brightness"), QStringLiteral("Contrast"), QStringLiteral("Saturation"),
            QStringLiteral("Gamma"),      QStringLiteral("Red"),      QStringLiteral("Green"),
            QStringLiteral("Blue"),       QStringLiteral("AdjustmentsEnabled")};
}

std::optional<QString> QVColorAdjustPDEVantrel::ppdOptionKeyForTag(int tag) {
    if (tag & kValueFieldTagBit) tag ^= kValueFieldTagBit;
    switch (tag) {
    case 1: return QStringLiteral("Red");
    case 2: return QStringLiteral("Green");
    case 3: return QStringLiteral("Blue");
    case 4: return QStringLiteral("Brightness");
    case 5: return QStringLiteral("Contrast");
    case 6: return QStringLiteral("Saturation");
    case 7: return QStringLiteral("Gamma");
    case kToggleTagBit: return QStringLiteral("AdjustmentsEnabled");
    default: return std::nullopt;
    }
}

std::optional<QString> QVColorAdjustPDEVantrel::newChoiceForSender(QWidget* control) {
    if (!isControl(control)) return std::nullopt;
    return floatValueForSenderFormatAllowsNegative(control, 2, true);
}

QMap<QString, QString> QVColorAdjustPDEVantrel::summaryInfo() {
    QMap<QString, QString> summary;
    const QString title = pdeLocalized(QStringLiteral("Color Adjustments"));
    if (summaryValueForKey(QStringLiteral("AdjustmentsEnabled")).compare(QStringLiteral("True"), Qt::CaseInsensitive) != 0) {
        summary.insert(title, pdeLocalized(QStringLiteral("Off")));
        return summary;
    }
    QStringList values;
    for (const char* key : {"Red", "Green", "Blue", "Brightness", "Contrast", "Saturation", "Gamma"})
        values << pdeLocalized(QString::fromLatin1(key)) + QStringLiteral(" ") + summaryValueForKey(QString::fromLatin1(key));
    summary.insert(title, values.join(QStringLiteral(", ")));
    return summary;
}

}  // namespace tessaron::pde
