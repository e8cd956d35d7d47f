#include "PrinterData.h"

#include "PDELog.h"

#include <cups/cups.h>
#include <unistd.h>

#include <vector>

namespace tessaron::pde {

std::optional<QString> cupsValueForAttributeForPPD(const QString& name, ppd_file_t* ppd) {
    if (!ppd || name.isEmpty()) return std::nullopt;
    ppd_attr_t* attr = ppdFindAttr(ppd, name.toUtf8().constData(), nullptr);
    if (!attr || !attr->value) return std::nullopt;
    return QString::fromUtf8(attr->value);
}

std::optional<QString> cupsDefaultChoiceForOptionForPPD(const QString& key, ppd_file_t* ppd) {
    if (!ppd || key.isEmpty()) return std::nullopt;
    if (ppd_option_t* option = ppdFindOption(ppd, key.toUtf8().constData()))
        return QString::fromUtf8(option->defchoice);
    return cupsValueForAttributeForPPD(key + QStringLiteral("Default"), ppd);
}

std::optional<QString> markedChoiceForPPD(const QString& key, ppd_file_t* ppd) {
    if (!ppd || key.isEmpty()) return std::nullopt;
    ppd_choice_t* choice = ppdFindMarkedChoice(ppd, key.toUtf8().constData());
    if (!choice) return std::nullopt;
    return QString::fromUtf8(choice->choice);
}

std::optional<QString> cupsChoiceForOptionForPPD(const QString& key, ppd_file_t* ppd) {
    if (auto marked = markedChoiceForPPD(key, ppd)) return marked;
    return cupsDefaultChoiceForOptionForPPD(key, ppd);
}

std::optional<QByteArray> ppdSavedDataForAttributeForPPD(const QString& baseName, ppd_file_t* ppd) {
    if (!ppd || baseName.isEmpty()) return std::nullopt;
    QByteArray text;
    for (unsigned i = 0;; ++i) {
        const QByteArray name = baseName.toUtf8() + QByteArray::number(i, 16).rightJustified(5, '0');
        ppd_attr_t* attr = ppdFindAttr(ppd, name.constData(), nullptr);
        if (!attr || !attr->value || !*attr->value) break;
        text.append(attr->value);
        if (text.size() > kMaxSavedDataText) {
            pdeLog("saved data %s exceeds %lld characters; ignored", baseName.toUtf8().constData(),
                   static_cast<long long>(kMaxSavedDataText));
            return std::nullopt;
        }
    }
    if (text.isEmpty()) return std::nullopt;
    std::vector<char> decoded(static_cast<size_t>(text.size()) + 1);
    int length = static_cast<int>(decoded.size());
    if (!httpDecode64_2(decoded.data(), &length, text.constData()) || length <= 0) return std::nullopt;
    return QByteArray(decoded.data(), length);
}

FreshPPD::FreshPPD(const QString& queue) {
    if (queue.isEmpty()) return;
    const char* file = cupsGetPPD2(CUPS_HTTP_DEFAULT, queue.toUtf8().constData());
    if (!file) return;
    path_ = QString::fromUtf8(file);
    ppd_ = ppdOpenFile(file);
}

FreshPPD::~FreshPPD() {
    if (ppd_) ppdClose(ppd_);
    if (!path_.isEmpty()) unlink(path_.toUtf8().constData());
}

QMap<QString, QString> ppdValuesForAttributesOfQueue(const QString& queue, const QStringList& names) {
    QMap<QString, QString> values;
    if (names.isEmpty() || queue.isEmpty()) return values;
    const FreshPPD fresh(queue);
    if (!fresh.ppd()) {
        pdeLog("failed to open fresh ppd = %p", static_cast<void*>(fresh.ppd()));
        return values;
    }
    for (const QString& name : names) {
        pdeLog("searching fresh ppd for key %s", name.toUtf8().constData());
        if (auto value = cupsValueForAttributeForPPD(name, fresh.ppd())) values.insert(name, *value);
    }
    return values;
}

std::optional<QByteArray> ppdSavedDataForAttributeOfQueue(const QString& queue, const QString& baseName) {
    const FreshPPD fresh(queue);
    if (!fresh.ppd()) return std::nullopt;
    return ppdSavedDataForAttributeForPPD(baseName, fresh.ppd());
}

}  // namespace tessaron::pde
