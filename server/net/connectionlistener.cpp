#include "server/net/connectionlistener.h"

#include "common/frame.h"
#include "common/providerprotocol.h"
#include "server/net/servermetrics.h"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kAcceptsPerTurn = 64;
// Refused terminals waited on at once for their first request; beyond that
// the reply goes out at once, numbered 0.
constexpr int kMaxRefusalsInFlight = 32;
constexpr std::chrono::seconds kRefusalWait(2);
constexpr std::chrono::milliseconds kRetryAfter(100);
constexpr std::chrono::milliseconds kTickPeriod(100);
constexpr qsizetype kRefusalReadLimit = 64 * 1024;

QHostAddress addressOf(const sockaddr_storage& peer)
{
    if (peer.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(peer);
        return QHostAddress(ntohl(v4.sin_addr.s_addr));
    }
    if (peer.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(peer);
        const QHostAddress address(reinterpret_cast<const quint8*>(v6.sin6_addr.s6_addr));
        bool mapped = false;
        const quint32 ipv4 = address.toIPv4Address(&mapped);
        return mapped ? QHostAddress(ipv4) : address;
    }
    return QHostAddress();
}

QByteArray refusalFrame(quint32 id, const QString& text)
{
    QByteArray frame;
    for (const QByteArray& piece : encodeReplyFrame(ProviderReply::failure(id, text)))
        frame.append(piece);
    return frame;
}

// The id of the first request in the bytes, 0 when there is no whole one.
quint32 firstRequestId(const QByteArray& bytes)
{
    const FrameParse frame = parseFrame(bytes, kMaxRequestBody);
    if (frame.status != FrameParse::Complete)
        return 0;
    const Decoded<ProviderRequest> request = decodeRequest(frame.body);
    return request.value ? request.value->id : 0;
}

// Replies without waiting: takes the first request if it is there already,
// sends the refusal and closes.
void refuseAtOnce(int descriptor, const QString& text)
{
    char bytes[4096];
    const ssize_t got = ::recv(descriptor, bytes, sizeof bytes, MSG_DONTWAIT);
    const quint32 id = got > 0 ? firstRequestId(QByteArray(bytes, qsizetype(got))) : 0;
    const QByteArray frame = refusalFrame(id, text);
    [[maybe_unused]] const ssize_t sent =
        ::send(descriptor, frame.constData(), size_t(frame.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::shutdown(descriptor, SHUT_WR);
    ::close(descriptor);
}

int openSpareDescriptor()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

// A refused terminal: waits a little for its first request, so that the
// refusal answers it by its number (the terminal then shows the text), and
// for the terminal to close after reading it.
class ConnectionListener::Refusal final : public std::enable_shared_from_this<Refusal>
{
public:
    Refusal(asio::ip::tcp::socket socket, QString text, int& inFlight)
        : m_socket(std::move(socket)), m_deadline(m_socket.get_executor()), m_text(std::move(text)),
          m_inFlight(inFlight)
    {
        ++m_inFlight;
        std::error_code ignored;
        m_socket.non_blocking(true, ignored);
    }
    ~Refusal() { --m_inFlight; }

    void start()
    {
        m_deadline.expires_after(kRefusalWait);
        m_deadline.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (error)
                return;
            self->reply(0);
            std::error_code ignored;
            self->m_socket.close(ignored);
        });
        read();
    }

private:
    void read()
    {
        m_socket.async_wait(asio::socket_base::wait_read,
                            [self = shared_from_this()](const std::error_code& error) {
                                if (!error)
                                    self->take();
                            });
    }

    void take()
    {
        char bytes[4096];
        for (;;) {
            std::error_code error;
            const size_t got = m_socket.read_some(asio::buffer(bytes), error);
            if (error == asio::error::would_block || error == asio::error::try_again)
                break;
            if (error) {
                finish();
                return;
            }
            if (!m_replied && m_input.size() < kRefusalReadLimit)
                m_input.append(bytes, qsizetype(got));
        }
        if (!m_replied) {
            const FrameParse frame = parseFrame(m_input, kMaxRequestBody);
            if (frame.status != FrameParse::Incomplete || m_input.size() >= kRefusalReadLimit)
                reply(firstRequestId(m_input));
        }
        read();
    }

    void reply(quint32 id)
    {
        if (m_replied)
            return;
        m_replied = true;
        m_input.clear();
        const QByteArray frame = refusalFrame(id, m_text);
        std::error_code ignored;
        asio::write(m_socket, asio::buffer(frame.constData(), size_t(frame.size())), ignored);
        m_socket.shutdown(asio::socket_base::shutdown_send, ignored);
    }

    void finish()
    {
        std::error_code ignored;
        m_deadline.cancel();
        m_socket.close(ignored);
    }

    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_deadline;
    const QString m_text;
    int& m_inFlight;
    QByteArray m_input;
    bool m_replied = false;
};

