#include "server/db/fbattachment.h"

#include "common/cborwriter.h"
#include "common/codepage.h"
#include "common/namedparams.h"
#include "server/db/databaseerror.h"

#include <QDateTime>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <ibase.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

static_assert(std::is_same_v<isc_db_handle, unsigned int>, "the header stores the handle as such");
static_assert(std::is_same_v<isc_tr_handle, unsigned int>, "the header stores the handle as such");

namespace {

constexpr int charsetNone = 0;
constexpr int charsetOctets = 1;
constexpr int charsetUnicodeFss = 3;
constexpr int charsetUtf8 = 4;

bool isUnicode(int charset)
{
    return charset == charsetUtf8 || charset == charsetUnicodeFss;
}

} // namespace

// Decides how text bytes map to QString. Firebird labels every text value with
// its character set: UTF8 ones are UTF-8, and everything else an attachment
// without lc_ctype sees (and NONE columns even under UTF8) is the installation's
// 8-bit code page, the way the older programs stored it. The converters are
// made once per attachment: looking the code page up costs ten times the
// conversion of a short value.
class FbTextCodec final
{
public:
    explicit FbTextCodec(bool utf8Connection)
        : m_utf8(utf8Connection),
          m_decoder(installationCodePage().constData(), QStringConverter::Flag::Stateless),
          m_encoder(installationCodePage().constData(), QStringConverter::Flag::Stateless)
    {
    }

    int connectionCharset() const { return m_utf8 ? charsetUtf8 : charsetNone; }

    QString decode(const char* data, qsizetype size, int charset) const
    {
        if (isUnicode(charset))
            return QString::fromUtf8(data, size);
        if (!m_decoder.isValid())
            return QString::fromLatin1(data, size);
        return m_decoder.decode(QByteArrayView(data, size));
    }
    QString decode(const QByteArray& bytes) const
    {
        return decode(bytes.constData(), bytes.size(), connectionCharset());
    }

    // Text bytes of that character set as a CBOR text: UTF-8 goes as it is.
    void write(CborWriter& out, QByteArrayView bytes, int charset) const
    {
        if (isUnicode(charset))
            out.utf8(bytes);
        else
            out.text(decode(bytes.data(), bytes.size(), charset));
    }

    QByteArray encode(const QString& text, int charset) const
    {
        if (isUnicode(charset))
            return text.toUtf8();
        if (!m_encoder.isValid())
            return text.toLatin1();
        return m_encoder.encode(text);
    }
    QByteArray encode(const QString& text) const { return encode(text, connectionCharset()); }

    static int bytesPerCharacter(int charset)
    {
        if (charset == charsetUtf8)
            return 4;
        return charset == charsetUnicodeFss ? 3 : 1;
    }

private:
    bool m_utf8;
    mutable QStringDecoder m_decoder;
    mutable QStringEncoder m_encoder;
};

namespace {

constexpr short sqlDialect = 3;
// ISC_DATE counts days from 1858-11-17, QDate from the Julian day number.
constexpr qint64 iscDateEpochJulianDay = 2400001;
constexpr int maxVaryingBytes = 32765;
constexpr unsigned short blobSegmentBytes = 32767;

bool isConnectionLostCode(ISC_STATUS code)
{
    switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_att_shutdown:
    case isc_shutdown:
    case isc_bad_db_handle:
#ifdef isc_conn_lost
    case isc_conn_lost:
#endif
#ifdef isc_net_server_shutdown
    case isc_net_server_shutdown:
#endif
        return true;
    default:
        return false;
    }
}

// Looks at every code, not just the first: a lost connection often comes as
// the detail of a more general error. A cstring argument takes two slots after
// its kind, every other argument one.
bool isConnectionLost(const ISC_STATUS* status)
{
    for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
        const ISC_STATUS kind = *p;
        if (kind == isc_arg_gds && isConnectionLostCode(p[1]))
            return true;
        p += kind == isc_arg_cstring ? 3 : 2;
    }
    return false;
}

enum class Collision
{
    None,
    Write,     // another transaction changed or holds the same row
    Duplicate, // a key of a unique index another transaction has just stored
};

// Firebird reports a write that met another transaction's change first as
// "deadlock" (update conflicts with concurrent update), or as a lock conflict
// when it does not wait; a procedure's or block's error keeps that first code.
Collision collisionOf(const DatabaseError& error)
{
    if (error.connectionLost())
        return Collision::None;
    switch (error.code()) {
    case isc_deadlock:
    case isc_update_conflict:
    case isc_lock_conflict:
        return Collision::Write;
    case isc_no_dup:
        return Collision::Duplicate;
    default:
        return Collision::None;
    }
}

// Statements run again after a write conflict take turns across the
// attachments of the process. The writers that waited for the same row all
// fail together when its transaction commits; all run again at once, one
// would get the row and the others fail again, every round costing each of
// them its whole statement. Taking turns, each runs again about once. The
// one waiting for its turn has no transaction open, so the one whose turn
// it is never waits for it. Statements that keep colliding take their turn
// before their first run too (FbStatement::takesTurns).
std::timed_mutex& collidingWritesTurn()
{
    static std::timed_mutex turn;
    return turn;
}

