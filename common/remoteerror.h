#pragma once

#include <QString>

#include <stdexcept>

// An error that crossed the wire or the socket: the server's own text for a
// failed statement, or what went wrong with the connection. message() keeps
// the text as it was, Latvian letters included.
class RemoteError : public std::runtime_error
{
public:
    enum class Kind
    {
        Server,
        Transport
    };

    RemoteError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
    {
    }

    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};
