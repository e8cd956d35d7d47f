// Back print: the safe form the backend undoes, the limits of a line, the switches, tokens
// and writing the lines into the print settings.
#include "BackPrintEscaping.h"
#include "Controls.h"
#include "PDELog.h"
#include "PanelFixtures.h"
#include "QVBackprintPDEVantrel.h"

#ifdef TESSARON_HAVE_BACKEND_TEXT
#include "BackPrintText.h"
#endif

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace tessaron::pde;
using tessaron::pdetest::FakeHost;

namespace {

struct BackprintOnHost {
    FakeHost host;
    QVBackprintPDEVantrel panel;
    QWidget* view = nullptr;
    BackprintOnHost() {
        EXPECT_TRUE(panel.initWithCallback(&host));
        view = panel.panelView();
    }
    QWidget* tag(int t) { return controlForTag(view, t); }
    QLineEdit* line(int n) { return qobject_cast<QLineEdit*>(tag(n)); }
    void type(int n, const QString& text) {
        line(n)->setText(text);
        panel.controlTextDidChange(line(n));
    }
    void endEditing(int n) { panel.controlTextDidEndEditing(line(n)); }
};

}  // namespace

TEST(BackPrintEscaping, CommaAndApostropheTravelInTheirSafeFormAndComeBack) {
    const QString plain = QStringLiteral("Smith's, 2024 \\ [YYYY]");
    const QString safe = stringWithSafeCharacters(plain);
    EXPECT_FALSE(safe.contains(',')) << safe.toStdString();
    EXPECT_FALSE(safe.contains('\''));
    EXPECT_EQ(safe, QString::fromUtf8("Smith\u00E6s\u2264 2024 \\ [YYYY]"));
    EXPECT_EQ(stringWithUnsafeCharacters(safe), plain);
#ifdef TESSARON_HAVE_BACKEND_TEXT
    // The backend turns the safe form back into the line the user typed.
    tessaron::BackPrintTokens tokens;
    tokens.formatDate = [](std::string_view) { return std::string("2026"); };
    const QString line = QStringLiteral("O'Brien, Studio \u00A9 7");
    EXPECT_EQ(tessaron::expandBackPrintLine(stringWithSafeCharacters(line).toStdString(), tokens), line.toStdString());
#endif
}

TEST(BackPrintEscaping, LinesAreCutTo120AndNeverEndInABackslash) {
    EXPECT_EQ(limitCVPValue(QString(125, 'a')), QString(120, 'a'));
    const QString slash = QString(119, 'a') + '\\';
    EXPECT_EQ(limitCVPValue(slash), slash + ' ');
    EXPECT_EQ(limitCVPValue(QString(130, 'b') + "\\"), QString(120, 'b'));
    EXPECT_EQ(limitCVPValue(QString(119, 'c') + "\\\\x"), QString(119, 'c') + "\\ ");
    EXPECT_EQ(limitCVPValue("ab\\"), "ab\\ ");
    EXPECT_EQ(limitCVPValue(""), "");
    EXPECT_FALSE(backPrintSafeCharacters().contains('~'));
    EXPECT_TRUE(backPrintSafeCharacters().contains(QChar(0xA9)));
}

TEST(BackprintPanel, TypingKeepsThePlainTextAndEndingTheEditWritesTheSafeForm) {
    BackprintOnHost p;
    p.type(1, "a,b");
    EXPECT_EQ(p.panel.choiceDict().value("CVP1"), "a,b");
    p.endEditing(1);
    const QString safe = QString::fromUtf8("a\u2264b");
    EXPECT_EQ(p.panel.choiceDict().value("CVP1"), safe);
    EXPECT_EQ(p.host.valueFor("CVP1"), safe);
    EXPECT_EQ(p.line(1)->text(), "a,b");
    p.panel.saveValuesAndReturnError();
    EXPECT_EQ(p.host.settings.value("CVP1"), safe);
    // Shown again from the stored form: the user sees the comma.
    p.panel.updateUI();
    EXPECT_EQ(p.line(1)->text(), "a,b");
}

