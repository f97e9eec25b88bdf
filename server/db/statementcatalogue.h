#pragma once

#include <QSet>
#include <QString>

#include <memory>
#include <optional>

// The statement texts the terminal program can send, read from the file the
// build writes beside the programs (a JSON array of strings). With one in
// force the server runs no other text a terminal sends, so that a stolen
// connection, or a program that only speaks the protocol, reads and changes
// nothing the terminal could not. A text is the terminal's exact text: a
// statement that differs by a space is another statement.
//
// Loaded once and never changed: every session reads it through a
// shared_ptr<const>, on its own worker, without locks; a reload makes a new
// one for the sessions that come after.
class StatementCatalogue final
{
public:
    explicit StatementCatalogue(QSet<QString> texts) : m_texts(std::move(texts)) {}

    // The file's catalogue; nothing, with *error saying (in Latvian, for the
    // administrator) which file and why, when it cannot be read or is not
    // an array of texts.
    static std::shared_ptr<const StatementCatalogue> load(const QString& path, QString* error);

    // One hash of the text and a comparison: it runs on every request that
    // carries a text.
    bool contains(const QString& text) const { return m_texts.contains(text); }
    qsizetype size() const { return qsizetype(m_texts.size()); }

private:
    QSet<QString> m_texts;
};
