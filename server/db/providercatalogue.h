#pragma once

#include "common/remoteparam.h"

#include <QList>
#include <QString>

// The fixed set of named providers a terminal may use, each with the query it
// wraps, that query's own SQL and parameters. A request's command text
// replaces the SQL for that request only; dspAkcijas is used with its own.
struct ProviderDefinition
{
    QString name;      // what terminals send, e.g. "dspTempQuery"
    QString queryName; // the server-side query behind it, e.g. "qTempQuery"
    QString designSql;
    RemoteParams designParams;
};

class ProviderCatalogue final
{
public:
    static const QList<ProviderDefinition>& providers();
    // Case-insensitive, as provider names are matched by the terminals' proxies.
    static const ProviderDefinition* find(const QString& name);
    static QStringList names();
    // Whether the text is one provider's own SQL, exactly.
    static bool isDesignSql(const QString& text);
};
