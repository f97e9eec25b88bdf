#include "server/net/servermetrics.h"

#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>

namespace {

constexpr std::array<const char*, ServerMetrics::kOutcomes> kOutcomeNames{"ok", "failed",
                                                                          "cancelled"};
constexpr std::array<const char*, ServerMetrics::kRefusals> kRefusalNames{
    "allow", "cap", "descriptors", "stall", "memory", "size", "tls", "terminal"};

// A look-up takes about a millisecond; a report over the whole stock, seconds.
const prometheus::Histogram::BucketBoundaries kSecondsBuckets{
    0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

// Civetweb's threads answering scrapes; one scrape at a time is the usual case.
constexpr std::size_t kServingThreads = 2;

} // namespace

std::optional<MetricsEndpoint> ServerMetrics::parseEndpoint(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype colon = trimmed.lastIndexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    MetricsEndpoint endpoint;
    bool isAddress = false;
    endpoint.address.setAddress(trimmed.left(colon));
    endpoint.address.toIPv4Address(&isAddress);
    if (!isAddress || endpoint.address.protocol() != QAbstractSocket::IPv4Protocol)
        return std::nullopt;
    const QString portText = trimmed.mid(colon + 1);
    bool isNumber = false;
    const uint port = portText.toUInt(&isNumber);
    // toUInt takes a sign and blanks that an address text should not have.
    if (!isNumber || port > 65535 || portText.isEmpty() || !portText.front().isDigit())
        return std::nullopt;
    endpoint.port = quint16(port);
    return endpoint;
}

ServerMetrics::ServerMetrics(const MetricsEndpoint& endpoint)
    : m_registry(std::make_shared<prometheus::Registry>())
{
    using namespace prometheus;
    m_terminals = &BuildGauge()
                       .Name("norvalk_terminals_connected")
                       .Help("Terminals connected now")
                       .Register(*m_registry)
                       .Add({});
    auto& requests = BuildCounter()
                         .Name("norvalk_requests_total")
                         .Help("Requests of the terminals answered, by operation and outcome")
                         .Register(*m_registry);
    auto& seconds = BuildHistogram()
                        .Name("norvalk_request_seconds")
                        .Help("Time from a request's arrival to its reply, by operation")
                        .Register(*m_registry);
    for (int operation = 0; operation < kOperations; ++operation) {
        const std::string name = operationName(ProviderOperation(operation)).toStdString();
        for (int outcome = 0; outcome < kOutcomes; ++outcome)
            m_requests[operation][outcome] =
                &requests.Add({{"operation", name}, {"outcome", kOutcomeNames[outcome]}});
        m_requestSeconds[operation] = &seconds.Add({{"operation", name}}, kSecondsBuckets);
    }
    m_invalidRequests = &requests.Add({{"operation", "invalid"}, {"outcome", "failed"}});
    m_unitsRetried = &BuildCounter()
                          .Name("norvalk_units_retried_total")
                          .Help("Statements the database refused for another terminal's write "
                                "of the same rows, rolled back and run again by the server")
                          .Register(*m_registry)
                          .Add({});
    auto& conflicts = BuildCounter()
                          .Name("norvalk_write_conflicts_total")
                          .Help("Requests that met another terminal's write of the same rows, "
                                "by outcome: resolved by running again, or failed")
                          .Register(*m_registry);
    m_conflictsResolved = &conflicts.Add({{"outcome", "resolved"}});
    m_conflictsFailed = &conflicts.Add({{"outcome", "failed"}});
    m_statementsCached = &BuildGauge()
                              .Name("norvalk_statements_cached")
                              .Help("Statements kept prepared, over all database workers")
                              .Register(*m_registry)
                              .Add({});
    auto& refusals = BuildCounter()
                         .Name("norvalk_refusals_total")
                         .Help("Terminals or requests refused, by cause")
                         .Register(*m_registry);
    for (int cause = 0; cause < kRefusals; ++cause)
        m_refusals[cause] = &refusals.Add({{"cause", kRefusalNames[cause]}});

    const std::string bindAddress =
        QStringLiteral("%1:%2").arg(endpoint.address.toString()).arg(endpoint.port).toStdString();
    m_exposer = std::make_unique<Exposer>(bindAddress, kServingThreads);
    m_exposer->RegisterCollectable(m_registry);
    const std::vector<int> ports = m_exposer->GetListeningPorts();
    m_port = ports.empty() ? endpoint.port : quint16(ports.front());
}

ServerMetrics::~ServerMetrics() = default;

void ServerMetrics::terminalConnected()
{
    m_terminals->Increment();
}

void ServerMetrics::terminalDisconnected()
{
    m_terminals->Decrement();
}

void ServerMetrics::requestServed(ProviderOperation operation, Outcome outcome, double seconds)
{
    const int index = int(operation);
    if (index < 0 || index >= kOperations)
        return;
    m_requests[index][int(outcome)]->Increment();
    m_requestSeconds[index]->Observe(seconds);
}

void ServerMetrics::invalidRequest()
{
    m_invalidRequests->Increment();
}

void ServerMetrics::writeConflict(int retries, ConflictEnd end)
{
    m_unitsRetried->Increment(double(retries));
    if (end == ConflictEnd::Resolved)
        m_conflictsResolved->Increment();
    else if (end == ConflictEnd::GaveUp)
        m_conflictsFailed->Increment();
}

void ServerMetrics::statementsCachedChanged(int difference)
{
    m_statementsCached->Increment(double(difference));
}

void ServerMetrics::refused(Refusal cause)
{
    m_refusals[int(cause)]->Increment();
}
