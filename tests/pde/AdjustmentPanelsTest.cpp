// Colour adjustment and sharpness: tagged controls, number formats, ranges, step buttons,
// the enabling switch and restoring the PPD's defaults.
#include "Controls.h"
#include "PanelFixtures.h"
#include "QVColorAdjustPDEVantrel.h"
#include "QVSharpnessPDEVantrel.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QSlider>
#include <gtest/gtest.h>

using namespace tessaron::pde;
using tessaron::pdetest::FakeHost;

namespace {

template <typename Panel>
struct PanelOnHost {
    FakeHost host;
    Panel panel;
    QWidget* view = nullptr;
    PanelOnHost() {
        EXPECT_TRUE(panel.initWithCallback(&host));
        panel.restoreValuesAndReturnError();
        view = panel.panelView();
    }
    QWidget* tag(int t) { return controlForTag(view, t); }
    QLineEdit* field(int t) { return qobject_cast<QLineEdit*>(tag(t)); }
    QSlider* slider(int t) { return qobject_cast<QSlider*>(tag(t)); }
    // What a user typing into a value field causes.
    void type(int t, const QString& text) {
        field(t)->setText(text);
        panel.controlTextDidChange(field(t));
    }
};

}  // namespace

TEST(ColorAdjustPanel, EveryOptionHasSliderFieldAndStepButtonsUnderTheSwitch) {
    PanelOnHost<QVColorAdjustPDEVantrel> p;
    ASSERT_NE(p.view, nullptr);
    const QStringList keys{"Red", "Green", "Blue", "Brightness", "Contrast", "Saturation", "Gamma"};
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(kindOf(p.tag(n)), ControlKind::Slider) << n;
        EXPECT_EQ(kindOf(p.tag(0x140 + n)), ControlKind::TextField) << n;
        EXPECT_NE(p.tag(0x280 + n), nullptr) << n;
        EXPECT_NE(p.tag(0x1400 + n), nullptr) << n;
        EXPECT_EQ(p.panel.ppdOptionKeyForTag(n), keys[n - 1]);
        EXPECT_EQ(p.panel.ppdOptionKeyForTag(0x140 + n), keys[n - 1]);
        // Restored from the PPD's "<key>Default" attributes.
        EXPECT_EQ(p.panel.choiceDict().value(keys[n - 1]), "0.00") << n;
    }
    EXPECT_EQ(kindOf(p.tag(512)), ControlKind::CheckBox);
    EXPECT_EQ(p.panel.choiceDict().value("AdjustmentsEnabled"), "False");
    EXPECT_EQ(p.panel.supportedPPDOptionKeys().size(), 8);
}

TEST(ColorAdjustPanel, ValuesAreWrittenWithTwoDecimalsAndOnlyWithinTheSliderRange) {
    PanelOnHost<QVColorAdjustPDEVantrel> p;
    p.type(321, "12.346");
    EXPECT_EQ(p.host.valueFor("Red"), "12.35");
    EXPECT_EQ(p.slider(1)->value(), 1235);

    p.type(321, "-20");
    EXPECT_EQ(p.host.valueFor("Red"), "-20.00");

    // Brightness reaches -10 at most: the value is refused and the stored one shown again.
    p.type(324, "5");
    ASSERT_EQ(p.host.valueFor("Brightness"), "5.00");
    p.host.changes.clear();
    p.type(324, "-20");
    EXPECT_TRUE(p.host.changes.isEmpty());
    EXPECT_EQ(p.host.valueFor("Brightness"), "5.00");
    EXPECT_EQ(p.field(324)->text(), "5.00");

    // A field that holds no number yields zero.
    p.type(322, "abc");
    EXPECT_EQ(p.host.valueFor("Green"), "0.00");
    // A lone minus is kept while typing and becomes 0 when editing ends.
    p.field(323)->setText("-");
    p.panel.controlTextDidEndEditing(p.field(323));
    EXPECT_EQ(p.field(323)->text(), "0");
}

TEST(ColorAdjustPanel, StepButtonsMoveByOneAndStopAtTheRange) {
    PanelOnHost<QVColorAdjustPDEVantrel> p;
    // Switched off (the PPD's default), the buttons do nothing.
    EXPECT_FALSE(p.tag(0x1400 + 5)->isEnabled());
    qobject_cast<QAbstractButton*>(p.tag(512))->click();
    p.type(325, "9");
    qobject_cast<QAbstractButton*>(p.tag(0x1400 + 5))->click();
    EXPECT_EQ(p.host.valueFor("Contrast"), "10.00");
    EXPECT_EQ(p.field(325)->text(), "10.00");
    p.host.changes.clear();
    qobject_cast<QAbstractButton*>(p.tag(0x1400 + 5))->click();
    EXPECT_TRUE(p.host.changes.isEmpty());
    EXPECT_EQ(p.host.valueFor("Contrast"), "10.00");
    qobject_cast<QAbstractButton*>(p.tag(0x280 + 5))->click();
    EXPECT_EQ(p.host.valueFor("Contrast"), "9.00");
}

