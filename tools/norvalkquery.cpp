// norvalk-query: runs one statement through a NorvalkServer provider, for
// administrators and scripts. Rows are printed as JSON lines; an error prints
// the server's text on standard error and exits 1.

#include "common/certificatefingerprint.h"
#include "common/providerclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

[[noreturn]] void fail(const QString& text, int code = 1)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::exit(code);
}

// NAME=TYPE:VALUE with TYPE int, text, double, datetime or null.
RemoteParam parseParam(const QString& argument)
{
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    const qsizetype colon = argument.indexOf(QLatin1Char(':'), equals + 1);
    if (equals <= 0)
        fail(QStringLiteral("--param %1: expected NAME=TYPE:VALUE").arg(argument), 2);
    const QString name = argument.left(equals);
    const QString type =
        colon < 0 ? argument.mid(equals + 1) : argument.mid(equals + 1, colon - equals - 1);
    const QString value = colon < 0 ? QString() : argument.mid(colon + 1);
    bool ok = true;
    if (type == QLatin1String("null"))
        return RemoteParam::null(name);
    if (type == QLatin1String("text"))
        return RemoteParam::text(name, value);
    if (type == QLatin1String("int")) {
        const qint32 number = value.toInt(&ok);
        if (ok)
            return RemoteParam::integer(name, number);
    } else if (type == QLatin1String("double")) {
        const double number = value.toDouble(&ok);
        if (ok)
            return RemoteParam::number(name, number);
    } else if (type == QLatin1String("datetime")) {
        QDateTime dateTime = QDateTime::fromString(value, Qt::ISODateWithMs);
        if (!dateTime.isValid())
            dateTime = QDateTime(QDate::fromString(value, Qt::ISODate), QTime(0, 0));
        if (dateTime.isValid())
            return RemoteParam::dateTime(name, dateTime);
    } else {
        fail(QStringLiteral("--param %1: unknown type %2 (int, text, double, datetime, null)")
                 .arg(name, type),
             2);
    }
    fail(QStringLiteral("--param %1: '%2' is not a valid %3").arg(name, value, type), 2);
}

QJsonValue jsonValue(const QVariant& value, FieldType type)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    switch (type) {
    case FieldType::Integer:
    case FieldType::BigInt:
        return QJsonValue(value.toLongLong());
    case FieldType::Double:
        return value.toDouble();
    case FieldType::Boolean:
        return value.toBool();
    case FieldType::Date:
        return value.toDate().toString(Qt::ISODate);
    case FieldType::Time:
        return value.toTime().toString(Qt::ISODateWithMs);
    case FieldType::DateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case FieldType::Blob:
        return QString::fromLatin1(value.toByteArray().toBase64());
    case FieldType::Text:
        break;
    }
    return value.toString();
}

QByteArray readOrFail(const QString& option, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1 %2: %3").arg(option, path, file.errorString()), 2);
    return file.readAll();
}

// The client's certificate and its key, PEM files (an EC or an RSA key).
void loadClientCertificate(const QString& certificatePath, const QString& keyPath,
                           QSslCertificate& certificate, QSslKey& key)
{
    certificate =
        QSslCertificate(readOrFail(QStringLiteral("--certificate"), certificatePath), QSsl::Pem);
    if (certificate.isNull())
        fail(QStringLiteral("--certificate %1: not a PEM certificate").arg(certificatePath), 2);
    const QByteArray keyText = readOrFail(QStringLiteral("--key"), keyPath);
    key = QSslKey(keyText, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyText, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        fail(QStringLiteral("--key %1: not an unencrypted PEM key").arg(keyPath), 2);
}

void printRows(const DataPacket& packet)
{
    for (const QVariantList& row : packet.rows) {
        QJsonObject object;
        for (qsizetype i = 0; i < packet.columns.size(); ++i)
            object.insert(packet.columns[i].name, jsonValue(row.value(i), packet.columns[i].type));
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Run SQL through a NorvalkServer provider."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"),
                                  QStringLiteral("Server host (localhost)."), QStringLiteral("H"),
                                  QStringLiteral("localhost"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Server port (211)."),
                                  QStringLiteral("N"), QStringLiteral("211"));
    const QCommandLineOption provider(QStringLiteral("provider"),
                                      QStringLiteral("Provider (dspTempQuery)."),
                                      QStringLiteral("P"), QStringLiteral("dspTempQuery"));
    const QCommandLineOption execute(QStringLiteral("execute"),
                                     QStringLiteral("Execute the statement; print no rows."));
    const QCommandLineOption param(QStringLiteral("param"),
                                   QStringLiteral("Parameter NAME=TYPE:VALUE (int, text, double, "
                                                  "datetime, null); repeatable."),
                                   QStringLiteral("NAME=TYPE:VALUE"));
    const QCommandLineOption pin(
        QStringLiteral("certificate-fingerprint"),
        QStringLiteral("Connect with TLS; the server must present the certificate with this "
                       "SHA-256 fingerprint."),
        QStringLiteral("FP"));
    const QCommandLineOption certificate(
        QStringLiteral("certificate"),
        QStringLiteral("This client's certificate (PEM), shown to the server; needs --key and "
                       "--certificate-fingerprint."),
        QStringLiteral("FILE"));
    const QCommandLineOption key(QStringLiteral("key"),
                                 QStringLiteral("The private key of --certificate (PEM)."),
                                 QStringLiteral("FILE"));
    parser.addOptions({host, port, provider, execute, param, pin, certificate, key});
    parser.addPositionalArgument(
        QStringLiteral("SQL"), QStringLiteral("Command text; empty runs the provider's own SQL."));
    parser.process(app);

    RemoteParams params;
    for (const QString& argument : parser.values(param))
        setParam(params, parseParam(argument));
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    if (!portOk || portNumber > 65535)
        fail(QStringLiteral("--port: not a port number"), 2);

    ProviderClient client;
    client.setHost(parser.value(host));
    client.setPort(quint16(portNumber));
    if (parser.isSet(certificate) != parser.isSet(key))
        fail(QStringLiteral("--certificate and --key go together"), 2);
    if (parser.isSet(pin)) {
        const QString fingerprint = NormalizeFingerprint(parser.value(pin));
        if (fingerprint.isEmpty())
            fail(QStringLiteral("--certificate-fingerprint: not a SHA-256 fingerprint"), 2);
        QSslCertificate ownCertificate;
        QSslKey ownKey;
        if (parser.isSet(certificate))
            loadClientCertificate(parser.value(certificate), parser.value(key), ownCertificate,
                                  ownKey);
        client.setTls(fingerprint, ownCertificate, ownKey);
    } else if (parser.isSet(certificate)) {
        // A certificate means nothing on a plain link.
        fail(QStringLiteral("--certificate needs --certificate-fingerprint (TLS)"), 2);
    }
    // One request: its text would travel in full anyway.
    client.setStatementHandles(false);
    const QString sql = parser.positionalArguments().join(QLatin1Char(' '));
    try {
        if (parser.isSet(execute))
            client.execute(parser.value(provider), sql, params);
        else
            printRows(client.getRecords(parser.value(provider), sql, params));
    } catch (const RemoteError& error) {
        fail(error.message());
    }
    return 0;
}
