// Printer features: menus from the backend's paper catalogue, the no-data state, the
// staleness rule, feed, tone, resolution, two-sided and binding rules, save and unload.
#include "Controls.h"
#include "KeyedArchive.h"
#include "PDELog.h"
#include "PanelFixtures.h"
#include "QVFeaturesPDEVantrel.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

using namespace tessaron::pde;
using namespace tessaron::pdetest;
namespace ka = tessaron::keyedarchive;

namespace {

// Seconds since 2001-01-01 UTC, as the backend stamps the PPD.
QString stampSecondsAgo(double seconds) {
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return QString::number(reference.msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0 - seconds, 'f', 3);
}

ka::Dictionary rollPaper(int width, int surface, int resolution, int tone = 0) {
    return {{"paperWidth", width}, {"paperSurface", surface}, {"paperResolution", resolution}, {"paperTone", tone}};
}
ka::Dictionary sheetPaper(const char* name, int resolution, int tone = 0) {
    return {{"paperName", name}, {"paperResolution", resolution}, {"paperTone", tone}};
}

QByteArray archiveOf(const ka::Dictionary& catalogue) {
    const auto bytes = ka::encode(ka::Value(catalogue));
    return bytes ? QByteArray(reinterpret_cast<const char*>(bytes->data()), static_cast<qsizetype>(bytes->size()))
                 : QByteArray();
}

// The panel with the queue's fresh PPD and saved data standing in for the server.
class TestFeaturesPanel : public QVFeaturesPDEVantrel {
public:
    ~TestFeaturesPanel() override { stopBackgroundWork(); }

    QMap<QString, QString> ppdValuesForAttributes(const QStringList& names) const override {
        std::lock_guard lock(mutex);
        QMap<QString, QString> found;
        for (const QString& n : names)
            if (attributes.contains(n)) found.insert(n, attributes.value(n));
        return found;
    }
    std::optional<QByteArray> ppdSavedDataForAttribute(const QString& name) const override {
        std::lock_guard lock(mutex);
        if (name != "JRXPapersKnown" || papers.isEmpty()) return std::nullopt;
        return papers;
    }
    void sendPrinterCommands(const QStringList& list) override {
        std::lock_guard lock(mutex);
        commands += list;
    }
    void set(const QString& name, const QString& value) {
        std::lock_guard lock(mutex);
        attributes.insert(name, value);
    }
    void setPapers(const QByteArray& data) {
        std::lock_guard lock(mutex);
        papers = data;
    }
    QStringList sent() const {
        std::lock_guard lock(mutex);
        return commands;
    }

    mutable std::mutex mutex;
    QMap<QString, QString> attributes;
    QByteArray papers;
    QStringList commands;
};

struct Features {
    FakeHost host;
    TestFeaturesPanel panel;
    QWidget* view = nullptr;

    explicit Features(const QMap<QString, QString>& attributes = {}, const QByteArray& papers = {}) {
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) panel.set(it.key(), it.value());
        panel.setPapers(papers);
        EXPECT_TRUE(panel.initWithCallback(&host));
        view = panel.panelView();
        settle();
    }
    // The first refresh tick runs at creation; its results reach the view on the main thread.
    void settle() {
        EXPECT_TRUE(waitUntil([&] { return !panel.refreshRunning(); }));
        processEvents();
    }
    QComboBox* menu(int tag) { return qobject_cast<QComboBox*>(controlForTag(view, tag)); }
    QStringList titles(int tag) {
        QStringList t;
        for (int i = 0; i < menu(tag)->count(); ++i) t << menu(tag)->itemText(i);
        return t;
    }
    QStringList enabledObjects(int tag) {
        QStringList t;
        for (int i = 0; i < menu(tag)->count(); ++i)
            if (isItemEnabled(menu(tag), i)) t << representedObject(menu(tag), i);
        return t;
    }
    void choose(int tag, const QString& object) {
        selectIndex(menu(tag), indexOfRepresentedObject(menu(tag), object));
        panel.changePrinterSetting(menu(tag));
    }
};

