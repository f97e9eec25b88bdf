#include "server/net/terminallist.h"

#include "common/certificatefingerprint.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

std::optional<TerminalList> TerminalList::parse(const QString& text, QString* error)
{
    TerminalList list;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype blank = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const QString fingerprint = NormalizeFingerprint(blank < 0 ? line : line.left(blank));
        const QString name = blank < 0 ? QString() : line.mid(blank).trimmed();
        if (fingerprint.isEmpty() || name.isEmpty()) {
            *error = QStringLiteral("%1. rindā jābūt termināļa sertifikāta nospiedumam (SHA-256) "
                                    "un nosaukumam")
                         .arg(i + 1);
            return std::nullopt;
        }
        list.m_names.insert(fingerprint, name);
    }
    return list;
}

std::optional<TerminalList> TerminalList::read(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("failu nevar nolasīt (%1)").arg(file.errorString());
        return std::nullopt;
    }
    return parse(QString::fromUtf8(file.readAll()), error);
}

std::optional<QString> TerminalList::name(const QString& fingerprint) const
{
    const auto found = m_names.constFind(fingerprint);
    if (found == m_names.cend())
        return std::nullopt;
    return *found;
}
