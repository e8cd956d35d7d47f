#include "PaperCatalogue.h"

#include "KeyedArchive.h"
#include "PDELog.h"
#include "PDEStrings.h"

#include <algorithm>
#include <cmath>
#include <span>

namespace tessaron::pde {

namespace {

using tessaron::keyedarchive::Dictionary;
using tessaron::keyedarchive::Value;

const Value* find(const Dictionary& d, const char* key) {
    const auto it = d.find(key);
    return it == d.end() ? nullptr : &it->second;
}

// A number's decimal string (integers as they are, reals without a fraction when whole).
std::optional<QString> decimalString(const Value* v) {
    if (!v) return std::nullopt;
    if (v->isInteger()) return QString::number(*v->integer());
    if (v->isReal()) {
        const double d = *v->real();
        if (!std::isfinite(d)) return std::nullopt;
        return QString::number(d, 'g', 15);
    }
    if (const std::string* s = v->string(); s && !s->empty()) return QString::fromStdString(*s);
    return std::nullopt;
}

PaperRecord recordOf(const Dictionary& d) {
    PaperRecord r;
    if (const Value* v = find(d, "paperName"); v && v->string()) r.name = QString::fromStdString(*v->string());
    r.width = decimalString(find(d, "paperWidth"));
    r.surface = decimalString(find(d, "paperSurface"));
    if (const Value* v = find(d, "paperResolution")) r.resolution = v->integer().value_or(0);
    if (const Value* v = find(d, "paperTone")) r.tone = static_cast<quint64>(v->integer().value_or(0));
    return r;
}

void appendOnce(QStringList& list, const QString& label) {
    if (!list.contains(label)) list.append(label);
}

}  // namespace

std::optional<PaperCatalogue> decodePaperCatalogue(const QByteArray& archive) {
    std::string refusal;
    const auto root = keyedarchive::decode(
        std::span(reinterpret_cast<const std::uint8_t*>(archive.constData()), static_cast<size_t>(archive.size())),
        &refusal);
    // The archive comes from the queue's PPD, which a print server or its administrator may have
    // written: a refusal is logged so that an empty paper menu can be explained.
    if (!refusal.empty()) pdeLog("paper catalogue: %s", refusal.c_str());
    if (!root || !root->dictionary()) return std::nullopt;
    if (root->dictionary()->size() > kMaxCataloguePapers) {
        pdeLog("paper catalogue refused: %lu papers, more than %lu", static_cast<unsigned long>(root->dictionary()->size()),
               static_cast<unsigned long>(kMaxCataloguePapers));
        return std::nullopt;
    }
    PaperCatalogue catalogue;
    for (const auto& [key, value] : *root->dictionary()) {
        if (const Dictionary* paper = value.dictionary())
            catalogue.emplace_back(QString::fromStdString(key), recordOf(*paper));
    }
    std::stable_sort(catalogue.begin(), catalogue.end(),
                     [](const auto& a, const auto& b) { return numericalLess(a.first, b.first); });
    return catalogue;
}

QString resolutionLabel(qint64 resolution) { return QStringLiteral("%1 dpi").arg(resolution / 10); }

SortedPaper sortPaperCatalogue(const PaperCatalogue& catalogue, QStringList* badPapers) {
    SortedPaper sorted;
    for (const auto& [key, paper] : catalogue) {
        sorted.toneBits |= paper.tone;
        QStringList* list = nullptr;
        if (!paper.name.isEmpty()) {
            list = &sorted.names[paper.name];
        } else {
            if (!paper.width || paper.width->isEmpty()) {
                if (badPapers) badPapers->append(key);
                continue;
            }
            auto& surfaces = sorted.widths[*paper.width];
            if (paper.surface) list = &surfaces[*paper.surface];
        }
        if (list) appendOnce(*list, resolutionLabel(paper.resolution));
    }
    return sorted;
}

namespace {
QStringList numericallySorted(QStringList keys) {
    std::stable_sort(keys.begin(), keys.end(), numericalLess);
    return keys;
}
}  // namespace

QStringList sortedPaperNames(const SortedPaper& sorted) { return numericallySorted(sorted.names.keys()); }
QStringList sortedPaperWidths(const SortedPaper& sorted) { return numericallySorted(sorted.widths.keys()); }

QString humanReadablePaperWidthForActual(const QString& width) {
    if (width.isEmpty()) return {};
    const QString whole = width.left(width.size() - 1);
    const QChar last = width.back();
    return whole + (last == QLatin1Char('0') ? QString() : QStringLiteral(".") + last) + QStringLiteral(" mm");
}

}  // namespace tessaron::pde
