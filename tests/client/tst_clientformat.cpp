// The client's number and date formats, pinned to Latvian and English so the
// results do not depend on the machine that runs the tests.

#include "client/core/clientformat.h"

#include <QTest>

class TestClientFormat final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ClientFormat::useSystemLocale(); }

    void toText_data();
    void toText();
    void formatFloat_data();
    void formatFloat();
    void textToDouble_data();
    void textToDouble();
    void shortDate_data();
    void shortDate();
    void dateTimeText();
    void unreadableDate();
};

namespace {

const QLocale kLatvian(QLocale::Latvian, QLocale::Latvia);
const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

} // namespace

void TestClientFormat::toText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("lv decimal comma") << kLatvian << 1234.5 << "1234,5";
    QTest::newRow("en decimal point") << kEnglish << 1234.5 << "1234.5";
    QTest::newRow("whole number has no separator") << kLatvian << 100.0 << "100";
    QTest::newRow("no group separators") << kEnglish << 1234567.25 << "1234567.25";
    QTest::newRow("binary noise hidden") << kLatvian << 0.1 + 0.2 << "0,3";
    QTest::newRow("fifteen significant digits")
        << kLatvian << 123456789.123456789 << "123456789,123457";
    QTest::newRow("negative") << kLatvian << -12.75 << "-12,75";
    QTest::newRow("negative zero") << kLatvian << -0.0 << "0";
}

void TestClientFormat::toText()
{
    QFETCH(QLocale, locale);
    QFETCH(double, value);
    ClientFormat::setLocale(locale);
    QTEST(ClientFormat::toText(value), "expected");
}

void TestClientFormat::formatFloat_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("three decimals lv") << kLatvian << "0.000" << 1.5 << "1,500";
    QTest::newRow("three decimals en") << kEnglish << "0.000" << 1.5 << "1.500";
    QTest::newRow("two decimals total") << kLatvian << "0.00" << 12.345678 << "12,35";
    QTest::newRow("half rounds up as written") << kLatvian << "0.00" << 2.675 << "2,68";
    QTest::newRow("half of a thousandth") << kLatvian << "0.000" << 1.0005 << "1,001";
    QTest::newRow("carry into integer") << kLatvian << "0.00" << 9.995 << "10,00";
    QTest::newRow("small rounds to zero") << kLatvian << "0.00" << 0.004 << "0,00";
    QTest::newRow("small rounds up") << kLatvian << "0.00" << 0.005 << "0,01";
    QTest::newRow("negative half away from zero") << kLatvian << "0" << -2.5 << "-3";
    QTest::newRow("no negative zero") << kLatvian << "0.000" << -0.0001 << "0,000";
    QTest::newRow("large without groups") << kEnglish << "0.00" << 1234567.891 << "1234567.89";
    QTest::newRow("optional decimals") << kLatvian << "0.###" << 1.5 << "1,5";
    QTest::newRow("optional decimals whole") << kLatvian << "0.##" << 3.0 << "3";
    QTest::newRow("zero") << kLatvian << "0.000" << 0.0 << "0,000";
}

void TestClientFormat::formatFloat()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, pattern);
    QFETCH(double, value);
    ClientFormat::setLocale(locale);
    QTEST(ClientFormat::formatFloat(pattern, value), "expected");
}

