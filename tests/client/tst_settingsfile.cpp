// The settings file: where it lives, what reads give for missing or odd
// values, the 1/0 booleans, and that every read sees the file as it is now.

#include "client/core/clienterror.h"
#include "client/core/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestSettingsFile final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void fileInDocumentsFolder();
    void missingFileGivesDefaults();
    void firstWriteCreatesFile();
    void booleansWrittenAsOneAndZero();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void editByHandSeenByNextRead();
    void rewriteKeepsOtherSectionsAndComments();
    void namesMatchWithoutCase();
    void textKeptAsWritten_data();
    void textKeptAsWritten();
    void emptyValueIsNotMissing();
    void unwritableFileThrows();

private:
    QString documentsFolder() const { return m_home.filePath(QStringLiteral("Documents")); }
    QByteArray fileBytes() const;
    void writeFileBytes(const QByteArray& bytes) const;

    QTemporaryDir m_home;
};

void TestSettingsFile::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The documents folder follows HOME and the XDG user folders; point both
    // at a folder of our own so no real settings are touched.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral(".config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
}

void TestSettingsFile::init()
{
    QDir(documentsFolder()).removeRecursively();
}

QByteArray TestSettingsFile::fileBytes() const
{
    QFile file(SettingsFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestSettingsFile::writeFileBytes(const QByteArray& bytes) const
{
    QDir().mkpath(documentsFolder());
    QFile file(SettingsFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void TestSettingsFile::fileInDocumentsFolder()
{
    QCOMPARE(SettingsFilePath(), documentsFolder() + QStringLiteral("/Norvalk.INI"));
}

void TestSettingsFile::missingFileGivesDefaults()
{
    QCOMPARE(IniReadString("SysCon", "HostName", "192.168.1.10"), QStringLiteral("192.168.1.10"));
    QCOMPARE(IniReadInteger("DokIevads", "Isnodala", -1), -1);
    QCOMPARE(IniReadBool("SysCon", "IzrDaudzums1", true), true);
    QCOMPARE(IniReadBool("SysCon", "IzrDaudzums1", false), false);
    QVERIFY2(!QFile::exists(SettingsFilePath()), "reads must not create the file");
}

void TestSettingsFile::firstWriteCreatesFile()
{
    IniWriteString("UserData", "UserName", "ANNA");
    QCOMPARE(fileBytes(), QByteArray("[UserData]\nUserName=ANNA\n"));
    QCOMPARE(IniReadString("UserData", "UserName", "CHIEF"), QStringLiteral("ANNA"));
    QCOMPARE(IniReadString("UserData", "Other", "x"), QStringLiteral("x"));
    QCOMPARE(IniReadString("Other", "UserName", "x"), QStringLiteral("x"));
}

void TestSettingsFile::booleansWrittenAsOneAndZero()
{
    IniWriteBool("SysCon", "IzrDaudzums1", true);
    IniWriteBool("SysCon", "IzrDzestAtlaidi", false);
    IniWriteInteger("PrecuDati", "Isnodala", 3);
    QCOMPARE(fileBytes(), QByteArray("[SysCon]\nIzrDaudzums1=1\nIzrDzestAtlaidi=0\n\n"
                                     "[PrecuDati]\nIsnodala=3\n"));
    QCOMPARE(IniReadBool("SysCon", "IzrDaudzums1", false), true);
    QCOMPARE(IniReadBool("SysCon", "IzrDzestAtlaidi", true), false);
    QCOMPARE(IniReadInteger("PrecuDati", "Isnodala", -1), 3);
}

void TestSettingsFile::readInteger_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expected");

    QTest::newRow("positive") << QByteArray("5") << 5;
    QTest::newRow("minus one") << QByteArray("-1") << -1;
    QTest::newRow("blanks around") << QByteArray("  7 ") << 7;
    QTest::newRow("empty") << QByteArray("") << 42;
    QTest::newRow("letters") << QByteArray("abc") << 42;
    QTest::newRow("fraction") << QByteArray("1.5") << 42;
    QTest::newRow("digits then letters") << QByteArray("3x") << 42;
    QTest::newRow("too large") << QByteArray("99999999999") << 42;
}

void TestSettingsFile::readInteger()
{
    QFETCH(QByteArray, stored);
    writeFileBytes("[DokIevads]\nIsnodala=" + stored + "\n");
    QTEST(IniReadInteger("DokIevads", "Isnodala", 42), "expected");
}

void TestSettingsFile::readBool_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");

    QTest::newRow("0") << QByteArray("0") << true << false;
    QTest::newRow("1") << QByteArray("1") << false << true;
    QTest::newRow("any other number is true") << QByteArray("2") << false << true;
    QTest::newRow("negative is true") << QByteArray("-1") << false << true;
    QTest::newRow("word gives default true") << QByteArray("false") << true << true;
    QTest::newRow("word gives default false") << QByteArray("true") << false << false;
    QTest::newRow("empty gives default") << QByteArray("") << true << true;
}

void TestSettingsFile::readBool()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, defaultValue);
    writeFileBytes("[SysCon]\nNeraditEkranaKlaviaturu=" + stored + "\n");
    QTEST(IniReadBool("SysCon", "NeraditEkranaKlaviaturu", defaultValue), "expected");
}