DatabaseError toError(const ISC_STATUS* status, const FbTextCodec& codec)
{
    QStringList lines;
    char line[1024];
    const ISC_STATUS* cursor = status;
    while (fb_interpret(line, sizeof line, &cursor) > 0)
        lines.append(codec.decode(QByteArray(line)));
    return DatabaseError(lines.join(u'\n'), isConnectionLost(status), long(status[1]));
}

DatabaseError firebirdError(ISC_STATUS code)
{
    const ISC_STATUS status[] = {isc_arg_gds, code, isc_arg_end};
    return toError(status, FbTextCodec(false));
}

// Holds one call's status vector and turns a failure into a DatabaseError.
class Status final
{
public:
    explicit Status(const FbTextCodec& codec) : m_codec(codec) {}

    ISC_STATUS* get() { return m_vector; }
    void check(ISC_STATUS result) const
    {
        if (result != 0)
            throw toError(m_vector, m_codec);
    }

private:
    const FbTextCodec& m_codec;
    ISC_STATUS_ARRAY m_vector = {};
};

template <typename T> T load(const char* data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

template <typename T> void store(std::vector<char>& buffer, size_t offset, const T& value)
{
    std::memcpy(buffer.data() + offset, &value, sizeof value);
}

size_t aligned(size_t offset)
{
    return (offset + 7) & ~size_t(7);
}

QDate toDate(ISC_DATE date)
{
    return QDate::fromJulianDay(date + iscDateEpochJulianDay);
}

QTime toTime(ISC_TIME time)
{
    return QTime::fromMSecsSinceStartOfDay(int(time / 10));
}

// Firebird keeps ten-thousandths of a second; going through struct tm
// (isc_encode_timestamp) would lose the milliseconds.
ISC_TIMESTAMP toTimestamp(const QDateTime& value)
{
    const QDateTime local = value.toLocalTime();
    return {ISC_DATE(local.date().toJulianDay() - iscDateEpochJulianDay),
            ISC_TIME(local.time().msecsSinceStartOfDay()) * 10};
}

void appendParameter(QByteArray& block, char tag, const QByteArray& value)
{
    block.append(tag);
    block.append(char(value.size()));
    block.append(value);
}

QByteArray transactionBlock(bool write, int lockTimeoutSeconds)
{
    QByteArray tpb;
    tpb.append(char(isc_tpb_version3));
    tpb.append(char(write ? isc_tpb_write : isc_tpb_read));
    tpb.append(char(isc_tpb_read_committed));
    tpb.append(char(isc_tpb_rec_version));
    tpb.append(char(lockTimeoutSeconds == 0 ? isc_tpb_nowait : isc_tpb_wait));
    if (lockTimeoutSeconds > 0) {
        const qint32 seconds = lockTimeoutSeconds;
        tpb.append(char(isc_tpb_lock_timeout));
        tpb.append(char(sizeof seconds));
        for (size_t i = 0; i < sizeof seconds; ++i)
            tpb.append(char((seconds >> (8 * i)) & 0xFF)); // little-endian, as Firebird reads it
    }
    return tpb;
}

// An XSQLDA sized for however many columns the statement describes.
class Descriptor final
{
public:
    Descriptor() { resize(8); }

    XSQLDA* get() { return reinterpret_cast<XSQLDA*>(m_memory.data()); }
    const XSQLDA* get() const { return reinterpret_cast<const XSQLDA*>(m_memory.data()); }
    int count() const { return get()->sqld; }
    XSQLVAR& operator[](int i) { return get()->sqlvar[i]; }
    const XSQLVAR& operator[](int i) const { return get()->sqlvar[i]; }
    // What Firebird's calls take: no descriptor at all when there is nothing in it.
    XSQLDA* orNull() { return count() > 0 ? get() : nullptr; }

    // Describes into the descriptor, growing it when it turns out too small.
    template <typename DescribeCall> void describe(Status& status, DescribeCall call)
    {
        status.check(call(status.get(), get()));
        if (get()->sqld <= get()->sqln)
            return;
        resize(get()->sqld);
        status.check(call(status.get(), get()));
    }

private:
    void resize(int count)
    {
        m_memory.assign(XSQLDA_LENGTH(count) / sizeof(std::max_align_t) + 1, {});
        get()->version = SQLDA_VERSION1;
        get()->sqln = ISC_SHORT(count);
    }

    std::vector<std::max_align_t> m_memory;
};

// The described type of an input marker, restored before every binding because
// a call coerces the marker to its parameter's own type.
struct DescribedType
{
    ISC_SHORT type = 0;
    ISC_SHORT scale = 0;
    ISC_SHORT subtype = 0;
    ISC_SHORT length = 0;
};

bool isTextType(int type)
{
    return type == SQL_TEXT || type == SQL_VARYING;
}

int charsetOf(const XSQLVAR& var)
{
    // Text keeps the character set in sqlsubtype, a blob in sqlscale; the high
    // byte is the collation.
    return (((var.sqltype & ~1) == SQL_BLOB) ? var.sqlscale : var.sqlsubtype) & 0xFF;
}

FieldType integerFieldType(const XSQLVAR& var)
{
    if (var.sqlscale < 0)
        return FieldType::Double;
    return (var.sqltype & ~1) == SQL_INT64 ? FieldType::BigInt : FieldType::Integer;
}

FieldType fieldTypeOf(const XSQLVAR& var)
{
    switch (var.sqltype & ~1) {
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
        return integerFieldType(var);
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return FieldType::Double;
    case SQL_TEXT:
    case SQL_VARYING:
        return charsetOf(var) == charsetOctets ? FieldType::Blob : FieldType::Text;
    case SQL_TYPE_DATE:
        return FieldType::Date;
    case SQL_TYPE_TIME:
        return FieldType::Time;
    case SQL_TIMESTAMP:
        return FieldType::DateTime;
    case SQL_BLOB:
        return var.sqlsubtype == 1 ? FieldType::Text : FieldType::Blob;
    case SQL_BOOLEAN:
        return FieldType::Boolean;
    case SQL_NULL:
        return FieldType::Text;
    default:
        return FieldType::Blob;
    }
}

// NUMERIC and DECIMAL arrive as integers counting units of 10^scale.
void writeInteger(CborWriter& out, qint64 value, int scale)
{
    if (scale < 0)
        out.float64(double(value) / std::pow(10.0, -scale));
    else
        out.integer(value);
}

ColumnInfo columnOf(const XSQLVAR& var, const FbTextCodec& codec)
{
    ColumnInfo column;
    column.name = codec.decode(var.aliasname, var.aliasname_length, codec.connectionCharset());
    column.type = fieldTypeOf(var);
    column.size = var.sqllen;
    if (isTextType(var.sqltype & ~1) && column.type == FieldType::Text)
        column.size = var.sqllen / FbTextCodec::bytesPerCharacter(charsetOf(var));
    return column;
}

bool bindsNull(const RemoteParam* param)
{
    if (param == nullptr || param->isNull())
        return true;
    return param->type == ParamType::DateTime && !param->value.toDateTime().isValid();
}

// What a statement needs from the call it runs in.
struct CallContext
{
    isc_db_handle* db;
    isc_tr_handle* transaction;
    const FbTextCodec& codec;
};

} // namespace

