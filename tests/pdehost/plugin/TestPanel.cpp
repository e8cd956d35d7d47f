#include "TestPanel.h"

#include <QFormLayout>

namespace tessaron::pdetest {

TestPanel::TestPanel(QString name, pde::PDEHostCallback& host) : name_(std::move(name)), host_(host) {}

TestPanel::~TestPanel() = default;

QWidget* TestPanel::panelView() {
    if (view_) return view_.get();
    view_ = std::make_unique<QWidget>();
    auto* form = new QFormLayout(view_.get());
    menu_ = new QComboBox;
    menu_->setObjectName(QString::fromLatin1(kMenuKey));
    if (ppd_option_t* option = ppdFindOption(host_.ppdFile(), kMenuKey))
        for (int i = 0; i < option->num_choices; ++i)
            menu_->addItem(QString::fromUtf8(option->choices[i].text), QString::fromUtf8(option->choices[i].choice));
    form->addRow(QStringLiteral("Tone:"), menu_);
    flag_ = new QCheckBox(QStringLiteral("Test flag"));
    flag_->setObjectName(QString::fromLatin1(kFlagKey));
    form->addRow(flag_);
    showMenuValue(tone_);
    flag_->setChecked(flagOn_);
    QObject::connect(menu_, &QComboBox::activated, menu_, [this](int index) { menuActivated(index); });
    QObject::connect(flag_, &QCheckBox::toggled, flag_, [this](bool on) {
        flagOn_ = on;
        host_.willChangePPDOptionKeyValuePpdChoice(kFlagKey, on ? QStringLiteral("True") : QStringLiteral("False"));
    });
    return view_.get();
}

void TestPanel::menuActivated(int index) {
    const QString choice = menu_->itemData(index).toString();
    if (host_.willChangePPDOptionKeyValuePpdChoice(kMenuKey, choice)) {
        tone_ = choice;
        return;
    }
    // Refused: show what stays marked.
    if (ppd_choice_t* marked = ppdFindMarkedChoice(host_.ppdFile(), kMenuKey)) tone_ = QString::fromUtf8(marked->choice);
    showMenuValue(tone_);
}

void TestPanel::showMenuValue(const QString& choice) {
    if (!menu_) return;
    const int index = menu_->findData(choice);
    if (index >= 0) menu_->setCurrentIndex(index);
}

bool TestPanel::restoreValuesAndReturnError() {
    ++restored_;
    if (ppd_choice_t* marked = ppdFindMarkedChoice(host_.ppdFile(), kMenuKey)) tone_ = QString::fromUtf8(marked->choice);
    flagOn_ = host_.printSettingsGetValue(kFlagKey).value_or(QStringLiteral("False")) == QLatin1String("True");
    showMenuValue(tone_);
    if (flag_) flag_->setChecked(flagOn_);
    return false;
}

bool TestPanel::saveValuesAndReturnError() {
    ++saved_;
    host_.printSettingsSetValue(kFlagKey, flagOn_ ? QStringLiteral("True") : QStringLiteral("False"));
    return false;
}

void TestPanel::PPDOptionKeyValueDidChangePpdChoice(const QString& key, const QString& choice) {
    notified_ = key + QLatin1Char('=') + choice;
    if (key == QLatin1String(kMenuKey)) {
        tone_ = choice;
        showMenuValue(choice);
    }
}

QMap<QString, QString> TestPanel::summaryInfo() {
    return {{QStringLiteral("tone"), tone_},
            {QStringLiteral("flag"), flagOn_ ? QStringLiteral("True") : QStringLiteral("False")},
            {QStringLiteral("shown"), QString::number(shown_)},
            {QStringLiteral("hidden"), QString::number(hidden_)},
            {QStringLiteral("restored"), QString::number(restored_)},
            {QStringLiteral("saved"), QString::number(saved_)},
            {QStringLiteral("notified"), notified_},
            {QStringLiteral("closed"), closed_}};
}

}  // namespace tessaron::pdetest
