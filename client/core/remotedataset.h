#pragma once

#include "client/core/datasetfield.h"
#include "common/datapacket.h"
#include "common/remoteparam.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

class ProviderProxy;

// A remote dataset (the data module's cds* objects): command text and typed
// parameters for one provider of the server, and the rows of the last read,
// held locally until closed.
//
// open() sends one AS_GetRecords for all rows; execute() sends AS_Execute.
// Both throw what the proxy throws (RemoteError with the server's text,
// ClientError for a proxy without settings); a failed open leaves the
// dataset closed. fieldByName() throws ClientError when the result has no
// such field or the dataset is closed.
//
// Setting the command text starts a new statement: it closes the dataset
// (an open one would go on handing out the rows of the previous statement)
// and drops the previous parameters, so that no stale value travels with it.
// Set the command text first, then the parameters.
//
// Views of the rows (DataSetModel) follow activeChanged(), which is emitted
// after every open and every close of an open dataset.
class RemoteDataSet final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteDataSet)

public:
    RemoteDataSet(const QString& name, ProviderProxy* remoteServer, const QString& providerName);

    QString name() const { return m_name; }
    ProviderProxy* remoteServer() const { return m_remoteServer; }
    QString providerName() const { return m_providerName; }

    QString commandText() const { return m_commandText; }
    void setCommandText(const QString& text);

    void setIntegerParam(const QString& name, qint32 value);
    void setTextParam(const QString& name, const QString& value);
    void setDoubleParam(const QString& name, double value);
    // An invalid date-time is sent as NULL.
    void setDateTimeParam(const QString& name, const QDateTime& value);
    void setNullParam(const QString& name);
    void setParam(const RemoteParam& param);
    const RemoteParams& params() const { return m_params; }

    void open();
    void execute();
    void close();
    bool isActive() const { return m_active; }
    // Holds rows worked out on the terminal (a list with a saved line added)
    // as if they had just been read: open, the first row current, views
    // refilled. Nothing is sent.
    void holdRows(DataPacket rows);

    // Navigation over the held rows. Moving past the last row sets eof() and
    // leaves the last row current, so its fields can still be read.
    void first();
    void next();
    bool eof() const { return m_eof; }
    int recordCount() const { return int(m_packet.rows.size()); }
    // Makes the first row whose field equals value current. Numbers compare
    // as numbers, dates as dates, anything else as text; an invalid value
    // matches NULL. Leaves the current row alone when nothing matches.
    bool locate(const QString& fieldName, const QVariant& value);

    DataSetField fieldByName(const QString& name) const;
    bool hasField(const QString& name) const;
    // The held rows, for screens that list them.
    const DataPacket& packet() const { return m_packet; }

signals:
    void activeChanged(bool active);

private:
    int columnIndexOrThrow(const QString& name) const;
    bool fieldEquals(int column, int row, const QVariant& value) const;

    QString m_name;
    ProviderProxy* m_remoteServer;
    QString m_providerName;
    QString m_commandText;
    RemoteParams m_params;
    DataPacket m_packet;
    bool m_active = false;
    bool m_eof = true;
    int m_row = -1;
};
