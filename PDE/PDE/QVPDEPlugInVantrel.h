// The plug-in's principal object: checks the bundle it was loaded from and hands the dialog
// its four panels.
#pragma once

#include "PDEInterfaces.h"

#include <QObject>

namespace tessaron::pde {

class QVPDEPlugInVantrel : public QObject, public PDEPlugIn {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.vantrel.tessaron.PDEPlugIn/1.0" FILE "TessaronPDE.json")
    Q_INTERFACES(tessaron::pde::PDEPlugIn)
public:
    ~QVPDEPlugInVantrel() override;
    bool initWithBundle(const QJsonObject& bundleInfo) override;
    std::vector<std::unique_ptr<PDEPanel>> PDEPanelsForTypeWithHostInfo(const QString& type,
                                                                      PDEHostCallback* host) override;
};

}  // namespace tessaron::pde
