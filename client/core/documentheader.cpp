#include "client/core/documentheader.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/commonprocedures.h"
#include "client/core/documentkinds.h"
#include "client/core/documentlist.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>

namespace {

constexpr int kCounterpartyLimit = 1001;

const QString kNoNumber = QStringLiteral("Nav ievadīts numurs !!!");
const QString kNoDate = QStringLiteral("Nav ievadīts datums !!!");
const QString kBadDate = QStringLiteral("Datums nav atpazīstamā formātā. Jābūt dd.mm.yyyy");
const QString kNoDepartment = QStringLiteral("Nav izvēlēta nodaļa !!!");
const QString kNoDestination = QStringLiteral("Nav izvēlēta nodaļa UZ !!!");
const QString kNoClient = QStringLiteral("Nav izvēlēts klients !!!");
const QString kSaveFailed = QStringLiteral("Saglabāt neizdevās !!!\n");
const QString kListFailed = QStringLiteral("Pieprasījumu atvērt neizdevās !!!");
const QString kTypeMismatch = QStringLiteral("Type mismatch for field");
const QString kEncodingHint = QStringLiteral("\nIespējams, ka kļūda aplikācijas kodējumā");

// The typed text travels as a parameter: an apostrophe in a client's name
// is a character to look for, not the end of the statement.
const QString kClientSearch =
    QStringLiteral("SELECT FIRST 50 N_KLIENT.ISN, N_KLIENT.GNOS KLIENTS FROM N_KLIENT "
                   "WHERE N_KLIENT.GNOS CONTAINING :KLIENTS ");
const QString kSuppliersOnly = QStringLiteral(" AND N_KLIENT.PIEGADAT='T' ");
const QString kBuyersOnly = QStringLiteral(" AND N_KLIENT.PIRCEJS='T' ");
const QString kClientOrder = QStringLiteral(" ORDER BY N_KLIENT.GNOS");

const QString kClientRow = QStringLiteral(
    "SELECT ISN, GNOS, CENUGRUPA, KONSIGN, ATLAIDE, ISAPMAKSVEIDS, PIEGADAT, NAVAPGRNOD, "
    "NELAUT_IZRAKSTIT, FASESIZM, ADRESELIST, NODALAS_CENAS, SORTIM_PIEGAD FROM N_KLIENT "
    "WHERE N_KLIENT.ISN=:ISKLIENT");

const QString kFindReceiving = QStringLiteral(
    "SELECT O_PAVADZ.ISN FROM O_PAVADZ WHERE NR_PAVADZ=:NR_PAVADZ AND ISNODALA=:ISNODALA "
    "AND ISKLIENT=:ISKLIENT AND DAT_SANEM=:DAT_SANEM");
const QString kFindTransfer = QStringLiteral(
    "SELECT O_PARPAV.ISN FROM O_PARPAV WHERE NR_PAVADZ=:NR_PAVADZ AND ISNODALANO=:ISNODALANO "
    "AND ISNODALAUZ=:ISNODALAUZ AND DATUMS=:DATUMS");
const QString kFindInventory = QStringLiteral(
    "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV WHERE NR_PAVADZ=:NR_PAVADZ AND DATUMS=:DATUMS "
    "AND ISNODALA=:ISNODALA");
const QString kFindOrder = QStringLiteral(
    "SELECT O_PASPAV.ISN FROM O_PASPAV WHERE NR_PAVADZ=:NR_PAVADZ AND ISNODALA=:ISNODALA "
    "AND ISKLIENT=:ISKLIENT AND DATUMS=:DATUMS");
const QString kFindWriteOut = QStringLiteral(
    "SELECT O_PAVOUT.ISN FROM O_PAVOUT WHERE NR_PAVADZ=:NR_PAVADZ AND ISNODALA=:ISNODALA "
    "AND ISKLIENT=:ISKLIENT AND DATUMS=:DATUMS");

const QString kInsertReceiving = QStringLiteral(
    "INSERT INTO O_PAVADZ (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DAT_SANEM, DAT_PAVADZ, "
    "NELEGALIZ, ATGPRECSUM, APMAKS_SUM, FUS_EXPORT) VALUES (:NR_PAVADZ, :ISNODALA, :ISKLIENT, 1, "
    ":DATUMS, :DAT_PAVADZ,'F', 0.00, 0.00,'F')");
const QString kInsertTransfer = QStringLiteral(
    "INSERT INTO O_PARPAV (NR_PAVADZ, ISNODALANO, ISNODALAUZ, DATUMS, NELEGALIZ) VALUES "
    "(:NR_PAVADZ, :ISNODALA, :ISKLIENT, :DATUMS,'F')");
const QString kInsertInventory = QStringLiteral(
    "INSERT INTO O_PRATL_PAV (NR_PAVADZ, ISNODALA, DATUMS, NEAPSTIPR) VALUES (:NR_PAVADZ, "
    ":ISNODALA, :DATUMS, 'F')");
const QString kInsertOrder = QStringLiteral(
    "INSERT INTO O_PASPAV (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DATUMS, PIEGADPIRCEJS, "
    "APM_LIDZ, PIECENOJ, ISAPMAKSVEIDS) VALUES (:NR_PAVADZ, :ISNODALA, :ISKLIENT, 1, :DATUMS, "
    ":PIEGADPIRCEJS, :APM_LIDZ, :PIECENOJ, :ISAPMAKSVEIDS)");
const QString kInsertWriteOut = QStringLiteral(
    "INSERT INTO O_PAVOUT (NR_PAVADZ, ISNODALA, ISKLIENT, ISAGENTS, DATUMS, ISMASINA, NELEGALIZ, "
    "FUS_EXPORT, APMAKS_SUM, APM_LIDZ, PIECENOJ, ISAPMAKSVEIDS, ATGPRECSUM, DAT_ATKR, CITAS_IZM, "
    "CITAS_18, ADRESEFREE) VALUES (:NR_PAVADZ, :ISNODALA, :ISKLIENT, 1, :DATUMS, 1, 'F', 'F', "
    "0.00, :APM_LIDZ, :PIECENOJ, :ISAPMAKSVEIDS, 0.00, :DATUMS, 0, 0, '')");

const DocumentHeader::NumberCounter kOrderCounter{
    QStringLiteral("PASUTPZNR_1"),
    QStringLiteral("SELECT PASUTPZNR_1 PZNR FROM N_DEPART WHERE ISN=:ISN"),
    QStringLiteral("O_PASPAV")};
const DocumentHeader::NumberCounter kWriteOutCounter{
    QStringLiteral("OUTPZNR_1"),
    QStringLiteral("SELECT OUTPZNR_1 PZNR FROM N_DEPART WHERE ISN=:ISN"),
    QStringLiteral("O_PAVOUT")};
// The counter is written only while it still holds what was read, so two
// terminals asking at once never hand out the same number; the one that
// finds the counter moved on reads it again.
const QString kAdvanceCounter =
    QStringLiteral("UPDATE N_DEPART SET %1=:NUMURS WHERE ISN=:ISN AND %1=:PZNR");
constexpr int kCounterTries = 20;

// The greatest all-digit number of a header table, in the column's own
// (text) ordering.
const QString kHighestNumber = QStringLiteral(
    "SELECT FIRST 1 O_PASPAV.NR_PAVADZ FROM O_PASPAV WHERE O_PASPAV.NR_PAVADZ SIMILAR TO "
    "'[0-9]+' ORDER BY O_PASPAV.NR_PAVADZ DESC");

QDateTime atMidnight(const QDate& date)
{
    return QDateTime(date, QTime(0, 0));
}

// The header look-up and insert of a kind, with the values each takes.
struct HeaderStatements
{
    QString find;
    UnitValues findValues;
    QString insert;
    UnitValues insertValues;
};

} // namespace

