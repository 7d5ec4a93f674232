#include "record/window_timer.h"

#include <QTest>

// The real timer. Frames enable the sampling timer every 250 ms; if enabling
// a running timer, or giving it the period it has, started its count again,
// a 2 s interval would never tick. QTimer::start() and setInterval() both
// restart a running timer, so the adapter must not call them then.
class TestWindowTimer : public QObject {
    Q_OBJECT
private slots:
    void keepsItsCount_data();
    void keepsItsCount();
};

namespace {

// Lets part of the period pass without running the event loop (so the timer
// cannot tick meanwhile); returns the milliseconds left.
int spinUntilAtMost(const QtWindowTimer &timer, int milliseconds)
{
    int left = timer.remainingTime();
    while (left > milliseconds)
        left = timer.remainingTime();
    return left;
}

} // namespace

void TestWindowTimer::keepsItsCount_data()
{
    QTest::addColumn<bool>("enableAgain"); // else: set the same period again
    QTest::newRow("enabling a running timer") << true;
    QTest::newRow("the same period") << false;
}

void TestWindowTimer::keepsItsCount()
{
    QFETCH(bool, enableAgain);
    QtWindowTimer timer(100, true);
    QVERIFY(timer.isEnabled());
    // A restart would bring the time left back to about 100 ms.
    const int left = spinUntilAtMost(timer, 80);
    if (enableAgain)
        timer.setEnabled(true);
    else
        timer.setInterval(100);
    QVERIFY(timer.isEnabled());
    QCOMPARE(timer.interval(), 100);
    QVERIFY2(timer.remainingTime() <= left, qPrintable(QString::number(timer.remainingTime())));
}

QTEST_GUILESS_MAIN(TestWindowTimer)
#include "tst_window_timer.moc"
