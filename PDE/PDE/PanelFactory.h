// What the plug-in entry does, kept beside the panels so the tests run it without loading
// the module.
#pragma once

#include "PDEInterfaces.h"

namespace tessaron::pde {

// True for this suite's bundle; remembers it for the panels (help, names). Logs a refusal.
bool acceptBundle(const QJsonObject& bundleInfo);

// The four panels in dialog order for the printer-module extension type; none for any other
// type. The list ends at the first panel the host cannot serve.
std::vector<std::unique_ptr<PDEPanel>> panelsForType(const QString& type, PDEHostCallback* host);

}  // namespace tessaron::pde
