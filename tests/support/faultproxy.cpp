#include "tests/support/faultproxy.h"

#include <QByteArray>

#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 50;
constexpr auto kControlWait = std::chrono::seconds(2);

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void setNonBlocking(int descriptor)
{
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

// A listening socket on 127.0.0.1:port (0: any free port); -1 when it cannot
// be had. The port is reused after a refusal, so TIME_WAIT must not hold it.
int listenOn(quint16 port)
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return -1;
    const int on = 1;
    ::setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(port);
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(descriptor, 16) != 0) {
        ::close(descriptor);
        return -1;
    }
    setNonBlocking(descriptor);
    return descriptor;
}

quint16 boundPort(int descriptor)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// Closes with a reset rather than an orderly end: the peer's next read fails
// at once, as after a link that broke.
void resetAndClose(int descriptor)
{
    const linger hard{1, 0};
    ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(descriptor);
}

// A socket filter that takes nothing makes the kernel drop every segment for
// this socket before TCP sees it: no data, no acknowledgement, no answer to a
// keep-alive probe. The peer's side then sees exactly a dead link. No
// privilege is needed for it.
void dropEverything(int descriptor, bool on)
{
    if (on) {
        sock_filter dropAll[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
        sock_fprog program{1, dropAll};
        ::setsockopt(descriptor, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    } else {
        const int unused = 0;
        ::setsockopt(descriptor, SOL_SOCKET, SO_DETACH_FILTER, &unused, sizeof unused);
    }
}

struct Link
{
    int terminal = -1;
    int server = -1;
    QByteArray toServer;
    QByteArray toTerminal;
    bool filtered = false;
    bool closed = false;
};

// Sends what it can of pending; false when the socket failed.
bool flush(int descriptor, QByteArray& pending, std::atomic<quint64>& counter)
{
    while (!pending.isEmpty()) {
        const ssize_t sent =
            ::send(descriptor, pending.constData(), size_t(pending.size()), MSG_NOSIGNAL);
        if (sent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        counter += quint64(sent);
        pending.remove(0, sent);
    }
    return true;
}

// Reads what is there; false at the end of the stream or on an error.
bool receive(int descriptor, QByteArray& into)
{
    char buffer[16 * 1024];
    const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
        into.append(buffer, got);
        return true;
    }
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

void closeLink(Link& link, bool reset)
{
    if (link.closed)
        return;
    if (reset) {
        resetAndClose(link.terminal);
        resetAndClose(link.server);
    } else {
        ::close(link.terminal);
        ::close(link.server);
    }
    link.closed = true;
}

} // namespace

FaultProxy::FaultProxy(quint16 serverPort) : m_serverPort(serverPort)
{
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_wakeRead = wake[0];
    m_wakeWrite = wake[1];
    m_listener = listenOn(0);
    if (m_listener < 0)
        return;
    m_port = boundPort(m_listener);
    m_thread = std::thread([this] { run(); });
}

FaultProxy::~FaultProxy()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
    if (m_wakeRead >= 0)
        ::close(m_wakeRead);
    if (m_wakeWrite >= 0)
        ::close(m_wakeWrite);
}

void FaultProxy::wake()
{
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wakeWrite, &byte, 1);
    }
}

template <typename Change> void FaultProxy::control(Change change)
{
    std::unique_lock lock(m_mutex);
    change(m_controls);
    const quint64 generation = ++m_requested;
    lock.unlock();
    wake();
    lock.lock();
    if (m_thread.joinable())
        m_applied.wait_for(lock, kControlWait, [&] { return m_done >= generation; });
}

void FaultProxy::swallowNextReply()
{
    control([](Controls& controls) { ++controls.swallowRequests; });
}

void FaultProxy::cutAll()
{
    control([](Controls& controls) { ++controls.cutRequests; });
}

void FaultProxy::refuse(bool on)
{
    control([on](Controls& controls) {
        controls.refuse = on;
        controls.refuseUntil = {};
    });
}

void FaultProxy::refuseFor(int milliseconds)
{
    control([milliseconds](Controls& controls) {
        controls.refuseUntil =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    });
}

void FaultProxy::blackhole(bool on)
{
    control([on](Controls& controls) { controls.blackhole = on; });
}

