#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// A TCP relay between a terminal and a server on loopback that breaks the
// link on request, the way shop Wi-Fi does. It listens on 127.0.0.1 on a port
// the system picks and forwards each connection to 127.0.0.1:serverPort.
//
// It runs on a thread of its own: the terminal's client waits for its reply
// on the test's thread, so the relay cannot share that thread's event loop.
// Every control may be called from any thread and returns once the relay
// thread has taken it (or after two seconds, should that thread be stuck).
class FaultProxy final
{
public:
    explicit FaultProxy(quint16 serverPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy&) = delete;
    FaultProxy& operator=(const FaultProxy&) = delete;

    // False when no port could be bound (the relay then does nothing).
    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }

    // The next bytes the server sends are dropped and that terminal's
    // connection is reset: the server has run the request, the terminal
    // never hears of it.
    void swallowNextReply();
    // Resets every open connection now (both sides).
    void cutAll();
    // While on, nothing listens on the port: a connect is refused at once.
    // Connections already open go on.
    void refuse(bool on);
    // Refuses for the given time, then listens again on the same port.
    void refuseFor(int milliseconds);
    // While on, connections are accepted but nothing passes either way, and
    // the terminal's segments are not even acknowledged: a link that died
    // without a reset, as keep-alive probes see it. Turned off, the open
    // connections forward again.
    void blackhole(bool on);

    int connectionsAccepted() const { return m_accepted.load(); }
    int openConnections() const { return m_open.load(); }
    int repliesSwallowed() const { return m_swallowed.load(); }
    quint64 bytesToServer() const { return m_toServer.load(); }
    quint64 bytesToTerminal() const { return m_toTerminal.load(); }

private:
    struct Controls
    {
        bool refuse = false;
        std::chrono::steady_clock::time_point refuseUntil{};
        bool blackhole = false;
        int swallowRequests = 0; // pending swallowNextReply calls
        int cutRequests = 0;     // pending cutAll calls
    };

    void run();
    // Hands a change to the relay thread and waits until it has been applied.
    template <typename Change> void control(Change change);
    void wake();

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listener = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;

    std::mutex m_mutex;
    std::condition_variable m_applied;
    Controls m_controls;
    quint64 m_requested = 0; // generations of controls handed over
    quint64 m_done = 0;      // generations the relay thread has applied
    bool m_stop = false;

    std::atomic<int> m_accepted{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_swallowed{0};
    std::atomic<quint64> m_toServer{0};
    std::atomic<quint64> m_toTerminal{0};

    std::thread m_thread;
};
