#pragma once

#include <QString>

#include <exception>
#include <stdexcept>

// An error raised by the terminal's own code rather than by the server: a
// field that a result does not have, a text that is not a number, a settings
// file that cannot be written. Errors from the wire are RemoteError instead;
// both derive from std::runtime_error, so a screen can report either with
// errorText().
class ClientError final : public std::runtime_error
{
public:
    explicit ClientError(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }

    QString message() const { return m_message; }

private:
    QString m_message;
};

// The text of any error the client core throws, Latvian letters intact.
QString errorText(const std::exception& error);
