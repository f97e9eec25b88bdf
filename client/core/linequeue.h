#pragma once

#include "client/core/localdatabase.h"
#include "common/remoteparam.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// Where a queued unit stands. The numbers are stored in the file: never
// renumber them.
enum class QueuedLineState : int
{
    // Kept, never handed to the network.
    Waiting = 0,
    // Handed to the network at least once with no answer kept: the server may
    // have applied it. Sent again with the same identity, which the server
    // applies at most once.
    Sending = 1,
    // The server answered with an error: nothing of it was applied. Waits
    // for the person to see the message and drop it.
    Refused = 2,
    // Applied; kept with its outcome until forgotten.
    Done = 3,
};

// One document line saved while the server could not be reached: the unit
// that writes it and what the window shows of it meanwhile.
struct QueuedLine
{
    // Given by the caller to enqueue().
    QString identity; // chosen once when the person saved the line
    qint64 logFloor = 0;
    QDateTime created; // invalid: now
    qint32 documentKind = 0;
    qint32 documentIsn = 0;
    QString documentNumber;
    QString article;
    QString goodsName;
    double quantity = 0;
    QByteArray unit; // EncodeUnit()

    // Kept by the queue; ignored by enqueue().
    qint64 sequence = 0; // order of enqueueing, from 1
    QueuedLineState state = QueuedLineState::Waiting;
    int sends = 0;      // times markSending() was called
    QString message;    // the server's text when refused
    QByteArray outcome; // what the server answered when done
};

// A unit's statement and its parameters as they travel in a request, as
// bytes for QueuedLine::unit, and back. DecodeUnit throws ClientError when the
// bytes are not such a unit.
struct QueuedUnit
{
    QString commandText;
    RemoteParams params;
};
QByteArray EncodeUnit(const QString& commandText, const RemoteParams& params);
QueuedUnit DecodeUnit(const QByteArray& bytes);

// The terminal's queue of document lines saved while the server could not
// be reached, in the table "queued_lines" of a LocalDatabase (which must
// outlive it). Every write is one transaction of its own, on the disk when
// the call returns: a crash or a power cut leaves each line whole or absent,
// and never a later line without an earlier one.
//
// The sender takes nextToSend(), calls markSending() before its bytes go
// out, and markDone() or markRefused() with the server's answer. A line
// left Sending by a restart is next again and goes out with its identity,
// so the server applies it at most once. Lines go out one at a time, in the
// order they were enqueued.
//
// Mistakes (an identity already queued, a step its state does not allow, an
// unknown identity) and errors of the file throw ClientError.
class LineQueue final
{
public:
    // Makes the table when the file has none.
    explicit LineQueue(LocalDatabase& database);

    // Adds a line as Waiting and returns its sequence.
    qint64 enqueue(const QueuedLine& line);
    // Many lines in one transaction: for filling a queue in a benchmark or a
    // test, where one sync per line is not what is measured. All or none.
    void enqueueAll(const QList<QueuedLine>& lines);

    // The first line not yet answered (Waiting or Sending), or none.
    std::optional<QueuedLine> nextToSend();
    std::optional<QueuedLine> find(const QString& identity);

    // The log floor of a line not yet sent; throws once it has been.
    void setLogFloor(const QString& identity, qint64 logFloor);
    // Before the bytes go out: from then on the line may have been applied.
    void markSending(const QString& identity);
    // The server's answer to a line that was sent.
    void markDone(const QString& identity, const QByteArray& outcome);
    void markRefused(const QString& identity, const QString& message);
    // Removes a Waiting or Refused line; a Sending one may have been applied
    // and cannot be dropped.
    void drop(const QString& identity);
    // Removes the Done lines answered before the time.
    int forgetDone(const QDateTime& before);

    // Lines not yet answered (Waiting or Sending).
    int waitingCount();
    QList<QueuedLine> refused();
    // The lines of one document that are not Done, in order: what its window
    // lists as queued.
    QList<QueuedLine> linesOfDocument(qint32 documentKind, qint32 documentIsn);

private:
    QList<QueuedLine> select(LocalDatabase::Statement& statement);
    qint64 insert(const QueuedLine& line);
    // Runs an UPDATE or DELETE of one line bound by identity at ?1 and
    // throws with refusal when it changed nothing.
    void changeOne(LocalDatabase::Statement& statement, const QString& identity,
                   const QString& refusal);

    LocalDatabase& m_database;
    LocalDatabase::Statement m_insert;
    LocalDatabase::Statement m_next;
    LocalDatabase::Statement m_find;
    LocalDatabase::Statement m_setLogFloor;
    LocalDatabase::Statement m_markSending;
    LocalDatabase::Statement m_markDone;
    LocalDatabase::Statement m_markRefused;
    LocalDatabase::Statement m_drop;
    LocalDatabase::Statement m_forgetDone;
    LocalDatabase::Statement m_waitingCount;
    LocalDatabase::Statement m_refused;
    LocalDatabase::Statement m_ofDocument;
};
