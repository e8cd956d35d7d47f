// The preview beside the dialog's pages: the first page of the first document, scaled into
// the chosen paper as the page is seen (orientation applied), with the print area and, on
// two-sided jobs, the binding margin drawn.
#pragma once

#include "PDEInterfaces.h"

#include <QImage>
#include <QRectF>
#include <QWidget>

#include <optional>
#include <string>

namespace tessaron::print {

class DialogHost;

// The first page of a document as an image no larger than `maxSide` pixels each way: images
// through Qt, PDF through poppler. Null when the document is neither or does not decode.
QImage firstPageImage(const std::string& path, int maxSide = 800);

// Where things lie on the page as it is seen, in points from its top left corner.
struct PreviewLayout {
    QSizeF paper;           // the page (paper turned by the orientation)
    QRectF printArea;       // the imageable area
    std::optional<QRectF> binding;  // the binding margin, when two-sided with a margin
    QString bindingEdge;    // the edge as seen on the page ("Left" ...), empty without margin
};

// From the host's marked paper size, orientation, "TwoSided", "BindingMargin" (an edge of
// the paper) and "BindingWidth" (millimetres). None without a paper size.
std::optional<PreviewLayout> previewLayout(const DialogHost& host);

// The edge of the page on which the paper's edge `paperEdge` lies in `orientation`.
QString pageEdgeForPaperEdge(const QString& paperEdge, pde::PageOrientation orientation);

class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    PreviewWidget(const DialogHost& host, QImage page, QWidget* parent = nullptr);
    // Reads the host's choices again and repaints.
    void refresh();
    const std::optional<PreviewLayout>& layout() const { return layout_; }
    QSize sizeHint() const override { return {220, 300}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const DialogHost& host_;
    QImage page_;
    std::optional<PreviewLayout> layout_;
};

}  // namespace tessaron::print