void TestSettingsFile::editByHandSeenByNextRead()
{
    IniWriteString("SysCon", "HostName", "10.0.0.5");
    QCOMPARE(IniReadString("SysCon", "HostName", ""), QStringLiteral("10.0.0.5"));
    // Same length, so a cache keyed on size would miss it.
    writeFileBytes("[SysCon]\nHostName=10.0.0.6\n");
    QCOMPARE(IniReadString("SysCon", "HostName", ""), QStringLiteral("10.0.0.6"));
    QFile::remove(SettingsFilePath());
    QCOMPARE(IniReadString("SysCon", "HostName", "none"), QStringLiteral("none"));
}

void TestSettingsFile::rewriteKeepsOtherSectionsAndComments()
{
    writeFileBytes("; written by hand\r\n[SysCon]\r\nHostName = 10.0.0.5\r\nIzrDaudzums1=1\r\n\r\n"
                   "[UserData]\r\nUserName=ANNA\r\n");
    IniWriteString("SysCon", "HostName", "10.0.0.9");
    IniWriteBool("SysCon", "IzrDzestAtlaidi", true);
    IniWriteInteger("DokIevads", "Isnodala", 2);
    QCOMPARE(fileBytes(), QByteArray("; written by hand\n[SysCon]\nHostName=10.0.0.9\n"
                                     "IzrDaudzums1=1\nIzrDzestAtlaidi=1\n\n[UserData]\n"
                                     "UserName=ANNA\n\n[DokIevads]\nIsnodala=2\n"));
}

void TestSettingsFile::namesMatchWithoutCase()
{
    writeFileBytes("[syscon]\nhostname=10.1.1.1\n");
    QCOMPARE(IniReadString("SysCon", "HostName", ""), QStringLiteral("10.1.1.1"));
    IniWriteString("SYSCON", "HOSTNAME", "10.2.2.2");
    QCOMPARE(fileBytes(), QByteArray("[syscon]\nhostname=10.2.2.2\n"));
}

void TestSettingsFile::textKeptAsWritten_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("Latvian letters") << QStringLiteral("LĪGA Ķēniņa");
    QTest::newRow("commas") << QStringLiteral("a, b, c");
    QTest::newRow("semicolon and equals") << QStringLiteral("x=1;y=2");
    QTest::newRow("quotes") << QStringLiteral("\"quoted\"");
    QTest::newRow("brackets") << QStringLiteral("[not a section]");
}

void TestSettingsFile::textKeptAsWritten()
{
    QFETCH(QString, text);
    IniWriteString("UserData", "UserName", text);
    QCOMPARE(IniReadString("UserData", "UserName", "CHIEF"), text);
    QCOMPARE(IniReadString("UserData", "Other", "none"), QStringLiteral("none"));
}

void TestSettingsFile::emptyValueIsNotMissing()
{
    IniWriteString("SysCon", "HostName", "");
    QCOMPARE(IniReadString("SysCon", "HostName", "192.168.1.10"), QString());
}

void TestSettingsFile::unwritableFileThrows()
{
    // A folder where the file should be cannot be replaced by a file.
    QVERIFY(QDir().mkpath(SettingsFilePath()));
    QVERIFY_THROWS_EXCEPTION(ClientError, IniWriteString("SysCon", "HostName", "x"));
    QCOMPARE(IniReadString("SysCon", "HostName", "d"), QStringLiteral("d"));
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
