#include "server/net/clientsession.h"

#include "common/certificatefingerprint.h"
#include "common/frame.h"
#include "server/db/stockconnection.h"
#include "server/db/tservermoduledata.h"
#include "server/net/servertls.h"

#include <asio/buffer.hpp>
#include <asio/post.hpp>
#include <asio/ssl/stream.hpp>

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <array>
#include <span>

namespace {

// How long a closed session waits for its terminal to close its end, so
// that the last reply is not cut off by a reset.
constexpr std::chrono::seconds kLinger(2);
// Reads a stop takes in one go from a terminal that keeps sending.
constexpr int kStopReads = 64;

const QString kStoppingText =
    QStringLiteral("Serveris tiek apturēts; pieprasījums netika izpildīts !!!");
const QString kNoRoomText = QStringLiteral(
    "Serverim pašlaik pietrūkst atmiņas pieprasījumu saņemšanai; mēģiniet vēlāk !!!");
const QString kStoppedRunningText =
    QStringLiteral("Serveris tiek apturēts; pieprasījuma izpilde tika pārtraukta !!!");
const QString kNotEnrolledText = QStringLiteral(
    "Šis terminālis serverī nav reģistrēts. Paziņojiet administratoram termināļa nospiedumu: %1");
// Encrypted records join the last piece of output up to this size, so that a
// large reply goes out in a few large writes rather than one per record.
constexpr qsizetype kCiphertextPiece = 256 * 1024;
// The most plaintext one TLS record carries.
constexpr qsizetype kRecordPlaintext = 16 * 1024;

bool wouldBlock(const std::error_code& error)
{
    return error == asio::error::would_block || error == asio::error::try_again;
}

QString peerText(const asio::ip::tcp::socket& socket)
{
    std::error_code error;
    const asio::ip::tcp::endpoint endpoint = socket.remote_endpoint(error);
    if (error)
        return QStringLiteral("?");
    asio::ip::address address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    return QStringLiteral("%1:%2")
        .arg(QString::fromStdString(address.to_string()))
        .arg(endpoint.port());
}

bool fromLoopback(const asio::ip::tcp::socket& socket)
{
    std::error_code error;
    const asio::ip::address address = socket.remote_endpoint(error).address();
    if (error)
        return false;
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).is_loopback();
    return address.is_loopback();
}

QString peerFingerprint(SSL* ssl)
{
    X509* const certificate = SSL_get1_peer_certificate(ssl);
    if (!certificate)
        return QString();
    QString fingerprint;
    const int size = i2d_X509(certificate, nullptr);
    if (size > 0) {
        QByteArray der(size, Qt::Uninitialized);
        auto* out = reinterpret_cast<unsigned char*>(der.data());
        i2d_X509(certificate, &out);
        fingerprint = CertificateFingerprint(der);
    }
    X509_free(certificate);
    return fingerprint;
}

} // namespace

// The TLS engine of a session. Asio's synchronous SSL operations write their
// ciphertext with a blocking write that, on a non-blocking socket, would
// lose what a partial write left over; so the stream's transport is this
// layer of our own: it reads the socket as it is (a would-block passes
// through and the engine keeps its place) and writes by appending to the
// session's output queue, which never blocks. The session's flush() then
// sends the ciphertext as it sends plain replies, under the same flow control.
class ClientSession::Tls final
{
public:
    class Layer final
    {
    public:
        using lowest_layer_type = asio::ip::tcp::socket;
        using executor_type = lowest_layer_type::executor_type;

        explicit Layer(ClientSession& session) : m_session(&session) {}
        lowest_layer_type& lowest_layer() { return m_session->m_socket; }
        const lowest_layer_type& lowest_layer() const { return m_session->m_socket; }
        executor_type get_executor() { return m_session->m_socket.get_executor(); }

        template <typename Buffers> size_t read_some(const Buffers& buffers, std::error_code& error)
        {
            const size_t got = m_session->m_socket.read_some(buffers, error);
            m_received += got;
            return got;
        }
        uint64_t received() const { return m_received; }
        template <typename Buffers>
        size_t write_some(const Buffers& buffers, std::error_code& error)
        {
            error = {};
            size_t total = 0;
            for (auto i = asio::buffer_sequence_begin(buffers);
                 i != asio::buffer_sequence_end(buffers); ++i) {
                const asio::const_buffer buffer(*i);
                m_session->queueCiphertext(static_cast<const char*>(buffer.data()),
                                           qsizetype(buffer.size()));
                total += buffer.size();
            }
            return total;
        }

