// The dialog's own texts come from the suite's gettext catalogue, as the panels' do: one
// translation per language for the whole dialog.
#pragma once

#include <QTranslator>

namespace tessaron::print {

class CatalogueTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;
    bool isEmpty() const override { return false; }
};

}  // namespace tessaron::print
