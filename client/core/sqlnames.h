#pragma once

#include <QString>
#include <QStringList>

// Every statement the terminal sends is a named constant. Where one
// statement serves several tables or columns (the same list for orders and
// write-outs, the same counter read for two counters), it carries %1, %2 ...
// slots, and this is the one way they are filled: with names of tables,
// columns or aliases only. A name is letters, digits, "_" and "$", starting
// with a letter, at most 63 characters; anything else (a value, a quote, a
// blank, a comment) throws ClientError before a request is made. Values never
// go into a statement's text: they travel as parameters.
QString FillNames(const QString& statement, const QStringList& names);

// Whether text may stand in a statement as a name.
bool IsSqlName(const QString& text);
