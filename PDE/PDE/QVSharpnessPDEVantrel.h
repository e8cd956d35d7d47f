// Sharpness: radius and intensity of the unsharp mask under one enabling switch.
#pragma once

#include "PLUMEXBasePDEVantrel.h"

namespace tessaron::pde {

class QVSharpnessPDEVantrel : public PLUMEXBasePDEVantrel {
    Q_OBJECT
public:
    ~QVSharpnessPDEVantrel() override { stopBackgroundWork(); }

    QString nibName() const override { return QStringLiteral("TessaronSharpness"); }
    QString panelNameKey() const override { return QStringLiteral("Sharpness"); }
    QString panelKind() const override { return QStringLiteral("com.vantrel.print.pde.sharpness"); }
    QWidget* loadNibNamed(const QString& name) override;
    QStringList supportedPPDOptionKeys() override;
    QMap<QString, QString> summaryInfo() override;
    std::optional<QString> ppdOptionKeyForTag(int tag) override;
    // A radius may also be shown as a matrix with cells 2 to 5 for radii 0 to 3.
    std::optional<QString> ppdChoiceForTag(int tag) override;
    int tagForStringValue(const QString& choice) override;
    // Intensity (tags with bit 2): "%.2f", never negative; radius: the integer value.
    std::optional<QString> newChoiceForSender(QWidget* control) override;
    void controlTextDidEndEditing(QWidget* field) override;
};

}  // namespace tessaron::pde