ka::Dictionary mixedCatalogue() {
    return {{"r1520-1", rollPaper(1520, 1, 3000, 1)}, {"r890-1", rollPaper(890, 1, 3000)},
            {"r890-2", rollPaper(890, 2, 4000)},      {"r1270-1", rollPaper(1270, 1, 6000, 4)},
            {"r1525-3", rollPaper(1525, 3, 3000)},    {"sA4", sheetPaper("A4 Gloss", 3000)},
            {"sA4b", sheetPaper("A4 Gloss", 3000)},   {"sA5", sheetPaper("A5 Matte", 4000)}};
}

}  // namespace

TEST(PaperCatalogue, SortsWidthsNumericallyAndKeepsOneLabelPerResolution) {
    const auto catalogue = decodePaperCatalogue(archiveOf(mixedCatalogue()));
    ASSERT_TRUE(catalogue.has_value());
    ASSERT_EQ(catalogue->size(), 8u);
    const SortedPaper sorted = sortPaperCatalogue(*catalogue);
    EXPECT_EQ(sortedPaperWidths(sorted), (QStringList{"890", "1270", "1520", "1525"}));
    EXPECT_EQ(sortedPaperNames(sorted), (QStringList{"A4 Gloss", "A5 Matte"}));
    EXPECT_EQ(sorted.names.value("A4 Gloss"), QStringList{"300 dpi"});
    EXPECT_EQ(sorted.widths.value("890").keys(), (QStringList{"1", "2"}));
    EXPECT_EQ(sorted.widths.value("890").value("2"), QStringList{"400 dpi"});
    EXPECT_EQ(sorted.toneBits, 5u);
    EXPECT_EQ(humanReadablePaperWidthForActual("1520"), "152 mm");
    EXPECT_EQ(humanReadablePaperWidthForActual("1525"), "152.5 mm");
    EXPECT_EQ(humanReadablePaperWidthForActual(""), "");
}

TEST(PaperCatalogue, RollEntriesWithoutWidthAreSkippedAndGarbageDoesNotDecode) {
    ka::Dictionary c{{"bad", ka::Dictionary{{"paperResolution", 3000}, {"paperTone", 8}}},
                     {"ok", rollPaper(1020, 1, 3000)}};
    QStringList bad;
    const SortedPaper sorted = sortPaperCatalogue(*decodePaperCatalogue(archiveOf(c)), &bad);
    EXPECT_EQ(bad, QStringList{"bad"});
    EXPECT_EQ(sorted.toneBits, 8u);  // its tone bits still count
    EXPECT_EQ(sortedPaperWidths(sorted), QStringList{"1020"});
    EXPECT_FALSE(decodePaperCatalogue(QByteArray("bplist00 but not really")).has_value());
    EXPECT_FALSE(decodePaperCatalogue(QByteArray()).has_value());
}

TEST(PaperCatalogue, CataloguesBeyondTheLimitsAreRefusedWithALogLine) {
    std::vector<std::string> lines;
    setPDELogSink([&lines](const std::string& line) { lines.push_back(line); });
    ka::Dictionary many;
    for (size_t i = 0; i <= kMaxCataloguePapers; ++i) many["w" + std::to_string(i)] = rollPaper(1000, 1, 3000);
    EXPECT_FALSE(decodePaperCatalogue(archiveOf(many)).has_value());
    many.erase(many.begin());
    EXPECT_TRUE(decodePaperCatalogue(archiveOf(many)).has_value());
    ka::Value deep(rollPaper(1000, 1, 3000));
    for (int i = 0; i < ka::kMaxDepth + 2; ++i) deep = ka::Value(ka::Dictionary{{"d", deep}});
    EXPECT_FALSE(decodePaperCatalogue(archiveOf(ka::Dictionary{{"w1", deep}})).has_value());
    setPDELogSink({});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("paper catalogue refused: 4097 papers, more than 4096"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("paper catalogue: keyed archive refused: it nests deeper"), std::string::npos) << lines[1];
}

