#include "server/db/statementcatalogue.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// The file is a list of a few hundred statements; anything much larger is
// not the build's file, and is not read into memory whole.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

std::shared_ptr<const StatementCatalogue> refuse(QString* error, const QString& path,
                                                 const QString& why)
{
    if (error)
        *error = QStringLiteral("Vaicājumu sarakstu '%1' nevar izmantot: %2 !!!").arg(path, why);
    return nullptr;
}

} // namespace

std::shared_ptr<const StatementCatalogue> StatementCatalogue::load(const QString& path,
                                                                   QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(error, path, QStringLiteral("nevar atvērt (%1)").arg(file.errorString()));
    if (file.size() > kMaxFileBytes)
        return refuse(error, path,
                      QStringLiteral("fails ir lielāks par %1 MiB").arg(kMaxFileBytes >> 20));
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError)
        return refuse(error, path,
                      QStringLiteral("nav derīgs JSON (%1, %2. baits)")
                          .arg(parse.errorString())
                          .arg(parse.offset));
    if (!document.isArray())
        return refuse(error, path, QStringLiteral("tam jābūt vaicājumu teksta masīvam"));
    const QJsonArray array = document.array();
    QSet<QString> texts;
    texts.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue item = array.at(i);
        if (!item.isString() || item.toString().trimmed().isEmpty())
            return refuse(error, path,
                          QStringLiteral("%1. elements nav vaicājuma teksts").arg(i + 1));
        texts.insert(item.toString());
    }
    return std::make_shared<const StatementCatalogue>(std::move(texts));
}
