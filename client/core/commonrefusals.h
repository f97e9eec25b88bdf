#pragma once

#include <QString>

// The refusals that more than one window gives, in the terminal's words.
namespace CommonRefusals {

inline const QString NoArticle = QStringLiteral("Nav ievadīts artikuls !!!");
inline const QString NoQuantity = QStringLiteral("Nav ievadīts daudzums !!!");
inline const QString ArticleNotFound = QStringLiteral("Artikuls nav atrasts !!!");

} // namespace CommonRefusals
