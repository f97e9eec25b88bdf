#include "client/core/goodscatalogue.h"

#include "client/core/clienterror.h"
#include "client/core/commonprocedures.h"
#include "client/core/findgoods.h"
#include "client/core/localdatabase.h"
#include "client/core/owndataset.h"
#include "client/core/remotedataset.h"
#include "client/core/tclientdatamodule.h"
#include "common/datapacket.h"

#include <QMap>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <limits>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Values between the local file and the rows of a remote dataset.

// Binds a value as a remote dataset holds it; NULL stays NULL.
void bindValue(LocalDatabase::Statement& statement, int index, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        statement.bindNull(index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Bool:
        statement.bind(index, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        statement.bind(index, value.toDouble());
        break;
    default:
        statement.bind(index, value.toString());
    }
}

// A column as a remote dataset holds a value of that type; NULL stays NULL.
QVariant readValue(const LocalDatabase::Statement& statement, int column, FieldType type)
{
    if (statement.columnIsNull(column))
        return QVariant();
    switch (type) {
    case FieldType::Integer:
        return qint32(statement.columnInteger(column));
    case FieldType::Double:
        return statement.columnDouble(column);
    default:
        return statement.columnText(column);
    }
}

// ---------------------------------------------------------------------------
// What is copied: the columns the look-up reads, under the server's names.

struct CopiedColumn
{
    const char* name;
    FieldType type;
};

constexpr CopiedColumn kGoodsColumns[] = {
    {"ISN", FieldType::Integer},        {"ARTIKULS", FieldType::Text},
    {"ARTIKULS2", FieldType::Text},     {"ARTIKULS3", FieldType::Text},
    {"ARTIKULS4", FieldType::Text},     {"ARTIKULS5", FieldType::Text},
    {"ARTIKULS6", FieldType::Text},     {"GNOS", FieldType::Text},
    {"NODOKLIS", FieldType::Double},    {"ISSERTIF1", FieldType::Integer},
    {"PARDCENA1", FieldType::Double},   {"PARDCENA2", FieldType::Double},
    {"PARDCENA3", FieldType::Double},   {"PARDCENA4", FieldType::Double},
    {"PARDCENA5", FieldType::Double},   {"PARDCENA6", FieldType::Double},
    {"PARDCENA7", FieldType::Double},   {"PARDCENA8", FieldType::Double},
    {"PARDCENA9", FieldType::Double},   {"PARDCENA10", FieldType::Double},
    {"PARDCENA11", FieldType::Double},  {"PARDCENA12", FieldType::Double},
    {"PARDCENA13", FieldType::Double},  {"PARDCENA14", FieldType::Double},
    {"PARDCENA15", FieldType::Double},  {"PARDCENA16", FieldType::Double},
    {"PAKALPOJ", FieldType::Text},      {"ISPRGRUPA", FieldType::Integer},
    {"ISPRKLIENT", FieldType::Integer}, {"MERVIENIBA", FieldType::Text},
};
constexpr CopiedColumn kGroupColumns[] = {{"ISN", FieldType::Integer}, {"GNOS", FieldType::Text}};
constexpr CopiedColumn kDepartmentColumns[] = {{"ISN", FieldType::Integer},
                                               {"CENKODS", FieldType::Integer}};

// One copied table: its name on the server and in the local file, and its
// columns. Each local row also keeps the row version the server read with it
// (H), so the copy's checksums come from the very rows it holds.
struct CopiedTable
{
    const char* server;
    const char* local;
    const CopiedColumn* columns;
    int columnCount;
};

const CopiedTable kGoods{"N_KLPREC", "CATALOGUE_GOODS", kGoodsColumns,
                         int(std::size(kGoodsColumns))};
const CopiedTable kGroups{"N_PRGRUP", "CATALOGUE_GROUPS", kGroupColumns,
                          int(std::size(kGroupColumns))};
const CopiedTable kDepartments{"N_DEPART", "CATALOGUE_DEPARTMENTS", kDepartmentColumns,
                               int(std::size(kDepartmentColumns))};

bool isCodeColumn(const CopiedColumn& column)
{
    return QLatin1String(column.name).startsWith(QLatin1String("ARTIKULS"));
}

QStringList columnNames(const CopiedTable& table)
{
    QStringList names;
    for (int i = 0; i < table.columnCount; ++i)
        names << QLatin1String(table.columns[i].name);
    return names;
}

// A row's version: the number of the transaction that wrote what the row
// now holds. Any insert or update brings a number above every one the table
// held before, and a delete lowers the count, so count and sum of the versions
// of a block change with any change to it. Firebird reads it for free, where a
// hash of the columns' text took the server over a second per 50,000 goods.
const QString kRowVersion = QStringLiteral("RDB$RECORD_VERSION");

// Each version weighted by the key's place in its block: a second sum, so
// that changes whose versions happen to cancel out in the plain sum (an older
// transaction committing late writes a lower number than the row had) still
// show. Versions stay below 2^32, so 512 of them weighted by up to 512 fit a
// BIGINT with room to spare.
// The copy weighs its own rows alike (ISN & 511 there).
const QString kWeightedVersion = QStringLiteral("RDB$RECORD_VERSION * (1 + BIN_AND(ISN, 511))");
static_assert(GoodsCatalogueCopy::BlockSize == 512, "the weights run over one block");

// The server's statements. Their texts are fixed; only the key range travels,
// as parameters.
const QString& checksumStatement()
{
    // The database's creation time (T 0): a database restored from a backup
    // numbers its transactions afresh, and its rows' versions must not be
    // compared with those of the copy's former source. Then one row per
    // block of goods keys (T 1), one for the groups (T 2) and one for the
    // departments (T 3): count and sum of the row versions. BIN_SHR rounds
    // down also for negative keys, as the copy's own >> does.
    static const QString sql =
        QStringLiteral("SELECT 0 T, 0 B, 0 N, CAST(DATEDIFF(MILLISECOND FROM TIMESTAMP "
                       "'2000-01-01 00:00' TO MON$CREATION_DATE) AS BIGINT) S, 0 W "
                       "FROM MON$DATABASE "
                       "UNION ALL SELECT 1, BIN_SHR(ISN, %1), COUNT(*), SUM(%2), SUM(%3) "
                       "FROM N_KLPREC GROUP BY BIN_SHR(ISN, %1) "
                       "UNION ALL SELECT 2, 0, COUNT(*), SUM(%2), SUM(%3) FROM N_PRGRUP "
                       "UNION ALL SELECT 3, 0, COUNT(*), SUM(%2), SUM(%3) FROM N_DEPART")
            .arg(GoodsCatalogueCopy::BlockShift)
            .arg(kRowVersion, kWeightedVersion);
    return sql;
}

QString fetchStatement(const CopiedTable& table)
{
    return QStringLiteral("SELECT %1, %2 H FROM %3")
        .arg(columnNames(table).join(QStringLiteral(", ")), kRowVersion,
             QLatin1String(table.server));
}

const QString& fetchGoodsStatement()
{
    static const QString sql =
        fetchStatement(kGoods) + QStringLiteral(" WHERE ISN BETWEEN :LO AND :HI");
    return sql;
}

// The row versions of a key range, to find which of its rows changed.
const QString& goodsVersionsStatement()
{
    static const QString sql =
        QStringLiteral("SELECT ISN, %1 H FROM N_KLPREC WHERE ISN BETWEEN :LO AND :HI")
            .arg(kRowVersion);
    return sql;
}

// The copy's tables. Codes are kept without trailing spaces, because the
// server compares texts as if padded with spaces: "ABC " finds "ABC".
QStringList localSchema()
{
    QStringList statements;
    for (const CopiedTable* table : {&kGoods, &kGroups, &kDepartments}) {
        QStringList columns;
        for (int i = 0; i < table->columnCount; ++i) {
            const CopiedColumn& column = table->columns[i];
            const char* type = column.type == FieldType::Integer  ? "INTEGER"
                               : column.type == FieldType::Double ? "REAL"
                                                                  : "TEXT";
            columns << QStringLiteral("%1 %2%3").arg(
                QLatin1String(column.name), QLatin1String(type),
                i == 0 ? QStringLiteral(" PRIMARY KEY") : QString());
        }
        columns << QStringLiteral("H INTEGER NOT NULL");
        statements << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                          .arg(QLatin1String(table->local), columns.join(QStringLiteral(", ")));
    }
    // The source database the rows came from, by its creation time.
    statements << QStringLiteral("CREATE TABLE IF NOT EXISTS CATALOGUE_SOURCE "
                                 "(ID INTEGER PRIMARY KEY CHECK (ID = 1), CREATED INTEGER)");
    for (int i = 0; i < kGoods.columnCount; ++i) {
        if (isCodeColumn(kGoods.columns[i]))
            statements << QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2 ON %1 (%2)")
                              .arg(QLatin1String(kGoods.local),
                                   QLatin1String(kGoods.columns[i].name));
    }
    return statements;
}

// The look-up in the copy, its columns named as the server's look-up names
// them, so that the same code reads both. With several matches the lowest key
// wins; "+K.ISN" keeps SQLite on the code indexes rather than walking the keys.
const QString kFindSelect = QStringLiteral(
    "SELECT K.ISN, K.NODOKLIS, K.GNOS PRECES_NOS, K.ISSERTIF1, K.PARDCENA1, K.PARDCENA2, "
    "K.PARDCENA3, K.PARDCENA4, K.PARDCENA5, K.PARDCENA6, K.PARDCENA7, K.PARDCENA8, K.PARDCENA9, "
    "K.PARDCENA10, K.PARDCENA11, K.PARDCENA12, K.PARDCENA13, K.PARDCENA14, K.PARDCENA15, "
    "K.PARDCENA16, K.PAKALPOJ, K.ISPRGRUPA, K.ISPRKLIENT, K.MERVIENIBA, G.GNOS GRUPAS_NOS "
    "FROM CATALOGUE_GOODS K JOIN CATALOGUE_GROUPS G ON G.ISN = K.ISPRGRUPA WHERE ");
const QString kFindByCode =
    kFindSelect +
    QStringLiteral("(K.ARTIKULS = ?1 OR K.ARTIKULS2 = ?1 OR K.ARTIKULS3 = ?1 OR K.ARTIKULS4 = ?1 "
                   "OR K.ARTIKULS5 = ?1 OR K.ARTIKULS6 = ?1) ORDER BY +K.ISN LIMIT 1");
const QString kFindByIsn = kFindSelect + QStringLiteral("K.ISN = ?1");
// The types of kFindSelect's columns, in order.
constexpr FieldType kFoundTypes[] = {
    FieldType::Integer, FieldType::Double,  FieldType::Text,    FieldType::Integer,
    FieldType::Double,  FieldType::Double,  FieldType::Double,  FieldType::Double,
    FieldType::Double,  FieldType::Double,  FieldType::Double,  FieldType::Double,
    FieldType::Double,  FieldType::Double,  FieldType::Double,  FieldType::Double,
    FieldType::Double,  FieldType::Double,  FieldType::Double,  FieldType::Double,
    FieldType::Text,    FieldType::Integer, FieldType::Integer, FieldType::Text,
    FieldType::Text,
};

// As the server's look-up: a code longer than this can name no goods.
constexpr int kMaxCodeLength = 250;

QString withoutTrailingSpaces(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

// Count, version sum and weighted version sum of a block, a table.
using Checksum = std::tuple<qint64, qint64, qint64>;

qint64 asInt64(const QVariant& value)
{
    return value.isValid() ? value.toLongLong() : 0;
}

} // namespace

class GoodsCatalogueCopy::Store
{
public:
    explicit Store(LocalDatabase& database) : db(database)
    {
        for (const QString& sql : localSchema())
            db.exec(sql);
    }

    QMap<qint64, Checksum> localGoodsBlocks() const
    {
        QMap<qint64, Checksum> blocks;
        LocalDatabase::Statement statement =
            db.prepare(QStringLiteral("SELECT ISN >> %1, COUNT(*), SUM(H), SUM(H * "
                                      "(1 + (ISN & 511))) FROM CATALOGUE_GOODS "
                                      "GROUP BY 1")
                           .arg(BlockShift));
        while (statement.step())
            blocks.insert(statement.columnInteger(0),
                          {statement.columnInteger(1), statement.columnInteger(2),
                           statement.columnInteger(3)});
        return blocks;
    }

    Checksum localChecksum(const CopiedTable& table) const
    {
        LocalDatabase::Statement statement =
            db.prepare(QStringLiteral("SELECT COUNT(*), SUM(H), SUM(H * (1 + (ISN & 511))) FROM %1")
                           .arg(QLatin1String(table.local)));
        statement.step();
        return {statement.columnInteger(0), statement.columnInteger(1), statement.columnInteger(2)};
    }

    // Replaces the rows of the table with keys lo..hi by the fetched ones and
    // removes the rows of the keys gone.
    void replace(const CopiedTable& table, qint64 lo, qint64 hi, const DataPacket& rows,
                 const QList<qint64>& gone = {})
    {
        db.transaction([&] {
            LocalDatabase::Statement remove =
                db.prepare(QStringLiteral("DELETE FROM %1 WHERE ISN BETWEEN ?1 AND ?2")
                               .arg(QLatin1String(table.local)));
            remove.bind(1, lo).bind(2, hi).run();
            for (qint64 key : gone)
                remove.bind(1, key).bind(2, key).run();
            insert(table, rows);
        });
    }

    QMap<qint64, qint64> localRowVersions(qint64 lo, qint64 hi) const
    {
        QMap<qint64, qint64> versions;
        LocalDatabase::Statement statement = db.prepare(
            QStringLiteral("SELECT ISN, H FROM CATALOGUE_GOODS WHERE ISN BETWEEN ?1 AND ?2"));
        statement.bind(1, lo);
        statement.bind(2, hi);
        while (statement.step())
            versions.insert(statement.columnInteger(0), statement.columnInteger(1));
        return versions;
    }

    // Brings the goods with keys lo..hi up to date; returns the rows fetched.
    // Where the copy holds none of them, they are fetched whole. Otherwise
    // the server first sends each row's version, and only the rows from the
    // first to the last that differ come again: one changed price costs a
    // few kilobytes of versions and one row rather than a block.
    int refreshRun(RemoteDataSet& server, qint64 lo, qint64 hi)
    {
        const QMap<qint64, qint64> local = localRowVersions(lo, hi);
        QList<qint64> gone;
        if (!local.isEmpty()) {
            server.setCommandText(goodsVersionsStatement());
            server.setIntegerParam(QStringLiteral("LO"), qint32(lo));
            server.setIntegerParam(QStringLiteral("HI"), qint32(hi));
            server.open();
            const DataPacket& versions = server.packet();
            const int isn = versions.columnIndex(QStringLiteral("ISN"));
            const int h = versions.columnIndex(QStringLiteral("H"));
            QMap<qint64, qint64> remaining = local;
            qint64 first = hi + 1;
            qint64 last = lo - 1;
            for (const QVariantList& row : versions.rows) {
                const qint64 key = asInt64(row.at(isn));
                const auto it = remaining.constFind(key);
                if (it == remaining.cend() || it.value() != asInt64(row.at(h))) {
                    first = std::min(first, key);
                    last = std::max(last, key);
                }
                remaining.remove(key);
            }
            gone = remaining.keys();
            lo = first;
            hi = last;
        }
        if (lo > hi) {
            replace(kGoods, lo, hi, DataPacket(), gone);
            return 0;
        }
        server.setCommandText(fetchGoodsStatement());
        server.setIntegerParam(QStringLiteral("LO"), qint32(lo));
        server.setIntegerParam(QStringLiteral("HI"), qint32(hi));
        server.open();
        replace(kGoods, lo, hi, server.packet(), gone);
        return server.recordCount();
    }

    // Empties the copy when its rows came from another database than the
    // one created at that time; true then.
    bool keepSource(qint64 created)
    {
        LocalDatabase::Statement source =
            db.prepare(QStringLiteral("SELECT CREATED FROM CATALOGUE_SOURCE"));
        if (source.step() && source.columnInteger(0) == created)
            return false;
        source.reset();
        db.transaction([&] {
            for (const CopiedTable* table : {&kGoods, &kGroups, &kDepartments})
                db.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table->local)));
            db.prepare(QStringLiteral(
                           "INSERT OR REPLACE INTO CATALOGUE_SOURCE (ID, CREATED) VALUES (1, ?1)"))
                .bind(1, created)
                .run();
        });
        return true;
    }

    void removeBlocks(const QList<qint64>& blocks)
    {
        if (blocks.isEmpty())
            return;
        db.transaction([&] {
            LocalDatabase::Statement remove = db.prepare(
                QStringLiteral("DELETE FROM CATALOGUE_GOODS WHERE ISN >> %1 = ?1").arg(BlockShift));
            for (qint64 block : blocks)
                remove.bind(1, block).run();
        });
    }

    LocalDatabase& db;

