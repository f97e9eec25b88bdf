// The catalogue of the terminal's statements: the file the build wrote is
// the catalogue as the terminal's core makes it, and the catalogue holds
// texts only, never a value. That it holds every text sent is proved where
// the texts are sent: the data classes' tests and the window tests record
// them (ServerFixture, WindowFixture).

#include "client/core/terminalstatements.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <algorithm>

class TestTerminalStatements final : public QObject
{
    Q_OBJECT

private slots:
    void builtFileIsTheCatalogue();
    void sortedOnceEachWithoutValues();
};

void TestTerminalStatements::builtFileIsTheCatalogue()
{
    QFile file(QStringLiteral(NORVALK_BINARY_DIR "/share/norvalk-statements.json"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QVERIFY(document.isArray());
    QStringList written;
    for (const QJsonValue& value : document.array()) {
        QVERIFY(value.isString());
        written << value.toString();
    }
    QCOMPARE(written, TerminalStatements());
}

void TestTerminalStatements::sortedOnceEachWithoutValues()
{
    const QStringList catalogue = TerminalStatements();
    QVERIFY(catalogue.size() > 50);
    QVERIFY(std::is_sorted(catalogue.cbegin(), catalogue.cend()));
    QVERIFY(std::adjacent_find(catalogue.cbegin(), catalogue.cend()) == catalogue.cend());
    // Made again, the same: nothing of the made-up data it was built with
    // stays behind to change it.
    QCOMPARE(TerminalStatements(), catalogue);
    for (const QString& text : catalogue) {
        QVERIFY(!text.trimmed().isEmpty());
        // The values the units were built with travel as parameters, never
        // in a text: neither the identity nor the long sample texts.
        QVERIFY2(!text.contains(QStringLiteral("NV:")), qPrintable(text.left(200)));
        QVERIFY2(!text.contains(QStringLiteral("11111")), qPrintable(text.left(200)));
    }
    // A unit whose typed text may be long is there in both declared widths.
    const auto declares = [&](const QString& part) {
        return std::any_of(catalogue.cbegin(), catalogue.cend(),
                           [&](const QString& text) { return text.contains(part); });
    };
    QVERIFY(declares(QStringLiteral("NR_PAVADZ VARCHAR(255)")));
    QVERIFY(declares(QStringLiteral("NR_PAVADZ VARCHAR(8191)")));
    QVERIFY(declares(QStringLiteral("NEATRASTIE VARCHAR(8191)")));
    QVERIFY(declares(QStringLiteral("LINES VARCHAR(8191)")));
}

QTEST_GUILESS_MAIN(TestTerminalStatements)
#include "tst_terminalstatements.moc"