ConnectionListener::ConnectionListener(AllowList allow, int maxClients, Callbacks callbacks,
                                       ServerMetrics* metrics)
    : m_allow(std::move(allow)), m_maxClients(maxClients), m_callbacks(std::move(callbacks)),
      m_metrics(metrics)
{
}

ConnectionListener::~ConnectionListener()
{
    stop();
    if (m_spareDescriptor >= 0)
        ::close(m_spareDescriptor);
}

bool ConnectionListener::listen(const QHostAddress& address, quint16 port, QString* error)
{
    std::error_code failure;
    const auto open = [&](const asio::ip::tcp::endpoint& endpoint, bool dualStack) {
        failure.clear();
        std::error_code ignored;
        m_acceptor.close(ignored);
        m_acceptor.open(endpoint.protocol(), failure);
        if (!failure && dualStack)
            m_acceptor.set_option(asio::ip::v6_only(false), failure);
        if (!failure)
            m_acceptor.set_option(asio::socket_base::reuse_address(true), failure);
        if (!failure)
            m_acceptor.bind(endpoint, failure);
        if (!failure)
            m_acceptor.listen(asio::socket_base::max_listen_connections, failure);
        return !failure;
    };
    bool listening = false;
    if (address.isNull()) {
        // Every interface: one IPv6 socket that takes IPv4 too, or IPv4
        // alone on a machine without IPv6.
        listening =
            open({asio::ip::tcp::v6(), port}, true) || open({asio::ip::tcp::v4(), port}, false);
    } else {
        std::error_code parse;
        const asio::ip::address ip =
            asio::ip::make_address(address.toString().toStdString(), parse);
        listening = !parse && open({ip, port}, false);
        if (parse)
            failure = parse;
    }
    if (!listening) {
        if (error)
            *error = QString::fromStdString(failure.message());
        return false;
    }
    m_acceptor.non_blocking(true, failure);
    m_port = m_acceptor.local_endpoint(failure).port();
    m_spareDescriptor = openSpareDescriptor();
    waitForClients();
    armTick();
    m_thread = std::thread([this] { m_context.run(); });
    return true;
}

void ConnectionListener::setAllowList(AllowList allow)
{
    asio::post(m_context,
               [this, allow = std::move(allow)]() mutable { m_allow = std::move(allow); });
}

void ConnectionListener::stop()
{
    if (!m_thread.joinable())
        return;
    asio::post(m_context, [this] {
        std::error_code ignored;
        m_acceptor.close(ignored);
        m_context.stop();
    });
    m_thread.join();
}

void ConnectionListener::armTick()
{
    m_tickTimer.expires_after(kTickPeriod);
    m_tickTimer.async_wait([this](const std::error_code& error) {
        if (error)
            return;
        if (m_callbacks.tick)
            m_callbacks.tick();
        armTick();
    });
}

// The listening socket is reported once per change, so it is waited on only
// after accepting has found nothing more.
void ConnectionListener::waitForClients()
{
    m_acceptor.async_wait(asio::socket_base::wait_read, [this](const std::error_code& error) {
        if (!error)
            acceptAll();
    });
}

void ConnectionListener::acceptAll()
{
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int descriptor =
            ::accept4(m_acceptor.native_handle(), reinterpret_cast<sockaddr*>(&peer), &length,
                      SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            take(descriptor, addressOf(peer), peer.ss_family == AF_INET6);
            continue;
        }
        switch (errno) {
        case EAGAIN:
#if EAGAIN != EWOULDBLOCK
        case EWOULDBLOCK:
#endif
            waitForClients();
            return;
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue;
        case EMFILE:
        case ENFILE:
            refuseWithoutDescriptors();
            return;
        default:
            m_callbacks.log(QStringLiteral("Nevaru pieņemt termināli: %1")
                                .arg(QString::fromLocal8Bit(std::strerror(errno))));
            m_retryTimer.expires_after(kRetryAfter);
            m_retryTimer.async_wait([this](const std::error_code& error) {
                if (!error)
                    acceptAll();
            });
            return;
        }
    }
    // More may be waiting: another turn, after the refusals' handlers.
    asio::post(m_context, [this] { acceptAll(); });
}