// One prepared statement with its descriptors and buffers. It belongs to the
// attachment, not to a transaction, so it is executed again in later calls.
class FbStatement final
{
public:
    // text is what the terminal sent, the key of the cache; positional is
    // what Firebird prepares.
    FbStatement(const QString& text, PositionalSql positional)
        : m_text(text), m_sql(std::move(positional.sql)), m_names(std::move(positional.names)),
          m_readsMonitoring(m_sql.contains(u"MON$", Qt::CaseInsensitive))
    {
    }
    ~FbStatement() { drop(); }
    FbStatement(const FbStatement&) = delete;
    FbStatement& operator=(const FbStatement&) = delete;

    const QString& text() const { return m_text; }
    const QStringList& parameterNames() const { return m_names; }
    void prepare(CallContext& call);
    // Statements that only read run in a read-only transaction, which costs
    // nothing to commit; a select whose procedure writes finds out on its first run.
    bool needsWrite() const { return m_needsWrite; }
    void requireWrite() { m_needsWrite = true; }
    // A write that met other transactions' changes of the same rows takes
    // its turn before it runs, for as long as others keep running it at the
    // same time (a save of a document line at several terminals): the
    // database would make them wait for each other anyway, and then refuse
    // all but the first. Run alone a few times in a row, it is free again.
    bool takesTurns() const { return m_turnsLeft > 0; }
    void collided() { m_turnsLeft = kTurnsWhenAlone; }
    void tookTurn(bool waited) { m_turnsLeft = waited ? kTurnsWhenAlone : m_turnsLeft - 1; }
    // Firebird takes the monitoring tables' snapshot once per transaction: a
    // read of them in the long-lived reading transaction would see the
    // first snapshot forever.
    bool readsMonitoring() const { return m_readsMonitoring; }
    // DDL runs once in a blue moon; kept, it would only push out statements
    // that do run again.
    bool worthCaching() const { return m_type != isc_info_sql_stmt_ddl; }

    void bind(const RemoteParams& params, CallContext& call);
    EncodedPacket execute(CallContext& call, const RowLimits& limits);
    void drop() noexcept;

private:
    void readType(Status& status);
    void rejectTransactionControl() const;
    void describeInput(Status& status);
    void describeOutput(Status& status, const FbTextCodec& codec);

    size_t bindValue(int index, const RemoteParam* param, CallContext& call, size_t offset);
    template <typename T> size_t bindNumber(XSQLVAR& var, short type, T value, size_t offset);
    size_t bindText(XSQLVAR& var, const DescribedType& described, const QString& text,
                    const FbTextCodec& codec, size_t offset);
    size_t bindBlob(XSQLVAR& var, const DescribedType& described, const QString& text,
                    CallContext& call, size_t offset);
    size_t bindNull(XSQLVAR& var, const DescribedType& described, size_t offset);
    void reserveInput(size_t offset, size_t size);

