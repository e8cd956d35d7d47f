// Back print: two lines of text with tokens, each with its switch, and the backend's debug
// log switch. Lines are stored and written in their safe form and shown plain.
#pragma once

#include "PLUMEXBasePDEVantrel.h"

#include <QMetaObject>
#include <QPointer>

#include <QLineEdit>

namespace tessaron::pde {

inline constexpr const char* kLastTokenDefault = "com.vantrel.print.pde.cvp.lastToken";

class QVBackprintPDEVantrel : public PLUMEXBasePDEVantrel {
    Q_OBJECT
public:
    ~QVBackprintPDEVantrel() override;

    bool initWithCallback(PDEHostCallback* host) override;
    QString nibName() const override { return QStringLiteral("TessaronCVP"); }
    QString panelNameKey() const override { return QStringLiteral("Backprint"); }
    QString panelKind() const override { return QStringLiteral("com.vantrel.print.pde.cvp"); }
    QWidget* loadNibNamed(const QString& name) override;
    void willShow() override;
    bool shouldHide() override;
    QStringList supportedPPDOptionKeys() override;
    QMap<QString, QString> summaryInfo() override;
    // What a token prints, in English (the menu shows its translation).
    static QString tokenMeaning(const QString& token);
    std::optional<QString> ppdOptionKeyForTag(int tag) override;
    void populateMenuObjectsInView(QWidget* view) override;
    std::optional<QString> newChoiceForSender(QWidget* control) override;
    void updateControlWithValue(QWidget* control, const std::optional<QString>& value) override;
    void setControlsEnabledByToggle(QWidget* toggle) override;
    bool saveValuesAndReturnError() override;
    bool restoreValuesAndReturnError() override;
    // The token-insert action.
    void sendUICommand(QWidget* sender) override;
    void controlTextDidChange(QWidget* field) override;
    void controlTextDidEndEditing(QWidget* field) override;

    static const QStringList& tokens();
    QLineEdit* lastResponder() const { return lastResponder_.data(); }
    // The focus observation: a line field of this panel that loses the focus is remembered.
    void focusDidLeave(QWidget* old);

private:

    QPointer<QLineEdit> lastResponder_;
    QMetaObject::Connection focusObservation_;
};

}  // namespace tessaron::pde