private:
    void insert(const CopiedTable& table, const DataPacket& rows)
    {
        if (rows.rows.isEmpty())
            return;
        QStringList names = columnNames(table);
        names << QStringLiteral("H");
        QStringList marks;
        std::vector<int> at;
        for (int i = 0; i < names.size(); ++i) {
            marks << QStringLiteral("?%1").arg(i + 1);
            at.push_back(rows.columnIndex(names[i]));
            if (at.back() < 0)
                throw ClientError(QStringLiteral("Preču kopija: nav lauka %1").arg(names[i]));
        }
        LocalDatabase::Statement statement =
            db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                           .arg(QLatin1String(table.local), names.join(QStringLiteral(", ")),
                                marks.join(QStringLiteral(", "))));
        for (const QVariantList& row : rows.rows) {
            for (int i = 0; i < names.size(); ++i) {
                QVariant value = row.at(at[size_t(i)]);
                if (i < table.columnCount && isCodeColumn(table.columns[i]) && value.isValid())
                    value = withoutTrailingSpaces(value.toString());
                bindValue(statement, i + 1, value);
            }
            statement.run();
        }
    }
};

GoodsCatalogueCopy::GoodsCatalogueCopy(LocalDatabase& database)
    : m_store(std::make_unique<Store>(database))
{
}