TEST(FeaturesPanel, WithoutTheBackendsKeysItShowsThePPDMenusAndSaysNoDataYet) {
    Features f;
    ASSERT_NE(f.view, nullptr);
    EXPECT_EQ(f.titles(1), (QStringList{"89 mm", "102 mm", "127 mm", "152 mm"}));
    EXPECT_EQ(f.titles(4), (QStringList{"300 dpi", "400 dpi", "600 dpi"}));
    EXPECT_EQ(representedObject(f.menu(6), f.menu(6)->currentIndex()), "Roll");
    EXPECT_FALSE(f.menu(7)->isEnabled());
    EXPECT_TRUE(f.menu(1)->isEnabled());
    // Roll paper: no two-sided printing, so no binding either.
    EXPECT_FALSE(f.menu(10)->isEnabled());
    EXPECT_FALSE(f.menu(8)->isEnabled());
    EXPECT_FALSE(controlForTag(f.view, 9)->isEnabled());
    EXPECT_EQ(representedObject(f.menu(1), f.menu(1)->currentIndex()), "1020");
    auto* status = qobject_cast<QLabel*>(controlForTag(f.view, kStatusLabelTag));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->text(), "Last updated never: no data from the minilab yet");
    // No time stamp: the data counts as stale and a refresh is asked for.
    EXPECT_EQ(f.panel.sent(), (QStringList{"ReportStatus", "AutoConfigure"}));
    EXPECT_EQ(f.panel.choiceDict().value("Resolution"), "300dpi");
}

// Qt names its D-Bus connection thread after the connection manager.
bool dbusThreadRunning() {
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name.rfind("QDBusConnection", 0) == 0) return true;
    }
    return false;
}

TEST(FeaturesPanel, WithoutASystemBusNoDBusThreadIsStarted) {
    // The tests' bus address names a socket that does not exist. Asking Qt for the bus anyway
    // started its connection thread, whose state Qt freed racily at exit.
    Features f;
    ASSERT_NE(f.view, nullptr);
    EXPECT_FALSE(dbusThreadRunning());
}

TEST(FeaturesPanel, StalenessIsJudgedAgainstTwoMinutes) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    EXPECT_TRUE(QVFeaturesPDEVantrel::ppdDataIsStale(now.addSecs(-121), now));
    EXPECT_FALSE(QVFeaturesPDEVantrel::ppdDataIsStale(now.addSecs(-119), now));
    EXPECT_TRUE(QVFeaturesPDEVantrel::ppdDataIsStale(std::nullopt, now));
    Features fresh({{"JRXTimeStamp", stampSecondsAgo(119)}});
    EXPECT_TRUE(fresh.panel.sent().isEmpty());
    Features old({{"JRXTimeStamp", stampSecondsAgo(121)}});
    EXPECT_EQ(old.panel.sent(), (QStringList{"ReportStatus", "AutoConfigure"}));
    EXPECT_TRUE(QVFeaturesPDEVantrel::dateFromTimeStamp("nonsense") == std::nullopt);
}

TEST(FeaturesPanel, LastUpdatedNamesTheDayWhenItIsNotToday) {
    const QDateTime now(QDate(2026, 12, 9), QTime(14, 30));
    EXPECT_EQ(QVFeaturesPDEVantrel::lastUpdateText(QDateTime(QDate(2026, 12, 9), QTime(9, 5)), now), "9:05 AM");
    EXPECT_EQ(QVFeaturesPDEVantrel::lastUpdateText(QDateTime(QDate(2026, 12, 8), QTime(9, 5)), now),
              "2026-12-08 9:05 AM");
}

TEST(FeaturesPanel, TheCatalogueBuildsWidthNameAndToneMenus) {
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}}, archiveOf(mixedCatalogue()));
    EXPECT_TRUE(f.panel.sortedPaper().has_value());
    EXPECT_EQ(f.titles(1), (QStringList{"89 mm", "127 mm", "152 mm", "152.5 mm"}));
    EXPECT_EQ(f.titles(7), (QStringList{"A4 Gloss", "A5 Matte"}));
    // Tone bits 5: the standard tone plus tones 1 and 3.
    EXPECT_TRUE(f.menu(5)->isEnabled());
    EXPECT_EQ(f.enabledObjects(5), (QStringList{"0", "1", "3"}));
    // The paper data arrived: the refresh timer stops until the panel is shown again.
    EXPECT_FALSE(f.panel.timerRunning());
    f.panel.willShow();
    EXPECT_TRUE(f.panel.timerRunning());
    f.settle();
    auto* status = qobject_cast<QLabel*>(controlForTag(f.view, kStatusLabelTag));
    EXPECT_TRUE(status->text().startsWith("Last updated ")) << status->text().toStdString();
    EXPECT_FALSE(status->text().startsWith("Last updated never"));
}

