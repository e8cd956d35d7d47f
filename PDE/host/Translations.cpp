#include "Translations.h"

#include "Localize.h"

#include <cstring>

namespace tessaron::print {

QString CatalogueTranslator::translate(const char*, const char* sourceText, const char*, int) const {
    if (!sourceText || !*sourceText) return {};
    const std::string translated = localizedString(sourceText);
    // A null string tells Qt there is no translation, so the English text is used.
    if (translated == sourceText) return {};
    return QString::fromStdString(translated);
}

}  // namespace tessaron::print
