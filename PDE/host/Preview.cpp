#include "Preview.h"

#include "DialogHost.h"
#include "PageFormat.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <poppler-qt6.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>

namespace tessaron::print {

namespace {

constexpr double kPointsPerMillimetre = 72.0 / 25.4;
// A document whose first page would decode larger than this is not previewed.
constexpr int kMaxDecodedMegabytes = 64;

bool isPDF(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(5) == "%PDF-";
}

QImage pdfFirstPage(const std::string& path, int maxSide) {
    std::unique_ptr<Poppler::Document> document = Poppler::Document::load(QString::fromStdString(path));
    if (!document || document->isLocked() || document->numPages() < 1) return {};
    std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page) return {};
    const QSizeF size = page->pageSizeF();
    const double longest = std::max(size.width(), size.height());
    if (longest <= 0) return {};
    // Points are 1/72 inch: this resolution makes the longer side maxSide pixels.
    const double dpi = 72.0 * maxSide / longest;
    document->setRenderHint(Poppler::Document::Antialiasing);
    return page->renderToImage(dpi, dpi);
}

QImage pictureFirstPage(const std::string& path, int maxSide) {
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kMaxDecodedMegabytes);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maxSide || size.height() > maxSide))
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    return reader.read();
}

std::optional<double> number(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc() || end == text->data()) return std::nullopt;
    return value;
}

}  // namespace

QImage firstPageImage(const std::string& path, int maxSide) {
    if (path.empty() || maxSide <= 0) return {};
    return isPDF(path) ? pdfFirstPage(path, maxSide) : pictureFirstPage(path, maxSide);
}

QString pageEdgeForPaperEdge(const QString& paperEdge, pde::PageOrientation orientation) {
    if (!isLandscape(orientation)) return paperEdge;
    // The panels store the paper's edge for the edge seen on a landscape page; this undoes it.
    if (paperEdge == QLatin1String("Bottom")) return QStringLiteral("Left");
    if (paperEdge == QLatin1String("Top")) return QStringLiteral("Right");
    if (paperEdge == QLatin1String("Left")) return QStringLiteral("Top");
    if (paperEdge == QLatin1String("Right")) return QStringLiteral("Bottom");
    return paperEdge;
}

std::optional<PreviewLayout> previewLayout(const DialogHost& host) {
    const pde::PageOrientation orientation = host.orientation().value_or(pde::PageOrientation::Portrait);
    ppd_size_t* size = host.ppdFile() ? ppdPageSize(host.ppdFile(), nullptr) : nullptr;
    if (!size || size->width <= 0 || size->length <= 0) return std::nullopt;
    const auto [width, height, left, top, right, bottom] = orientedPaper(*size, orientation);
    PreviewLayout layout;
    layout.paper = QSizeF(width, height);
    layout.printArea = QRectF(left, top, width - left - right, height - top - bottom);
    if (!layout.printArea.isValid()) layout.printArea = QRectF(QPointF(0, 0), layout.paper);
    const std::string twoSided = host.currentValue("TwoSided").value_or("None");
    const QString edge = QString::fromStdString(host.currentValue("BindingMargin").value_or("None"));
    const double millimetres = std::clamp(number(host.currentValue("BindingWidth")).value_or(0.0), 0.0, 1000.0);
    if (twoSided == "None" || edge == QLatin1String("None") || millimetres <= 0) return layout;
    layout.bindingEdge = pageEdgeForPaperEdge(edge, orientation);
    const double w = std::min(millimetres * kPointsPerMillimetre, std::min(layout.paper.width(), layout.paper.height()));
    const QSizeF p = layout.paper;
    if (layout.bindingEdge == QLatin1String("Left")) layout.binding = QRectF(0, 0, w, p.height());
    else if (layout.bindingEdge == QLatin1String("Right")) layout.binding = QRectF(p.width() - w, 0, w, p.height());
    else if (layout.bindingEdge == QLatin1String("Top")) layout.binding = QRectF(0, 0, p.width(), w);
    else if (layout.bindingEdge == QLatin1String("Bottom")) layout.binding = QRectF(0, p.height() - w, p.width(), w);
    else layout.bindingEdge.clear();
    return layout;
}

PreviewWidget::PreviewWidget(const DialogHost& host, QImage page, QWidget* parent)
    : QWidget(parent), host_(host), page_(std::move(page)) {
    setObjectName(QStringLiteral("preview"));
    setMinimumSize(160, 200);
    refresh();
}

void PreviewWidget::refresh() {
    layout_ = previewLayout(host_);
    update();
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!layout_) {
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, tr("No paper size"));
        return;
    }
    // The paper, scaled to fit with a small border.
    const QRectF area = QRectF(rect()).adjusted(8, 8, -8, -8);
    const double scale = std::min(area.width() / layout_->paper.width(), area.height() / layout_->paper.height());
    const QSizeF shown = layout_->paper * scale;
    const QPointF origin(area.center().x() - shown.width() / 2, area.center().y() - shown.height() / 2);
    const auto toView = [&](const QRectF& r) {
        return QRectF(origin + r.topLeft() * scale, r.size() * scale);
    };
    const QRectF paper(origin, shown);
    painter.fillRect(paper.translated(3, 3), QColor(0, 0, 0, 60));
    painter.fillRect(paper, Qt::white);

    // The page's content goes inside the print area, less the binding margin.
    QRectF content = toView(layout_->printArea);
    if (layout_->binding) {
        const QRectF band = toView(*layout_->binding);
        if (layout_->bindingEdge == QLatin1String("Left")) content.setLeft(std::max(content.left(), band.right()));
        if (layout_->bindingEdge == QLatin1String("Right")) content.setRight(std::min(content.right(), band.left()));
        if (layout_->bindingEdge == QLatin1String("Top")) content.setTop(std::max(content.top(), band.bottom()));
        if (layout_->bindingEdge == QLatin1String("Bottom")) content.setBottom(std::min(content.bottom(), band.top()));
    }
    if (!page_.isNull() && content.isValid()) {
        const QSizeF fitted = QSizeF(page_.size()).scaled(content.size(), Qt::KeepAspectRatio);
        const QRectF target(content.center().x() - fitted.width() / 2, content.center().y() - fitted.height() / 2,
                            fitted.width(), fitted.height());
        painter.drawImage(target, page_);
    } else {
        painter.setPen(Qt::gray);
        painter.drawText(content, Qt::AlignCenter | Qt::TextWordWrap, tr("No preview"));
    }
    if (layout_->binding) {
        const QRectF band = toView(*layout_->binding);
        painter.fillRect(band, QColor(200, 40, 40, 90));
        painter.setPen(QPen(QColor(200, 40, 40), 1));
        painter.drawRect(band);
    }
    painter.setPen(QPen(QColor(40, 90, 200), 1, Qt::DashLine));
    painter.drawRect(toView(layout_->printArea));
    painter.setPen(QPen(Qt::darkGray, 1));
    painter.drawRect(paper);
}

}  // namespace tessaron::print