GoodsCatalogueCopy::~GoodsCatalogueCopy() = default;

namespace {

// Consecutive blocks fetched in one request: fewer round trips on a first
// copy, while one reply stays a few megabytes at most.
constexpr int kBlocksPerRequest = 16;

// Runs of consecutive blocks, each at most kBlocksPerRequest long.
QList<std::pair<qint64, qint64>> blockRuns(const QList<qint64>& blocks)
{
    QList<std::pair<qint64, qint64>> runs;
    for (qint64 block : blocks) {
        if (!runs.isEmpty() && runs.back().second + 1 == block &&
            block - runs.back().first < kBlocksPerRequest)
            runs.back().second = block;
        else
            runs.append({block, block});
    }
    return runs;
}

} // namespace

QStringList GoodsCatalogueCopy::Statements()
{
    return {checksumStatement(), goodsVersionsStatement(), fetchGoodsStatement(),
            fetchStatement(kGroups), fetchStatement(kDepartments)};
}

CatalogueRefresh GoodsCatalogueCopy::refresh(TClientDataModule& module)
{
    ServerConnection& connection = module.SQLConnection1();
    CatalogueRefresh report;
    const quint64 sentBefore = connection.bytesSent();
    const quint64 receivedBefore = connection.bytesReceived();
    const quint64 requestsBefore = connection.requestCount();

    OwnDataSet own(module, module.cdsFindN_KLPREC());
    RemoteDataSet& server = *own;
    PrepareDataset(server);
    server.setCommandText(checksumStatement());
    server.open();

    qint64 created = 0;
    QMap<qint64, Checksum> serverBlocks;
    Checksum serverGroups{0, 0, 0};
    Checksum serverDepartments{0, 0, 0};
    const DataPacket& sums = server.packet();
    const int t = sums.columnIndex(QStringLiteral("T"));
    const int b = sums.columnIndex(QStringLiteral("B"));
    const int n = sums.columnIndex(QStringLiteral("N"));
    const int s = sums.columnIndex(QStringLiteral("S"));
    const int w = sums.columnIndex(QStringLiteral("W"));
    for (const QVariantList& row : sums.rows) {
        const Checksum sum{asInt64(row.at(n)), asInt64(row.at(s)), asInt64(row.at(w))};
        switch (asInt64(row.at(t))) {
        case 0:
            created = std::get<1>(sum);
            break;
        case 1:
            serverBlocks.insert(asInt64(row.at(b)), sum);
            break;
        case 2:
            serverGroups = sum;
            break;
        default:
            serverDepartments = sum;
        }
    }

    report.newSource = m_store->keepSource(created);
    const QMap<qint64, Checksum> localBlocks = m_store->localGoodsBlocks();
    QList<qint64> changed;
    for (auto it = serverBlocks.cbegin(); it != serverBlocks.cend(); ++it) {
        if (localBlocks.value(it.key(), Checksum{-1, -1, -1}) != it.value())
            changed << it.key();
    }
    QList<qint64> gone;
    for (auto it = localBlocks.cbegin(); it != localBlocks.cend(); ++it) {
        if (!serverBlocks.contains(it.key()))
            gone << it.key();
    }
    m_store->removeBlocks(gone);

    for (const auto& [first, last] : blockRuns(changed)) {
        const qint64 lo = first << BlockShift;
        const qint64 hi = ((last + 1) << BlockShift) - 1;
        report.goodsBlocks += int(last - first + 1);
        report.goodsRows += m_store->refreshRun(server, lo, hi);
    }

    // The groups and departments are a few rows: fetched whole when changed.
    const auto refreshSmall = [&](const CopiedTable& table, const Checksum& sum) {
        if (m_store->localChecksum(table) == sum)
            return false;
        server.setCommandText(fetchStatement(table));
        server.open();
        m_store->replace(table, std::numeric_limits<qint32>::min(),
                         std::numeric_limits<qint32>::max(), server.packet());
        return true;
    };
    report.groups = refreshSmall(kGroups, serverGroups);
    report.departments = refreshSmall(kDepartments, serverDepartments);

    report.requests = int(connection.requestCount() - requestsBefore);
    report.bytesSent = connection.bytesSent() - sentBefore;
    report.bytesReceived = connection.bytesReceived() - receivedBefore;
    return report;
}

