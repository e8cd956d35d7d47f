#include "QVPDEPlugInVantrel.h"

#include "PDELog.h"
#include "PanelFactory.h"

namespace tessaron::pde {

QVPDEPlugInVantrel::~QVPDEPlugInVantrel() { pdeLog("entered %s in %s", "dealloc", "QVPDEPlugInVantrel"); }

bool QVPDEPlugInVantrel::initWithBundle(const QJsonObject& bundleInfo) { return acceptBundle(bundleInfo); }

std::vector<std::unique_ptr<PDEPanel>> QVPDEPlugInVantrel::PDEPanelsForTypeWithHostInfo(const QString& type,
                                                                                        PDEHostCallback* host) {
    return panelsForType(type, host);
}

}  // namespace tessaron::pde