    private:
        ClientSession* m_session;
        uint64_t m_received = 0; // ciphertext taken from the socket, all told
    };

    Tls(ClientSession& session, ServerTls& server)
        : server(server), stream(Layer(session), server.context())
    {
        // Asio lets the engine free its record buffers whenever they empty,
        // which is after every request: each one then pays to allocate them
        // again. A session keeps them instead (about 34 KB).
        SSL_clear_mode(stream.native_handle(), SSL_MODE_RELEASE_BUFFERS);
    }

    // Records already taken from the socket and not yet read by the engine
    // (they wait in the stream's buffers), or plaintext the engine holds:
    // either may be the next request, and the socket will not report it again.
    bool holdsUnread()
    {
        SSL* const ssl = stream.native_handle();
        return SSL_has_pending(ssl) == 1 ||
               stream.next_layer().received() > BIO_number_read(SSL_get_rbio(ssl));
    }

    ServerTls& server; // the worker's settings hold it
    asio::ssl::stream<Layer> stream;
    bool ready = false; // the handshake is over
    QString refusal;    // not empty: the terminal is not enrolled; its first request gets this
};

ClientSession::ClientSession(asio::ip::tcp::socket socket,
                             std::shared_ptr<TServerModuleData> module, SessionWorker& worker)
    : m_socket(std::move(socket)), m_module(std::move(module)), m_worker(worker)
{
    std::error_code ignored;
    m_socket.non_blocking(true, ignored);
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    m_socket.set_option(asio::socket_base::keep_alive(true), ignored);
    m_peer = peerText(m_socket);
    if (const std::shared_ptr<ServerTls>& tls = m_worker.settings().tls)
        m_tls = std::make_unique<Tls>(*this, *tls);
}

ClientSession::~ClientSession()
{
    releaseInput();
}

void ClientSession::start(Registration registration)
{
    m_registration = registration;
    if (m_tls) {
        // The handshake is held to the stall timeout like a half-received request.
        m_partialSince = Clock::now();
        shakeHands();
        return;
    }
    m_module->setTerminal(m_peer, false);
    readMore();
}

void ClientSession::shakeHands()
{
    if (m_dropped)
        return;
    std::error_code error;
    m_tls->stream.handshake(asio::ssl::stream_base::server, error);
    if (wouldBlock(error)) {
        flush();
        waitUntil(asio::socket_base::wait_read, m_waitingToRead, &ClientSession::shakeHands);
        return;
    }
    if (error == asio::ssl::error::stream_truncated || error == asio::error::eof) {
        drop(); // gone before a word: a port probe, or a terminal that did not trust us
        return;
    }
    if (error) {
        // A terminal that speaks plain TCP ends here; what it sent is not shown.
        m_worker.events().error(QStringLiteral("Savienojums ar %1 slēgts: TLS savienojums "
                                               "neizdevās (%2)")
                                    .arg(m_peer, QString::fromStdString(error.message())));
        countRefusal(ServerMetrics::Refusal::Tls);
        drop();
        return;
    }
    m_tls->ready = true;
    m_partialSince = {};
    admitTerminal();
    flush();
    // The first request may have come with the handshake's last message and
    // be in the engine already: read before waiting.
    readMore();
}

// The terminal's certificate, known now, names it in the log and decides
// whether it is served and whether it may send statements of its own.
void ClientSession::admitTerminal()
{
    const QString fingerprint = peerFingerprint(m_tls->stream.native_handle());
    QString name = m_peer;
    if (m_tls->server.enrolment()) {
        const std::optional<QString> enrolled =
            fingerprint.isEmpty() ? std::nullopt : m_tls->server.terminalName(fingerprint);
        if (!enrolled) {
            const QString shown =
                fingerprint.isEmpty() ? QStringLiteral("nav sertifikāta") : fingerprint;
            m_worker.events().error(
                QStringLiteral("Nereģistrēts terminālis %1, nospiedums %2").arg(m_peer, shown));
            countRefusal(ServerMetrics::Refusal::Terminal);
            m_tls->refusal = kNotEnrolledText.arg(shown);
            m_module->setTerminal(m_peer, false);
            return;
        }
        name = QStringLiteral("%1 (%2)").arg(*enrolled, m_peer);
    }
    const bool freeSql = !fingerprint.isEmpty() && fingerprint == m_tls->server.fingerprint() &&
                         fromLoopback(m_socket);
    m_module->setTerminal(name, freeSql);
}