    EncodedPacket fetchAll(CallContext& call, const RowLimits& limits);
    void closeCursor(Status& status) noexcept;
    void writeRow(CallContext& call, CborWriter& out) const;
    void writeValue(const XSQLVAR& var, CallContext& call, CborWriter& out) const;
    void writeText(const XSQLVAR& var, const FbTextCodec& codec, CborWriter& out) const;
    void writeBlob(const XSQLVAR& var, CallContext& call, CborWriter& out) const;

    const QString m_text;
    const QString m_sql;
    const QStringList m_names;
    const bool m_readsMonitoring;
    isc_stmt_handle m_handle = 0;
    int m_type = 0;
    bool m_needsWrite = true;
    static constexpr int kTurnsWhenAlone = 16;
    int m_turnsLeft = 0;
    Descriptor m_input;
    Descriptor m_output;
    std::vector<DescribedType> m_inputTypes;
    std::vector<char> m_inputData;
    std::vector<ISC_SHORT> m_inputNulls;
    std::vector<size_t> m_inputOffsets;
    std::vector<char> m_outputData;
    std::vector<ISC_SHORT> m_outputNulls;
    QList<ColumnInfo> m_columns;
};

void FbStatement::prepare(CallContext& call)
{
    Status status(call.codec);
    status.check(isc_dsql_allocate_statement(status.get(), call.db, &m_handle));
    const QByteArray sql = call.codec.encode(m_sql);
    status.check(isc_dsql_prepare(status.get(), call.transaction, &m_handle, 0, sql.constData(),
                                  sqlDialect, nullptr));
    readType(status);
    rejectTransactionControl();
    describeInput(status);
    describeOutput(status, call.codec);
}

void FbStatement::readType(Status& status)
{
    const char item = isc_info_sql_stmt_type;
    char answer[16] = {};
    status.check(isc_dsql_sql_info(status.get(), &m_handle, 1, &item, sizeof answer, answer));
    if (answer[0] == isc_info_sql_stmt_type) {
        const short length = short(isc_vax_integer(answer + 1, 2));
        m_type = int(isc_vax_integer(answer + 3, length));
    }
    m_needsWrite = m_type != isc_info_sql_stmt_select;
}

// The attachment keeps its transactions itself; a statement ending one would
// pull it out from under the calls.
void FbStatement::rejectTransactionControl() const
{
    if (m_type == isc_info_sql_stmt_start_trans || m_type == isc_info_sql_stmt_commit ||
        m_type == isc_info_sql_stmt_rollback)
        throw DatabaseError(QStringLiteral("Transaction statements are not accepted: the server "
                                           "commits every request on its own"),
                            false);
}

void FbStatement::describeInput(Status& status)
{
    m_input.describe(status, [this](ISC_STATUS* vector, XSQLDA* descriptor) {
        return isc_dsql_describe_bind(vector, &m_handle, SQLDA_VERSION1, descriptor);
    });
    const int count = m_input.count();
    m_inputTypes.resize(count);
    m_inputNulls.assign(count, 0);
    m_inputOffsets.resize(count);
    for (int i = 0; i < count; ++i) {
        const XSQLVAR& var = m_input[i];
        m_inputTypes[i] = {ISC_SHORT(var.sqltype & ~1), var.sqlscale, var.sqlsubtype, var.sqllen};
    }
}

void FbStatement::describeOutput(Status& status, const FbTextCodec& codec)
{
    m_output.describe(status, [this](ISC_STATUS* vector, XSQLDA* descriptor) {
        return isc_dsql_describe(vector, &m_handle, SQLDA_VERSION1, descriptor);
    });
    const int count = m_output.count();
    std::vector<size_t> offsets(count);
    size_t size = 0;
    for (int i = 0; i < count; ++i) {
        XSQLVAR& var = m_output[i];
        var.sqltype |= 1; // always get the indicator, NOT NULL columns included
        offsets[i] = size;
        const size_t length = var.sqllen + ((var.sqltype & ~1) == SQL_VARYING ? 2 : 0);
        size = aligned(size + std::max<size_t>(length, 1));
        m_columns.append(columnOf(var, codec));
    }
    m_outputData.assign(size, 0);
    m_outputNulls.assign(count, 0);
    for (int i = 0; i < count; ++i) {
        m_output[i].sqldata = m_outputData.data() + offsets[i];
        m_output[i].sqlind = &m_outputNulls[i];
    }
}

void FbStatement::bind(const RemoteParams& params, CallContext& call)
{
    const QStringList& names = m_names;
    m_inputData.clear();
    size_t offset = 0;
    for (int i = 0; i < m_input.count(); ++i) {
        const RemoteParam* param = i < names.size() ? findParam(params, names[i]) : nullptr;
        m_inputOffsets[i] = offset;
        offset = aligned(bindValue(i, param, call, offset));
    }
    // Only now is the buffer's address final.
    for (int i = 0; i < m_input.count(); ++i) {
        m_input[i].sqldata = m_inputData.data() + m_inputOffsets[i];
        m_input[i].sqlind = &m_inputNulls[i];
    }
}

void FbStatement::reserveInput(size_t offset, size_t size)
{
    m_inputData.resize(std::max(m_inputData.size(), offset + size));
}

