// The module as the dialog loads it: metadata, bundle check, the four panels in order.
#include "PDELog.h"
#include "PanelFactory.h"
#include "PanelFixtures.h"

#include <QJsonObject>
#include <QPluginLoader>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tessaron;
using namespace tessaron::pdetest;

namespace {

const QStringList kKinds{"com.vantrel.print.pde.features", "com.vantrel.print.pde.cvp",
                         "com.vantrel.print.pde.coloradjust", "com.vantrel.print.pde.sharpness"};

}  // namespace

TEST(PlugIn, LoadsThroughQPluginLoaderWithTheSuitesIdAndBundle) {
    QPluginLoader loader(QStringLiteral(TESSARON_PDE_MODULE));
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value("IID").toString(), QStringLiteral(TESSARON_PDE_PLUGIN_IID));
    const QJsonObject bundle = meta.value("MetaData").toObject();
    EXPECT_EQ(bundle.value("CFBundleIdentifier").toString(), "com.vantrel.tessaron.pde");
    EXPECT_TRUE(bundle.value("TessaronHelpPage").toString().endsWith("/share/tessaron/help/index.html"))
        << bundle.value("TessaronHelpPage").toString().toStdString();
    auto* plugIn = qobject_cast<pde::PDEPlugIn*>(loader.instance());
    ASSERT_NE(plugIn, nullptr) << loader.errorString().toStdString();
    ASSERT_TRUE(plugIn->initWithBundle(bundle));
    {
        FakeHost host;
        auto panels = plugIn->PDEPanelsForTypeWithHostInfo(pde::kPrinterModuleExtensionType, &host);
        ASSERT_EQ(panels.size(), 4u);
        for (size_t i = 0; i < panels.size(); ++i) {
            EXPECT_EQ(panels[i]->panelKind(), kKinds[static_cast<int>(i)]);
            QWidget* view = panels[i]->panelView();
            ASSERT_NE(view, nullptr) << i;
            EXPECT_FALSE(view->findChildren<QWidget*>().isEmpty());
        }
        EXPECT_EQ(panels[0]->panelName(), "Features");
        EXPECT_EQ(panels[1]->panelName(), "Backprint");
    }
    EXPECT_TRUE(loader.unload());
}

TEST(PlugIn, RefusesAForeignBundleAndOtherTypesAndHostsWithoutConstraintCheck) {
    std::vector<std::string> lines;
    pde::setPDELogSink([&](const std::string& l) { lines.push_back(l); });
    EXPECT_FALSE(pde::acceptBundle(QJsonObject{{"CFBundleIdentifier", "com.other.pde"}}));
    pde::setPDELogSink({});
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("ERROR: bad bundle id \"com.other.pde\" not equal to \"com.vantrel.tessaron.pde\""),
              std::string::npos);

    FakeHost host;
    EXPECT_TRUE(pde::panelsForType("another-type", &host).empty());
    FakeHost oldHost(tessaronPPD(), false);
    EXPECT_TRUE(pde::panelsForType(pde::kPrinterModuleExtensionType, &oldHost).empty());
    EXPECT_TRUE(pde::panelsForType(pde::kPrinterModuleExtensionType, nullptr).empty());
}