void ClientSession::refuseTerminal(QByteArrayView body)
{
    const Decoded<ProviderRequest> decoded = decodeRequest(body);
    queue(encodeReplyFrame(
        ProviderReply::failure(decoded.value ? decoded.value->id : 0, m_tls->refusal)));
    closeAfterReplies();
}

// Asio's loop reports a socket ready once per change (edge-triggered), so
// the session waits only after a read or write has found no room left.
void ClientSession::waitUntil(asio::socket_base::wait_type ready, bool& waiting,
                              void (ClientSession::*then)())
{
    if (m_dropped || waiting)
        return;
    waiting = true;
    m_socket.async_wait(ready,
                        [self = shared_from_this(), &waiting, then](const std::error_code& error) {
                            waiting = false;
                            if (!error)
                                (self.get()->*then)();
                            else if (error != asio::error::operation_aborted)
                                self->drop();
                        });
}

void ClientSession::waitForRequest()
{
    waitUntil(asio::socket_base::wait_read, m_waitingToRead, &ClientSession::readMore);
}

ClientSession::Received ClientSession::receive()
{
    std::vector<char>& scratch = m_worker.scratch();
    std::error_code error;
    // A closing session only drains what still comes: no need to decrypt it.
    const size_t got = m_tls && !m_lingering ? m_tls->stream.read_some(asio::buffer(scratch), error)
                                             : m_socket.read_some(asio::buffer(scratch), error);
    if (wouldBlock(error))
        return Received::Nothing;
    if (error)
        return Received::Gone; // end of stream included
    if (m_lingering || m_closing)
        return Received::Some; // after the last reply, nothing more is kept
    if (m_input.size() + qsizetype(got) > m_input.capacity()) {
        const qsizetype room = receiveCapacity(m_input, qsizetype(got), kMaxRequestBody);
        if (!m_worker.requestMemory().resize(m_inputShare, room))
            return Received::OverBudget;
        m_input.reserve(room);
    }
    m_input.append(scratch.data(), qsizetype(got));
    return Received::Some;
}

void ClientSession::releaseInput()
{
    m_input = QByteArray();
    m_worker.requestMemory().resize(m_inputShare, 0);
}

// What follows the served frame moves to a buffer of its own size: the room
// of a large request is not kept for the small ones after it.
void ClientSession::keepInputAfter(qsizetype served)
{
    m_input = m_input.sliced(served);
    if (m_input.isEmpty())
        m_input = QByteArray();
    m_worker.requestMemory().resize(m_inputShare, m_input.capacity());
}

// Reads until a whole frame (or a refused header) is in, or nothing more has come.
void ClientSession::readMore()
{
    if (m_dropped)
        return;
    for (;;) {
        switch (receive()) {
        case Received::Gone:
            drop();
            return;
        case Received::Nothing:
            // What the engine wrote while reading (a key update's answer) goes out now.
            if (m_tls && m_outputHead < m_output.size())
                flush();
            waitForRequest();
            return;
        case Received::OverBudget:
            abandon(kNoRoomText, ServerMetrics::Refusal::Memory);
            return;
        case Received::Some:
            break;
        }
        if (m_lingering || m_closing)
            continue;
        if (parseFrame(m_input, kMaxRequestBody).status != FrameParse::Incomplete)
            break;
        if (m_partialSince == Clock::time_point{})
            m_partialSince = Clock::now();
    }
    serveFrames();
}