DocumentHeader::DocumentHeader(TClientDataModule& module)
    : m_module(module), m_clients(module, module.cdsN_KLIENT()),
      m_query(module, module.cdsTempQuery()), m_update(module, module.cdsUpdate())
{
}

const KeyedList& DocumentHeader::LoadDepartments()
{
    m_departments = LoadDepartmentList(m_module);
    return m_departments;
}

const KeyedList& DocumentHeader::SearchCounterparties(DocumentKind kind, const QString& typed,
                                                      bool open)
{
    RemoteDataSet& clients = *m_clients;
    PrepareDataset(clients);
    m_counterparties = KeyedList();
    if (kind == DocumentKind::Transfer) {
        clients.setCommandText(
            DepartmentListSql(m_module.clientState(), QStringLiteral("KLIENTS")));
    } else {
        QString sql = kClientSearch;
        if (kind == DocumentKind::Receiving)
            sql += kSuppliersOnly;
        else if (kind == DocumentKind::WriteOut)
            sql += kBuyersOnly;
        clients.setCommandText(sql + kClientOrder);
        clients.setTextParam(QStringLiteral("KLIENTS"), typed);
    }
    if (open || kind == DocumentKind::Transfer) {
        clients.open();
        m_counterparties = ReadKeyedList(clients, QStringLiteral("KLIENTS"), kCounterpartyLimit);
    }
    return m_counterparties;
}

