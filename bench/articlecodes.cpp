#include "bench/articlecodes.h"

#include <random>

QString generatedArticleCode(int n)
{
    const QString body =
        QStringLiteral("479") + QStringLiteral("%1").arg(n, 9, 10, QLatin1Char('0'));
    int sum = 0;
    for (int i = 0; i < body.size(); ++i)
        sum += body.at(i).digitValue() * (i % 2 == 0 ? 1 : 3);
    return body + QString::number((10 - sum % 10) % 10);
}

QStringList randomArticleCodes(int goods, int count, unsigned seed)
{
    // mt19937 and our own scaling instead of a distribution: the sequence is
    // then the same with every standard library.
    std::mt19937 generator(seed);
    QStringList codes;
    codes.reserve(count);
    for (int i = 0; i < count; ++i)
        codes.append(generatedArticleCode(int(generator() % unsigned(goods)) + 1));
    return codes;
}
