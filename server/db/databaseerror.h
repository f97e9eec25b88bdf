#pragma once

#include <QString>

#include <stdexcept>

// A failure reported by the database. message() is the database's own text, so
// the client sees exactly what Firebird said; connectionLost() tells the server
// that the attachment is gone and has to be reopened rather than retried.
class DatabaseError final : public std::runtime_error
{
public:
    DatabaseError(const QString& message, bool connectionLost, long code = 0)
        : std::runtime_error(message.toStdString()), m_message(message),
          m_connectionLost(connectionLost), m_code(code)
    {
    }

    QString message() const { return m_message; }
    bool connectionLost() const { return m_connectionLost; }
    // The first Firebird status code (isc_...), 0 when the error did not come from Firebird.
    long code() const { return m_code; }

private:
    QString m_message;
    bool m_connectionLost = false;
    long m_code = 0;
};
