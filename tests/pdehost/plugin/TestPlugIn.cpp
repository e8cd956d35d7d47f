#include "TestPlugIn.h"

#include "TestPanel.h"

namespace tessaron::pdetest {

bool TestPlugInBase::initWithBundle(const QJsonObject& bundleInfo) {
    return bundleInfo.value(QStringLiteral("CFBundleIdentifier")).toString() == QLatin1String(pde::kBundleIdentifier);
}

std::vector<std::unique_ptr<pde::PDEPanel>> TestPlugInBase::PDEPanelsForTypeWithHostInfo(const QString& type,
                                                                                        pde::PDEHostCallback* host) {
    std::vector<std::unique_ptr<pde::PDEPanel>> panels;
    if (type != QLatin1String(pde::kPrinterModuleExtensionType) || !host || !host->ppdFile()) return panels;
    panels.push_back(std::make_unique<TestPanel>(QStringLiteral("Test Tone"), *host));
    panels.push_back(std::make_unique<TestPanel>(QStringLiteral("Second Panel"), *host));
    return panels;
}

}  // namespace tessaron::pdetest