void FaultProxy::run()
{
    std::vector<Link> links;
    int swallowing = 0;
    for (;;) {
        Controls now;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
            now = m_controls;
            m_controls.swallowRequests = 0;
            m_controls.cutRequests = 0;
        }
        const bool refusing = now.refuse || std::chrono::steady_clock::now() < now.refuseUntil;
        if (refusing && m_listener >= 0) {
            ::close(m_listener);
            m_listener = -1;
        } else if (!refusing && m_listener < 0) {
            m_listener = listenOn(m_port); // tried again next round should it fail
        }
        swallowing += now.swallowRequests;
        for (Link& link : links) {
            if (now.cutRequests > 0)
                closeLink(link, true);
            if (!link.closed && link.filtered != now.blackhole) {
                dropEverything(link.terminal, now.blackhole);
                link.filtered = now.blackhole;
            }
        }
        std::erase_if(links, [](const Link& link) { return link.closed; });
        m_open = int(links.size());
        {
            const std::lock_guard lock(m_mutex);
            m_done = m_requested;
        }
        m_applied.notify_all();

        std::vector<pollfd> watched{{m_wakeRead, POLLIN, 0}};
        if (m_listener >= 0)
            watched.push_back({m_listener, POLLIN, 0});
        const size_t firstLink = watched.size();
        for (const Link& link : links) {
            const bool flowing = !now.blackhole;
            short terminalEvents = flowing ? POLLIN : 0;
            short serverEvents = POLLIN; // a dead link's replies are read and lost
            if (flowing && !link.toTerminal.isEmpty())
                terminalEvents |= POLLOUT;
            if (flowing && !link.toServer.isEmpty())
                serverEvents |= POLLOUT;
            watched.push_back({link.terminal, terminalEvents, 0});
            watched.push_back({link.server, serverEvents, 0});
        }
        if (::poll(watched.data(), nfds_t(watched.size()), kPollMs) < 0)
            continue;
        if (watched[0].revents) {
            char drain[64];
            while (::read(m_wakeRead, drain, sizeof drain) > 0) {
            }
        }

        for (size_t i = 0; i < links.size(); ++i) {
            Link& link = links[i];
            const pollfd& terminal = watched[firstLink + 2 * i];
            const pollfd& server = watched[firstLink + 2 * i + 1];
            if (now.blackhole && (terminal.revents & (POLLERR | POLLHUP))) {
                closeLink(link, false);
                continue;
            }
            if (!now.blackhole && terminal.revents) {
                const bool open =
                    !(terminal.revents & ~POLLOUT) || receive(link.terminal, link.toServer);
                if (!open || !flush(link.server, link.toServer, m_toServer)) {
                    closeLink(link, false);
                    continue;
                }
            }
            if (server.revents) {
                QByteArray reply;
                const bool open = !(server.revents & ~POLLOUT) || receive(link.server, reply);
                if (!reply.isEmpty() && swallowing > 0) {
                    --swallowing;
                    ++m_swallowed;
                    closeLink(link, true);
                    continue;
                }
                if (!now.blackhole)
                    link.toTerminal += reply;
                if (!flush(link.terminal, link.toTerminal, m_toTerminal) || !open) {
                    closeLink(link, false);
                    continue;
                }
                if (!now.blackhole && !flush(link.server, link.toServer, m_toServer))
                    closeLink(link, false);
            }
        }

        if (m_listener >= 0 && watched[1].revents & POLLIN) {
            const int terminal = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (terminal >= 0) {
                ++m_accepted;
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in address = loopback(m_serverPort);
                if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&address),
                                            sizeof address) != 0) {
                    // No server behind: the terminal learns it as a reset.
                    if (server >= 0)
                        ::close(server);
                    resetAndClose(terminal);
                } else {
                    setNonBlocking(terminal);
                    setNonBlocking(server);
                    Link link;
                    link.terminal = terminal;
                    link.server = server;
                    if (now.blackhole) {
                        dropEverything(terminal, true);
                        link.filtered = true;
                    }
                    links.push_back(std::move(link));
                }
            }
        }
    }
    for (Link& link : links)
        closeLink(link, true);
    m_open = 0;
}