Outcome<QString> DocumentHeader::ProposeNumber(DocumentKind kind, int departmentIndex)
{
    const bool numbered = kind == DocumentKind::Orders || kind == DocumentKind::WriteOut ||
                          kind == DocumentKind::Transfer;
    if (!numbered)
        return QString();
    const qint32 department = m_departments.isnAt(departmentIndex);
    if (department <= 0)
        return Outcome<QString>::refuse(kNoDepartment, QStringLiteral("cmbNodala"));
    PrepareDataset(*m_query);
    switch (kind) {
    case DocumentKind::Orders:
        return CounterNumber(kOrderCounter, department);
    case DocumentKind::WriteOut:
        return CounterNumber(kWriteOutCounter, department);
    default:
        // Transfers keep no counter: the next number after their own table's highest.
        return NextAfterHighest(QStringLiteral("O_PARPAV"));
    }
}

QString DocumentHeader::CounterNumber(const NumberCounter& counter, qint32 departmentIsn)
{
    RemoteDataSet& query = *m_query;
    for (int attempt = 0; attempt < kCounterTries; ++attempt) {
        query.close();
        query.setCommandText(counter.read);
        query.setIntegerParam(QStringLiteral("ISN"), departmentIsn);
        query.open();
        const QString stored = query.fieldByName(QStringLiteral("PZNR")).asString();
        bool isNumber = false;
        const int number = stored.trimmed().toInt(&isNumber);
        // An empty counter, or one holding something other than a number,
        // is not written: the number comes from the documents themselves.
        if (stored.isEmpty() || !isNumber)
            return NextAfterHighest(counter.documents);

        UnitOfWork advance;
        advance.declareResult(QStringLiteral("UPDATED"), ParamType::Integer);
        advance.add(kAdvanceCounter.arg(counter.column))
            .set(QStringLiteral("NUMURS"), QString::number(number + 1))
            .set(QStringLiteral("ISN"), departmentIsn)
            .set(QStringLiteral("PZNR"), stored);
        advance.add(QStringLiteral("UPDATED = ROW_COUNT"));
        // A conflict with another terminal's write of the counter is
        // waited out by the unit; the counter then reads differently.
        advance.run(query);
        if (query.fieldByName(QStringLiteral("UPDATED")).asInteger() > 0)
            return QString::number(number);
    }
    throw ClientError(QStringLiteral("Neizdevās piešķirt jaunu numuru: citi termināļi to "
                                     "mainīja %1 reizes pēc kārtas")
                          .arg(kCounterTries));
}

QString DocumentHeader::NextAfterHighest(const QString& table)
{
    RemoteDataSet& query = *m_query;
    query.close();
    query.setCommandText(QString(kHighestNumber).replace(QStringLiteral("O_PASPAV"), table));
    query.open();
    if (query.eof())
        return QStringLiteral("1");
    bool isNumber = false;
    const int highest =
        query.fieldByName(QStringLiteral("NR_PAVADZ")).asString().trimmed().toInt(&isNumber);
    return QString::number(isNumber ? highest + 1 : 1);
}

