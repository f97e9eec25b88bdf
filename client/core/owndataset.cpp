#include "client/core/owndataset.h"

#include "client/core/tclientdatamodule.h"

OwnDataSet::OwnDataSet(TClientDataModule& module, const RemoteDataSet& like)
    : m_proxy(like.remoteServer() ? like.remoteServer()->name() : like.name(),
              &module.SQLConnection1()),
      m_dataSet(like.name(), &m_proxy, like.providerName())
{
    if (like.remoteServer())
        m_proxy.setServerClassName(like.remoteServer()->serverClassName());
}
