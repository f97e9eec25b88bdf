// Two sends of one unit on two workers of a server: the second waits for
// the first to end; other units do not wait; the wait is bounded.

#include "server/db/unitsinflight.h"

#include <QTest>

#include <atomic>
#include <thread>

class TestUnitsInFlight final : public QObject
{
    Q_OBJECT

private slots:
    void secondSendWaitsForTheFirst();
};

void TestUnitsInFlight::secondSendWaitsForTheFirst()
{
    using namespace std::chrono_literals;
    UnitsInFlight units;
    std::atomic<bool> entered = false;
    std::atomic<bool> release = false;
    std::atomic<bool> left = false;
    std::thread first([&] {
        UnitsInFlight::Turn turn = units.enter(QStringLiteral("NV:a"), 1s);
        entered = turn ? true : false;
        while (!release)
            std::this_thread::sleep_for(1ms);
        left = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(entered, 5000);

    // Another unit runs at once; the same one gives up at its limit.
    QVERIFY(units.enter(QStringLiteral("NV:b"), 0ms));
    QVERIFY(!units.enter(QStringLiteral("NV:a"), 50ms));
    QVERIFY(!left);

    release = true;
    UnitsInFlight::Turn second = units.enter(QStringLiteral("NV:a"), 10s);
    QVERIFY(second);
    QVERIFY(left); // only once the first had ended
    first.join();
}

QTEST_GUILESS_MAIN(TestUnitsInFlight)
#include "tst_unitsinflight.moc"
