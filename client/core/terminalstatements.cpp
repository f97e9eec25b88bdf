#include "client/core/terminalstatements.h"

#include "client/core/commonprocedures.h"
#include "client/core/connectionstep.h"
#include "client/core/deliveryconfirmation.h"
#include "client/core/documentheader.h"
#include "client/core/documentlines.h"
#include "client/core/documentlist.h"
#include "client/core/findgoods.h"
#include "client/core/goodscatalogue.h"
#include "client/core/goodsdata.h"
#include "client/core/logincheck.h"
#include "client/core/receivingcheck.h"
#include "client/core/tclientdatamodule.h"

#include <algorithm>

QStringList TerminalStatements()
{
    // The lines' units are built by the window's own data class, on a data
    // module that never connects.
    TClientDataModule offline;
    QStringList statements;
    statements << CommonStatements() << ConnectionStep::Statements() << LoginCheck::Statements()
               << FindGoodsStatements() << GoodsCatalogueCopy::Statements()
               << DocumentListStatements() << DocumentHeader::Statements()
               << DocumentLines::Statements(offline) << GoodsData::Statements()
               << ReceivingCheck::Statements() << DeliveryConfirmation::Statements();
    std::sort(statements.begin(), statements.end());
    statements.erase(std::unique(statements.begin(), statements.end()), statements.end());
    return statements;
}