// Binds one marker as the parameter's natural type and lets Firebird convert it
// to the column's; returns the end of the bytes it used.
size_t FbStatement::bindValue(int index, const RemoteParam* param, CallContext& call, size_t offset)
{
    XSQLVAR& var = m_input[index];
    const DescribedType& described = m_inputTypes[index];
    m_inputNulls[index] = bindsNull(param) ? -1 : 0;
    if (m_inputNulls[index] != 0)
        return bindNull(var, described, offset);
    if (described.type == SQL_BLOB)
        return bindBlob(var, described, param->value.toString(), call, offset);
    switch (param->type) {
    case ParamType::Integer:
        return bindNumber(var, SQL_INT64, ISC_INT64(param->value.toLongLong()), offset);
    case ParamType::Double:
        return bindNumber(var, SQL_DOUBLE, param->value.toDouble(), offset);
    case ParamType::DateTime:
        return bindNumber(var, SQL_TIMESTAMP, toTimestamp(param->value.toDateTime()), offset);
    case ParamType::Text:
    case ParamType::Null:
        break;
    }
    return bindText(var, described, param->value.toString(), call.codec, offset);
}

template <typename T>
size_t FbStatement::bindNumber(XSQLVAR& var, short type, T value, size_t offset)
{
    var.sqltype = ISC_SHORT(type | 1);
    var.sqlscale = 0;
    var.sqlsubtype = 0;
    var.sqllen = sizeof value;
    reserveInput(offset, sizeof value);
    store(m_inputData, offset, value);
    return offset + sizeof value;
}

size_t FbStatement::bindText(XSQLVAR& var, const DescribedType& described, const QString& text,
                             const FbTextCodec& codec, size_t offset)
{
    // Text keeps the marker's character set so Firebird transliterates from the
    // right one; text for a number or date only needs to be ASCII.
    const int charset =
        isTextType(described.type) ? described.subtype & 0xFF : codec.connectionCharset();
    const QByteArray bytes = codec.encode(text, charset);
    if (bytes.size() > maxVaryingBytes)
        throw DatabaseError(QStringLiteral("A text parameter of %1 bytes is longer than any "
                                           "text column holds (%2)")
                                .arg(bytes.size())
                                .arg(maxVaryingBytes),
                            false);
    var.sqltype = SQL_VARYING | 1;
    var.sqlscale = 0;
    var.sqlsubtype = isTextType(described.type) ? described.subtype : ISC_SHORT(charset);
    var.sqllen = ISC_SHORT(bytes.size());
    reserveInput(offset, 2 + bytes.size());
    store(m_inputData, offset, ISC_USHORT(bytes.size()));
    std::memcpy(m_inputData.data() + offset + 2, bytes.constData(), bytes.size());
    return offset + 2 + bytes.size();
}

// Writes the text into a new blob and binds its id: blobs take no other value.
size_t FbStatement::bindBlob(XSQLVAR& var, const DescribedType& described, const QString& text,
                             CallContext& call, size_t offset)
{
    const int charset =
        described.subtype == 1 ? described.scale & 0xFF : call.codec.connectionCharset();
    const QByteArray bytes = call.codec.encode(text, charset);
    Status status(call.codec);
    isc_blob_handle blob = 0;
    ISC_QUAD id = {};
    status.check(isc_create_blob2(status.get(), call.db, call.transaction, &blob, &id, 0, nullptr));
    for (qsizetype done = 0; done < bytes.size(); done += blobSegmentBytes) {
        const auto length =
            static_cast<unsigned short>(std::min<qsizetype>(blobSegmentBytes, bytes.size() - done));
        if (isc_put_segment(status.get(), &blob, length, bytes.constData() + done) != 0) {
            ISC_STATUS_ARRAY ignored;
            isc_cancel_blob(ignored, &blob);
            status.check(1);
        }
    }
    status.check(isc_close_blob(status.get(), &blob));
    const size_t end = bindNumber(var, SQL_BLOB, id, offset);
    var.sqlscale = described.scale;
    var.sqlsubtype = described.subtype;
    return end;
}

size_t FbStatement::bindNull(XSQLVAR& var, const DescribedType& described, size_t offset)
{
    var.sqltype = ISC_SHORT(described.type | 1);
    var.sqlscale = described.scale;
    var.sqlsubtype = described.subtype;
    var.sqllen = described.length;
    const size_t size = described.length + (described.type == SQL_VARYING ? 2 : 0);
    reserveInput(offset, std::max<size_t>(size, 1));
    return offset + std::max<size_t>(size, 1);
}

EncodedPacket FbStatement::execute(CallContext& call, const RowLimits& limits)
{
    if (m_type == isc_info_sql_stmt_select || m_type == isc_info_sql_stmt_select_for_upd)
        return fetchAll(call, limits);
    Status status(call.codec);
    if (m_output.count() == 0) {
        status.check(isc_dsql_execute(status.get(), call.transaction, &m_handle, SQLDA_VERSION1,
                                      m_input.orNull()));
        return EncodedPacket();
    }
    // EXECUTE PROCEDURE and ... RETURNING hand back one row without a cursor.
    status.check(isc_dsql_execute2(status.get(), call.transaction, &m_handle, SQLDA_VERSION1,
                                   m_input.orNull(), m_output.get()));
    PacketEncoder encoder(m_columns);
    writeRow(call, encoder.beginRow());
    return encoder.finish();
}

