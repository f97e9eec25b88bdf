#pragma once

#include <QProcess>
#include <QString>

#include <vector>

// NorvalkServer --headless on a free loopback port for the length of one
// benchmark of the terminal's own code (norvalk-unit-bench,
// norvalk-scan-bench); stopped with SIGTERM when the object goes.
class LocalServer final
{
public:
    ~LocalServer();

    // Starts the program on the database; false when it does not answer.
    bool start(const QString& program, const QString& database);
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// The value below which the fraction of the samples lies (0.5: the median).
double percentile(std::vector<double> values, double fraction);
