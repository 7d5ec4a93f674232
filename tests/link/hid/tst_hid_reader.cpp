#include "hid_test_support.h"

#include "link/hid/hid_read_thread.h"

#include <QTest>

#include <stdexcept>

namespace {

// Enough rounds that a race between the reader and the main thread shows up now and then.
constexpr int Rounds = 200;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int v : values)
        result.append(char(v));
    return result;
}

// Waits, serving no event, until the reader of dev waits for the main thread to take a hand-over.
bool handOverWaiting(const THidDevice &dev)
{
    const QDeadlineTimer deadline(5000);
    while (!(dev.Reader() && dev.Reader()->HandOverPending())) {
        if (deadline.hasExpired())
            return false;
        QThread::yieldCurrentThread();
    }
    return true;
}

} // namespace

class TestHidReader : public QObject {
    Q_OBJECT

private slots:
    void handOver_data();
    void handOver();
    void reportsArriveInOrder();
    void replacedHandlerGetsNextReport();
    void handlerErrorIsReportedAndReadingGoesOn();
    void stopWhileHandOverWaits();
    void stopDropsReportThatCameInMeanwhile();
    void errorReportThatStopsTheReader();
    void releaseByHandOverThatAStopServes();
    void stopFromInsideTheHandler();
    void releaseFromInsideTheHandler();
    void readErrorsAfterUnplug();
    void destructionWithRunningReaders();
};

void TestHidReader::handOver_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("expected"); // empty: no hand-over
    QTest::newRow("numbered") << bytes({0x05, 0xF2, 0x2B, 0x30}) << bytes({0x05, 0xF2, 0x2B, 0x30});
    QTest::newRow("unnumbered, full length") << bytes({0x00, 0xF2, 0x2B, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00})
                                             << bytes({0x00, 0xF2, 0x2B, 0x30, 0x00, 0x00, 0x00, 0x00, 0x00});
    QTest::newRow("report ID only") << bytes({0x07}) << bytes({0x07});
    QTest::newRow("longer than the input report is cut")
        << bytes({0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}) << bytes({0x01, 1, 2, 3, 4, 5, 6, 7, 8});
    QTest::newRow("zero bytes") << QByteArray() << QByteArray();
    QTest::newRow("failed read") << QByteArray("fail") << QByteArray();
}

void TestHidReader::handOver()
{
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, expected);
    FakeRig rig({"a"});
    EventLog log;
    rig.controller->SetOnDeviceDataError(THidDataErrorEvent(&log, &EventLog::dataError));
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    QVector<quint16> sizes;
    dev->SetDataHandler(
        THidDataEvent::fromCallable([&](THidDevice *hidDev, quint8 id, const quint8 *data, quint16 size) {
            QCOMPARE(hidDev, dev.get());
            sizes << size;
            log.data(hidDev, id, data, size);
        }));

    if (report == "fail")
        rig.platform->queueReadFailure("a");
    else
        rig.platform->queueReport("a", report);
    const QByteArray marker = bytes({0x09, 0xEE});
    rig.platform->queueReport("a", marker);
    QTRY_VERIFY(!log.reports.isEmpty() && log.reports.last() == marker);

    QList<QByteArray> reports{marker};
    QVector<quint16> expectedSizes{1};
    if (!expected.isEmpty()) {
        reports.prepend(expected);
        expectedSizes.prepend(quint16(expected.size() - 1));
    }
    QCOMPARE(log.reports, reports);
    QCOMPARE(sizes, expectedSizes);
    QVERIFY(log.errors.isEmpty()); // neither an empty nor a failed read is an error
}

void TestHidReader::reportsArriveInOrder()
{
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
    QList<QByteArray> sent;
    for (int i = 0; i < 100; ++i) {
        sent << bytes({0, 0xF1, i});
        rig.platform->queueReport("a", sent.last());
    }
    QTRY_COMPARE(log.reports.size(), sent.size());
    QCOMPARE(log.reports, sent);
}

void TestHidReader::replacedHandlerGetsNextReport()
{
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
    rig.platform->queueReport("a", bytes({0, 1}));
    QTRY_COMPARE(log.reports.size(), 1);

    dev->SetDataHandler(THidDataEvent(&log, &EventLog::otherData));
    QVERIFY(dev->ReaderRunning());
    rig.platform->queueReport("a", bytes({0, 2}));
    QTRY_COMPARE(log.otherReports, 1);
    QCOMPARE(log.reports.size(), 1);
}