EncodedPacket FbStatement::fetchAll(CallContext& call, const RowLimits& limits)
{
    Status status(call.codec);
    PacketEncoder encoder(m_columns);
    status.check(isc_dsql_execute(status.get(), call.transaction, &m_handle, SQLDA_VERSION1,
                                  m_input.orNull()));
    try {
        while (limits.maxRows < 0 || encoder.rowCount() < limits.maxRows) {
            const ISC_STATUS result =
                isc_dsql_fetch(status.get(), &m_handle, SQLDA_VERSION1, m_output.get());
            if (result == 100)
                break;
            status.check(result);
            writeRow(call, encoder.beginRow());
            // Counted as the rows come, so that a result over the limit is
            // given up before it is built whole.
            if (encoder.rowBytes() > limits.maxBytes)
                throw ResultTooLarge(limits.maxBytes);
        }
    } catch (...) {
        closeCursor(status);
        throw;
    }
    status.check(isc_dsql_free_statement(status.get(), &m_handle, DSQL_close));
    return encoder.finish();
}

void FbStatement::closeCursor(Status& status) noexcept
{
    isc_dsql_free_statement(status.get(), &m_handle, DSQL_close);
}

void FbStatement::drop() noexcept
{
    if (m_handle == 0)
        return;
    ISC_STATUS_ARRAY ignored;
    isc_dsql_free_statement(ignored, &m_handle, DSQL_drop);
    m_handle = 0;
}

void FbStatement::writeRow(CallContext& call, CborWriter& out) const
{
    for (int i = 0; i < m_output.count(); ++i)
        writeValue(m_output[i], call, out);
}