void ClientSession::serveFrames()
{
    if (m_dropped || m_closing)
        return;
    if (m_unsent > m_worker.settings().unsentBudget) {
        m_pausedByReplies = true; // flush() resumes
        return;
    }
    const FrameParse frame = parseFrame(m_input, kMaxRequestBody);
    if (frame.status == FrameParse::TooLarge) {
        abandon(QStringLiteral("pieprasījums %1 baitu apmērā pārsniedz %2 baitu robežu")
                    .arg(frame.bodySize)
                    .arg(kMaxRequestBody),
                ServerMetrics::Refusal::Size);
        return;
    }
    if (frame.status == FrameParse::Incomplete) {
        // Only a frame that has begun arriving can stall; an idle session keeps no buffer.
        if (m_input.isEmpty()) {
            releaseInput();
            m_partialSince = {};
        } else if (m_partialSince == Clock::time_point{}) {
            m_partialSince = Clock::now();
        }
        readMore();
        return;
    }
    m_partialSince = {};
    if (m_tls && !m_tls->refusal.isEmpty()) {
        refuseTerminal(frame.body);
        return;
    }
    serve(frame.body);
    keepInputAfter(frame.frameSize);
    flush();
    if (m_dropped || m_closing)
        return;
    if (parseFrame(m_input, kMaxRequestBody).status == FrameParse::Incomplete) {
        // The usual case: the terminal waits for this reply before it sends
        // again. Waiting straight away spares a turn of the loop and a read
        // that would find nothing; the wait reports bytes that came meanwhile.
        if (!m_input.isEmpty())
            m_partialSince = Clock::now();
        if (m_tls && m_tls->holdsUnread()) {
            // Read with this request: taken on the next turn of the loop.
            asio::post(m_worker.context(), [self = shared_from_this()] { self->readMore(); });
            return;
        }
        waitForRequest();
        return;
    }
    // One request per turn of the loop: the worker's other sessions get theirs in between.
    asio::post(m_worker.context(), [self = shared_from_this()] { self->serveFrames(); });
}

void ClientSession::serve(QByteArrayView body)
{
    const Decoded<ProviderRequest> decoded = decodeRequest(body);
    if (!decoded.value) {
        const QString message =
            QStringLiteral("Nederīgs pieprasījums no %1: %2").arg(m_peer, decoded.error);
        m_worker.events().error(message);
        queue(encodeReplyFrame(ProviderReply::failure(0, message)));
        if (ServerMetrics* metrics = m_worker.events().metrics)
            metrics->invalidRequest();
    } else if (m_worker.isStopping()) {
        queue(encodeReplyFrame(ProviderReply::failure(decoded.value->id, kStoppingText)));
        if (ServerMetrics* metrics = m_worker.events().metrics)
            metrics->requestServed(decoded.value->operation, ServerMetrics::Outcome::Cancelled, 0);
    } else {
        queue(answer(*decoded.value).frame());
    }
}

ProviderAnswer ClientSession::answer(const ProviderRequest& request)
{
    // The clock is read only for the metrics: a look-up without them does not pay for it.
    const Clock::time_point started =
        m_worker.events().metrics ? Clock::now() : Clock::time_point{};
    ProviderAnswer answer;
    SessionWorker::Cancel cancel = SessionWorker::Cancel::None;
    FbAttachment::Conflicts conflicts;
    if (TServerModuleData::needsDatabase(request.operation)) {
        m_worker.beginJob(m_socket.native_handle());
        answer = m_worker.database().run(
            [&](FbAttachment& database) { return m_module->handle(request, database); });
        cancel = m_worker.endJob();
        conflicts = m_worker.database().conflicts();
        m_worker.countCachedStatements();
    } else {
        answer.reply = m_module->handleWithoutDatabase(request);
    }
    switch (cancel) {
    case SessionWorker::Cancel::None:
        // An unknown handle is the terminal's cue to send its text, not a fault.
        if (!answer.reply.ok && !answer.reply.unknownHandle)
            m_worker.events().error(answer.reply.error);
        break;
    case SessionWorker::Cancel::Abandoned:
        // The cancel may come as the work ends: then nothing was cut short.
        if (!answer.reply.ok)
            m_worker.events().error(
                QStringLiteral("%1 atvienojās; tā pieprasījuma izpilde tika pārtraukta")
                    .arg(m_peer));
        break;
    case SessionWorker::Cancel::Stopping:
        if (!answer.reply.ok)
            answer = ProviderAnswer::failure(kStoppedRunningText);
        break;
    }
    countAnswer(request, answer, cancel, started, conflicts);
    answer.reply.id = request.id;
    return answer;
}

