// The right interface, but another vendor's bundle: the plug-in refuses to start.
#include "TestPlugIn.h"

namespace tessaron::pdetest {

class ForeignBundlePlugIn : public TestPlugInBase {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.vantrel.tessaron.PDEPlugIn/1.0" FILE "foreign.json")
    Q_INTERFACES(tessaron::pde::PDEPlugIn)
};

}  // namespace tessaron::pdetest

#include "ForeignBundlePlugIn.moc"
