// The stand-in plug-in: answers two test panels for the dialog-extension type and checks
// its bundle identifier as the suite's plug-in does.
#pragma once

#include "PDEInterfaces.h"

#include <QObject>

namespace tessaron::pdetest {

class TestPlugInBase : public QObject, public pde::PDEPlugIn {
public:
    bool initWithBundle(const QJsonObject& bundleInfo) override;
    std::vector<std::unique_ptr<pde::PDEPanel>> PDEPanelsForTypeWithHostInfo(const QString& type,
                                                                             pde::PDEHostCallback* host) override;
};

}  // namespace tessaron::pdetest