void ClientSession::countAnswer(const ProviderRequest& request, const ProviderAnswer& answer,
                                SessionWorker::Cancel cancel, Clock::time_point started,
                                const FbAttachment::Conflicts& conflicts) const
{
    ServerMetrics* const metrics = m_worker.events().metrics;
    if (!metrics)
        return;
    // A statement that finished within a stop's grace period was answered as usual.
    const ServerMetrics::Outcome outcome = answer.reply.ok ? ServerMetrics::Outcome::Ok
                                           : cancel != SessionWorker::Cancel::None
                                               ? ServerMetrics::Outcome::Cancelled
                                               : ServerMetrics::Outcome::Failed;
    const std::chrono::duration<double> seconds = Clock::now() - started;
    metrics->requestServed(request.operation, outcome, seconds.count());
    if (conflicts.retries > 0 || conflicts.gaveUp)
        metrics->writeConflict(conflicts.retries,
                               conflicts.gaveUp  ? ServerMetrics::ConflictEnd::GaveUp
                               : answer.reply.ok ? ServerMetrics::ConflictEnd::Resolved
                                                 : ServerMetrics::ConflictEnd::Other);
}

void ClientSession::countRefusal(ServerMetrics::Refusal cause) const
{
    if (ServerMetrics* metrics = m_worker.events().metrics)
        metrics->refused(cause);
}

void ClientSession::queue(QList<QByteArray> pieces)
{
    if (m_tls) {
        encrypt(pieces);
        return;
    }
    if (m_unsent == 0)
        m_lastProgress = Clock::now();
    for (QByteArray& piece : pieces) {
        m_unsent += piece.size();
        m_output.push_back(std::move(piece));
    }
}

// Every write to the engine ends a record, and each record costs its own
// encryption here and its own decryption on the terminal: the pieces of a
// reply (its head, the packet's columns, its rows) go out in records as
// full as they can be, so that a look-up's reply is a single record.
void ClientSession::encrypt(const QList<QByteArray>& pieces)
{
    QByteArray gathered; // the next record, begun by the pieces before
    for (const QByteArray& piece : pieces) {
        QByteArrayView rest(piece);
        if (!gathered.isEmpty()) {
            const qsizetype taken = qMin(rest.size(), kRecordPlaintext - gathered.size());
            gathered.append(rest.first(taken));
            rest = rest.sliced(taken);
            if (gathered.size() < kRecordPlaintext)
                continue;
            if (!encryptRecords(gathered))
                return;
            gathered.clear();
        }
        const qsizetype whole = rest.size() - rest.size() % kRecordPlaintext;
        if (whole > 0 && !encryptRecords(rest.first(whole)))
            return;
        gathered.append(rest.sliced(whole));
    }
    if (!gathered.isEmpty())
        encryptRecords(gathered);
}

bool ClientSession::encryptRecords(QByteArrayView plaintext)
{
    qsizetype done = 0;
    while (done < plaintext.size()) {
        std::error_code error;
        done += qsizetype(m_tls->stream.write_some(
            asio::buffer(plaintext.data() + done, size_t(plaintext.size() - done)), error));
        if (error) {
            // The layer below never fails; the engine itself has, and the
            // link cannot go on. Dropped on the next turn, outside the serving.
            m_worker.events().error(QStringLiteral("Savienojums ar %1 slēgts: %2")
                                        .arg(m_peer, QString::fromStdString(error.message())));
            asio::post(m_worker.context(), [self = shared_from_this()] { self->drop(); });
            return false;
        }
    }
    return true;
}

void ClientSession::queueCiphertext(const char* data, qsizetype size)
{
    if (m_unsent == 0)
        m_lastProgress = Clock::now();
    m_unsent += size;
    if (m_output.size() > m_outputHead && m_output.back().size() + size <= kCiphertextPiece)
        m_output.back().append(data, size);
    else
        m_output.emplace_back(data, size);
}

void ClientSession::flush()
{
    if (m_dropped || m_waitingToWrite)
        return;
    while (m_outputHead < m_output.size()) {
        std::array<asio::const_buffer, 16> buffers;
        size_t count = 0;
        for (size_t i = m_outputHead; i < m_output.size() && count < buffers.size(); ++i) {
            const qsizetype skip = i == m_outputHead ? m_outputOffset : 0;
            buffers[count++] =
                asio::buffer(m_output[i].constData() + skip, size_t(m_output[i].size() - skip));
        }
        std::error_code error;
        const size_t sent =
            m_socket.write_some(std::span<const asio::const_buffer>(buffers.data(), count), error);
        if (wouldBlock(error)) {
            waitWritable();
            return;
        }
        if (error) {
            drop();
            return;
        }
        advance(qint64(sent));
    }
    m_output.clear();
    if (m_output.capacity() > 16)
        std::vector<QByteArray>().swap(m_output);
    m_outputHead = 0;
    m_outputOffset = 0;
    if (m_closing && !m_lingering)
        linger();
}

