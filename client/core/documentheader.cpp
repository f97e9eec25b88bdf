#include "client/core/documentheader.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/commonprocedures.h"
#include "client/core/documentkinds.h"
#include "client/core/documentlist.h"
#include "client/core/remotedataset.h"
#include "client/core/sqlnames.h"
#include "client/core/tclientdatamodule.h"
#include "client/core/unitofwork.h"

#include <QDateTime>

namespace {

constexpr int kCounterpartyLimit = 1001;

const QString kNoNumber = QStringLiteral("Nav ievadīts numurs !!!");
const QString kNoDate = QStringLiteral("Nav ievadīts datums !!!");
const QString kBadDate = QStringLiteral("Datums nav atpazīstamā formātā. Jābūt dd.mm.yyyy");
const QString kNoDepartment = QStringLiteral("Nav izvēlēta nodaļa !!!");
const QString kSaveFailed = QStringLiteral("Saglabāt neizdevās !!!\n");
const QString kListFailed = QStringLiteral("Pieprasījumu atvērt neizdevās !!!");
const QString kTypeMismatch = QStringLiteral("Type mismatch for field");
const QString kEncodingHint = QStringLiteral("\nIespējams, ka kļūda aplikācijas kodējumā");

// The typed text travels as a parameter: an apostrophe in a client's name
// is a character to look for, not the end of the statement.
const QString kClientSearch =
    QStringLiteral("SELECT FIRST 50 N_KLIENT.ISN, N_KLIENT.GNOS KLIENTS FROM N_KLIENT "
                   "WHERE N_KLIENT.GNOS CONTAINING :KLIENTS ");
const QString kClientOrder = QStringLiteral(" ORDER BY N_KLIENT.GNOS");

const QString kClientRow = QStringLiteral(
    "SELECT ISN, GNOS, CENUGRUPA, KONSIGN, ATLAIDE, ISAPMAKSVEIDS, PIEGADAT, NAVAPGRNOD, "
    "NELAUT_IZRAKSTIT, FASESIZM, ADRESELIST, NODALAS_CENAS, SORTIM_PIEGAD FROM N_KLIENT "
    "WHERE N_KLIENT.ISN=:ISKLIENT");

// A department's counter of the next document number.
const QString kReadCounter = QStringLiteral("SELECT %1 PZNR FROM N_DEPART WHERE ISN=:ISN");
// The counter is written only while it still holds what was read, so two
// terminals asking at once never hand out the same number; the one that
// finds the counter moved on reads it again.
const QString kAdvanceCounter =
    QStringLiteral("UPDATE N_DEPART SET %1=:NUMURS WHERE ISN=:ISN AND %1=:PZNR");
constexpr int kCounterTries = 20;

// The greatest all-digit number of a header table, in the column's own
// (text) ordering.
const QString kHighestNumber =
    QStringLiteral("SELECT FIRST 1 %1.NR_PAVADZ FROM %1 WHERE %1.NR_PAVADZ SIMILAR TO '[0-9]+' "
                   "ORDER BY %1.NR_PAVADZ DESC");

QDateTime atMidnight(const QDate& date)
{
    return QDateTime(date, QTime(0, 0));
}

// The counter moved on from stored to number, when it still holds stored;
// the result UPDATED says whether it did.
void buildAdvance(UnitOfWork& advance, const QString& counter, const QString& number,
                  qint32 departmentIsn, const QString& stored)
{
    advance.declareResult(QStringLiteral("UPDATED"), ParamType::Integer);
    advance.add(FillNames(kAdvanceCounter, {counter}))
        .set(QStringLiteral("NUMURS"), number)
        .set(QStringLiteral("ISN"), departmentIsn)
        .set(QStringLiteral("PZNR"), stored);
    advance.add(QStringLiteral("UPDATED = ROW_COUNT"));
}

// Texts a unit may take both short and long (typed, or read from a column of
// any width): the unit declares them in one of two widths.
const QStringList kTextWidths{QStringLiteral("1"), QString(300, QLatin1Char('1'))};

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
    const DocumentKindInfo& info = KindInfo(kind);
    const bool departments = info.counterparty == Counterparty::Department;
    if (departments) {
        SetDepartmentList(m_module.clientState(), clients, QStringLiteral("KLIENTS"));
    } else {
        clients.setCommandText(kClientSearch + info.clientFilter + kClientOrder);
        clients.setTextParam(QStringLiteral("KLIENTS"), typed);
    }
    // The destination departments are there as soon as the kind is chosen.
    if (open || departments) {
        clients.open();
        m_counterparties = ReadKeyedList(clients, QStringLiteral("KLIENTS"), kCounterpartyLimit);
    }
    return m_counterparties;
}

