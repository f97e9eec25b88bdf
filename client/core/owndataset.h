#pragma once

#include "client/core/providerproxy.h"
#include "client/core/remotedataset.h"

class TClientDataModule;

// A remote dataset that belongs to one data class or one procedure call: a
// proxy of its own on the module's connection and the provider of one of the
// module's datasets, under that dataset's name (so messages name it as
// before). Its rows stay until its owner replaces them: no other caller's
// request closes or refills it, as one of the module's shared datasets would.
// The module must outlive it.
class OwnDataSet final
{
public:
    // A dataset like that one of the module's: same provider and server
    // class, same name.
    OwnDataSet(TClientDataModule& module, const RemoteDataSet& like);
    OwnDataSet(const OwnDataSet&) = delete;
    OwnDataSet& operator=(const OwnDataSet&) = delete;

    RemoteDataSet& operator*() { return m_dataSet; }
    RemoteDataSet* operator->() { return &m_dataSet; }

private:
    ProviderProxy m_proxy;
    RemoteDataSet m_dataSet;
};
