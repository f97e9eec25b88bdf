#include "tests/support/testdatabase.h"

#include <QFile>
#include <QProcess>

TestDatabase::TestDatabase(Content content, const QString& charset)
{
    const QString path = m_dir.filePath(QStringLiteral("test.fdb"));
    QStringList arguments{path, QStringLiteral("--charset"), charset};
    if (content == Content::Demo)
        arguments << QStringLiteral("--demo");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(NORVALK_SOURCE_DIR "/scripts/make-db"), arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        m_error = QString::fromLocal8Bit(process.readAll());
        return;
    }
    m_path = path;
}