TEST(ColorAdjustPanel, SwitchEnablesItsGroupAndRestoreDefaultsResetsEveryValue) {
    PanelOnHost<QVColorAdjustPDEVantrel> p;
    auto* toggle = qobject_cast<QAbstractButton*>(p.tag(512));
    toggle->click();
    EXPECT_EQ(p.host.valueFor("AdjustmentsEnabled"), "True");
    for (int t : {1, 7, 321, 327, 641, 647, 5121, 5127}) EXPECT_TRUE(p.tag(t)->isEnabled()) << t;
    p.type(327, "15");
    toggle->click();
    EXPECT_EQ(p.host.valueFor("AdjustmentsEnabled"), "False");
    for (int t : {1, 7, 321, 327, 641, 647, 5121, 5127}) EXPECT_FALSE(p.tag(t)->isEnabled()) << t;
    // The values stay; only the switch tells the backend not to apply them.
    EXPECT_EQ(p.host.valueFor("Gamma"), "15.00");

    qobject_cast<QAbstractButton*>(p.tag(32))->click();
    EXPECT_EQ(p.host.valueFor("Gamma"), "0.00");
    EXPECT_EQ(p.slider(7)->value(), 0);
    EXPECT_EQ(p.field(327)->text(), "0.00");
}

TEST(ColorAdjustPanel, ARefusedChoiceShowsWhatTheHostKeptMarked) {
    PanelOnHost<QVColorAdjustPDEVantrel> p;
    p.host.refusedKeys.insert("AdjustmentsEnabled");
    auto* toggle = qobject_cast<QAbstractButton*>(p.tag(512));
    toggle->click();
    EXPECT_EQ(p.panel.choiceDict().value("AdjustmentsEnabled"), "False");
    tessaron::pdetest::waitUntil([&] { return !toggle->isChecked(); });
    EXPECT_FALSE(toggle->isChecked());
}

TEST(SharpnessPanel, IntensityHasTwoDecimalsWithoutSignAndRadiusIsAnInteger) {
    PanelOnHost<QVSharpnessPDEVantrel> p;
    EXPECT_EQ(p.panel.choiceDict().value("SharpnessRadius"), "2");
    EXPECT_EQ(p.panel.choiceDict().value("SharpnessIntensity"), "0.50");
    p.type(322, "1.25");
    EXPECT_EQ(p.host.valueFor("SharpnessIntensity"), "1.25");
    p.type(322, "-0.5");
    EXPECT_EQ(p.host.valueFor("SharpnessIntensity"), "0.50");
    p.type(321, "2.7");
    EXPECT_EQ(p.host.valueFor("SharpnessRadius"), "2");
    p.field(322)->setText("1.5");
    p.panel.controlTextDidEndEditing(p.field(322));
    EXPECT_EQ(p.field(322)->text(), "1.50");
    EXPECT_EQ(p.host.valueFor("SharpnessIntensity"), "1.50");
    // Beyond the slider's range nothing is written.
    p.type(321, "50");
    EXPECT_EQ(p.host.valueFor("SharpnessRadius"), "2");
    EXPECT_EQ(p.panel.ppdChoiceForTag(2), "0");
    EXPECT_EQ(p.panel.tagForStringValue("3"), 5);
    EXPECT_EQ(p.panel.tagForStringValue("7"), 0);
}

TEST(SharpnessPanel, SwitchedOffTheControlsAreDisabledAndTheValuesStillWritten) {
    PanelOnHost<QVSharpnessPDEVantrel> p;
    p.slider(1)->setValue(4);
    EXPECT_EQ(p.host.valueFor("SharpnessRadius"), "4");
    p.panel.updateControlWithValue(p.tag(512), QStringLiteral("False"));
    for (int t : {1, 2, 321, 322}) EXPECT_FALSE(p.tag(t)->isEnabled()) << t;
    EXPECT_EQ(p.host.valueFor("SharpnessRadius"), "4");
    const auto summary = p.panel.summaryInfo();
    EXPECT_EQ(summary.value("Sharpening"), "Off");
}
