// A plug-in built against an older interface: the host must not run any of its code.
#include <QObject>
#include <QtPlugin>

#include <cstdlib>

namespace tessaron::pdetest {

class OldInterfacePlugIn : public QObject {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.vantrel.tessaron.PDEPlugIn/0.9" FILE "good.json")

public:
    // Creating the instance would end the test program.
    OldInterfacePlugIn() { std::abort(); }
};

}  // namespace tessaron::pdetest

#include "OldInterfacePlugIn.moc"
