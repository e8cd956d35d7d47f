// The panels' values as the backend receives them: every panel saves on one host, the host's
// choices become a CUPS option string, and the backend's reading rules see the same values.
#include "BackPrintEscaping.h"
#include "Controls.h"
#include "PanelFactory.h"
#include "PanelFixtures.h"
#include "QVBackprintPDEVantrel.h"
#include "QVColorAdjustPDEVantrel.h"
#include "QVSharpnessPDEVantrel.h"

#ifdef TESSARON_HAVE_BACKEND_TEXT
#include "BackPrintText.h"
#include "JobOptions.h"
#endif

#include <QAbstractButton>
#include <QLineEdit>
#include <cups/cups.h>
#include <gtest/gtest.h>

using namespace tessaron::pde;
using namespace tessaron::pdetest;

namespace {

// What a dialog hands to cupsPrintFile2 for these keys, as one option string and back.
std::map<std::string, std::string> throughOptionString(const FakeHost& host, const QStringList& keys) {
    std::string text;
    for (const QString& key : keys) {
        const auto value = host.valueFor(key);
        if (!value) continue;
        // Quoted as lp does it, so blanks survive.
        text += key.toStdString() + "=\"" + value->toStdString() + "\" ";
    }
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(text.c_str(), 0, &options);
    std::map<std::string, std::string> parsed;
    for (int i = 0; i < count; ++i) parsed.emplace(options[i].name, options[i].value);
    cupsFreeOptions(count, options);
    return parsed;
}

void typeAndEnd(PLUMEXBasePDEVantrel& panel, int tag, const QString& text) {
    auto* field = qobject_cast<QLineEdit*>(controlForTag(panel.panelView(), tag));
    ASSERT_NE(field, nullptr) << tag;
    field->setText(text);
    panel.controlTextDidChange(field);
    panel.controlTextDidEndEditing(field);
}

}  // namespace

TEST(JobOptions, PanelValuesReachTheBackendsReadingUnchanged) {
    FakeHost host;
    QVBackprintPDEVantrel backprint;
    QVColorAdjustPDEVantrel colour;
    QVSharpnessPDEVantrel sharpness;
    ASSERT_TRUE(backprint.initWithCallback(&host) && colour.initWithCallback(&host) && sharpness.initWithCallback(&host));
    for (PLUMEXBasePDEVantrel* p : std::initializer_list<PLUMEXBasePDEVantrel*>{&backprint, &colour, &sharpness}) {
        p->restoreValuesAndReturnError();
        p->panelView();
    }
    qobject_cast<QAbstractButton*>(controlForTag(backprint.panelView(), 512))->click();
    typeAndEnd(backprint, 1, "Anna's party, 2026");
    qobject_cast<QAbstractButton*>(controlForTag(colour.panelView(), 512))->click();
    typeAndEnd(colour, 321, "12.5");
    typeAndEnd(colour, 324, "-5");
    qobject_cast<QAbstractButton*>(controlForTag(sharpness.panelView(), 512))->click();
    typeAndEnd(sharpness, 322, "1.5");
    backprint.saveValuesAndReturnError();

    const auto options = throughOptionString(
        host, {"CVP1", "EnableCVP1", "AdjustmentsEnabled", "Red", "Brightness", "SharpnessEnabled", "SharpnessIntensity",
               "SharpnessRadius"});
    // The radius was never touched: the backend falls back to the PPD's default for it.
    ASSERT_EQ(options.size(), 7u);
    EXPECT_EQ(options.count("SharpnessRadius"), 0u);
    EXPECT_EQ(options.at("EnableCVP1"), "True");
    EXPECT_EQ(options.at("Red"), "12.50");
    EXPECT_EQ(options.at("Brightness"), "-5.00");
    EXPECT_EQ(options.at("SharpnessIntensity"), "1.50");
    // Neither the comma nor the apostrophe reaches the option string, which would split or
    // quote the line there.
    EXPECT_EQ(QString::fromStdString(options.at("CVP1")), stringWithSafeCharacters("Anna's party, 2026"));
#ifdef TESSARON_HAVE_BACKEND_TEXT
    const tessaron::JobOptionValues values(options.begin(), options.end());
    EXPECT_TRUE(tessaron::optionFlag(values, "AdjustmentsEnabled"));
    EXPECT_DOUBLE_EQ(tessaron::optionNumber(values, "Red"), 12.5);
    EXPECT_DOUBLE_EQ(tessaron::optionNumber(values, "Brightness"), -5.0);
    EXPECT_TRUE(tessaron::optionFlag(values, "SharpnessEnabled"));
    tessaron::BackPrintTokens tokens;
    tokens.formatDate = [](std::string_view) { return std::string(); };
    EXPECT_EQ(tessaron::expandBackPrintLine(*tessaron::optionText(values, "CVP1"), tokens), "Anna's party, 2026");
#endif
}

TEST(JobOptions, SavedValuesAreRestoredByTheNextDialog) {
    FakeHost host;
    host.settings.insert("Red", "-7.25");
    host.settings.insert("CVP2", stringWithSafeCharacters("Hi, there"));
    host.settings.insert("EnableCVP2", "True");
    QVColorAdjustPDEVantrel colour;
    ASSERT_TRUE(colour.initWithCallback(&host));
    colour.restoreValuesAndReturnError();
    QWidget* view = colour.panelView();
    EXPECT_EQ(stringValue(controlForTag(view, 321)), "-7.25");
    EXPECT_DOUBLE_EQ(floatValue(controlForTag(view, 1)).value_or(0), -7.25);
    // A marked PPD choice wins over the print settings.
    EXPECT_EQ(colour.choiceDict().value("AdjustmentsEnabled"), "False");

    QVBackprintPDEVantrel backprint;
    ASSERT_TRUE(backprint.initWithCallback(&host));
    QWidget* lines = backprint.panelView();
    EXPECT_EQ(stringValue(controlForTag(lines, 2)), "Hi, there");
    EXPECT_TRUE(controlForTag(lines, 2)->isEnabled());
    EXPECT_TRUE(isOn(controlForTag(lines, 513)));
}
