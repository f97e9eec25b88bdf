#pragma once

#include "client/core/goodscatalogue.h"
#include "client/core/linequeue.h"
#include "client/core/localdatabase.h"

#include <QString>

// What the terminal keeps on its own disk so that scanning goes on while the
// server cannot be reached: the lines saved meanwhile, in order, until they
// are sent, and a copy of the goods catalogue to look articles up in. One file
// (LocalDatabase::defaultPath() on a terminal, a temporary one in a test).
class TerminalStore final
{
public:
    explicit TerminalStore(const QString& path)
        : m_database(path), m_queue(m_database), m_goods(m_database)
    {
    }
    TerminalStore(const TerminalStore&) = delete;
    TerminalStore& operator=(const TerminalStore&) = delete;

    QString path() const { return m_database.path(); }
    LineQueue& queue() { return m_queue; }
    GoodsCatalogueCopy& goods() { return m_goods; }

private:
    LocalDatabase m_database;
    LineQueue m_queue;
    GoodsCatalogueCopy m_goods;
};
