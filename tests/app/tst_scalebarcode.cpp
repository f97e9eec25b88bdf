// The scale-barcode rule: which codes it splits, where the article and the
// quantity come from, the implied decimals, and the article field of a
// window that has no quantity field.

#include "client/core/clientformat.h"
#include "client/core/clientstate.h"
#include "client/core/scalebarcoderule.h"
#include "client/core/tclientdatamodule.h"
#include "client/widgets/touchform.h"

#include <QLineEdit>
#include <QTest>

class TestScaleBarcode final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void rule_data();
    void rule();
    void articleFieldOnly_data();
    void articleFieldOnly();
    void fieldsOfAWindow();
    void nothingBeforeTheFirstConnection();

private:
    static ClientState layout(const QString& prefix, int artSak, int artGar, int daudzSak,
                              int daudzGar, int decimals);
};

ClientState TestScaleBarcode::layout(const QString& prefix, int artSak, int artGar, int daudzSak,
                                     int daudzGar, int decimals)
{
    ClientState state;
    state.ScalePrefix = prefix;
    state.DekArtSak = artSak;
    state.DekArtGar = artGar;
    state.DekDaudzSak = daudzSak;
    state.DekDaudzGar = daudzGar;
    state.DekDecimalz = decimals;
    return state;
}

void TestScaleBarcode::cleanup()
{
    ClientFormat::useSystemLocale();
}

void TestScaleBarcode::rule_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("artSak");
    QTest::addColumn<int>("artGar");
    QTest::addColumn<int>("daudzSak");
    QTest::addColumn<int>("daudzGar");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<bool>("decimalComma");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quantityBefore");
    QTest::addColumn<bool>("applies");
    QTest::addColumn<QString>("article");
    QTest::addColumn<QString>("quantity");

    // The installation's usual label: 22 AAAAA QQQQQ C.
    QTest::newRow("three decimals, point")
        << "22" << 3 << 5 << 8 << 5 << 3 << false << "2212345012345"
        << "" << true << "12345"
        << "1.234";
    QTest::newRow("three decimals, comma")
        << "22" << 3 << 5 << 8 << 5 << 3 << true << "2212345012345"
        << "" << true << "12345"
        << "1,234";
    QTest::newRow("no decimals keeps the digits")
        << "22" << 3 << 5 << 8 << 5 << 0 << false << "2212345012345"
        << "9" << true << "12345"
        << "01234";
    QTest::newRow("whole kilograms") << "22" << 3 << 5 << 8 << 5 << 3 << false << "2200042250000"
                                     << "" << true << "00042"
                                     << "25.000";
    QTest::newRow("another prefix is left alone")
        << "22" << 3 << 5 << 8 << 5 << 3 << false << "2312345012345"
        << "7" << false << "2312345012345"
        << "7";
    QTest::newRow("prefix compared with case")
        << "AB" << 3 << 5 << 8 << 5 << 3 << false << "ab12345012345"
        << "7" << false << "ab12345012345"
        << "7";
    QTest::newRow("prefix longer than the code")
        << "2212" << 3 << 5 << 8 << 5 << 3 << false << "221"
        << "7" << false << "221"
        << "7";
    QTest::newRow("no prefix: rule off") << "" << 3 << 5 << 8 << 5 << 3 << false << "2212345012345"
                                         << "7" << false << "2212345012345"
                                         << "7";
    QTest::newRow("no article start: rule off")
        << "22" << 0 << 5 << 8 << 5 << 3 << false << "2212345012345"
        << "7" << false << "2212345012345"
        << "7";
    QTest::newRow("no article length: rule off")
        << "22" << 3 << 0 << 8 << 5 << 3 << false << "2212345012345"
        << "7" << false << "2212345012345"
        << "7";
    QTest::newRow("no quantity position scales the typed quantity")
        << "22" << 3 << 5 << 0 << 5 << 3 << false << "2212345012345"
        << "1500" << true << "12345"
        << "1.500";
    QTest::newRow("no quantity length keeps it without decimals")
        << "22" << 3 << 5 << 8 << 0 << 0 << false << "2212345012345"
        << "3" << true << "12345"
        << "3";
    QTest::newRow("short code is clipped") << "22" << 3 << 5 << 8 << 5 << 3 << false << "2212"
                                           << "" << true << "12"
                                           << "0.000";
    QTest::newRow("start past the end gives empty text")
        << "22" << 20 << 5 << 30 << 5 << 0 << false << "2212345012345"
        << "5" << true << ""
        << "";
    QTest::newRow("quantity that is no number counts as 0")
        << "22" << 3 << 5 << 8 << 5 << 2 << false << "2212345ABCDE1"
        << "" << true << "12345"
        << "0.000";
}

