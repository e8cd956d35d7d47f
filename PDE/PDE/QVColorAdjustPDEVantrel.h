// Colour adjustment: red, green, blue, brightness, contrast, saturation and gamma sliders
// with value fields and step buttons, under one enabling switch.
#pragma once

#include "PLUMEXBasePDEVantrel.h"

namespace tessaron::pde {

class QVColorAdjustPDEVantrel : public PLUMEXBasePDEVantrel {
    Q_OBJECT
public:
    ~QVColorAdjustPDEVantrel() override { stopBackgroundWork(); }

    QString nibName() const override { return QStringLiteral("TessaronColorAdjust"); }
    QString panelNameKey() const override { return QStringLiteral("Color Adjustments"); }
    QString panelKind() const override { return QStringLiteral("com.vantrel.print.pde.coloradjust"); }
    QWidget* loadNibNamed(const QString& name) override;
    QStringList supportedPPDOptionKeys() override;
    QMap<QString, QString> summaryInfo() override;
    std::optional<QString> ppdOptionKeyForTag(int tag) override;
    // Every slider and field yields its number with two decimals, sign kept.
    std::optional<QString> newChoiceForSender(QWidget* control) override;
};

}  // namespace tessaron::pde