void ConnectionListener::take(int descriptor, const QHostAddress& peer, bool ipv6)
{
    if (!m_allow.allows(peer)) {
        if (m_metrics)
            m_metrics->refused(ServerMetrics::Refusal::Allow);
        m_callbacks.log(QStringLiteral("Termināļa adrese %1 nav atļauta; savienojums atteikts")
                            .arg(peer.toString()));
        refuse(descriptor, ipv6,
               QStringLiteral("Šī termināļa adrese (%1) nav atļauta šim serverim !!!")
                   .arg(peer.toString()));
        return;
    }
    if (m_callbacks.clientCount() >= m_maxClients) {
        if (!m_capReached)
            m_callbacks.log(QStringLiteral("Pieslēgti %1 termināļi, vairāk serveris nepieņem; "
                                           "jaunos atsaka, līdz kāds atvienojas")
                                .arg(m_maxClients));
        m_capReached = true;
        ++m_refusedWhileCapped;
        if (m_metrics)
            m_metrics->refused(ServerMetrics::Refusal::Cap);
        refuse(descriptor, ipv6,
               QStringLiteral("Serverim jau pieslēgts lielākais atļautais termināļu skaits (%1); "
                              "mēģiniet vēlāk !!!")
                   .arg(m_maxClients));
        return;
    }
    endBursts();
    m_callbacks.admit(descriptor, ipv6);
}

void ConnectionListener::endBursts()
{
    if (m_capReached)
        m_callbacks.log(QStringLiteral("Atteikti %1 termināļi, kamēr bija sasniegta termināļu "
                                       "robeža %2")
                            .arg(m_refusedWhileCapped)
                            .arg(m_maxClients));
    if (m_outOfDescriptors)
        m_callbacks.log(QStringLiteral("Atteikti %1 termināļi, kamēr trūka failu deskriptoru")
                            .arg(m_refusedWithoutDescriptors));
    m_capReached = false;
    m_outOfDescriptors = false;
    m_refusedWhileCapped = 0;
    m_refusedWithoutDescriptors = 0;
}

void ConnectionListener::refuse(int descriptor, bool ipv6, const QString& text)
{
    if (m_refusalsInFlight >= kMaxRefusalsInFlight) {
        refuseAtOnce(descriptor, text);
        return;
    }
    asio::ip::tcp::socket socket(m_context);
    std::error_code error;
    socket.assign(ipv6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4(), descriptor, error);
    if (error) {
        refuseAtOnce(descriptor, text);
        return;
    }
    std::make_shared<Refusal>(std::move(socket), text, m_refusalsInFlight)->start();
}

// At the descriptor limit the waiting terminal cannot even be accepted, and
// the listening socket stays ready: a descriptor kept in reserve is given up
// for a moment to take it and tell it why, instead of leaving it hanging (or
// spinning on the socket).
void ConnectionListener::refuseWithoutDescriptors()
{
    // Linux reports the shortage before it looks for a waiting terminal:
    // only one actually taken counts as refused.
    int waiting = -1;
    if (m_spareDescriptor >= 0) {
        ::close(m_spareDescriptor);
        waiting =
            ::accept4(m_acceptor.native_handle(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        const int error = errno;
        if (waiting >= 0) {
            if (!m_outOfDescriptors)
                m_callbacks.log(QStringLiteral("Serverim beigušies brīvie failu deskriptori; "
                                               "jaunos termināļus atsaka"));
            m_outOfDescriptors = true;
            ++m_refusedWithoutDescriptors;
            if (m_metrics)
                m_metrics->refused(ServerMetrics::Refusal::Descriptors);
            refuseAtOnce(waiting, QStringLiteral("Serveris šobrīd nevar pieņemt vairāk "
                                                 "termināļu; mēģiniet vēlāk !!!"));
        }
        m_spareDescriptor = openSpareDescriptor();
        if (waiting < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
            waitForClients(); // nobody was waiting after all
            return;
        }
    }
    if (waiting >= 0) {
        asio::post(m_context, [this] { acceptAll(); });
        return;
    }
    // Not even the spare helped (another thread took the descriptor): try
    // again shortly rather than at once, which would only spin.
    m_retryTimer.expires_after(kRetryAfter);
    m_retryTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            acceptAll();
    });
}