Outcome<QString> DocumentHeader::ProposeNumber(DocumentKind kind, int departmentIndex)
{
    const DocumentKindInfo& info = KindInfo(kind);
    if (!info.proposesNumber)
        return QString();
    const qint32 department = m_departments.isnAt(departmentIndex);
    if (department <= 0)
        return Outcome<QString>::refuse(kNoDepartment, QStringLiteral("cmbNodala"));
    PrepareDataset(*m_query);
    if (info.numberCounter.isEmpty())
        return NextAfterHighest(info.headerTable);
    return CounterNumber(info.numberCounter, info.headerTable, department);
}

QString DocumentHeader::CounterNumber(const QString& counter, const QString& documents,
                                      qint32 departmentIsn)
{
    RemoteDataSet& query = *m_query;
    for (int attempt = 0; attempt < kCounterTries; ++attempt) {
        query.close();
        query.setCommandText(FillNames(kReadCounter, {counter}));
        query.setIntegerParam(QStringLiteral("ISN"), departmentIsn);
        query.open();
        const QString stored = query.fieldByName(QStringLiteral("PZNR")).asString();
        bool isNumber = false;
        const int number = stored.trimmed().toInt(&isNumber);
        // An empty counter, or one holding something other than a number,
        // is not written: the number comes from the documents themselves.
        if (stored.isEmpty() || !isNumber)
            return NextAfterHighest(documents);

        UnitOfWork advance;
        buildAdvance(advance, counter, QString::number(number + 1), departmentIsn, stored);
        // A conflict with another terminal's write of the counter is
        // waited out by the server; the counter then reads differently.
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
    query.setCommandText(FillNames(kHighestNumber, {table}));
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
    const DocumentKindInfo& info = KindInfo(input.kind);
    // Goods in memory have no header row: no number, no date.
    if (info.hasHeader()) {
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
    if (info.counterparty != Counterparty::None &&
        (input.counterpartyIndex < 0 || input.counterpartyIndex >= m_counterparties.size()))
        return Outcome<>::refuse(info.noCounterparty, QStringLiteral("cmbKlients"));
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
    const DocumentKindInfo& info = KindInfo(input.kind);
    if (!info.hasHeader()) {
        context.DocIsn = m_docIsn; // nothing is written for goods in memory
        return context;
    }
    context.DocDate = date;
    try {
        ClientTerms terms;
        if (info.readsClientTerms)
            terms = ReadClientTerms(context.CounterpartyIsn);
        m_docIsn = FindOrCreate(input, date, terms);
        context.DocIsn = m_docIsn;
        context.ClientIsSupplier = info.clientMaySupply && terms.supplier;
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
    if (!KindInfo(input.kind).hasHeader())
        return m_docIsn;
    // Found, or made with its log entry: one request, all or nothing.
    UnitOfWork unit;
    BuildFindOrCreate(unit, m_module.clientState(), input, date,
                      m_departments.isnAt(input.departmentIndex),
                      m_counterparties.isnAt(input.counterpartyIndex), terms);
    RemoteDataSet& update = *m_update;
    PrepareDataset(update);
    unit.run(update);
    return ReturnedKey(update, QStringLiteral("ISN"));
}

void DocumentHeader::BuildFindOrCreate(UnitOfWork& unit, const ClientState& state,
                                       const Input& input, const QDate& date, qint32 department,
                                       qint32 counterparty, const ClientTerms& terms)
{
    const QDateTime day = atMidnight(date);
    // Each kind's statements take the values they name: the counterparty
    // is the client, or for a transfer the destination department.
    const UnitValues common{{QStringLiteral("NR_PAVADZ"), input.number},
                            {QStringLiteral("ISNODALA"), department},
                            {QStringLiteral("DATUMS"), day},
                            {QStringLiteral("ISKLIENT"), counterparty}};
    const UnitValues find{{QStringLiteral("DAT_SANEM"), day},
                          {QStringLiteral("ISNODALANO"), department},
                          {QStringLiteral("ISNODALAUZ"), counterparty}};
    const UnitValues insert{
        {QStringLiteral("DAT_PAVADZ"), day},
        {QStringLiteral("APM_LIDZ"), atMidnight(date.addDays(terms.creditDays))},
        {QStringLiteral("PIECENOJ"), terms.discount},
        {QStringLiteral("ISAPMAKSVEIDS"), terms.paymentKind},
        {QStringLiteral("PIEGADPIRCEJS"), terms.supplier ? 1 : 2}};
    const DocumentKindInfo& info = KindInfo(input.kind);
    unit.declareResult(QStringLiteral("ISN"), ParamType::Integer);
    unit.add(QStringLiteral("FOR ") + info.findHeader + QStringLiteral(" INTO :ISN DO LEAVE"))
        .set(common)
        .set(find);
    unit.beginIf(QStringLiteral("COALESCE(:ISN, 0) <= 0"));
    unit.add(info.insertHeader + QStringLiteral(" RETURNING ISN INTO :ISN"))
        .set(common)
        .set(insert);
    LogOperation(unit, state, QStringLiteral("J"), input.number, info.headerTable, 0,
                 QStringLiteral("Norvalk"), UnitArg::variable(QStringLiteral("ISN")), date);
    unit.endIf();
}

QStringList DocumentHeader::Statements()
{
    QStringList statements{kClientRow};
    statements << DepartmentListStatements(QStringLiteral("KLIENTS"));
    for (const DocumentKind kind : kAllDocumentKinds) {
        const DocumentKindInfo& info = KindInfo(kind);
        if (info.counterparty == Counterparty::Client)
            statements << kClientSearch + info.clientFilter + kClientOrder;
        if (info.proposesNumber)
            statements << FillNames(kHighestNumber, {info.headerTable});
        if (!info.numberCounter.isEmpty()) {
            statements << FillNames(kReadCounter, {info.numberCounter});
            for (const QString& stored : kTextWidths) {
                UnitOfWork advance;
                buildAdvance(advance, info.numberCounter, QStringLiteral("2"), 1, stored);
                statements << advance.commandText();
            }
        }
        if (!info.hasHeader())
            continue;
        for (const QString& number : kTextWidths) {
            Input input;
            input.kind = kind;
            input.number = number;
            UnitOfWork unit;
            BuildFindOrCreate(unit, ClientState(), input, QDate(2000, 1, 1), 1, 1, ClientTerms());
            statements << unit.commandText();
        }
    }
    return statements;
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
    switch (KindInfo(kind).counterparty) {
    case Counterparty::Client:
        picked.clientSearch = counterparty;
        SearchCounterparties(kind, counterparty, true);
        picked.counterpartyIndex = m_counterparties.size() > 0 ? 0 : -1;
        break;
    case Counterparty::Department:
        SearchCounterparties(kind, QString(), true);
        picked.counterpartyIndex = int(m_counterparties.names.indexOf(counterparty));
        break;
    case Counterparty::None:
        break;
    }
    return picked;
}