void TestScaleBarcode::rule()
{
    QFETCH(QString, prefix);
    QFETCH(int, artSak);
    QFETCH(int, artGar);
    QFETCH(int, daudzSak);
    QFETCH(int, daudzGar);
    QFETCH(int, decimals);
    QFETCH(bool, decimalComma);
    QFETCH(QString, code);
    QFETCH(QString, quantityBefore);

    ClientFormat::setLocale(decimalComma ? QLocale(QLocale::Latvian, QLocale::Latvia)
                                         : QLocale::c());
    const ClientState state = layout(prefix, artSak, artGar, daudzSak, daudzGar, decimals);
    QString article = code;
    QString quantity = quantityBefore;
    QTEST(ScaleBarcodeRule::Applies(state, code), "applies");
    QTEST(ScaleBarcodeRule::Apply(state, article, &quantity), "applies");
    QTEST(article, "article");
    QTEST(quantity, "quantity");
}

void TestScaleBarcode::articleFieldOnly_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("article");

    QTest::newRow("scale label") << "2212345012345"
                                 << "12345";
    QTest::newRow("ordinary barcode") << "4750000000017"
                                      << "4750000000017";
    QTest::newRow("typed article") << "22"
                                   << "";
}

void TestScaleBarcode::articleFieldOnly()
{
    QFETCH(QString, code);
    // Steps 1 and 3 alone: the quantity decimals are configured but there is
    // no quantity to scale.
    const ClientState state = layout(QStringLiteral("22"), 3, 5, 8, 5, 3);
    QString article = code;
    ScaleBarcodeRule::Apply(state, article, nullptr);
    QTEST(article, "article");
}

void TestScaleBarcode::fieldsOfAWindow()
{
    ClientFormat::setLocale(QLocale::c());
    const ClientState state = layout(QStringLiteral("22"), 3, 5, 8, 5, 3);

    QLineEdit article(QStringLiteral("2212345012345"));
    QLineEdit quantity(QStringLiteral("1"));
    TouchForm::applyScaleBarcodeRule(state, &article, &quantity);
    QCOMPARE(article.text(), QStringLiteral("12345"));
    QCOMPARE(quantity.text(), QStringLiteral("1.234"));

    // Leaving the field again finds an ordinary code and changes nothing.
    TouchForm::applyScaleBarcodeRule(state, &article, &quantity);
    QCOMPARE(article.text(), QStringLiteral("12345"));
    QCOMPARE(quantity.text(), QStringLiteral("1.234"));

    QLineEdit goodsArticle(QStringLiteral("2254321000500"));
    TouchForm::applyScaleBarcodeRule(state, &goodsArticle);
    QCOMPARE(goodsArticle.text(), QStringLiteral("54321"));
}

void TestScaleBarcode::nothingBeforeTheFirstConnection()
{
    // A module that has not connected yet knows no layout.
    TClientDataModule module;
    QLineEdit article(QStringLiteral("2212345012345"));
    QLineEdit quantity(QStringLiteral("1"));
    TouchForm::applyScaleBarcodeRule(module.clientState(), &article, &quantity);
    QCOMPARE(article.text(), QStringLiteral("2212345012345"));
    QCOMPARE(quantity.text(), QStringLiteral("1"));
}

QTEST_MAIN(TestScaleBarcode)
#include "tst_scalebarcode.moc"