void TestHidReader::handlerErrorIsReportedAndReadingGoesOn()
{
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    dev->SetDataHandler(
        THidDataEvent::fromCallable([&](THidDevice *hidDev, quint8 id, const quint8 *data, quint16 size) {
            if (data[0] == 0xBA)
                throw std::invalid_argument("'2.5E' is not a valid floating point value");
            log.data(hidDev, id, data, size);
        }));
    rig.platform->queueReport("a", bytes({0, 0xBA}));
    rig.platform->queueReport("a", bytes({0, 0x01}));
    QTRY_COMPARE(log.reports.size(), 1);
    QCOMPARE(rig.reportedErrors, QStringList{"'2.5E' is not a valid floating point value"});
}

void TestHidReader::stopWhileHandOverWaits()
{
    // Regression: a stop that only waited for the reader's end hung while the reader waited for the main
    // thread to take its report.
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    for (int round = 0; round < Rounds; ++round) {
        dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
        rig.platform->queueReport("a", bytes({0, round}));
        // No event is processed from here on: only the stop can serve the hand-over.
        QVERIFY(handOverWaiting(*dev));
        dev->SetDataHandler(THidDataEvent());
        QVERIFY(!dev->ReaderRunning());
        QCOMPARE(log.reports.size(), round + 1);
        QCOMPARE(log.reports.last(), bytes({0, round}));
    }
    QCoreApplication::processEvents();
    QCOMPARE(log.reports.size(), Rounds);
}

void TestHidReader::stopDropsReportThatCameInMeanwhile()
{
    // Regression: a read that completed after the stop was asked for still reached the detached handler.
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    for (int round = 0; round < Rounds; ++round) {
        dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
        rig.platform->queueLateReport("a", bytes({0, round}));
        QVERIFY(rig.platform->waitReportTaken(5000));
        dev->SetDataHandler(THidDataEvent());
        QVERIFY(!dev->ReaderRunning());
    }
    QCoreApplication::processEvents();
    QVERIFY(log.reports.isEmpty());
}

void TestHidReader::errorReportThatStopsTheReader()
{
    // Regression: the error report ran after the reader was let go, so a reader stopped meanwhile (a
    // device change while the message box is open) was destroyed under the hand-over that reported.
    FakeRig rig({"a"});
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    int reported = 0;
    rig.controller->SetErrorReport([&](const QString &) {
        ++reported;
        dev->SetDataHandler(THidDataEvent());
    });
    const THidDataEvent throwing = THidDataEvent::fromCallable(
        [](THidDevice *, quint8, const quint8 *, quint16) { throw std::invalid_argument("bad frame"); });
    for (int round = 0; round < Rounds; ++round) {
        dev->SetDataHandler(throwing);
        rig.platform->queueReport("a", bytes({0, round}));
        QVERIFY(waitUntil([&] { return !dev->ReaderRunning(); }));
        QCOMPARE(reported, round + 1);
        QVERIFY(waitUntil([&] { return rig.platform->openHandles() == 0; }));
    }
}

void TestHidReader::releaseByHandOverThatAStopServes()
{
    // Regression: the device went on with the detaching after a handler that the stop served had
    // destroyed it (a device change while a message box of that handler is open).
    FakeRig rig({"a"});
    EventLog log;
    const THidDataEvent releasing =
        THidDataEvent::fromCallable([&](THidDevice *hidDev, quint8 id, const quint8 *data, quint16 size) {
            log.data(hidDev, id, data, size);
            delete hidDev;
        });
    for (int round = 0; round < Rounds; ++round) {
        THidDevice *dev = rig.claim(0);
        QVERIFY(dev);
        dev->SetDataHandler(releasing);
        rig.platform->queueReport("a", bytes({0, round}));
        QVERIFY(handOverWaiting(*dev));
        dev->SetDataHandler(THidDataEvent());
        QCOMPARE(log.reports.size(), round + 1);
        QCOMPARE(rig.controller->DeviceList().size(), 1);
        QVERIFY(!rig.controller->DeviceList()[0]->Claimed());
    }
    QCOMPARE(rig.platform->openHandles(), 0);
}