Outcome<> DocumentHeader::CheckInput(const Input& input, QDate& date) const
{
    const bool numbered = input.kind != DocumentKind::GoodsInMemory;
    if (numbered) {
        if (input.number.isEmpty())
            return Outcome<>::refuse(kNoNumber, QStringLiteral("edPZ_Numurs"));
        if (input.dateText.isEmpty())
            return Outcome<>::refuse(kNoDate, QStringLiteral("edDatums"));
        date = ClientFormat::textToDate(input.dateText.trimmed());
        if (!date.isValid())
            return Outcome<>::refuse(kBadDate, QStringLiteral("edDatums"));
    }
    if (input.departmentIndex < 0 || input.departmentIndex >= m_departments.size())
        return Outcome<>::refuse(kNoDepartment, QStringLiteral("cmbNodala"));
    const bool needsCounterparty =
        input.kind != DocumentKind::Inventory && input.kind != DocumentKind::GoodsInMemory;
    if (needsCounterparty &&
        (input.counterpartyIndex < 0 || input.counterpartyIndex >= m_counterparties.size()))
        return Outcome<>::refuse(input.kind == DocumentKind::Transfer ? kNoDestination : kNoClient,
                                 QStringLiteral("cmbKlients"));
    return Done{};
}

Outcome<DocumentContext> DocumentHeader::Save(const Input& input)
{
    QDate date;
    const Outcome<> checked = CheckInput(input, date);
    if (checked.refused())
        return checked.refusal();

    DocumentContext context;
    context.DocKind = input.kind;
    context.DocNumber = input.number;
    context.DepartmentIsn = m_departments.isnAt(input.departmentIndex);
    context.CounterpartyIsn = m_counterparties.isnAt(input.counterpartyIndex);
    if (input.kind == DocumentKind::GoodsInMemory) {
        context.DocIsn = m_docIsn; // nothing is written for goods in memory
        return context;
    }
    context.DocDate = date;
    try {
        ClientTerms terms;
        if (input.kind == DocumentKind::Orders || input.kind == DocumentKind::WriteOut)
            terms = ReadClientTerms(context.CounterpartyIsn);
        m_docIsn = FindOrCreate(input, date, terms);
        context.DocIsn = m_docIsn;
        context.ClientIsSupplier = input.kind == DocumentKind::Orders && terms.supplier;
        context.ClientDiscount = terms.discount;
    } catch (const std::exception& error) {
        return Outcome<DocumentContext>::refuse(kSaveFailed + errorText(error),
                                                QStringLiteral("edPZ_Numurs"));
    }
    return context;
}

DocumentHeader::ClientTerms DocumentHeader::ReadClientTerms(qint32 clientIsn)
{
    RemoteDataSet& client = *m_clients;
    PrepareDataset(client);
    client.setCommandText(kClientRow);
    client.setIntegerParam(QStringLiteral("ISKLIENT"), clientIsn);
    client.open();
    ClientTerms terms;
    terms.supplier =
        client.fieldByName(QStringLiteral("PIEGADAT")).asString() == QLatin1String("T");
    terms.discount = client.fieldByName(QStringLiteral("ATLAIDE")).asFloat();
    terms.creditDays = client.fieldByName(QStringLiteral("KONSIGN")).asInteger();
    terms.paymentKind =
        std::max(1, client.fieldByName(QStringLiteral("ISAPMAKSVEIDS")).asInteger());
    return terms;
}