TEST(BackprintPanel, DisallowedCharactersAndOverlongLinesAreCutAtOnce) {
    BackprintOnHost p;
    p.type(2, QString::fromUtf8("x~y\u00E9z\u00A9"));
    EXPECT_EQ(p.line(2)->text(), QString::fromUtf8("xyz\u00A9"));
    EXPECT_EQ(p.panel.choiceDict().value("CVP2"), QString::fromUtf8("xyz\u00A9"));
    p.type(2, QString(125, 'q'));
    EXPECT_EQ(p.line(2)->text(), QString(120, 'q'));
    p.type(1, QString(119, 'q') + "\\");
    p.endEditing(1);
    EXPECT_EQ(p.host.valueFor("CVP1"), QString(119, 'q') + "\\ ");
}

TEST(BackprintPanel, LineSwitchesEnableTheirLineAndTheTokenControls) {
    BackprintOnHost p;
    auto* line1 = qobject_cast<QAbstractButton*>(p.tag(512));
    auto* line2 = qobject_cast<QAbstractButton*>(p.tag(513));
    ASSERT_TRUE(line1 && line2);
    // Both off after restoring the PPD's defaults.
    EXPECT_FALSE(p.line(1)->isEnabled());
    EXPECT_FALSE(p.tag(256)->isEnabled());
    EXPECT_FALSE(p.tag(257)->isEnabled());
    line2->click();
    EXPECT_EQ(p.host.valueFor("EnableCVP2"), "True");
    EXPECT_TRUE(p.line(2)->isEnabled());
    EXPECT_FALSE(p.line(1)->isEnabled());
    EXPECT_TRUE(p.tag(256)->isEnabled());
    EXPECT_TRUE(p.tag(257)->isEnabled());
    line1->click();
    line2->click();
    EXPECT_TRUE(p.tag(256)->isEnabled());
    line1->click();
    EXPECT_FALSE(p.tag(256)->isEnabled());
    EXPECT_FALSE(p.tag(257)->isEnabled());
    EXPECT_EQ(p.host.valueFor("EnableCVP1"), "False");
}

TEST(BackprintPanel, TokensGoToTheLineThatHadTheFocusLastAndAreRemembered) {
    {
        BackprintOnHost p;
        auto* menu = qobject_cast<QComboBox*>(p.tag(256));
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(menu->count(), 10);
        EXPECT_EQ(representedObject(menu, 0), "[YYYY]");
        // Every token says what it prints.
        for (int i = 0; i < menu->count(); ++i)
            EXPECT_GT(menu->itemText(i).size(), representedObject(menu, i).size() + 2) << i;
        EXPECT_TRUE(menu->itemText(menu->findData("[P]")).contains("computer name"));
        qobject_cast<QAbstractButton*>(p.tag(513))->click();
        p.type(2, "Shot ");
        p.line(2)->setCursorPosition(5);
        p.panel.focusDidLeave(p.line(2));
        selectIndex(menu, 4);  // [MM]
        p.panel.sendUICommand(p.tag(257));
        EXPECT_EQ(p.line(2)->text(), "Shot [MM]");
        EXPECT_EQ(p.host.valueFor("CVP2"), "Shot [MM]");
        EXPECT_EQ(QVBackprintPDEVantrel::globalDefaultsObjectForKey(kLastTokenDefault), "[MM]");
    }
    BackprintOnHost again;
    auto* menu = qobject_cast<QComboBox*>(again.tag(256));
    EXPECT_EQ(representedObject(menu, menu->currentIndex()), "[MM]");
    // Without a line that had the focus nothing is inserted.
    again.panel.sendUICommand(again.tag(257));
    EXPECT_EQ(again.line(1)->text(), "");
}

TEST(BackprintPanel, ANewPanelWritesItsRestoredValuesAndGoesOnPastARefusedSetting) {
    FakeHost host;
    host.settings.insert("CVP1", "Hello, world");
    host.failingSettings.insert("CVP2");
    std::vector<std::string> lines;
    setPDELogSink([&](const std::string& l) { lines.push_back(l); });
    {
        QVBackprintPDEVantrel panel;
        ASSERT_TRUE(panel.initWithCallback(&host));
    }
    setPDELogSink({});
    EXPECT_EQ(host.settings.value("CVP1"), QString::fromUtf8("Hello\u2264 world"));
    EXPECT_EQ(host.settings.value("EnableCVP1"), "False");
    EXPECT_EQ(host.settings.value("DebugLog"), "False");
    EXPECT_FALSE(host.settings.contains("CVP2"));
    bool logged = false;
    for (const auto& l : lines) logged |= l.find("PDE got an error -50 setting the value for CVP2 !") != std::string::npos;
    EXPECT_TRUE(logged);
}
