// The features panel's refresh paths: a paper notification over a private message bus, as
// the backend posts it, rebuilds the menus; a panel destroyed while its command job is still
// awaited neither crashes nor leaks.
#include "Controls.h"
#include "KeyedArchive.h"
#include "Notify.h"
#include "PanelFixtures.h"
#include "Process.h"
#include "QVFeaturesPDEVantrel.h"
#include "TempDir.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <mutex>

using namespace tessaron::pde;
using namespace tessaron::pdetest;
namespace ka = tessaron::keyedarchive;

namespace {

class StandInFeatures : public QVFeaturesPDEVantrel {
public:
    ~StandInFeatures() override { stopBackgroundWork(); }
    QMap<QString, QString> ppdValuesForAttributes(const QStringList&) const override {
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
        return {{"JRXTimeStamp", QString::number(reference.secsTo(QDateTime::currentDateTimeUtc()))}};
    }
    std::optional<QByteArray> ppdSavedDataForAttribute(const QString&) const override {
        std::lock_guard lock(mutex);
        if (papers.isEmpty()) return std::nullopt;
        return papers;
    }
    mutable std::mutex mutex;
    QByteArray papers;
};

}  // namespace

TEST(FeaturesRefresh, APaperNotificationOnTheBusRebuildsTheMenus) {
    tessaron::test::TempDir dir;
    const std::string address = "unix:path=" + dir.path() + "/bus";
    tessaron::test::ProcessSpec spec;
    spec.program = "/usr/bin/dbus-daemon";
    spec.args = {"--session", "--nofork", "--address=" + address, "--print-address=1"};
    tessaron::test::BackgroundProcess bus(spec);
    ASSERT_TRUE(bus.waitForOutput("unix:path", std::chrono::seconds(10))) << bus.stderrSoFar();
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    if (!QDBusConnection::systemBus().isConnected())
        GTEST_SKIP() << "this process already settled on another system bus; run the test on its own";

    FakeHost host;
    StandInFeatures panel;
    ASSERT_TRUE(panel.initWithCallback(&host));
    QWidget* view = panel.panelView();
    ASSERT_TRUE(waitUntil([&] { return !panel.refreshRunning(); }));
    auto* widths = qobject_cast<QComboBox*>(controlForTag(view, 1));
    ASSERT_EQ(widths->count(), 4);  // the PPD's widths: no catalogue yet

    const auto archive = ka::encode(ka::Value(ka::Dictionary{
        {"a", ka::Dictionary{{"paperWidth", 2030}, {"paperSurface", 1}, {"paperResolution", 3000}}},
        {"b", ka::Dictionary{{"paperWidth", 1525}, {"paperSurface", 2}, {"paperResolution", 3000}}}}));
    ASSERT_TRUE(archive.has_value());
    {
        std::lock_guard lock(panel.mutex);
        panel.papers = QByteArray(reinterpret_cast<const char*>(archive->data()), static_cast<qsizetype>(archive->size()));
    }
    std::string error;
    ASSERT_TRUE(tessaron::notify::postDistributedNotification("JRXPrinterPaperDidUpdateNotification",
                                                              host.printerDeviceURI().toStdString(), &error))
        << error;
    ASSERT_TRUE(waitUntil([&] { return panel.sortedPaper().has_value(); }));
    EXPECT_EQ(widths->count(), 2);
    EXPECT_EQ(widths->itemText(0), "152.5 mm");
    EXPECT_EQ(widths->itemText(1), "203 mm");
}

TEST(FeaturesRefresh, DestroyingAPanelWhileItsCommandJobIsAwaitedIsSafe) {
    FakeHost host;
    auto panel = std::make_unique<StandInFeatures>();
    ASSERT_TRUE(panel->initWithCallback(&host));
    panel->panelView();
    // No scheduler answers here: the wait ends at its first look, or at the unload.
    panel->waitForJobCompletion(4711);
    panel.reset();
    // A panel of the same host still works afterwards.
    StandInFeatures other;
    EXPECT_TRUE(other.initWithCallback(&host));
    EXPECT_NE(other.panelView(), nullptr);
}

namespace {

// Its first PPD read waits until the test lets it go on.
class SlowFeatures : public StandInFeatures {
public:
    ~SlowFeatures() override {
        release();
        stopBackgroundWork();
    }
    QMap<QString, QString> ppdValuesForAttributes(const QStringList& names) const override {
        gate.wait();
        return StandInFeatures::ppdValuesForAttributes(names);
    }
    void release() {
        std::call_once(released, [this] { open.set_value(); });
    }
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::once_flag released;
};

}  // namespace

TEST(FeaturesRefresh, ASavedSheetFeedSurvivesUntilTheCapabilitiesAreKnown) {
    FakeHost host;
    ASSERT_TRUE(host.willChangePPDOptionKeyValuePpdChoice("PaperFeed", "Sheet"));
    SlowFeatures panel;
    ASSERT_TRUE(panel.initWithCallback(&host));
    EXPECT_EQ(panel.choiceDict().value("PaperFeed"), "Sheet");
    EXPECT_EQ(host.valueFor("PaperFeed"), "Sheet");
    panel.release();
    ASSERT_TRUE(waitUntil([&] { return !panel.refreshRunning(); }));
    // Now known to lack extra features: choosing sheets is refused.
    panel.markChoiceForPPDOptionKeyFromSender(QStringLiteral("Sheet"), QStringLiteral("PaperFeed"), nullptr);
    EXPECT_EQ(panel.choiceDict().value("PaperFeed"), "Roll");
}
