#pragma once

#include <QString>
#include <QStringList>

// The article code of the n-th generated goods item (scripts/make-db --goods):
// EAN-13 made of 479, n in nine digits and the check digit.
QString generatedArticleCode(int n);

// count codes of goods picked uniformly from 1..goods, the same for the same seed.
QStringList randomArticleCodes(int goods, int count, unsigned seed);
