#include "common/namedparams.h"

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

using Replacement = std::function<QString(const QString& name)>;

// Scans SQL text and copies it, one token at a time, with each marker replaced.
class MarkerScanner final
{
public:
    MarkerScanner(const QString& sql, const Replacement& replacement)
        : m_sql(sql), m_replacement(replacement)
    {
        m_result.reserve(sql.size());
    }

    QString convert()
    {
        while (m_pos < m_sql.size() && !m_stopped)
            step();
        m_result += QStringView(m_sql).mid(m_copied);
        return std::move(m_result);
    }

private:
    QChar at(qsizetype i) const { return i < m_sql.size() ? m_sql[i] : QChar(); }

    void step()
    {
        const QChar c = m_sql[m_pos];
        if (c == u'\'' || c == u'"')
            skipQuoted(c);
        else if (c == u'-' && at(m_pos + 1) == u'-')
            skipLineComment();
        else if (c == u'/' && at(m_pos + 1) == u'*')
            skipBlockComment();
        else if (c == u':' && isNameStart(at(m_pos + 1)))
            replaceMarker();
        else if (isNameStart(c))
            readWord();
        else
            readPunctuation(c);
    }

    // A doubled quote inside the run is an escaped one; the scan simply resumes
    // after it, which is the same thing.
    void skipQuoted(QChar quote)
    {
        const qsizetype end = m_sql.indexOf(quote, m_pos + 1);
        m_pos = end < 0 ? m_sql.size() : end + 1;
    }

    void skipLineComment()
    {
        const qsizetype end = m_sql.indexOf(u'\n', m_pos + 2);
        m_pos = end < 0 ? m_sql.size() : end + 1;
    }

    void skipBlockComment()
    {
        const qsizetype end = m_sql.indexOf(u"*/", m_pos + 2);
        m_pos = end < 0 ? m_sql.size() : end + 2;
    }

    qsizetype nameEnd(qsizetype from) const
    {
        while (from < m_sql.size() && isNamePart(m_sql[from]))
            ++from;
        return from;
    }

    void replaceMarker()
    {
        const qsizetype end = nameEnd(m_pos + 1);
        m_result += QStringView(m_sql).mid(m_copied, m_pos - m_copied);
        m_result += m_replacement(m_sql.mid(m_pos + 1, end - m_pos - 1));
        m_pos = m_copied = end;
    }

    void readWord()
    {
        const qsizetype end = nameEnd(m_pos);
        const QStringView word = QStringView(m_sql).mid(m_pos, end - m_pos);
        m_pos = end;
        ++m_wordCount;
        if (m_wordCount == 1 && isDdlVerb(word))
            m_stopped = true; // DDL takes no parameters; its PSQL uses :variables
        else if (m_wordCount == 1)
            m_executeSeen = same(word, u"EXECUTE");
        else if (m_wordCount == 2 && m_executeSeen)
            m_inBlockHeader = same(word, u"BLOCK");
        else if (m_inBlockHeader && m_depth == 0 && same(word, u"AS"))
            m_stopped = true; // the block body's :variables are its own
    }

    void readPunctuation(QChar c)
    {
        if (c == u'(')
            ++m_depth;
        else if (c == u')')
            --m_depth;
        ++m_pos;
    }

    static bool same(QStringView word, QStringView keyword)
    {
        return word.compare(keyword, Qt::CaseInsensitive) == 0;
    }

    static bool isDdlVerb(QStringView word)
    {
        return same(word, u"CREATE") || same(word, u"ALTER") || same(word, u"RECREATE");
    }

    const QString& m_sql;
    const Replacement& m_replacement;
    QString m_result;
    qsizetype m_pos = 0;
    qsizetype m_copied = 0;
    int m_wordCount = 0;
    int m_depth = 0;
    bool m_executeSeen = false;
    bool m_inBlockHeader = false;
    bool m_stopped = false;
};

} // namespace

PositionalSql toPositionalSql(const QString& sql)
{
    PositionalSql result;
    result.sql = MarkerScanner(sql, [&result](const QString& name) {
                     result.names.append(name);
                     return QStringLiteral("?");
                 }).convert();
    return result;
}

QString renameMarkers(const QString& sql, const Replacement& replacement)
{
    return MarkerScanner(sql, replacement).convert();
}