TEST(FeaturesPanel, ResolutionsAndSurfacesFollowThePaper) {
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}}, archiveOf(mixedCatalogue()));
    f.choose(1, "890");
    EXPECT_EQ(f.host.valueFor("PaperWidth"), "890");
    QButtonGroup* surfaces = matrixGroup(controlForTag(f.view, 2));
    ASSERT_NE(surfaces, nullptr);
    QStringList enabled;
    for (QAbstractButton* cell : surfaces->buttons())
        if (cell->isEnabled()) enabled << cell->text();
    EXPECT_EQ(enabled, (QStringList{"1", "2"}));
    // Surface 2 of 89 mm offers 400 dpi only (and a roll keeps its first item).
    cellForTag(controlForTag(f.view, 2), 2)->click();
    EXPECT_EQ(f.host.valueFor("PaperSurface"), "2");
    EXPECT_EQ(f.enabledObjects(4), (QStringList{"300dpi", "400dpi"}));
    // Sheet paper A5 Matte: 400 dpi only; the chosen 300 dpi is replaced by it.
    f.choose(6, "Sheet");
    EXPECT_EQ(f.host.valueFor("PaperFeed"), "Sheet");
    EXPECT_TRUE(f.menu(7)->isEnabled());
    EXPECT_FALSE(f.menu(1)->isEnabled());
    f.choose(7, "A5 Matte");
    EXPECT_EQ(f.enabledObjects(4), QStringList{"400dpi"});
    EXPECT_EQ(f.host.valueFor("Resolution"), "400dpi");
    f.panel.saveValuesAndReturnError();
    EXPECT_EQ(f.host.settings.value("PaperName"), "A5 Matte");
    EXPECT_EQ(f.host.settings.value("Overspill"), "0.0");
    EXPECT_EQ(f.host.settings.value("BindingWidth"), "0.0");
}

TEST(FeaturesPanel, OneKindOfPaperForcesTheFeed) {
    Features sheets({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}},
                    archiveOf({{"a", sheetPaper("A4", 3000)}, {"b", sheetPaper("Letter", 3000)}}));
    EXPECT_EQ(sheets.host.valueFor("PaperFeed"), "Sheet");
    EXPECT_FALSE(sheets.menu(1)->isEnabled());
    EXPECT_EQ(sheets.enabledObjects(6), QStringList{"Sheet"});
    EXPECT_EQ(sheets.host.valueFor("PaperName"), "A4");

    Features rolls({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}},
                   archiveOf({{"a", rollPaper(1520, 1, 3000)}}));
    EXPECT_EQ(rolls.host.valueFor("PaperFeed"), "Roll");
    EXPECT_FALSE(rolls.menu(7)->isEnabled());
    EXPECT_EQ(rolls.enabledObjects(6), QStringList{"Roll"});
}

TEST(FeaturesPanel, WithoutExtraFeaturesSheetIsRefused) {
    std::vector<std::string> lines;
    setPDELogSink([&](const std::string& l) { lines.push_back(l); });
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}}, archiveOf(mixedCatalogue()));
    f.choose(6, "Sheet");
    setPDELogSink({});
    EXPECT_EQ(f.host.valueFor("PaperFeed"), "Roll");
    EXPECT_EQ(f.panel.choiceDict().value("PaperFeed"), "Roll");
    EXPECT_FALSE(isItemEnabled(f.menu(6), indexOfRepresentedObject(f.menu(6), "Sheet")));
    bool logged = false;
    for (const auto& l : lines) logged |= l == "This printer does not support sheet printing";
    EXPECT_TRUE(logged);
}

