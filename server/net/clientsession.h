#pragma once

#include "server/db/provideranswer.h"
#include "server/net/servermetrics.h"
#include "server/net/sessionworker.h"

#include <QByteArray>
#include <QString>

#include <asio/ip/tcp.hpp>

#include <list>
#include <memory>
#include <vector>

class TServerModuleData;

// One connected terminal, on its worker's thread: buffers its bytes, cuts
// them into frames, runs each request with the session's own
// TServerModuleData on the worker's attachment and writes the replies back
// in order. One request is served per turn of the worker's loop, so a
// terminal that sends many does not hold up the others.
//
// A frame that announces more than the request limit, or stays
// half-received longer than the stall timeout, ends the connection with a
// failed reply; so does a terminal that takes none of its replies for as
// long, and one whose request would take the sessions' requests over the
// worker's RequestMemory. The input buffer grows as the bytes come, not by
// what a header announces. A frame that is not a valid request gets a failed reply and the
// session goes on. While the replies its terminal has not taken exceed the
// worker's budget, the session reads no further requests. Every such event
// is reported through the worker's error event, for the log.
//
// With TLS on, the session first shakes hands (a terminal that does not
// finish within the stall timeout is dropped), then reads through the TLS
// stream and encrypts every reply into the same output queue; the writing,
// flow control and closing are the plain session's. With enrolment on, a
// terminal whose certificate is not listed gets a failed reply to its first
// request and is closed.
class ClientSession final : public std::enable_shared_from_this<ClientSession>
{
public:
    using Registration = std::list<std::shared_ptr<ClientSession>>::iterator;
    using Clock = SessionWorker::Clock;

    ClientSession(asio::ip::tcp::socket socket, std::shared_ptr<TServerModuleData> module,
                  SessionWorker& worker);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    void start(Registration registration);
    // The server stops: what has arrived is answered with the stopping
    // error, the replies go out and the connection closes.
    void beginStop();
    void checkTimers(Clock::time_point now);
    // Closes at once; the terminal has gone or will not be waited for.
    void drop();

private:
    class Tls;

    enum class Received
    {
        Some,
        Nothing,
        Gone,
        OverBudget, // the bytes read would take the requests' memory over its budget
    };
    void waitUntil(asio::socket_base::wait_type ready, bool& waiting,
                   void (ClientSession::*then)());
    void waitForRequest();
    void shakeHands();
    void admitTerminal();
    void refuseTerminal(QByteArrayView body);
    void encrypt(const QList<QByteArray>& pieces);
    bool encryptRecords(QByteArrayView plaintext);
    void queueCiphertext(const char* data, qsizetype size);
    Received receive();
    void readMore();
    void serveFrames();
    void serve(QByteArrayView body);
    ProviderAnswer answer(const ProviderRequest& request);
    void queue(QList<QByteArray> pieces);
    void flush();
    void advance(qint64 sent);
    void waitWritable();
    void abandon(const QString& reason, ServerMetrics::Refusal cause);
    void countRefusal(ServerMetrics::Refusal cause) const;
    void countAnswer(const ProviderRequest& request, const ProviderAnswer& answer,
                     SessionWorker::Cancel cancel, Clock::time_point started,
                     const FbAttachment::Conflicts& conflicts) const;
    void releaseInput();
    void keepInputAfter(qsizetype served);
    void closeAfterReplies();
    void linger();

    asio::ip::tcp::socket m_socket;
    std::shared_ptr<TServerModuleData> m_module;
    SessionWorker& m_worker;
    Registration m_registration;
    QString m_peer;
    QByteArray m_input;                // received, not yet taken as frames
    RequestMemory::Share m_inputShare; // m_input's room, as the worker's RequestMemory counts it
    std::vector<QByteArray> m_output;
    size_t m_outputHead = 0;      // first piece not fully sent
    qsizetype m_outputOffset = 0; // bytes of it already sent
    qint64 m_unsent = 0;
    Clock::time_point m_partialSince{};
    Clock::time_point m_lastProgress{};
    Clock::time_point m_lingerUntil{};
    bool m_waitingToRead = false;
    bool m_waitingToWrite = false;
    bool m_pausedByReplies = false;
    bool m_closing = false;   // takes no more requests; closes once the replies are out
    bool m_lingering = false; // sent its last reply, waits for the terminal to close
    bool m_dropped = false;
    // Null for a plain session. After m_socket, which its stream reads and
    // so must outlive it.
    std::unique_ptr<Tls> m_tls;
};
