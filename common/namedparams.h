#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// SQL whose named markers (:NAME) have been turned into the positional '?'
// markers the Firebird client library understands.
struct PositionalSql
{
    QString sql;
    // One name per '?', in order; a name used several times appears several times.
    QStringList names;
};

// Replaces every :NAME marker with '?'. Text in '...' literals, "..." identifiers
// and comments is left alone, as is a colon not followed by a name. PSQL bodies
// keep their :variable references: DDL (CREATE/ALTER/RECREATE ...) is returned
// unchanged and an EXECUTE BLOCK is converted only up to its AS.
PositionalSql toPositionalSql(const QString& sql);

// The same scan with each :NAME marker replaced by what replacement returns
// for its name (without the colon). The terminal uses it to give the
// parameters of statements it joins into one EXECUTE BLOCK names of their own.
QString renameMarkers(const QString& sql,
                      const std::function<QString(const QString& name)>& replacement);
