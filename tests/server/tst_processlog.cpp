#include "server/app/processlog.h"

#include <QTest>

class TestProcessLog : public QObject
{
    Q_OBJECT

private slots:
    void itemsOfOneLine_data();
    void itemsOfOneLine();
    void dropsOldestBeyondLimit();
    void limitHoldsWhateverTheTexts_data();
    void limitHoldsWhateverTheTexts();

private:
    const QDateTime m_now{QDate(2026, 12, 8), QTime(9, 5, 7)};
};

void TestProcessLog::itemsOfOneLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");

    const QString stamp = QStringLiteral("08.12-09:05:07 ");
    QTest::newRow("plain") << QStringLiteral("Pievienojies. Savienojumu skaits:1")
                           << QStringList{stamp + "Pievienojies. Savienojumu skaits:1"};
    // CR LF breaks: both characters are dropped.
    QTest::newRow("line breaks") << QStringLiteral("Kļūda :first\r\nsecond\r\nthird")
                                 << QStringList{stamp + "Kļūda :first", "second", "third"};
    // Database messages break with LF alone: no letter may be lost.
    QTest::newRow("bare line feeds")
        << QStringLiteral("Dynamic SQL Error\nColumn unknown\nX")
        << QStringList{stamp + "Dynamic SQL Error", "Column unknown", "X"};
    QTest::newRow("trailing break") << QStringLiteral("one\r\n") << QStringList{stamp + "one"};
    const QString hundred = QString(100 - stamp.size(), QLatin1Char('x'));
    QTest::newRow("exactly 100") << hundred << QStringList{stamp + hundred};
    QTest::newRow("over 100") << hundred + "REST" << QStringList{stamp + hundred, "REST"};
    // The overflow is added as it is, even with line breaks in it.
    QTest::newRow("overflow keeps breaks")
        << hundred + "a\r\nb" << QStringList{stamp + hundred, "a\r\nb"};
    QTest::newRow("break inside the first 100 and overflow")
        << QStringLiteral("ab\r\n") + QString(96 - stamp.size(), QLatin1Char('y')) + "ZZ"
        << QStringList{stamp + "ab", QString(96 - stamp.size(), QLatin1Char('y')), "ZZ"};
}

void TestProcessLog::itemsOfOneLine()
{
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(ProcessLog::itemsFor(text, m_now), items);
}

void TestProcessLog::dropsOldestBeyondLimit()
{
    ProcessLog log;
    for (int i = 0; i < 3001; ++i)
        log.add(QString::number(i), m_now);
    QCOMPARE(log.items().size(), 3001);
    QCOMPARE(log.droppedByLastAdd(), 0);

    // With 3001 items the next line first removes the oldest, one per call.
    log.add(QStringLiteral("next"), m_now);
    QCOMPARE(log.droppedByLastAdd(), 1);
    QCOMPARE(log.items().size(), 3001);
    QVERIFY(log.items().first().endsWith(QLatin1String(" 1")));
    QVERIFY(log.items().last().endsWith(QLatin1String(" next")));

    // A line of three items makes room for all three.
    log.add(QStringLiteral("a\r\nb\r\nc"), m_now);
    QCOMPARE(log.droppedByLastAdd(), 3);
    QCOMPARE(log.items().size(), 3001);
    QVERIFY(log.items().first().endsWith(QLatin1String(" 4")));
    QCOMPARE(log.items().last(), QStringLiteral("c"));
}

void TestProcessLog::limitHoldsWhateverTheTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("itemsEach");
    // What a hostile terminal can make the server log: a provider name of line breaks.
    QTest::newRow("64 line breaks")
        << QStringLiteral("Provaiders '") + QString(64, u'\n') + "'" << 65;
    // An ordinary Firebird error runs to five lines (and one item more past 100 characters).
    QTest::newRow("database error")
        << QStringLiteral("Kļūda :Dynamic SQL Error\nSQL error code = -206\nColumn unknown\n"
                          "NO_SUCH\nAt line 1, column 8")
        << 6;
}

void TestProcessLog::limitHoldsWhateverTheTexts()
{
    QFETCH(QString, text);
    QFETCH(int, itemsEach);
    ProcessLog log;
    QCOMPARE(log.add(text, m_now).size(), itemsEach);
    for (int i = 0; i < 20000; ++i)
        log.add(text, m_now);
    QCOMPARE(log.items().size(), ProcessLog::kMaxItems + 1);
    log.add(QStringLiteral("last"), m_now);
    QCOMPARE(log.items().size(), ProcessLog::kMaxItems + 1);
    QVERIFY(log.items().last().endsWith(QLatin1String(" last")));
}

QTEST_APPLESS_MAIN(TestProcessLog)
#include "tst_processlog.moc"
