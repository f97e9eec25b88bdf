#pragma once

#include "bench/benchrun.h"

#include <utility>

// The floor: the statement run with Qt Sql's QIBASE driver on the embedded
// engine inside this process, one connection per terminal.
enum class QtSqlStyle
{
    // A new QSqlQuery prepared, bound, run and read for every call: what a
    // program has to do to see goods added after its first look-up.
    PrepareEach,
    // One QSqlQuery prepared once and run again and again. It keeps the
    // snapshot of its first run, so it is for reference only.
    Reused
};

TerminalFactory qtSqlTerminals(const QString& databasePath, const QString& password,
                               QtSqlStyle style);

// Adds a goods item with the given (new) code through another connection
// after a terminal of each style has looked it up once, and returns the rows
// each then finds: {prepare-each, reused}. Throws std::runtime_error.
std::pair<int, int> rowsSeenAfterInsert(const QString& databasePath, const QString& password,
                                        const QString& newCode);
