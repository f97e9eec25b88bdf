#include "client/core/inifile.h"

#include "client/core/clienterror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF))) // a byte-order mark left by an editor
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::optional<QString> sectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
        return trimmed.mid(1, trimmed.size() - 2).trimmed();
    return std::nullopt;
}

bool isComment(const QString& line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

// The key of a "Key=Value" line, or nothing for any other line.
std::optional<QString> keyName(const QString& line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0 || isComment(line) || sectionName(line))
        return std::nullopt;
    return line.left(equals).trimmed();
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section's lines are: its header and one past its last key line.
struct SectionSpan
{
    qsizetype header = -1;
    qsizetype end = -1;
};

SectionSpan findSection(const QStringList& lines, const QString& section)
{
    SectionSpan span;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = sectionName(lines.at(i));
        if (span.header < 0) {
            if (name && sameName(*name, section))
                span = {i, i + 1};
            continue;
        }
        if (name)
            break;
        if (!lines.at(i).trimmed().isEmpty())
            span.end = i + 1;
    }
    return span;
}

qsizetype findKey(const QStringList& lines, const SectionSpan& span, const QString& key)
{
    for (qsizetype i = span.header + 1; i < span.end; ++i) {
        const std::optional<QString> name = keyName(lines.at(i));
        if (name && sameName(*name, key))
            return i;
    }
    return -1;
}

void writeLines(const QString& path, const QStringList& lines)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
        if (file.commit())
            return;
    }
    throw ClientError(
        QStringLiteral("Neizdevās ierakstīt failu %1: %2").arg(path, file.errorString()));
}

} // namespace

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const QStringList lines = readLines(m_path);
    const SectionSpan span = findSection(lines, section);
    if (span.header < 0)
        return std::nullopt;
    const qsizetype line = findKey(lines, span, key);
    if (line < 0)
        return std::nullopt;
    const QString& text = lines.at(line);
    return text.mid(text.indexOf(QLatin1Char('=')) + 1).trimmed();
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    QStringList lines = readLines(m_path);
    const SectionSpan span = findSection(lines, section);
    if (span.header < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(key + QLatin1Char('=') + value);
    } else if (const qsizetype line = findKey(lines, span, key); line >= 0) {
        const QString& existing = lines.at(line);
        lines[line] =
            existing.left(existing.indexOf(QLatin1Char('='))).trimmed() + QLatin1Char('=') + value;
    } else {
        lines.insert(span.end, key + QLatin1Char('=') + value);
    }
    writeLines(m_path, lines);
}
