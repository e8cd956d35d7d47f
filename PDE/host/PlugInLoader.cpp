#include "PlugInLoader.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonValue>

namespace tessaron::print {

namespace {

// A directory stands for TessaronPDE inside it. The file found is named by its absolute
// path, so QPluginLoader neither searches its library paths nor adds prefixes of its own.
QString libraryPath(const QString& location) {
    const QFileInfo info(location);
    const QString wanted = info.isDir() ? QDir(location).filePath(QString::fromLatin1(kPlugInBaseName)) : location;
    const QFileInfo file(wanted);
    if (file.isFile()) return file.absoluteFilePath();
    for (const QString& candidate : {file.fileName() + ".so", "lib" + file.fileName() + ".so"}) {
        const QFileInfo named(QDir(file.path()).filePath(candidate));
        if (named.isFile()) return named.absoluteFilePath();
    }
    return {};
}

}  // namespace

QString plugInLocation() {
    const QByteArray overridden = qgetenv(TESSARON_PDE_PATH_VARIABLE);
    if (!overridden.isEmpty()) return QString::fromLocal8Bit(overridden);
    return QString::fromUtf8(TESSARON_PLUGIN_DIR);
}

std::unique_ptr<LoadedPlugIn> loadPlugIn(const QString& location, QString& error) {
    const QString path = libraryPath(location);
    if (path.isEmpty()) {
        error = QStringLiteral("the print-dialog plug-in %1 is missing (looked in %2; set %3 to its directory)")
                    .arg(QString::fromLatin1(kPlugInBaseName), location, QString::fromLatin1(TESSARON_PDE_PATH_VARIABLE));
        return nullptr;
    }
    auto loader = std::make_unique<QPluginLoader>(path);
    // Reading the metadata does not run the library's code.
    const QJsonObject meta = loader->metaData();
    if (meta.isEmpty()) {
        error = QStringLiteral("%1 is not a Qt plug-in: %2").arg(path, loader->errorString());
        return nullptr;
    }
    const QString iid = meta.value(QStringLiteral("IID")).toString();
    if (iid != QLatin1String(TESSARON_PDE_PLUGIN_IID)) {
        error = QStringLiteral("%1 offers the interface \"%2\", not \"%3\"")
                    .arg(loader->fileName(), iid, QLatin1String(TESSARON_PDE_PLUGIN_IID));
        return nullptr;
    }
    QObject* instance = loader->instance();
    auto* plugIn = qobject_cast<pde::PDEPlugIn*>(instance);
    if (!plugIn) {
        error = QStringLiteral("%1 cannot be loaded: %2")
                    .arg(loader->fileName(), instance ? QStringLiteral("its principal class lacks the interface")
                                                      : loader->errorString());
        return nullptr;
    }
    const QJsonObject bundleInfo = meta.value(QStringLiteral("MetaData")).toObject();
    if (!plugIn->initWithBundle(bundleInfo)) {
        error = QStringLiteral("%1 refused its bundle \"%2\"")
                    .arg(loader->fileName(), bundleInfo.value(QStringLiteral("CFBundleIdentifier")).toString());
        return nullptr;
    }
    return std::make_unique<LoadedPlugIn>(std::move(loader), plugIn, bundleInfo);
}

}  // namespace tessaron::print
