// The paper catalogue the backend keeps in the queue's PPD (a keyed archive of paper key to
// paper record) and the menus' view of it: sheet names and roll widths with their surfaces,
// each with the resolution labels ("300 dpi") it offers.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tessaron::pde {

struct PaperRecord {
    QString name;                    // sheet paper when not empty
    std::optional<QString> width;    // tenths of a millimetre, decimal
    std::optional<QString> surface;  // surface code, decimal
    qint64 resolution = 0;           // dpi times ten
    quint64 tone = 0;                // bit set of tone values
};

// Entries in numerical, case-insensitive key order.
using PaperCatalogue = std::vector<std::pair<QString, PaperRecord>>;

// Twice the papers the backend keeps from a minilab: room for older writers, none for a
// catalogue that would flood the menus.
inline constexpr size_t kMaxCataloguePapers = 4096;

// None when the data is no keyed archive of paper records, or one beyond the decoder's limits
// or with more than kMaxCataloguePapers papers (both logged).
std::optional<PaperCatalogue> decodePaperCatalogue(const QByteArray& archive);

struct SortedPaper {
    QMap<QString, QStringList> names;                   // sheet name -> resolution labels
    QMap<QString, QMap<QString, QStringList>> widths;   // width -> surface -> resolution labels
    quint64 toneBits = 0;
    bool operator==(const SortedPaper&) const = default;
};

// `badPapers` receives the keys of roll entries without a width (skipped).
SortedPaper sortPaperCatalogue(const PaperCatalogue& catalogue, QStringList* badPapers = nullptr);
QStringList sortedPaperNames(const SortedPaper& sorted);
QStringList sortedPaperWidths(const SortedPaper& sorted);

QString resolutionLabel(qint64 resolution);
// 1520 -> "152 mm", 1525 -> "152.5 mm"; empty for an empty width.
QString humanReadablePaperWidthForActual(const QString& width);

}  // namespace tessaron::pde
