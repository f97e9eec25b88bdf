#pragma once

#include <QHash>
#include <QString>

#include <optional>

// The terminals enrolled on this server, by their certificates'
// fingerprints: the administrator's file, one terminal a line,
// "FINGERPRINT name" (the name is the rest of the line and only goes to the
// log). Blank lines and lines starting with '#' are notes.
class TerminalList final
{
public:
    // Nothing when a line is neither a note nor a fingerprint with a name;
    // *error then says which, in Latvian.
    static std::optional<TerminalList> parse(const QString& text, QString* error);
    // The same from a file; an unreadable file is an error too.
    static std::optional<TerminalList> read(const QString& path, QString* error);

    // The enrolled name of the fingerprint (canonical form), if it is listed.
    std::optional<QString> name(const QString& fingerprint) const;
    qsizetype size() const { return m_names.size(); }

private:
    QHash<QString, QString> m_names; // fingerprint -> name
};
