#include "PanelFixtures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "QtTestEnvironment.h"

namespace tessaron::pdetest {

std::string tessaronPPD(const std::string& extra) {
    return "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
           "*LanguageEncoding: ISOLatin1\n*PCFileName: \"VANTRJRX.PPD\"\n*Manufacturer: \"Vantrel\"\n"
           "*Product: \"(JRX)\"\n*ModelName: \"Vantrel JRX\"\n*NickName: \"Vantrel JRX\"\n"
           "*OpenUI *Resolution/Resolution: PickOne\n*DefaultResolution: 300dpi\n"
           "*Resolution 300dpi/300 dpi: \"\"\n*Resolution 400dpi/400 dpi: \"\"\n*Resolution 600dpi/600 dpi: \"\"\n"
           "*CloseUI: *Resolution\n"
           "*OpenUI *PaperFeed/Paper Feed: PickOne\n*DefaultPaperFeed: Roll\n"
           "*PaperFeed Roll/Roll Paper: \"\"\n*PaperFeed Sheet/Sheet Paper: \"\"\n*CloseUI: *PaperFeed\n"
           "*OpenUI *PaperWidth/Roll Width: PickOne\n*DefaultPaperWidth: 1020\n"
           "*PaperWidth 890/89 mm: \"\"\n*PaperWidth 1020/102 mm: \"\"\n*PaperWidth 1270/127 mm: \"\"\n"
           "*PaperWidth 1520/152 mm: \"\"\n*CloseUI: *PaperWidth\n"
           "*OpenUI *PaperSurface/Surface: PickOne\n*DefaultPaperSurface: 1\n"
           "*PaperSurface 1/Surface 1: \"\"\n*PaperSurface 2/Surface 2: \"\"\n*PaperSurface 3/Surface 3: \"\"\n"
           "*PaperSurface 4/Surface 4: \"\"\n*CloseUI: *PaperSurface\n"
           "*OpenUI *PaperTone/Paper Tone: PickOne\n*DefaultPaperTone: 0\n"
           "*PaperTone 0/Standard: \"\"\n*PaperTone 1/Tone 1: \"\"\n*PaperTone 2/Tone 2: \"\"\n"
           "*PaperTone 3/Tone 3: \"\"\n*PaperTone 4/Tone 4: \"\"\n*CloseUI: *PaperTone\n"
           "*OpenUI *TwoSided/Two-Sided: PickOne\n*DefaultTwoSided: None\n"
           "*TwoSided None/Off: \"\"\n*TwoSided LongEdge/Long Edge: \"\"\n*TwoSided ShortEdge/Short Edge: \"\"\n"
           "*CloseUI: *TwoSided\n"
           "*OpenUI *BindingMargin/Binding Margin: PickOne\n*DefaultBindingMargin: None\n"
           "*BindingMargin None/None: \"\"\n*BindingMargin Left/Left: \"\"\n*BindingMargin Right/Right: \"\"\n"
           "*BindingMargin Top/Top: \"\"\n*BindingMargin Bottom/Bottom: \"\"\n*CloseUI: *BindingMargin\n"
           "*OpenUI *EnableCVP1/Print Line 1: Boolean\n*DefaultEnableCVP1: False\n"
           "*EnableCVP1 False/Off: \"\"\n*EnableCVP1 True/On: \"\"\n*CloseUI: *EnableCVP1\n"
           "*OpenUI *EnableCVP2/Print Line 2: Boolean\n*DefaultEnableCVP2: False\n"
           "*EnableCVP2 False/Off: \"\"\n*EnableCVP2 True/On: \"\"\n*CloseUI: *EnableCVP2\n"
           "*OpenUI *DebugLog/Debug Log: Boolean\n*DefaultDebugLog: False\n"
           "*DebugLog False/Off: \"\"\n*DebugLog True/On: \"\"\n*CloseUI: *DebugLog\n"
           "*OpenUI *AdjustmentsEnabled/Colour Adjustments: Boolean\n*DefaultAdjustmentsEnabled: False\n"
           "*AdjustmentsEnabled False/Off: \"\"\n*AdjustmentsEnabled True/On: \"\"\n*CloseUI: *AdjustmentsEnabled\n"
           "*OpenUI *SharpnessEnabled/Sharpening: Boolean\n*DefaultSharpnessEnabled: False\n"
           "*SharpnessEnabled False/Off: \"\"\n*SharpnessEnabled True/On: \"\"\n*CloseUI: *SharpnessEnabled\n"
           "*PaperNameDefault: \"\"\n*OverspillDefault: \"0.0\"\n*BindingWidthDefault: \"0.0\"\n"
           "*CVP1Default: \"\"\n*CVP2Default: \"\"\n*RedDefault: \"0.00\"\n*GreenDefault: \"0.00\"\n"
           "*BlueDefault: \"0.00\"\n*BrightnessDefault: \"0.00\"\n*ContrastDefault: \"0.00\"\n"
           "*SaturationDefault: \"0.00\"\n*GammaDefault: \"0.00\"\n*SharpnessRadiusDefault: \"2\"\n"
           "*SharpnessIntensityDefault: \"0.50\"\n" +
           extra;
}

FakeHost::FakeHost(const std::string& ppdText, bool constraintCheck) : constraintCheck_(constraintCheck) {
    char pattern[] = "/tmp/tessaron-pde-XXXXXX";
    if (const char* d = mkdtemp(pattern)) dir_ = d;
    const std::string path = dir_ + "/queue.ppd";
    std::ofstream(path) << ppdText;
    ppd_ = ppdOpenFile(path.c_str());
    if (ppd_) ppdMarkDefaults(ppd_);
}

FakeHost::~FakeHost() {
    if (ppd_) ppdClose(ppd_);
    if (!dir_.empty()) QDir(QString::fromStdString(dir_)).removeRecursively();
}

bool FakeHost::willChangePPDOptionKeyValuePpdChoice(const QString& key, const QString& choice) {
    changes.append(key + '=' + choice);
    if (refusedKeys.contains(key)) return false;
    const QByteArray k = key.toUtf8(), c = choice.toUtf8();
    if (ppd_ && ppdFindOption(ppd_, k.constData())) {
        if (!ppdFindChoice(ppdFindOption(ppd_, k.constData()), c.constData())) return false;
        ppdMarkOption(ppd_, k.constData(), c.constData());
    } else {
        settings.insert(key, choice);
    }
    return true;
}

std::optional<QString> FakeHost::printSettingsGetValue(const QString& key) const {
    if (!settings.contains(key)) return std::nullopt;
    return settings.value(key);
}

int FakeHost::printSettingsSetValue(const QString& key, const QString& value) {
    if (failingSettings.contains(key)) return -50;
    settings.insert(key, value);
    return 0;
}

std::optional<QString> FakeHost::valueFor(const QString& key) const {
    if (ppd_)
        if (ppd_choice_t* marked = ppdFindMarkedChoice(ppd_, key.toUtf8().constData()))
            return QString::fromUtf8(marked->choice);
    return printSettingsGetValue(key);
}

bool waitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void processEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace tessaron::pdetest

namespace {

// Panels are widgets: the test program runs inside one QApplication, with the user's
// defaults in a private folder.
class PanelEnvironment : public tessaron::test::QtEnvironment {
public:
    PanelEnvironment() : QtEnvironment("test_pde_panels") {}
    void SetUp() override {
        char pattern[] = "/tmp/tessaron-pde-config-XXXXXX";
        if (const char* d = mkdtemp(pattern)) {
            config_ = d;
            setenv("XDG_CONFIG_HOME", d, 1);
        }
        QtEnvironment::SetUp();
    }
    void TearDown() override {
        QtEnvironment::TearDown();
        if (!config_.empty()) QDir(QString::fromStdString(config_)).removeRecursively();
    }

private:
    std::string config_;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new PanelEnvironment);

}  // namespace
