// The stand-in plug-in with the suite's interface id and bundle identifier.
#include "TestPlugIn.h"

namespace tessaron::pdetest {

class GoodPlugIn : public TestPlugInBase {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.vantrel.tessaron.PDEPlugIn/1.0" FILE "good.json")
    Q_INTERFACES(tessaron::pde::PDEPlugIn)
};

}  // namespace tessaron::pdetest

#include "GoodPlugIn.moc"
