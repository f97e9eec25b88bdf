#pragma once

#include <QString>

// An error text as the server's log may keep it. The terminal is told the
// database's own words; the log, which the shop's staff and whoever reads
// the journal see, must not get the values a terminal sent, and Firebird
// quotes them: "conversion error from string "...", "value "..." for a
// column, "Problematic key value is (... = '...')". Every quoted run becomes
// "…", except a name of a table, column, constraint, index, procedure or
// exception that the text says it is; a very long text is cut.
QString logSafeText(const QString& text);