void TestClientFormat::textToDouble_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("value");

    QTest::newRow("lv comma") << kLatvian << "1,5" << true << 1.5;
    QTest::newRow("lv point refused") << kLatvian << "1.5" << false << 0.0;
    QTest::newRow("en point") << kEnglish << "1.5" << true << 1.5;
    QTest::newRow("en comma refused") << kEnglish << "1,5" << false << 0.0;
    QTest::newRow("en group separator refused") << kEnglish << "1,234.5" << false << 0.0;
    QTest::newRow("blanks around") << kLatvian << " 2,25 " << true << 2.25;
    QTest::newRow("negative") << kLatvian << "-3,5" << true << -3.5;
    QTest::newRow("whole") << kLatvian << "42" << true << 42.0;
    QTest::newRow("empty") << kLatvian << "" << false << 0.0;
    QTest::newRow("letters") << kLatvian << "abc" << false << 0.0;
    QTest::newRow("trailing letters") << kLatvian << "1,5kg" << false << 0.0;
    QTest::newRow("nan refused") << kEnglish << "nan" << false << 0.0;
    QTest::newRow("inf refused") << kLatvian << "inf" << false << 0.0;
    QTest::newRow("-inf refused") << kLatvian << "-inf" << false << 0.0;
    QTest::newRow("overflow refused") << kLatvian << "1e400" << false << 0.0;
    QTest::newRow("hexadecimal refused") << kEnglish << "0x10" << false << 0.0;
    QTest::newRow("finite exponent") << kLatvian << "1,5e2" << true << 150.0;
}

void TestClientFormat::textToDouble()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, converts);
    ClientFormat::setLocale(locale);
    bool ok = !converts; // the call must set it either way
    const double value = ClientFormat::textToDouble(text, &ok);
    QCOMPARE(ok, converts);
    QTEST(value, "value");
}

void TestClientFormat::shortDate_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");

    QTest::newRow("lv day first, four-digit year") << kLatvian << QDate(2024, 3, 5) << "05.03.2024";
    QTest::newRow("en month first") << kEnglish << QDate(2024, 3, 5) << "3/5/2024";
    QTest::newRow("lv 1900 stays 1900") << kLatvian << QDate(1900, 1, 1) << "01.01.1900";
    QTest::newRow("en end of open period") << kEnglish << QDate(3000, 12, 31) << "12/31/3000";
    QTest::newRow("C locale spells no month") << QLocale::c() << QDate(2026, 12, 8) << "08.12.2026";
}

void TestClientFormat::shortDate()
{
    QFETCH(QLocale, locale);
    QFETCH(QDate, date);
    QFETCH(QString, text);
    ClientFormat::setLocale(locale);
    QCOMPARE(ClientFormat::dateToText(date), text);
    bool ok = false;
    QCOMPARE(ClientFormat::textToDate(text, &ok), date);
    QVERIFY(ok);
}

void TestClientFormat::dateTimeText()
{
    ClientFormat::setLocale(kLatvian);
    const QDateTime midnight(QDate(2025, 1, 21), QTime(0, 0));
    const QDateTime morning(QDate(2025, 1, 21), QTime(9, 15, 30));
    QCOMPARE(ClientFormat::dateTimeToText(midnight), QStringLiteral("21.01.2025"));
    QCOMPARE(ClientFormat::dateTimeToText(morning), QStringLiteral("21.01.2025 09:15:30"));
    QCOMPARE(ClientFormat::textToDateTime(QStringLiteral("21.01.2025 09:15:30")), morning);
    QCOMPARE(ClientFormat::textToDateTime(QStringLiteral("21.01.2025")), midnight);
    QCOMPARE(ClientFormat::textToDateTime(QStringLiteral("21.01.2025 09:15")),
             QDateTime(QDate(2025, 1, 21), QTime(9, 15)));
}

void TestClientFormat::unreadableDate()
{
    ClientFormat::setLocale(kLatvian);
    bool ok = true;
    QVERIFY(!ClientFormat::textToDate(QStringLiteral("2024-03-05"), &ok).isValid());
    QVERIFY(!ok);
    ok = true;
    QVERIFY(!ClientFormat::textToDate(QStringLiteral("31.02.2024"), &ok).isValid());
    QVERIFY(!ok);
    ok = true;
    QVERIFY(!ClientFormat::textToDateTime(QStringLiteral("rīt"), &ok).isValid());
    QVERIFY(!ok);
}

QTEST_GUILESS_MAIN(TestClientFormat)
#include "tst_clientformat.moc"