// Straight from the fetched buffer to the packet's bytes: the same values,
// in the same forms, as the data packet's own encoder writes.
void FbStatement::writeValue(const XSQLVAR& var, CallContext& call, CborWriter& out) const
{
    if (*var.sqlind < 0) {
        out.null();
        return;
    }
    const char* data = var.sqldata;
    switch (var.sqltype & ~1) {
    case SQL_SHORT:
        return writeInteger(out, load<ISC_SHORT>(data), var.sqlscale);
    case SQL_LONG:
        return writeInteger(out, load<ISC_LONG>(data), var.sqlscale);
    case SQL_INT64:
        return writeInteger(out, load<ISC_INT64>(data), var.sqlscale);
    case SQL_FLOAT:
        return out.float64(double(load<float>(data)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return out.float64(load<double>(data));
    case SQL_TEXT:
    case SQL_VARYING:
        return writeText(var, call.codec, out);
    case SQL_TYPE_DATE:
        return out.utf8(dateText(toDate(load<ISC_DATE>(data))));
    case SQL_TYPE_TIME:
        return out.utf8(timeText(toTime(load<ISC_TIME>(data))));
    case SQL_TIMESTAMP: {
        const auto stamp = load<ISC_TIMESTAMP>(data);
        return out.utf8(
            dateTimeText(QDateTime(toDate(stamp.timestamp_date), toTime(stamp.timestamp_time))));
    }
    case SQL_BLOB:
        return writeBlob(var, call, out);
    case SQL_BOOLEAN:
        return out.boolean(load<FB_BOOLEAN>(data) != 0);
    case SQL_NULL:
        return out.null();
    default:
        return out.bytes(QByteArrayView(data, var.sqllen));
    }
}

void FbStatement::writeText(const XSQLVAR& var, const FbTextCodec& codec, CborWriter& out) const
{
    const bool varying = (var.sqltype & ~1) == SQL_VARYING;
    const char* data = var.sqldata + (varying ? 2 : 0);
    qsizetype length = varying ? load<ISC_USHORT>(var.sqldata) : var.sqllen;
    if (charsetOf(var) == charsetOctets)
        return out.bytes(QByteArrayView(data, length));
    // CHAR comes padded with blanks to its full length.
    while (!varying && length > 0 && data[length - 1] == ' ')
        --length;
    codec.write(out, QByteArrayView(data, length), charsetOf(var));
}

void FbStatement::writeBlob(const XSQLVAR& var, CallContext& call, CborWriter& out) const
{
    Status status(call.codec);
    isc_blob_handle blob = 0;
    auto id = load<ISC_QUAD>(var.sqldata);
    status.check(isc_open_blob2(status.get(), call.db, call.transaction, &blob, &id, 0, nullptr));
    QByteArray bytes;
    char segment[blobSegmentBytes];
    for (;;) {
        unsigned short length = 0;
        const ISC_STATUS result =
            isc_get_segment(status.get(), &blob, &length, sizeof segment, segment);
        if (result == isc_segstr_eof)
            break;
        if (result != 0 && result != isc_segment) {
            ISC_STATUS_ARRAY ignored;
            isc_close_blob(ignored, &blob);
            status.check(result);
        }
        bytes.append(segment, length);
    }
    status.check(isc_close_blob(status.get(), &blob));
    if (var.sqlsubtype != 1)
        return out.bytes(bytes);
    call.codec.write(out, bytes, charsetOf(var));
}

// A transaction of the attachment: rolled back unless committed.
class FbAttachment::Transaction final
{
public:
    Transaction(isc_db_handle& db, const FbTextCodec& codec) : m_db(db), m_codec(codec) {}
    ~Transaction() { rollback(); }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    isc_tr_handle& handle() { return m_handle; }
    bool isActive() const { return m_handle != 0; }

    void start(const QByteArray& tpb)
    {
        Status status(m_codec);
        status.check(isc_start_transaction(status.get(), &m_handle, 1, &m_db,
                                           ISC_USHORT(tpb.size()), tpb.constData()));
    }

    void commit()
    {
        Status status(m_codec);
        status.check(isc_commit_transaction(status.get(), &m_handle));
    }

    void rollback() noexcept
    {
        if (m_handle == 0)
            return;
        ISC_STATUS_ARRAY status;
        // A lost connection cannot roll back; the handle still has to go.
        if (isc_rollback_transaction(status, &m_handle) != 0)
            fb_disconnect_transaction(status, &m_handle);
        m_handle = 0;
    }

private:
    isc_db_handle& m_db;
    const FbTextCodec& m_codec;
    isc_tr_handle m_handle = 0;
};

FbAttachment::FbAttachment(int statementCacheCapacity) : m_capacity(statementCacheCapacity) {}

// Out of line: the header only declares the statement and codec classes.
FbAttachment::~FbAttachment()
{
    close();
}

void FbAttachment::open(const FbConnectParams& params)
{
    close();
    QByteArray dpb;
    dpb.append(char(isc_dpb_version1));
    appendParameter(dpb, isc_dpb_user_name, params.user.toUtf8());
    appendParameter(dpb, isc_dpb_password, params.password.toUtf8());
    if (!params.characterSet.isEmpty())
        appendParameter(dpb, isc_dpb_lc_ctype, params.characterSet.toLatin1());
    const QByteArray path = QFile::encodeName(params.database);
    auto codec = std::make_unique<FbTextCodec>(
        params.characterSet.compare(u"UTF8", Qt::CaseInsensitive) == 0);
    Status status(*codec);
    isc_db_handle db = 0;
    status.check(isc_attach_database(status.get(), 0, path.constData(), &db, ISC_SHORT(dpb.size()),
                                     dpb.constData()));
    m_db = db;
    m_cancelHandle = db;
    m_codec = std::move(codec);
    m_reader = std::make_unique<Transaction>(m_db, *m_codec);
    m_readOnlyTpb = transactionBlock(false, params.lockTimeoutSeconds);
    m_readWriteTpb = transactionBlock(true, params.lockTimeoutSeconds);
    m_conflictRetryMs = params.conflictRetryMs;
}

void FbAttachment::close() noexcept
{
    m_index.clear();
    m_statements.clear();
    m_reader.reset(); // a database with an active transaction cannot be detached
    m_cancelHandle = 0;
    if (m_db == 0)
        return;
    ISC_STATUS_ARRAY status;
    isc_detach_database(status, &m_db);
    m_db = 0;
}

void FbAttachment::dropStatements() noexcept
{
    m_index.clear();
    m_statements.clear();
    if (m_reader)
        m_reader->rollback();
}

void FbAttachment::cancelOperation() noexcept
{
    // The client library looks the handle up in its own table, so a handle
    // detached meanwhile is only an invalid one.
    isc_db_handle handle = m_cancelHandle.load();
    if (handle == 0)
        return;
    m_cancelled = true;
    ISC_STATUS_ARRAY status;
    fb_cancel_operation(status, &handle, fb_cancel_raise);
}

QString FbAttachment::databaseCharacterSet()
{
    const DataPacket packet = run(
        QStringLiteral("SELECT a.RDB$CHARACTER_SET_NAME CHARACTER_SET FROM RDB$DATABASE a"), {});
    return packet.rows.isEmpty() ? QString() : packet.rows.first().value(0).toString().trimmed();
}

DataPacket FbAttachment::run(const QString& sql, const RemoteParams& params, qint32 maxRows)
{
    const EncodedPacket encoded = runEncoded(sql, params, {maxRows});
    if (!encoded.hasColumns)
        return DataPacket();
    QString error;
    std::optional<DataPacket> packet = decodePacket(encoded.joined(), &error);
    if (!packet)
        throw DatabaseError(QStringLiteral("The rows read could not be decoded: ") + error, false);
    return std::move(*packet);
}

EncodedPacket FbAttachment::runEncoded(const QString& sql, const RemoteParams& params,
                                       const RowLimits& limits)
{
    requireOpen();
    m_cancelled = false;
    try {
        EncodedPacket packet = runStatement(cachedStatement(sql), params, limits);
        releaseUnwanted(sql);
        return packet;
    } catch (const ResultTooLarge&) {
        throw; // the statement is sound, the request asked too much
    } catch (const DatabaseError& error) {
        // The failed statement is prepared afresh next time rather than trusted.
        forget(sql);
        // Nothing is left to free on the server; closing releases what the
        // client library still holds and tells the owner to reopen.
        if (error.connectionLost())
            close();
        throw;
    } catch (...) {
        forget(sql);
        throw;
    }
}

void FbAttachment::requireOpen() const
{
    if (m_db == 0)
        throw firebirdError(isc_bad_db_handle);
}

EncodedPacket FbAttachment::runStatement(FbStatement& statement, const RemoteParams& params,
                                         const RowLimits& limits)
{
    if (!statement.needsWrite() && !statement.readsMonitoring()) {
        try {
            return execute(readTransaction(), statement, params, limits);
        } catch (const DatabaseError& error) {
            if (error.code() != isc_read_only_trans)
                throw;
        }
        // A select from a procedure that writes: nothing was written, so run
        // it again with write access and remember that it needs it.
        statement.requireWrite();
    }
    return runInOwnTransaction(statement, params, limits);
}

// A write that met another transaction's change of the same rows failed
// before anything of it was committed; rolled back, it runs again from what
// is committed now. With the transaction waiting for the other one, the
// second try usually finds the row free. A key of a unique index stored by
// another transaction meanwhile is retried once: two terminals making the
// stock row of the same goods, the second then finds the row and updates it;
// a second duplicate is a real one.
EncodedPacket FbAttachment::runInOwnTransaction(FbStatement& statement, const RemoteParams& params,
                                                const RowLimits& limits)
{
    using Clock = std::chrono::steady_clock;
    const bool write = statement.needsWrite();
    const Clock::time_point giveUpAt = Clock::now() + std::chrono::milliseconds(m_conflictRetryMs);
    std::unique_lock<std::timed_mutex> turn(collidingWritesTurn(), std::defer_lock);
    // The turn is waited for against the system clock: for a steady deadline
    // libstdc++ uses pthread_mutex_clocklock, which the ThreadSanitizer of
    // this toolchain does not follow (it then takes the unlock for one of a
    // mutex never locked). The budget itself stays on the steady clock.
    const auto waitForTurn = [&] {
        return turn.try_lock_until(std::chrono::system_clock::now() + (giveUpAt - Clock::now()));
    };
    if (write && statement.takesTurns()) {
        const bool waited = !turn.try_lock();
        if (waited)
            waitForTurn();
        statement.tookTurn(waited);
        // A cancel that came while it waited found no statement to fail.
        if (m_cancelled)
            throw firebirdError(isc_cancelled);
    }
    bool duplicateRetried = false;
    for (;;) {
        Transaction own(m_db, *m_codec);
        own.start(write ? m_readWriteTpb : m_readOnlyTpb);
        if (write)
            m_writeSent = true;
        try {
            EncodedPacket packet = execute(own.handle(), statement, params, limits);
            own.commit();
            return packet;
        } catch (const DatabaseError& error) {
            const Collision collision = write ? collisionOf(error) : Collision::None;
            bool again = !m_cancelled && Clock::now() < giveUpAt &&
                         (collision == Collision::Write ||
                          (collision == Collision::Duplicate && !duplicateRetried));
            // Nothing of the failed try may stay when the statement runs again.
            own.rollback();
            again = again && (turn.owns_lock() || waitForTurn());
            if (!again) {
                m_conflicts.gaveUp = collision == Collision::Write;
                throw;
            }
            duplicateRetried = duplicateRetried || collision == Collision::Duplicate;
            statement.collided();
        }
        ++m_conflicts.retries;
    }
}

EncodedPacket FbAttachment::execute(isc_tr_handle& transaction, FbStatement& statement,
                                    const RemoteParams& params, const RowLimits& limits)
{
    CallContext call{&m_db, &transaction, *m_codec};
    statement.bind(params, call);
    return statement.execute(call, limits);
}

// Reads share one read-only read-committed transaction that stays open for
// as long as the attachment: each statement in it sees what was committed
// when it runs, and Firebird starts such a transaction as committed, so it
// holds back neither other transactions nor garbage collection. Starting and
// committing one per read would cost more than the look-up itself.
isc_tr_handle& FbAttachment::readTransaction()
{
    if (!m_reader->isActive())
        m_reader->start(m_readOnlyTpb);
    return m_reader->handle();
}

// A statement is prepared within some transaction; the reading one is at hand.
FbStatement& FbAttachment::cachedStatement(const QString& sql)
{
    const auto found = m_index.constFind(sql);
    if (found != m_index.cend()) {
        m_statements.splice(m_statements.begin(), m_statements, *found);
        return *m_statements.front();
    }
    // Named markers are turned into positional ones once, when the
    // statement is first prepared: the text of a look-up is 700 characters.
    auto statement = std::make_unique<FbStatement>(sql, toPositionalSql(sql));
    CallContext call{&m_db, &readTransaction(), *m_codec};
    statement->prepare(call);
    m_statements.push_front(std::move(statement));
    m_index.insert(sql, m_statements.begin());
    return *m_statements.front();
}

void FbAttachment::releaseUnwanted(const QString& sql)
{
    const auto found = m_index.constFind(sql);
    if (found != m_index.cend() && !(**found)->worthCaching())
        forget(sql);
    while (int(m_statements.size()) > m_capacity) {
        m_index.remove(m_statements.back()->text());
        m_statements.pop_back();
    }
}

void FbAttachment::forget(const QString& sql)
{
    const auto found = m_index.constFind(sql);
    if (found == m_index.cend())
        return;
    m_statements.erase(*found);
    m_index.erase(found);
}
