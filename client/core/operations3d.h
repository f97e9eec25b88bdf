#pragma once

#include "client/core/documentcontext.h"

#include <QDate>

class RemoteDataSet;
class TClientDataModule;

// The data work of the 3D operations window: its list of the documents of a
// kind in a period. The list is the module's cdsPavadzimes, which the
// document header window lists too: refreshing one list replaces the rows
// the other shows. The placement itself records nothing yet. Server errors
// propagate.
class Operations3D final
{
public:
    explicit Operations3D(TClientDataModule& module) : m_module(module) {}

    // The rows the window's list shows.
    RemoteDataSet& documents();

    // The documents of kind dated from to to; goods in memory list none.
    void RefreshList(DocumentKind kind, const QDate& from, const QDate& to);

private:
    TClientDataModule& m_module;
};
