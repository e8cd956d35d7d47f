// The queue's PPD as the panels read it: attributes, option choices, chunked Base64 saved
// data, and fresh copies fetched from the CUPS server.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cups/ppd.h>

#include <optional>

namespace tessaron::pde {

// Largest saved data read back (Base64 text); the paper catalogue is a few kilobytes.
inline constexpr qsizetype kMaxSavedDataText = 8 * 1024 * 1024;

std::optional<QString> cupsValueForAttributeForPPD(const QString& name, ppd_file_t* ppd);
// The option's default choice; for a name that is no option, the attribute "<name>Default".
std::optional<QString> cupsDefaultChoiceForOptionForPPD(const QString& key, ppd_file_t* ppd);
// The marked choice, else the default.
std::optional<QString> cupsChoiceForOptionForPPD(const QString& key, ppd_file_t* ppd);
// The marked choice keyword only.
std::optional<QString> markedChoiceForPPD(const QString& key, ppd_file_t* ppd);
// Decoded chunks "<base>00000", "<base>00001", ... up to the first missing or empty one.
std::optional<QByteArray> ppdSavedDataForAttributeForPPD(const QString& baseName, ppd_file_t* ppd);

// A PPD fetched from the server into a temporary file, open while the object lives; the
// file is removed when it goes.
class FreshPPD {
public:
    explicit FreshPPD(const QString& queue);
    ~FreshPPD();
    FreshPPD(const FreshPPD&) = delete;
    FreshPPD& operator=(const FreshPPD&) = delete;

    ppd_file_t* ppd() const { return ppd_; }
    bool downloaded() const { return !path_.isEmpty(); }

private:
    QString path_;
    ppd_file_t* ppd_ = nullptr;
};

// Attribute values of a fresh copy; names without a value are absent.
QMap<QString, QString> ppdValuesForAttributesOfQueue(const QString& queue, const QStringList& names);
std::optional<QByteArray> ppdSavedDataForAttributeOfQueue(const QString& queue, const QString& baseName);

}  // namespace tessaron::pde
