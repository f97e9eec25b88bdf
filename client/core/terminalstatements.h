#pragma once

#include <QStringList>

// Every statement text the terminal can send, sorted, each once: what a
// server with its statement lock on runs for a terminal. Made from the data
// classes' own statements and the builders of their units, for every kind
// and every setting that shapes a text, so that it follows what is sent.
// The build writes it to share/norvalk-statements.json (norvalk-statements).
QStringList TerminalStatements();
