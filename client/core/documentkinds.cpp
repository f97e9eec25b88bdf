#include "client/core/documentkinds.h"

#include "client/core/clientstate.h"
#include "client/core/sqlnames.h"

namespace {

// Built on first use, so that windows made while other static objects are
// built find the table complete.
QList<DocumentKindInfo> makeKinds()
{
    const QString kDepartment = QStringLiteral("Nodaļa");
    const QString kPurchase = QStringLiteral("Iep.cena");
    const QString kSale = QStringLiteral("Pārd.cena");
    const QString kClientSearchCaption = QStringLiteral("Klients, atlasīt :");
    const QString kNoClient = QStringLiteral("Nav izvēlēts klients !!!");

    // The documents of a client in a period; orders and write-outs differ only
    // in their table.
    const QString kClientDocumentList = QStringLiteral(
        "SELECT %1.ISN, %1.NR_PAVADZ, %1.DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA "
        "FROM %1, N_KLIENT, N_DEPART WHERE %1.ISKLIENT = N_KLIENT.ISN AND %1.ISNODALA = "
        "N_DEPART.ISN "
        "AND %1.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY %1.DATUMS");

    const QString kTransferList = QStringLiteral(
        "SELECT O_PARPAV.ISN, O_PARPAV.NR_PAVADZ, O_PARPAV.DATUMS, N_DEPART_NO.GNOS NODALA, "
        "N_DEPART_UZ.GNOS KLIENTS FROM O_PARPAV, N_DEPART N_DEPART_NO, N_DEPART N_DEPART_UZ "
        "WHERE O_PARPAV.ISNODALANO = N_DEPART_NO.ISN AND O_PARPAV.ISNODALAUZ = N_DEPART_UZ.ISN "
        "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PARPAV.DATUMS");

    const QString orders = QStringLiteral("O_PASPAV");
    const QString writeOuts = QStringLiteral("O_PAVOUT");
    return {
        {
            .kind = DocumentKind::Receiving,
            .radioButton = QStringLiteral("rdSanemsana"),
            .caption = QStringLiteral("Saņemšana"),
            .operationsCaption = QStringLiteral("Saņemšana"),
            .headerTitle = QStringLiteral("Saņemšanas pavadzīme"),
            .linesTitle = QStringLiteral("Saņemtās preces"),
            .headerTable = QStringLiteral("O_PAVADZ"),
            .lineTable = QStringLiteral("O_PRECE"),
            .headerColumn = QStringLiteral("ISPAVADZ"),
            .right = &ClientState::RightReceive,
            .counterparty = Counterparty::Client,
            .clientFilter = QStringLiteral(" AND N_KLIENT.PIEGADAT='T' "),
            .departmentCaption = kDepartment,
            .counterpartyCaption = kClientSearchCaption,
            .noCounterparty = kNoClient,
            .proposesNumber = false,
            .numberCounter = QString(),
            .readsClientTerms = false,
            .clientMaySupply = false,
            .findHeader = QStringLiteral(
                "SELECT O_PAVADZ.ISN FROM O_PAVADZ WHERE NR_PAVADZ=:NR_PAVADZ AND "
                "ISNODALA=:ISNODALA AND ISKLIENT=:ISKLIENT AND DAT_SANEM=:DAT_SANEM"),
            .insertHeader = QStringLiteral(
                "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DAT_SANEM, "
                "DAT_PAVADZ, NELEGALIZ, ATGPRECSUM, APMAKS_SUM, FUS_EXPORT) VALUES (:NR_PAVADZ, "
                ":ISNODALA, :ISKLIENT, 1, :DATUMS, :DAT_PAVADZ,'F', 0.00, 0.00,'F')"),
            // The header window casts the number to text; the 3D window does not.
            .headerList = QStringLiteral(
                "SELECT O_PAVADZ.ISN, CAST(O_PAVADZ.NR_PAVADZ AS VARCHAR(15)) NR_PAVADZ, "
                "O_PAVADZ.DAT_SANEM DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA "
                "FROM O_PAVADZ, N_KLIENT, N_DEPART WHERE O_PAVADZ.ISKLIENT = N_KLIENT.ISN "
                "AND O_PAVADZ.ISNODALA = N_DEPART.ISN AND O_PAVADZ.DAT_SANEM BETWEEN :DAT_NO "
                "AND :DAT_LIDZ ORDER BY O_PAVADZ.DAT_SANEM"),
            .operationsList = QStringLiteral(
                "SELECT O_PAVADZ.ISN, O_PAVADZ.NR_PAVADZ, O_PAVADZ.DAT_SANEM DATUMS, "
                "N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA FROM O_PAVADZ, N_KLIENT, N_DEPART "
                "WHERE O_PAVADZ.ISKLIENT = N_KLIENT.ISN AND O_PAVADZ.ISNODALA = N_DEPART.ISN "
                "AND O_PAVADZ.DAT_SANEM BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PAVADZ.DAT_SANEM"),
            .priceLabel = kPurchase,
            .salePriceLabel = kSale,
            .priceShown = true,
            .priceHiddenByUser = true,
            .discountShown = true,
            .discountFromClient = false,
            .salePriceShown = true,
            .salePriceEnabled = true,
            .certificatesShown = true,
            .writeOutSettings = false,
            .priceLevel = PriceLevelFrom::Department,
            .priceStart = PriceStart::LastPurchase,
            .stockShown = StockShown::None,
            .specialPriceClearsDiscount = false,
            .checksStock = false,
            .stockMove = StockMove::IntoDepartment,
            .linePrices = LinePrices::AsTyped,
            .setsCatalogueSalePrice = true,
            .insertLine = QStringLiteral(
                "INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, "
                "DAUDZUMS, ATLAIDE, VALUTA, VAL_KURSS) VALUES (:ISPRECE, :NODOKLIS, :ISPAVADZ, "
                ":ISSERTIF, :CENA, :PARD_CENA, :DAUDZUMS, :ATLAIDE, '', 1)"),
            .insertContainer = QStringLiteral(
                "INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, "
                "DAUDZUMS, ATLAIDE, VALUTA, VAL_KURSS) VALUES (:ISPRECE, 0, :ISPAVADZ, 1, "
                ":CENA, :PARD_CENA, :DAUDZUMS, 0, '', 1)"),
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRECE.DAUDZUMS, "
                "O_PRECE.CENA, O_PAVADZ.KOPSUMMA, O_PRECE.ISN, O_PRECE.ISPRECE FROM O_PAVADZ, "
                "O_PRECE, N_KLPREC WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.ISPRECE = "
                "N_KLPREC.ISN AND O_PRECE.ISPAVADZ = :ISPAVADZ ORDER BY O_PRECE.ISN"),
            .linesPlaceholder = QString(),
        },
        {
            .kind = DocumentKind::Transfer,
            .radioButton = QStringLiteral("rdParvietosana"),
            .caption = QStringLiteral("Pārvietošana"),
            .operationsCaption = QStringLiteral("Pārvietošana"),
            .headerTitle = QStringLiteral("Pārvietošanas pavadzīme"),
            .linesTitle = QStringLiteral("Pārvietotās preces"),
            .headerTable = QStringLiteral("O_PARPAV"),
            .lineTable = QStringLiteral("O_PARPRC"),
            .headerColumn = QStringLiteral("ISPARVPAV"),
            .right = &ClientState::RightTransfer,
            .counterparty = Counterparty::Department,
            .clientFilter = QString(),
            .departmentCaption = QStringLiteral("Nodaļa NO"),
            .counterpartyCaption = QStringLiteral("Nodaļa UZ"),
            .noCounterparty = QStringLiteral("Nav izvēlēta nodaļa UZ !!!"),
            .proposesNumber = true,
            // Transfers keep no counter: the next after their own highest.
            .numberCounter = QString(),
            .readsClientTerms = false,
            .clientMaySupply = false,
            .findHeader = QStringLiteral(
                "SELECT O_PARPAV.ISN FROM O_PARPAV WHERE NR_PAVADZ=:NR_PAVADZ AND "
                "ISNODALANO=:ISNODALANO AND ISNODALAUZ=:ISNODALAUZ AND DATUMS=:DATUMS"),
            .insertHeader = QStringLiteral(
                "INSERT INTO O_PARPAV (NR_PAVADZ, ISNODALANO, ISNODALAUZ, DATUMS, NELEGALIZ) "
                "VALUES (:NR_PAVADZ, :ISNODALA, :ISKLIENT, :DATUMS,'F')"),
            .headerList = kTransferList,
            .operationsList = kTransferList,
            .priceLabel = kPurchase,
            .salePriceLabel = kSale,
            .priceShown = true,
            .priceHiddenByUser = true,
            .discountShown = false,
            .discountFromClient = false,
            .salePriceShown = true,
            .salePriceEnabled = true,
            .certificatesShown = true,
            .writeOutSettings = false,
            .priceLevel = PriceLevelFrom::Destination,
            .priceStart = PriceStart::LastPurchase,
            .stockShown = StockShown::None,
            .specialPriceClearsDiscount = false,
            .checksStock = true,
            .stockMove = StockMove::DepartmentToDestination,
            .linePrices = LinePrices::SaleNetOfVat,
            .setsCatalogueSalePrice = false,
            .insertLine = QStringLiteral(
                "INSERT INTO O_PARPRC (ISPRECE, NODOKLIS, ISPARVPAV, ISSERTIF, CENA, PARD_CENA, "
                "DAUDZUMS) VALUES (:ISPRECE, :NODOKLIS, :ISPARVPAV, :ISSERTIF, :CENA, "
                ":PARD_CENA, :DAUDZUMS)"),
            .insertContainer = QStringLiteral(
                "INSERT INTO O_PARPRC (ISPRECE, NODOKLIS, ISPARVPAV, ISSERTIF, CENA, PARD_CENA, "
                "DAUDZUMS) VALUES (:ISPRECE, 0, :ISPARVPAV, 1, :CENA, :PARD_CENA, :DAUDZUMS)"),
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PARPRC.DAUDZUMS, "
                "O_PARPRC.CENA, O_PARPAV.KOPSUMMA, O_PARPRC.ISN, O_PARPRC.ISPRECE FROM "
                "O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND "
                "O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPRC.ISPARVPAV = :ISPAVADZ ORDER BY "
                "O_PARPRC.ISN"),
            .linesPlaceholder = QString(),
        },
        {
            .kind = DocumentKind::Inventory,
            .radioButton = QStringLiteral("rdInventarizacija"),
            .caption = QStringLiteral("Inventariz."),
            .operationsCaption = QStringLiteral("Inventarizācija"),
            .headerTitle = QStringLiteral("Inventarizācija"),
            .linesTitle = QStringLiteral("Inventarizācijas preces"),
            .headerTable = QStringLiteral("O_PRATL_PAV"),
            .lineTable = QStringLiteral("O_PRATL_PRC"),
            .headerColumn = QStringLiteral("ISPRATLPAV"),
            .right = &ClientState::RightInventory,
            .counterparty = Counterparty::None,
            .clientFilter = QString(),
            .departmentCaption = kDepartment,
            .counterpartyCaption = QString(),
            .noCounterparty = QString(),
            .proposesNumber = false,
            .numberCounter = QString(),
            .readsClientTerms = false,
            .clientMaySupply = false,
            .findHeader = QStringLiteral(
                "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV WHERE NR_PAVADZ=:NR_PAVADZ AND "
                "DATUMS=:DATUMS AND ISNODALA=:ISNODALA"),
            .insertHeader = QStringLiteral(
                "INSERT INTO O_PRATL_PAV (NR_PAVADZ, ISNODALA, DATUMS, NEAPSTIPR) VALUES "
                "(:NR_PAVADZ, :ISNODALA, :DATUMS, 'F')"),
            .headerList = QStringLiteral(
                "SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, "
                "CAST('' AS VARCHAR(250)) KLIENTS, N_DEPART.GNOS NODALA FROM O_PRATL_PAV, "
                "N_DEPART WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN AND O_PRATL_PAV.DATUMS "
                "BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PRATL_PAV.DATUMS"),
            .operationsList = QStringLiteral(
                "SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, "
                "N_DEPART.GNOS NODALA, CAST(' ' AS VARCHAR(250)) KLIENTS FROM O_PRATL_PAV, "
                "N_DEPART WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN AND O_PRATL_PAV.DATUMS "
                "BETWEEN :DAT_NO AND :DAT_LIDZ ORDER BY O_PRATL_PAV.DATUMS"),
            .priceLabel = kSale,
            .salePriceLabel = kSale,
            .priceShown = true,
            .priceHiddenByUser = false,
            .discountShown = false,
            .discountFromClient = false,
            .salePriceShown = false,
            .salePriceEnabled = true,
            .certificatesShown = true,
            .writeOutSettings = false,
            .priceLevel = PriceLevelFrom::Department,
            .priceStart = PriceStart::SalePrice,
            .stockShown = StockShown::InQuantity,
            .specialPriceClearsDiscount = false,
            .checksStock = false,
            .stockMove = StockMove::None,
            .linePrices = LinePrices::SalePriceOnly,
            .setsCatalogueSalePrice = false,
            .insertLine = QStringLiteral(
                "INSERT INTO O_PRATL_PRC (ISPRECE, ISSERTIF, ISPRATLPAV, PARD_CENA, IEP_CENA, "
                "DAUDZUMS, IS3DVIETA, ISAGENTS) VALUES (:ISPRECE, :ISSERTIF, :ISPRATLPAV, "
                ":PARD_CENA, 0, :DAUDZUMS, 0, :ISAGENTS)"),
            .insertContainer = QStringLiteral(
                "INSERT INTO O_PRATL_PRC (ISPRECE, ISSERTIF, ISPRATLPAV, PARD_CENA, IEP_CENA, "
                "DAUDZUMS, IS3DVIETA, ISAGENTS) VALUES (:ISPRECE, 1, :ISPRATLPAV, :PARD_CENA, "
                "0, :DAUDZUMS, 0, :ISAGENTS)"),
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, "
                "O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.IEP_CENA CENA, CAST(0.00 AS DOUBLE "
                "PRECISION) KOPSUMMA, O_PRATL_PRC.ISN, O_PRATL_PRC.ISPRECE FROM O_PRATL_PRC, "
                "N_KLPREC WHERE O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PRC.ISPRATLPAV "
                "= :ISPAVADZ ORDER BY O_PRATL_PRC.ISN"),
            // An inventory can be long: until its list is asked for, one blank item.
            .linesPlaceholder = QStringLiteral(
                "SELECT '   ' ARTIKULS, '   ' PRECE, 0.00 DAUDZUMS, 0.00 CENA, CAST(0.00 AS "
                "DOUBLE PRECISION) KOPSUMMA, 0 ISN, 0 ISPRECE FROM O_PRATL_PAV WHERE "
                "O_PRATL_PAV.ISN = :ISPAVADZ"),
        },
        {
            .kind = DocumentKind::Orders,
            .radioButton = QStringLiteral("rdPasutijumi"),
            .caption = QStringLiteral("Pasūtījumi"),
            .operationsCaption = QStringLiteral("Pasūtījumi"),
            .headerTitle = QStringLiteral("Pasūtījumi"),
            .linesTitle = QStringLiteral("Pasūtītās preces"),
            .headerTable = orders,
            .lineTable = QStringLiteral("O_PASPRC"),
            .headerColumn = QStringLiteral("ISPASPAV"),
            .right = &ClientState::RightOrders,
            .counterparty = Counterparty::Client,
            .clientFilter = QString(),
            .departmentCaption = kDepartment,
            .counterpartyCaption = kClientSearchCaption,
            .noCounterparty = kNoClient,
            .proposesNumber = true,
            .numberCounter = QStringLiteral("PASUTPZNR_1"),
            .readsClientTerms = true,
            .clientMaySupply = true,
            .findHeader =
                QStringLiteral("SELECT O_PASPAV.ISN FROM O_PASPAV WHERE NR_PAVADZ=:NR_PAVADZ AND "
                               "ISNODALA=:ISNODALA AND ISKLIENT=:ISKLIENT AND DATUMS=:DATUMS"),
            .insertHeader = QStringLiteral(
                "INSERT INTO O_PASPAV (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DATUMS, "
                "PIEGADPIRCEJS, APM_LIDZ, PIECENOJ, ISAPMAKSVEIDS) VALUES (:NR_PAVADZ, "
                ":ISNODALA, :ISKLIENT, 1, :DATUMS, :PIEGADPIRCEJS, :APM_LIDZ, :PIECENOJ, "
                ":ISAPMAKSVEIDS)"),
            .headerList = FillNames(kClientDocumentList, {orders}),
            .operationsList = FillNames(kClientDocumentList, {orders}),
            .priceLabel = QStringLiteral("Cena"),
            .salePriceLabel = QStringLiteral("Atlik."),
            .priceShown = true,
            .priceHiddenByUser = false,
            .discountShown = true,
            .discountFromClient = true,
            .salePriceShown = true,
            .salePriceEnabled = false,
            .certificatesShown = true,
            .writeOutSettings = false,
            .priceLevel = PriceLevelFrom::First,
            .priceStart = PriceStart::LastPurchaseForSupplier,
            .stockShown = StockShown::InSalePrice,
            .specialPriceClearsDiscount = false,
            .checksStock = false,
            .stockMove = StockMove::None,
            .linePrices = LinePrices::NetOfVat,
            .setsCatalogueSalePrice = false,
            .insertLine = QStringLiteral(
                "INSERT INTO O_PASPRC (ISPRECE, NODOKLIS, ISPASPAV, ISSERTIF, CENA, DAUDZUMS, "
                "ATLAIDE, APSTIPRIN_DAUDZ, ATKR_DAUDZ) VALUES (:ISPRECE, :NODOKLIS, :ISPASPAV, "
                ":ISSERTIF, :CENA, :DAUDZUMS, :ATLAIDE, :DAUDZUMS, 0)"),
            .insertContainer = QStringLiteral(
                "INSERT INTO O_PASPRC (ISPRECE, NODOKLIS, ISPASPAV, ISSERTIF, CENA, DAUDZUMS, "
                "ATLAIDE, APSTIPRIN_DAUDZ, ATKR_DAUDZ) VALUES (:ISPRECE, 0, :ISPASPAV, 1, "
                ":CENA, :DAUDZUMS, 0, :DAUDZUMS, 0)"),
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PASPRC.DAUDZUMS, "
                "O_PASPRC.CENA, O_PASPAV.KOPSUMMA, O_PASPRC.ISN, O_PASPRC.ISPRECE FROM "
                "O_PASPAV, O_PASPRC, N_KLPREC WHERE O_PASPAV.ISN = O_PASPRC.ISPASPAV AND "
                "O_PASPRC.ISPRECE = N_KLPREC.ISN AND O_PASPRC.ISPASPAV = :ISPAVADZ ORDER BY "
                "O_PASPRC.ISN"),
            .linesPlaceholder = QString(),
        },
        {
            .kind = DocumentKind::WriteOut,
            .radioButton = QStringLiteral("rdIzrakstisana"),
            .caption = QStringLiteral("Izrakstīšana"),
            .operationsCaption = QStringLiteral("Izrakstīšana"),
            .headerTitle = QStringLiteral("Izrakstīšanas pavadzīme"),
            .linesTitle = QStringLiteral("Izrakstītās preces"),
            .headerTable = writeOuts,
            .lineTable = QStringLiteral("O_PRCOUT"),
            .headerColumn = QStringLiteral("ISPAVOUT"),
            .right = &ClientState::RightWriteOut,
            .counterparty = Counterparty::Client,
            .clientFilter = QStringLiteral(" AND N_KLIENT.PIRCEJS='T' "),
            .departmentCaption = kDepartment,
            .counterpartyCaption = kClientSearchCaption,
            .noCounterparty = kNoClient,
            .proposesNumber = true,
            .numberCounter = QStringLiteral("OUTPZNR_1"),
            .readsClientTerms = true,
            .clientMaySupply = false,
            .findHeader =
                QStringLiteral("SELECT O_PAVOUT.ISN FROM O_PAVOUT WHERE NR_PAVADZ=:NR_PAVADZ AND "
                               "ISNODALA=:ISNODALA AND ISKLIENT=:ISKLIENT AND DATUMS=:DATUMS"),
            .insertHeader = QStringLiteral(
                "INSERT INTO O_PAVOUT (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DATUMS, "
                "ISMASINA, NELEGALIZ, FUS_EXPORT, APMAKS_SUM, APM_LIDZ, PIECENOJ, ISAPMAKSVEIDS, "
                "ATGPRECSUM, DAT_ATKR, CITAS_IZM, CITAS_18, ADRESEFREE) VALUES (:NR_PAVADZ, "
                ":ISNODALA, :ISKLIENT, 1, :DATUMS, 1, 'F', 'F', 0.00, :APM_LIDZ, :PIECENOJ, "
                ":ISAPMAKSVEIDS, 0.00, :DATUMS, 0, 0, '')"),
            .headerList = FillNames(kClientDocumentList, {writeOuts}),
            .operationsList = FillNames(kClientDocumentList, {writeOuts}),
            .priceLabel = QStringLiteral("Cena"),
            .salePriceLabel = QStringLiteral("Atlik."),
            .priceShown = true,
            .priceHiddenByUser = false,
            .discountShown = true,
            .discountFromClient = true,
            .salePriceShown = true,
            .salePriceEnabled = false,
            .certificatesShown = true,
            .writeOutSettings = true,
            .priceLevel = PriceLevelFrom::ClientOrDepartment,
            .priceStart = PriceStart::SalePrice,
            .stockShown = StockShown::InSalePrice,
            .specialPriceClearsDiscount = true,
            .checksStock = true,
            .stockMove = StockMove::OutOfDepartment,
            .linePrices = LinePrices::NetOfVat,
            .setsCatalogueSalePrice = false,
            .insertLine = QStringLiteral(
                "INSERT INTO O_PRCOUT (ISPRECE, NODOKLIS, ISPAVOUT, CENA, DAUDZUMS, PIECENOJ, "
                "ISSERTIF) VALUES (:ISPRECE, :NODOKLIS, :ISPAVOUT, :CENA, :DAUDZUMS, :ATLAIDE, "
                ":ISSERTIF)"),
            // NODOKLIS is 0 here as the other kinds' container lines store it.
            .insertContainer = QStringLiteral(
                "INSERT INTO O_PRCOUT (ISPRECE, NODOKLIS, ISPAVOUT, CENA, DAUDZUMS, PIECENOJ, "
                "ISSERTIF) VALUES (:ISPRECE, :NODOKLIS, :ISPAVOUT, :CENA, :DAUDZUMS, 0, 1)"),
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRCOUT.DAUDZUMS, "
                "O_PRCOUT.CENA, O_PAVOUT.KOPSUMMA, O_PRCOUT.ISN, O_PRCOUT.ISPRECE FROM "
                "O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
                "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PRCOUT.ISPAVOUT = :ISPAVADZ ORDER BY "
                "O_PRCOUT.ISN"),
            .linesPlaceholder = QString(),
        },
        {
            .kind = DocumentKind::GoodsInMemory,
            .radioButton = QStringLiteral("rdPrecesAtmina"),
            .caption = QStringLiteral("Preces atmiņā"),
            .operationsCaption = QString(),
            .headerTitle = QStringLiteral("Preces atmiņā"),
            .linesTitle = QStringLiteral("Preces atmiņā"),
            .headerTable = QString(),
            .lineTable = QStringLiteral("O_MEMPRECES"),
            .headerColumn = QString(),
            .right = nullptr,
            .counterparty = Counterparty::None,
            .clientFilter = QString(),
            .departmentCaption = kDepartment,
            .counterpartyCaption = QString(),
            .noCounterparty = QString(),
            .proposesNumber = false,
            .numberCounter = QString(),
            .readsClientTerms = false,
            .clientMaySupply = false,
            .findHeader = QString(),
            .insertHeader = QString(),
            .headerList = QString(),
            .operationsList = QString(),
            .priceLabel = QString(),
            .salePriceLabel = QString(),
            .priceShown = false,
            .priceHiddenByUser = false,
            .discountShown = false,
            .discountFromClient = false,
            .salePriceShown = false,
            .salePriceEnabled = true,
            .certificatesShown = false,
            .writeOutSettings = false,
            .priceLevel = PriceLevelFrom::First,
            .priceStart = PriceStart::None,
            .stockShown = StockShown::None,
            .specialPriceClearsDiscount = false,
            .checksStock = false,
            .stockMove = StockMove::None,
            .linePrices = LinePrices::None,
            .setsCatalogueSalePrice = false,
            .insertLine = QStringLiteral("INSERT INTO O_MEMPRECES (ISPRECE, ISNODALA, DAUDZUMS) "
                                         "VALUES (:ISPRECE, :ISNODALA, :DAUDZUMS)"),
            .insertContainer = QString(),
            // Every row, whatever its department.
            .lines = QStringLiteral(
                "SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, "
                "O_MEMPRECES.DAUDZUMS, N_KLPREC.PARDCENA1 CENA, 0.00 KOPSUMMA, O_MEMPRECES.ISN, "
                "O_MEMPRECES.ISPRECE FROM O_MEMPRECES, N_KLPREC WHERE O_MEMPRECES.ISPRECE = "
                "N_KLPREC.ISN ORDER BY O_MEMPRECES.ISN"),
            .linesPlaceholder = QString(),
        },
    };
}

} // namespace

const DocumentKindInfo& KindInfo(DocumentKind kind)
{
    static const QList<DocumentKindInfo> kinds = makeKinds();
    return kinds.at(int(kind));
}

bool MayUseKind(const ClientState& state, DocumentKind kind)
{
    const auto right = KindInfo(kind).right;
    return right == nullptr || state.*right;
}

QString DocumentKindInfo::linesByIsn() const
{
    // Every list ends "ORDER BY <line table>.ISN": the same key narrows it.
    static const QString orderBy = QStringLiteral(" ORDER BY ");
    const qsizetype order = lines.lastIndexOf(orderBy);
    const QString key = lines.mid(order + orderBy.size());
    QString narrowed = lines.left(order);
    narrowed.replace(QStringLiteral("SELECT FIRST 1000 "), QStringLiteral("SELECT "));
    return narrowed + QStringLiteral(" AND ") + key + QStringLiteral(" IN (:LINE, :CONTAINER)") +
           orderBy + key;
}

QString DocumentKindInfo::linesTotal() const
{
    return QStringLiteral("SELECT FIRST 1 LISTED.KOPSUMMA FROM (") + lines +
           QStringLiteral(") LISTED");
}