TEST(FeaturesPanel, TwoSidedNeedsDuplexHardwareAndSheetsAndTurnsMarginsForLandscape) {
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}, {"JRXDuplex", "True"}},
               archiveOf(mixedCatalogue()));
    EXPECT_FALSE(f.menu(10)->isEnabled());
    f.choose(6, "Sheet");
    ASSERT_TRUE(f.menu(10)->isEnabled());
    f.choose(10, "LongEdge");
    EXPECT_TRUE(f.menu(8)->isEnabled());
    EXPECT_EQ(f.enabledObjects(8), (QStringList{"None", "Left", "Right"}));
    f.choose(8, "Left");
    EXPECT_EQ(f.host.valueFor("BindingMargin"), "Left");
    EXPECT_TRUE(controlForTag(f.view, 9)->isEnabled());

    // Landscape: the shown edge is the page's, the stored one the paper's.
    f.host.orientation_ = PageOrientation::Landscape;
    EXPECT_EQ(f.panel.bindingMarginForMarginReverse("Left", false), "Bottom");
    EXPECT_EQ(f.panel.bindingMarginForMarginReverse("Bottom", true), "Left");
    EXPECT_EQ(f.panel.bindingMarginForMarginReverse("None", false), "None");
    // The long edge of tall paper is now the page's top or bottom.
    f.panel.didSelectTwoSided();
    EXPECT_EQ(f.enabledObjects(8), (QStringList{"None", "Top", "Bottom"}));
    std::vector<std::string> lines;
    setPDELogSink([&](const std::string& l) { lines.push_back(l); });
    f.choose(8, "Top");
    setPDELogSink({});
    EXPECT_EQ(f.host.valueFor("BindingMargin"), "Left");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "flopping \"Binding Margin\" from \"Top\" to \"Left\" for \"Landscape\" orientation");
    // Shown again as the page's edge.
    f.panel.didSelectTwoSided();
    EXPECT_EQ(representedObject(f.menu(8), f.menu(8)->currentIndex()), "Top");

    // Back to roll: two-sided printing is switched off and reset.
    f.host.orientation_ = PageOrientation::Portrait;
    f.choose(6, "Roll");
    EXPECT_FALSE(f.menu(10)->isEnabled());
    EXPECT_EQ(f.host.valueFor("TwoSided"), "None");
    EXPECT_FALSE(f.menu(8)->isEnabled());
    EXPECT_FALSE(controlForTag(f.view, 9)->isEnabled());
}

TEST(FeaturesPanel, AnUndecodableCatalogueIsIgnoredWithALogLine) {
    std::vector<std::string> lines;
    setPDELogSink([&](const std::string& l) { lines.push_back(l); });
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}}, QByteArray("not an archive"));
    setPDELogSink({});
    EXPECT_FALSE(f.panel.sortedPaper().has_value());
    EXPECT_EQ(f.titles(1), (QStringList{"89 mm", "102 mm", "127 mm", "152 mm"}));
    bool ignored = false, zero = false;
    for (const auto& l : lines) {
        ignored |= l.find("does not decode") != std::string::npos;
        zero |= l == "PDE recovered 0 Tessaron Papers";
    }
    EXPECT_TRUE(ignored);
    EXPECT_TRUE(zero);
}

TEST(FeaturesPanel, ManySheetNamesAllReachTheMenu) {
    ka::Dictionary c;
    for (int i = 0; i < 256; ++i) c.emplace("s" + std::to_string(i), sheetPaper(("Paper " + std::to_string(i)).c_str(), 3000));
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}, {"JRXExtraFeatures", "True"}}, archiveOf(c));
    EXPECT_EQ(f.menu(7)->count(), 256);
    EXPECT_EQ(f.menu(7)->itemText(9), "Paper 9");
    EXPECT_EQ(f.menu(7)->itemText(10), "Paper 10");
}

TEST(FeaturesPanel, OverspillFieldsAreWrittenWithOneDecimal) {
    Features f({{"JRXTimeStamp", stampSecondsAgo(5)}});
    auto* slider = qobject_cast<QSlider*>(controlForTag(f.view, 3));
    ASSERT_NE(slider, nullptr);
    slider->setValue(25);
    EXPECT_EQ(f.panel.choiceDict().value("Overspill"), "2.5");
    auto* field = controlForTag(f.view, 323);
    setStringValue(field, "1.26 mm");
    f.panel.controlTextDidEndEditing(field);
    EXPECT_EQ(f.panel.choiceDict().value("Overspill"), "1.3");
}