bool GoodsCatalogueCopy::find(GoodsInfo& goods, const QString& code, bool byIsn,
                              qint32 priceCode) const
{
    QVariant key;
    if (byIsn) {
        bool ok = false;
        key = code.trimmed().toInt(&ok);
        if (!ok)
            return false;
    } else {
        if (code.size() > kMaxCodeLength)
            return false;
        key = withoutTrailingSpaces(code);
    }
    LocalDatabase::Statement statement = m_store->db.prepare(byIsn ? kFindByIsn : kFindByCode);
    bindValue(statement, 1, key);
    if (!statement.step())
        return false;

    // The row goes through the server look-up's own reading, so both fill the
    // record alike.
    DataPacket packet;
    static const QStringList names =
        QStringLiteral(
            "ISN NODOKLIS PRECES_NOS ISSERTIF1 PARDCENA1 PARDCENA2 PARDCENA3 PARDCENA4 PARDCENA5 "
            "PARDCENA6 PARDCENA7 PARDCENA8 PARDCENA9 PARDCENA10 PARDCENA11 PARDCENA12 PARDCENA13 "
            "PARDCENA14 PARDCENA15 PARDCENA16 PAKALPOJ ISPRGRUPA ISPRKLIENT MERVIENIBA GRUPAS_NOS")
            .split(QLatin1Char(' '));
    QVariantList row;
    for (int i = 0; i < names.size(); ++i) {
        packet.columns.append(ColumnInfo{names[i], kFoundTypes[i], 0});
        row << readValue(statement, i, kFoundTypes[i]);
    }
    packet.rows.append(row);
    RemoteDataSet found(QStringLiteral("cdsFindN_KLPREC"), nullptr, QString());
    found.holdRows(std::move(packet));
    goods.PriceCode = priceCode;
    return ReadFoundGoods(found, goods);
}

std::optional<qint32> GoodsCatalogueCopy::departmentPriceCode(qint32 departmentIsn) const
{
    LocalDatabase::Statement statement = m_store->db.prepare(
        QStringLiteral("SELECT CENKODS FROM CATALOGUE_DEPARTMENTS WHERE ISN = ?1"));
    statement.bind(1, departmentIsn);
    if (!statement.step())
        return std::nullopt;
    return qint32(statement.columnInteger(0));
}

int GoodsCatalogueCopy::goodsCount() const
{
    return int(std::get<0>(m_store->localChecksum(kGoods)));
}