void ClientSession::advance(qint64 sent)
{
    m_unsent -= sent;
    m_lastProgress = Clock::now();
    while (sent > 0) {
        QByteArray& piece = m_output[m_outputHead];
        const qint64 left = piece.size() - m_outputOffset;
        if (sent < left) {
            m_outputOffset += qsizetype(sent);
            break;
        }
        sent -= left;
        piece = QByteArray(); // a large result's memory goes as soon as it is out
        ++m_outputHead;
        m_outputOffset = 0;
    }
    if (m_pausedByReplies && m_unsent <= m_worker.settings().unsentBudget) {
        m_pausedByReplies = false;
        asio::post(m_worker.context(), [self = shared_from_this()] { self->serveFrames(); });
    }
}

void ClientSession::waitWritable()
{
    waitUntil(asio::socket_base::wait_write, m_waitingToWrite, &ClientSession::flush);
}

void ClientSession::abandon(const QString& reason, ServerMetrics::Refusal cause)
{
    countRefusal(cause);
    m_worker.events().error(QStringLiteral("Savienojums ar %1 slēgts: %2").arg(m_peer, reason));
    queue(encodeReplyFrame(ProviderReply::failure(0, reason)));
    closeAfterReplies();
}

void ClientSession::closeAfterReplies()
{
    m_closing = true;
    releaseInput();
    m_partialSince = {};
    flush();
}

// The last reply is out: the server closes its side and reads (and drops)
// whatever else comes until the terminal closes its own.
void ClientSession::linger()
{
    m_lingering = true;
    m_lingerUntil = Clock::now() + kLinger;
    std::error_code ignored;
    m_socket.shutdown(asio::socket_base::shutdown_send, ignored);
    readMore();
}

void ClientSession::beginStop()
{
    if (m_dropped || m_closing)
        return;
    if (m_tls && !m_tls->ready) {
        drop(); // it has sent no request yet
        return;
    }
    // Whatever has arrived by now was received: every request in it gets its reply.
    for (int i = 0; i < kStopReads; ++i) {
        const Received received = receive();
        if (received == Received::Gone)
            break; // the replies may still go out: the terminal may only have closed its side
        if (received == Received::Nothing || received == Received::OverBudget)
            break;
    }
    for (;;) {
        const FrameParse frame = parseFrame(m_input, kMaxRequestBody);
        if (frame.status != FrameParse::Complete)
            break;
        const Decoded<ProviderRequest> decoded = decodeRequest(frame.body);
        queue(encodeReplyFrame(
            ProviderReply::failure(decoded.value ? decoded.value->id : 0, kStoppingText)));
        keepInputAfter(frame.frameSize);
    }
    // An idle terminal has nothing to wait for.
    if (m_unsent == 0) {
        drop();
        return;
    }
    closeAfterReplies();
}

void ClientSession::checkTimers(Clock::time_point now)
{
    if (m_dropped)
        return;
    if (m_lingering) {
        if (now >= m_lingerUntil)
            drop();
        return;
    }
    const std::chrono::milliseconds stall(m_worker.settings().stallTimeoutMs);
    if (m_tls && !m_tls->ready) {
        // No reply can go out before the handshake: the terminal is just let go.
        if (now - m_partialSince > stall) {
            m_worker.events().error(
                QStringLiteral("Savienojums ar %1 slēgts: TLS savienojums netika izveidots laikā")
                    .arg(m_peer));
            countRefusal(ServerMetrics::Refusal::Tls);
            drop();
        }
        return;
    }
    if (m_unsent > 0 && now - m_lastProgress > stall) {
        m_worker.events().error(
            QStringLiteral("Savienojums ar %1 slēgts: terminālis nepieņem atbildes").arg(m_peer));
        countRefusal(ServerMetrics::Refusal::Stall);
        drop();
        return;
    }
    if (!m_closing && m_partialSince != Clock::time_point{} && now - m_partialSince > stall)
        abandon(QStringLiteral("pieprasījums netika saņemts līdz galam"),
                ServerMetrics::Refusal::Stall);
}

void ClientSession::drop()
{
    if (m_dropped)
        return;
    m_dropped = true;
    std::error_code ignored;
    m_socket.close(ignored);
    m_output.clear();
    m_unsent = 0;
    releaseInput();
    const std::shared_ptr<ClientSession> self = shared_from_this(); // outlives forget()
    m_worker.forget(m_registration);
}
