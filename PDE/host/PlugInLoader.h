// Loads TessaronPDE from the suite's plug-in directory (or the directory or file named by
// TESSARON_PDE_PATH) with QPluginLoader, checks its interface id before any of its code
// runs, and hands it its bundle information.
#pragma once

#include "PDEInterfaces.h"

#include <QJsonObject>
#include <QPluginLoader>
#include <QString>

#include <memory>

namespace tessaron::print {

inline constexpr const char* kPlugInBaseName = "TessaronPDE";

class LoadedPlugIn {
public:
    explicit LoadedPlugIn(std::unique_ptr<QPluginLoader> loader, pde::PDEPlugIn* plugIn, QJsonObject bundleInfo)
        : loader_(std::move(loader)), plugIn_(plugIn), bundleInfo_(std::move(bundleInfo)) {}
    // The library stays loaded: panels and their views may outlive this object's users.
    ~LoadedPlugIn() = default;
    LoadedPlugIn(const LoadedPlugIn&) = delete;
    LoadedPlugIn& operator=(const LoadedPlugIn&) = delete;

    pde::PDEPlugIn& plugIn() const { return *plugIn_; }
    const QJsonObject& bundleInfo() const { return bundleInfo_; }
    QString fileName() const { return loader_->fileName(); }

private:
    std::unique_ptr<QPluginLoader> loader_;
    pde::PDEPlugIn* plugIn_;
    QJsonObject bundleInfo_;
};

// The file the host loads: TESSARON_PDE_PATH (a directory holding TessaronPDE, or the
// library itself) when set, else TessaronPDE in the installed plug-in directory.
QString plugInLocation();

// Null with `error` set to a sentence for the user when the file is missing, is no Qt
// plug-in, has another interface id, or refuses its bundle.
std::unique_ptr<LoadedPlugIn> loadPlugIn(const QString& location, QString& error);

}  // namespace tessaron::print
