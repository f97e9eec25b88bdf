#pragma once

#include "server/net/allowlist.h"

#include <QHostAddress>
#include <QString>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

#include <functional>
#include <thread>

class ServerMetrics;

// Accepts the terminals on a thread of its own and decides who is served:
// a terminal whose address the allow list does not name, one over the
// connection cap, and one that arrives while the process has no descriptor
// left each get a failed reply in Latvian (to their first request, or at
// once) and are closed. The cap and the descriptor shortage are logged once
// when they start refusing and once, with the number refused, when they end.
//
// The same thread calls tick a few times a second, for work that watches
// the workers from outside.
class ConnectionListener final
{
public:
    struct Callbacks
    {
        std::function<int()> clientCount;
        // Takes over an accepted descriptor (counted in clientCount from now on).
        std::function<void(int descriptor, bool ipv6)> admit;
        std::function<void(const QString& message)> log;
        std::function<void()> tick;
    };

    // metrics, when not null, counts the refusals and outlives the listener.
    ConnectionListener(AllowList allow, int maxClients, Callbacks callbacks,
                       ServerMetrics* metrics = nullptr);
    ~ConnectionListener();
    ConnectionListener(const ConnectionListener&) = delete;
    ConnectionListener& operator=(const ConnectionListener&) = delete;

    // Binds and listens on the calling thread, so that a taken port is
    // known at once; then accepts on the listener's thread. A null address
    // listens on every interface, IPv6 and IPv4.
    bool listen(const QHostAddress& address, quint16 port, QString* error);
    quint16 port() const { return m_port; }
    // Any thread: the terminals that arrive from now on are judged by this list.
    void setAllowList(AllowList allow);
    // Stops accepting and ends the thread; refusals under way are cut short.
    void stop();

private:
    class Refusal;

    void waitForClients();
    void acceptAll();
    void take(int descriptor, const QHostAddress& peer, bool ipv6);
    void refuse(int descriptor, bool ipv6, const QString& text);
    void refuseWithoutDescriptors();
    void endBursts();
    void armTick();

    AllowList m_allow; // the listener's thread only
    const int m_maxClients;
    const Callbacks m_callbacks;
    ServerMetrics* const m_metrics;
    // Before the loop: refusals still in it count themselves out when it goes.
    int m_refusalsInFlight = 0;
    asio::io_context m_context{1};
    asio::ip::tcp::acceptor m_acceptor{m_context};
    asio::steady_timer m_retryTimer{m_context};
    asio::steady_timer m_tickTimer{m_context};
    std::thread m_thread;
    quint16 m_port = 0;
    int m_spareDescriptor = -1;
    bool m_capReached = false;
    bool m_outOfDescriptors = false;
    int m_refusedWhileCapped = 0;
    int m_refusedWithoutDescriptors = 0;
};
