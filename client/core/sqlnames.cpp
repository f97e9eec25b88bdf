#include "client/core/sqlnames.h"

#include "client/core/clienterror.h"

#include <QRegularExpression>

bool IsSqlName(const QString& text)
{
    static const QRegularExpression name(QStringLiteral("^[A-Za-z][A-Za-z0-9_$]{0,62}$"));
    return name.match(text).hasMatch();
}

QString FillNames(const QString& statement, const QStringList& names)
{
    QString sql = statement;
    for (const QString& name : names) {
        if (!IsSqlName(name))
            throw ClientError(QStringLiteral("Nederīgs nosaukums datu bāzei: '%1'").arg(name));
        // A checked name holds no "%", so it cannot become a slot itself.
        sql = sql.arg(name);
    }
    return sql;
}
