#include "common/namedparams.h"

#include <QTest>

class TestNamedParams final : public QObject
{
    Q_OBJECT

private slots:
    void convert_data();
    void convert();
};

void TestNamedParams::convert_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expectedSql");
    QTest::addColumn<QStringList>("expectedNames");

    QTest::newRow("empty") << QString() << QString() << QStringList();
    QTest::newRow("no markers") << "SELECT 1 FROM RDB$DATABASE"
                                << "SELECT 1 FROM RDB$DATABASE" << QStringList();
    QTest::newRow("one marker") << "SELECT * FROM T WHERE ID=:ID"
                                << "SELECT * FROM T WHERE ID=?" << QStringList{"ID"};
    QTest::newRow("repeated name")
        << "SELECT * FROM T WHERE ARTIKULS=:ARTIKULS OR ARTIKULS2=:ARTIKULS"
        << "SELECT * FROM T WHERE ARTIKULS=? OR ARTIKULS2=?" << QStringList{"ARTIKULS", "ARTIKULS"};
    QTest::newRow("order kept") << "INSERT INTO T VALUES (:b, :A, :c_1)"
                                << "INSERT INTO T VALUES (?, ?, ?)" << QStringList{"b", "A", "c_1"};
    QTest::newRow("digits and dollar") << "WHERE X = :P$1 AND Y=:_2"
                                       << "WHERE X = ? AND Y=?" << QStringList{"P$1", "_2"};
    QTest::newRow("marker at the very end") << "WHERE X=:LAST"
                                            << "WHERE X=?" << QStringList{"LAST"};
    QTest::newRow("colon at the very end") << "SELECT :"
                                           << "SELECT :" << QStringList();
    QTest::newRow("colon before digit") << "WHERE X=:1"
                                        << "WHERE X=:1" << QStringList();
    QTest::newRow("colon before equals") << "X :=:Y"
                                         << "X :=?" << QStringList{"Y"};
    QTest::newRow("colon before blank") << "X : Y"
                                        << "X : Y" << QStringList();
    QTest::newRow("double colon") << "X ::Y"
                                  << "X :?" << QStringList{"Y"};
    QTest::newRow("quoted time") << "WHERE T='12:30' AND N=:N"
                                 << "WHERE T='12:30' AND N=?" << QStringList{"N"};
    QTest::newRow("escaped quote") << "WHERE T='it''s :NOT' AND N=:N"
                                   << "WHERE T='it''s :NOT' AND N=?" << QStringList{"N"};
    QTest::newRow("unterminated literal") << "WHERE T=':A"
                                          << "WHERE T=':A" << QStringList();
    QTest::newRow("quoted identifier") << "SELECT \"A:B\" FROM T WHERE X=:X"
                                       << "SELECT \"A:B\" FROM T WHERE X=?" << QStringList{"X"};
    QTest::newRow("line comment") << "SELECT 1 -- :NOT here\nFROM T WHERE X=:X"
                                  << "SELECT 1 -- :NOT here\nFROM T WHERE X=?" << QStringList{"X"};
    QTest::newRow("line comment at end") << "WHERE X=:X -- :NOT"
                                         << "WHERE X=? -- :NOT" << QStringList{"X"};
    QTest::newRow("block comment") << "SELECT /* :NOT\n:NOT */ :X FROM T"
                                   << "SELECT /* :NOT\n:NOT */ ? FROM T" << QStringList{"X"};
    QTest::newRow("single dash and slash") << "SELECT 2-:A, 4/:B FROM T"
                                           << "SELECT 2-?, 4/? FROM T" << QStringList{"A", "B"};
    QTest::newRow("latvian name") << "WHERE X=:ĀBOLS"
                                  << "WHERE X=?" << QStringList{"ĀBOLS"};
    QTest::newRow("execute procedure") << "EXECUTE PROCEDURE P(:A, :B)"
                                       << "EXECUTE PROCEDURE P(?, ?)" << QStringList{"A", "B"};
    QTest::newRow("execute block body")
        << "EXECUTE BLOCK (X INT = :X) RETURNS (Y INT) AS BEGIN Y = :X; SUSPEND; END"
        << "EXECUTE BLOCK (X INT = ?) RETURNS (Y INT) AS BEGIN Y = :X; SUSPEND; END"
        << QStringList{"X"};
    QTest::newRow("cast as") << "SELECT CAST(:X AS INTEGER), :Y FROM RDB$DATABASE"
                             << "SELECT CAST(? AS INTEGER), ? FROM RDB$DATABASE"
                             << QStringList{"X", "Y"};
    QTest::newRow("ddl keeps variables")
        << "/* new */ CREATE PROCEDURE P RETURNS (Y INT) AS BEGIN SELECT 1 FROM T INTO :Y; END"
        << "/* new */ CREATE PROCEDURE P RETURNS (Y INT) AS BEGIN SELECT 1 FROM T INTO :Y; END"
        << QStringList();
}

void TestNamedParams::convert()
{
    QFETCH(QString, sql);
    QFETCH(QString, expectedSql);
    QFETCH(QStringList, expectedNames);

    const PositionalSql result = toPositionalSql(sql);
    QCOMPARE(result.sql, expectedSql);
    QCOMPARE(result.names, expectedNames);
}

QTEST_APPLESS_MAIN(TestNamedParams)
#include "tst_namedparams.moc"
