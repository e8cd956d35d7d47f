// The contract between the print dialog (tessaron-print) and a dialog-extension plug-in:
// the host callback the panels talk to, the panel protocol and the plug-in entry. Header only,
// so the host links no panel code and the plug-in no host code.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <cups/ppd.h>

#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace tessaron::pde {

// The print system's type for printer-module dialog extensions.
inline constexpr const char* kPrinterModuleExtensionType = "BDB091F4-E57F-11D3-B5CC-0050E4603277";
inline constexpr const char* kBundleIdentifier = "com.vantrel.tessaron.pde";

enum class PageOrientation { Portrait, Landscape, ReversePortrait, ReverseLandscape };

// The paper rectangle before margins, in points, as the page format gives it.
struct PaperRect {
    double left = 0, top = 0, right = 0, bottom = 0;
    double width() const { return right - left; }
    double height() const { return bottom - top; }
};

// What the dialog offers a panel: printer, print settings, page format, PPD, constraint check.
class PDEHostCallback {
public:
    virtual ~PDEHostCallback() = default;
    // The CUPS queue name.
    virtual QString printerID() const = 0;
    // The queue's device URI; empty while none is known.
    virtual QString printerDeviceURI() const = 0;
    // The host's PPD; borrowed, never closed by a panel.
    virtual ppd_file_t* ppdFile() const = 0;
    // Whether this host answers willChangePPDOptionKeyValuePpdChoice (panels need it).
    virtual bool respondsToWillChangePPDOptionKeyValue() const = 0;
    // Marks the choice in the host's PPD (or its settings for a key the PPD lacks); false when
    // the host refuses it, for example because of a PPD constraint.
    virtual bool willChangePPDOptionKeyValuePpdChoice(const QString& key, const QString& choice) = 0;
    virtual bool hasPrintSettings() const = 0;
    virtual std::optional<QString> printSettingsGetValue(const QString& key) const = 0;
    // 0 on success, otherwise a status code.
    virtual int printSettingsSetValue(const QString& key, const QString& value) = 0;
    virtual std::optional<PageOrientation> orientation() const = 0;
    virtual std::optional<PaperRect> unadjustedPaperRect() const = 0;
};

// One panel of the dialog; called on the dialog's main thread.
class PDEPanel {
public:
    virtual ~PDEPanel() = default;
    virtual QString panelName() = 0;
    virtual QString panelKind() const = 0;
    // The panel's view, loaded on first use; null when it cannot be loaded. Owned by the panel.
    virtual QWidget* panelView() = 0;
    virtual QMap<QString, QString> summaryInfo() = 0;
    // True when the dialog should show its own help.
    virtual bool shouldShowHelp() = 0;
    virtual void willShow() = 0;
    virtual bool shouldHide() = 0;
    virtual bool saveValuesAndReturnError() = 0;
    virtual bool restoreValuesAndReturnError() = 0;
    virtual void printWindowWillClose(bool userCancelled) = 0;
    virtual QStringList supportedPPDOptionKeys() = 0;
    virtual void PPDOptionKeyValueDidChangePpdChoice(const QString& key, const QString& choice) = 0;
};

// The plug-in's principal object.
class PDEPlugIn {
public:
    virtual ~PDEPlugIn() = default;
    // `bundleInfo` is the plug-in's metadata; false when it is not this suite's bundle.
    virtual bool initWithBundle(const QJsonObject& bundleInfo) = 0;
    // The panels for `type`; empty for any other type. They must be destroyed before the
    // plug-in is unloaded.
    virtual std::vector<std::unique_ptr<PDEPanel>> PDEPanelsForTypeWithHostInfo(const QString& type,
                                                                              PDEHostCallback* host) = 0;
};

}  // namespace tessaron::pde

#define TESSARON_PDE_PLUGIN_IID "com.vantrel.tessaron.PDEPlugIn/1.0"
Q_DECLARE_INTERFACE(tessaron::pde::PDEPlugIn, TESSARON_PDE_PLUGIN_IID)
