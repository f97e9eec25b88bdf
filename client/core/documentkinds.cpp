#include "client/core/documentkinds.h"

#include "client/core/clientstate.h"

namespace {

const DocumentKindInfo kKinds[] = {
    {DocumentKind::Receiving, QStringLiteral("rdSanemsana"), QStringLiteral("Saņemšana"),
     QStringLiteral("Saņemšanas pavadzīme"), QStringLiteral("Saņemtās preces"),
     QStringLiteral("O_PAVADZ"), QStringLiteral("O_PRECE"), QStringLiteral("ISPAVADZ")},
    {DocumentKind::Transfer, QStringLiteral("rdParvietosana"), QStringLiteral("Pārvietošana"),
     QStringLiteral("Pārvietošanas pavadzīme"), QStringLiteral("Pārvietotās preces"),
     QStringLiteral("O_PARPAV"), QStringLiteral("O_PARPRC"), QStringLiteral("ISPARVPAV")},
    {DocumentKind::Inventory, QStringLiteral("rdInventarizacija"), QStringLiteral("Inventariz."),
     QStringLiteral("Inventarizācija"), QStringLiteral("Inventarizācijas preces"),
     QStringLiteral("O_PRATL_PAV"), QStringLiteral("O_PRATL_PRC"), QStringLiteral("ISPRATLPAV")},
    {DocumentKind::Orders, QStringLiteral("rdPasutijumi"), QStringLiteral("Pasūtījumi"),
     QStringLiteral("Pasūtījumi"), QStringLiteral("Pasūtītās preces"), QStringLiteral("O_PASPAV"),
     QStringLiteral("O_PASPRC"), QStringLiteral("ISPASPAV")},
    {DocumentKind::WriteOut, QStringLiteral("rdIzrakstisana"), QStringLiteral("Izrakstīšana"),
     QStringLiteral("Izrakstīšanas pavadzīme"), QStringLiteral("Izrakstītās preces"),
     QStringLiteral("O_PAVOUT"), QStringLiteral("O_PRCOUT"), QStringLiteral("ISPAVOUT")},
    {DocumentKind::GoodsInMemory, QStringLiteral("rdPrecesAtmina"), QStringLiteral("Preces atmiņā"),
     QStringLiteral("Preces atmiņā"), QStringLiteral("Preces atmiņā"), QString(),
     QStringLiteral("O_MEMPRECES"), QString()},
};

} // namespace

const DocumentKindInfo& KindInfo(DocumentKind kind)
{
    return kKinds[int(kind)];
}

bool MayUseKind(const ClientState& state, DocumentKind kind)
{
    switch (kind) {
    case DocumentKind::Receiving:
        return state.RightReceive;
    case DocumentKind::Transfer:
        return state.RightTransfer;
    case DocumentKind::Inventory:
        return state.RightInventory;
    case DocumentKind::Orders:
        return state.RightOrders;
    case DocumentKind::WriteOut:
        return state.RightWriteOut;
    case DocumentKind::GoodsInMemory:
        break;
    }
    return true;
}
