#pragma once

#include "common/providerprotocol.h"

#include <QHostAddress>
#include <QString>

#include <array>
#include <memory>
#include <optional>

namespace prometheus {
class Counter;
class Exposer;
class Gauge;
class Histogram;
class Registry;
} // namespace prometheus

// Where --metrics (or the store's "Metrics") asks the figures to be served.
struct MetricsEndpoint
{
    QHostAddress address;
    quint16 port = 0; // 0: any free port
};

// What the server counts for an administrator's Prometheus, served over HTTP
// as text at /metrics on a thread pool of its own. The other classes hold a
// plain pointer to it, null when the metrics are off, so a server without
// them pays one comparison per event. Every method may be called from any
// thread: the figures are atomic. The object must outlive everyone who holds
// the pointer.
class ServerMetrics final
{
public:
    enum class Outcome
    {
        Ok,
        Failed,    // the provider or the database answered with an error
        Cancelled, // the terminal went, or the server stopped, while it ran
    };
    static constexpr int kOutcomes = 3;

    enum class Refusal
    {
        Allow,       // the allow list does not name the terminal
        Cap,         // as many terminals connected as --max-clients
        Descriptors, // the process had no descriptor left to take it
        Stall,       // a request not received whole, or replies not taken, within the stall timeout
        Memory,      // the request would take the requests' memory over its budget
        Size,        // a frame announced more than the request limit
        Tls,         // the TLS handshake failed or did not end within the stall timeout
        Terminal,    // the terminal's certificate is not enrolled
    };
    static constexpr int kRefusals = 8;

    // "ADDRESS:PORT" with an IPv4 address; nothing when the text is not one.
    static std::optional<MetricsEndpoint> parseEndpoint(const QString& text);

    // Binds and starts serving; throws std::runtime_error with the reason
    // when the address cannot be bound.
    explicit ServerMetrics(const MetricsEndpoint& endpoint);
    ~ServerMetrics();
    ServerMetrics(const ServerMetrics&) = delete;
    ServerMetrics& operator=(const ServerMetrics&) = delete;

    // The port it listens on (the one picked, when asked for 0).
    quint16 port() const { return m_port; }

    void terminalConnected();
    void terminalDisconnected();
    // A request of a terminal, answered; seconds from its decoding to its reply.
    void requestServed(ProviderOperation operation, Outcome outcome, double seconds);
    // A frame that is not a valid request.
    void invalidRequest();
    // How a request whose statement met other terminals' writes of the same
    // rows ended.
    enum class ConflictEnd
    {
        Resolved, // run again, and answered
        GaveUp,   // failed for such a write all the same
        Other,    // failed for something else, or cancelled
    };
    // Such a request, rolled back and run again that many times.
    void writeConflict(int retries, ConflictEnd end);
    // The statements a worker keeps prepared changed by this many.
    void statementsCachedChanged(int difference);
    void refused(Refusal cause);

private:
    static constexpr int kOperations = int(ProviderOperation::GetProviderNames) + 1;

    std::shared_ptr<prometheus::Registry> m_registry;
    std::unique_ptr<prometheus::Exposer> m_exposer;
    quint16 m_port = 0;
    // Every label combination is made up front: an event is an index and an atomic add.
    prometheus::Gauge* m_terminals = nullptr;
    std::array<std::array<prometheus::Counter*, kOutcomes>, kOperations> m_requests{};
    std::array<prometheus::Histogram*, kOperations> m_requestSeconds{};
    prometheus::Counter* m_invalidRequests = nullptr;
    prometheus::Counter* m_unitsRetried = nullptr;
    prometheus::Counter* m_conflictsResolved = nullptr;
    prometheus::Counter* m_conflictsFailed = nullptr;
    prometheus::Gauge* m_statementsCached = nullptr;
    std::array<prometheus::Counter*, kRefusals> m_refusals{};
};