void TestHidReader::stopFromInsideTheHandler()
{
    // Regression: detaching the handler from inside a hand-over waited for a reader that was itself
    // waiting for that hand-over to end.
    FakeRig rig({"a"});
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    const THidDataEvent detaching =
        THidDataEvent::fromCallable([&](THidDevice *hidDev, quint8 id, const quint8 *data, quint16 size) {
            log.data(hidDev, id, data, size);
            hidDev->SetDataHandler(THidDataEvent());
        });
    for (int round = 0; round < Rounds; ++round) {
        dev->SetDataHandler(detaching);
        rig.platform->queueReport("a", bytes({0, round}));
        rig.platform->queueReport("a", bytes({0, 0xFF})); // never handed over
        QVERIFY(waitUntil([&] { return !dev->ReaderRunning(); }));
        QCOMPARE(log.reports.size(), round + 1);
        dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
        QVERIFY(
            waitUntil([&] { return log.reports.size() == round + 2; })); // the second report, to a new reader
        dev->SetDataHandler(THidDataEvent());
        log.reports.removeLast();
    }
}

void TestHidReader::releaseFromInsideTheHandler()
{
    FakeRig rig({"a"});
    EventLog log;
    for (int round = 0; round < Rounds; ++round) {
        THidDevice *dev = rig.claim(0);
        QVERIFY(dev);
        dev->SetDataHandler(
            THidDataEvent::fromCallable([&](THidDevice *hidDev, quint8 id, const quint8 *data, quint16 size) {
                log.data(hidDev, id, data, size);
                delete hidDev;
            }));
        rig.platform->queueReport("a", bytes({0, round}));
        QVERIFY(waitUntil([&] { return log.reports.size() == round + 1; }));
        QCOMPARE(rig.controller->DeviceList().size(), 1);
        QVERIFY(!rig.controller->DeviceList()[0]->Claimed());
    }
    QTRY_COMPARE(rig.platform->openHandles(), 0);
}

void TestHidReader::readErrorsAfterUnplug()
{
    FakeRig rig;
    EventLog log;
    rig.controller->SetOnDeviceDataError(THidDataErrorEvent(&log, &EventLog::dataError));
    for (int round = 0; round < Rounds; ++round) {
        rig.platform->plug(fakeDevice("a"));
        rig.platform->notifyChange();
        std::unique_ptr<THidDevice> dev(rig.claim(0));
        dev->SetWaitSlice(10);
        dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
        log.errors.clear();

        // Pulled out: the reads fail before the system's notification arrives...
        rig.platform->unplug("a");
        QVERIFY(waitUntil([&] { return log.errors.size() >= 2; }));
        // ...and go on after it, until the reader is stopped.
        rig.platform->notifyChange();
        QVERIFY(!dev->Plugged());
        const int seen = log.errors.size();
        QVERIFY(waitUntil([&] { return log.errors.size() >= seen + 2; }));
        dev->SetDataHandler(THidDataEvent());
        QVERIFY(!dev->ReaderRunning());
        const int atStop = log.errors.size();
        QCoreApplication::processEvents();
        QCOMPARE(log.errors.size(), atStop);
        QCOMPARE(log.errors.first(), FakeHidPlatform::NotConnected);
        QCOMPARE(log.errors.count(FakeHidPlatform::NotConnected), log.errors.size());

        dev.reset();
        QVERIFY(rig.controller->DeviceList().isEmpty());
    }
    QCOMPARE(rig.platform->openHandles(), 0);
    QVERIFY(rig.reportedErrors.isEmpty());
}

void TestHidReader::destructionWithRunningReaders()
{
    for (int round = 0; round < Rounds; ++round) {
        FakeRig rig({"a", "b"});
        EventLog log;
        rig.controller->SetOnDeviceData(THidDataEvent(&log, &EventLog::data));
        std::unique_ptr<THidDevice> first(rig.claim(0));
        std::unique_ptr<THidDevice> second(rig.claim(1));
        rig.platform->queueReport("a", bytes({0, 1}));
        rig.platform->queueReport("b", bytes({0, 2}));
        if (round % 2)
            QVERIFY(rig.platform->waitReportTaken(5000)); // a hand-over waits while the controller goes

        rig.controller.reset();
        QVERIFY(!first->ReaderRunning() && !second->ReaderRunning());
        QVERIFY(!first->Plugged() && !second->Plugged());
        first.reset();
        second.reset();
        QCOMPARE(rig.platform->openHandles(), 0);
    }
}

QTEST_MAIN(TestHidReader)
#include "tst_hid_reader.moc"