qint32 DocumentHeader::FindOrCreate(const Input& input, const QDate& date, const ClientTerms& terms)
{
    const qint32 department = m_departments.isnAt(input.departmentIndex);
    const qint32 counterparty = m_counterparties.isnAt(input.counterpartyIndex);
    const QDateTime day = atMidnight(date);
    const UnitValues orderTerms{
        {QStringLiteral("APM_LIDZ"), atMidnight(date.addDays(terms.creditDays))},
        {QStringLiteral("PIECENOJ"), terms.discount},
        {QStringLiteral("ISAPMAKSVEIDS"), terms.paymentKind}};
    const UnitValues common{{QStringLiteral("NR_PAVADZ"), input.number},
                            {QStringLiteral("ISNODALA"), department},
                            {QStringLiteral("DATUMS"), day}};

    HeaderStatements statements;
    switch (input.kind) {
    case DocumentKind::Receiving:
        statements = {
            kFindReceiving,
            {{QStringLiteral("ISKLIENT"), counterparty}, {QStringLiteral("DAT_SANEM"), day}},
            kInsertReceiving,
            {{QStringLiteral("ISKLIENT"), counterparty}, {QStringLiteral("DAT_PAVADZ"), day}}};
        break;
    case DocumentKind::Transfer:
        statements = {kFindTransfer,
                      {{QStringLiteral("ISNODALANO"), department},
                       {QStringLiteral("ISNODALAUZ"), counterparty}},
                      kInsertTransfer,
                      {{QStringLiteral("ISKLIENT"), counterparty}}};
        break;
    case DocumentKind::Inventory:
        statements = {kFindInventory, {}, kInsertInventory, {}};
        break;
    case DocumentKind::Orders:
        statements = {
            kFindOrder, {{QStringLiteral("ISKLIENT"), counterparty}}, kInsertOrder, orderTerms};
        statements.insertValues.append({QStringLiteral("ISKLIENT"), counterparty});
        statements.insertValues.append({QStringLiteral("PIEGADPIRCEJS"), terms.supplier ? 1 : 2});
        break;
    case DocumentKind::WriteOut:
        statements = {kFindWriteOut,
                      {{QStringLiteral("ISKLIENT"), counterparty}},
                      kInsertWriteOut,
                      orderTerms};
        statements.insertValues.append({QStringLiteral("ISKLIENT"), counterparty});
        break;
    case DocumentKind::GoodsInMemory:
        return m_docIsn;
    }

    // Found, or made with its log entry: one request, all or nothing.
    const QString table = KindInfo(input.kind).headerTable;
    UnitOfWork unit;
    unit.declareResult(QStringLiteral("ISN"), ParamType::Integer);
    unit.add(QStringLiteral("FOR ") + statements.find + QStringLiteral(" INTO :ISN DO LEAVE"))
        .set(common)
        .set(statements.findValues);
    unit.beginIf(QStringLiteral("COALESCE(:ISN, 0) <= 0"));
    unit.add(statements.insert + QStringLiteral(" RETURNING ISN INTO :ISN"))
        .set(common)
        .set(statements.insertValues);
    LogOperation(unit, m_module.clientState(), QStringLiteral("J"), input.number, table, 0,
                 QStringLiteral("Norvalk"), UnitArg::variable(QStringLiteral("ISN")), date);
    unit.endIf();
    RemoteDataSet& update = *m_update;
    PrepareDataset(update);
    unit.run(update);
    return ReturnedKey(update, QStringLiteral("ISN"));
}

Outcome<> DocumentHeader::RefreshDocumentList(DocumentKind kind, const QDate& from, const QDate& to)
{
    try {
        OpenDocumentList(m_module.cdsPavadzimes(), kind, from, to, DocumentListView::Header);
    } catch (const std::exception& error) {
        const QString text = errorText(error);
        QString message = kListFailed;
        if (text.contains(kTypeMismatch))
            message += kEncodingHint;
        return Outcome<>::refuse(message + QLatin1Char('\n') + text, QString());
    }
    return Done{};
}

std::optional<DocumentHeader::Picked> DocumentHeader::PickDocument(DocumentKind kind,
                                                                   const QString& itemText)
{
    bool isNumber = false;
    const qint32 isn = itemText.trimmed().toInt(&isNumber);
    RemoteDataSet& documents = m_module.cdsPavadzimes();
    if (!isNumber || isn <= 0 || !documents.isActive() ||
        !documents.locate(QStringLiteral("ISN"), isn))
        return std::nullopt;
    Picked picked;
    picked.number = documents.fieldByName(QStringLiteral("NR_PAVADZ")).asString();
    picked.dateText =
        ClientFormat::dateToText(documents.fieldByName(QStringLiteral("DATUMS")).asDate());
    const QString department = documents.fieldByName(QStringLiteral("NODALA")).asString();
    const QString counterparty = documents.fieldByName(QStringLiteral("KLIENTS")).asString();
    picked.departmentIndex = int(m_departments.names.indexOf(department));
    switch (kind) {
    case DocumentKind::Receiving:
    case DocumentKind::Orders:
    case DocumentKind::WriteOut:
        picked.clientSearch = counterparty;
        SearchCounterparties(kind, counterparty, true);
        picked.counterpartyIndex = m_counterparties.size() > 0 ? 0 : -1;
        break;
    case DocumentKind::Transfer:
        SearchCounterparties(kind, QString(), true);
        picked.counterpartyIndex = int(m_counterparties.names.indexOf(counterparty));
        break;
    case DocumentKind::Inventory:
    case DocumentKind::GoodsInMemory:
        break;
    }
    return picked;
}
