#include "PanelFactory.h"

#include "PDELog.h"
#include "PLUMEXBasePDEVantrel.h"
#include "QVBackprintPDEVantrel.h"
#include "QVColorAdjustPDEVantrel.h"
#include "QVFeaturesPDEVantrel.h"
#include "QVSharpnessPDEVantrel.h"

namespace tessaron::pde {

bool acceptBundle(const QJsonObject& bundleInfo) {
    const QString found = bundleInfo.value(QStringLiteral("CFBundleIdentifier")).toString();
    if (found != QLatin1String(kBundleIdentifier)) {
        pdeLog("ERROR: bad bundle id \"%s\" not equal to \"%s\"", found.toUtf8().constData(), kBundleIdentifier);
        return false;
    }
    PLUMEXBasePDEVantrel::setPlugInBundle(bundleInfo);
    return true;
}

namespace {

template <typename Panel>
bool addPanel(std::vector<std::unique_ptr<PDEPanel>>& panels, PDEHostCallback* host) {
    auto panel = std::make_unique<Panel>();
    if (!panel->initWithCallback(host)) return false;
    panels.push_back(std::move(panel));
    return true;
}

}  // namespace

std::vector<std::unique_ptr<PDEPanel>> panelsForType(const QString& type, PDEHostCallback* host) {
    std::vector<std::unique_ptr<PDEPanel>> panels;
    if (type != QLatin1String(kPrinterModuleExtensionType)) return panels;
    addPanel<QVFeaturesPDEVantrel>(panels, host) && addPanel<QVBackprintPDEVantrel>(panels, host) &&
        addPanel<QVColorAdjustPDEVantrel>(panels, host) && addPanel<QVSharpnessPDEVantrel>(panels, host);
    return panels;
}

}  // namespace tessaron::pde
