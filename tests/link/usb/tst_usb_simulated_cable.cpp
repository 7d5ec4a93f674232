#include "link/hid/hid_test_support.h"
#include "link/serial/serial_fakes.h"
#include "link/usb/simulated_usb_cable.h"
#include "link/usb/usb_adapter.h"

#include <QTest>

namespace {

const QByteArray kLine("+0123 1\x10\x00\x00\x80\x00\r\n", 14);

struct CableRig {
    std::shared_ptr<FakeHidPlatform> platform = std::make_shared<FakeHidPlatform>();
    ManualWindowTimer *ticks = nullptr;
    std::unique_ptr<SimulatedUsbCable> cable;
    std::unique_ptr<HidHandle> reader; // stands for a reader thread's handle

    CableRig()
    {
        auto timer = std::make_unique<ManualWindowTimer>();
        ticks = timer.get();
        cable = std::make_unique<SimulatedUsbCable>(platform, std::move(timer));
    }
    void attachReader() { reader = platform->open(SimulatedUsbCable::device().path, HidAccess::Read); }
    QList<QByteArray> take()
    {
        QList<QByteArray> reports;
        quint8 buffer[UsbCableEncoder::ReportLength];
        int n = 0;
        while (platform->pendingInputs(SimulatedUsbCable::device().identity) > 0 &&
               platform->read(*reader, buffer, sizeof buffer, 0, n) == HidReadResult::Completed)
            reports << QByteArray(reinterpret_cast<const char *>(buffer), n);
        return reports;
    }
    void tick(int n)
    {
        for (int i = 0; i < n; ++i)
            ticks->fire();
    }
};

QByteArray report(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

class TestUsbSimulatedCable : public QObject {
    Q_OBJECT

private slots:
    void reportsCarryMeterLines();
    void nothingQueuedWithoutReader();
    void replayStartsWithReaderAndPlaysOnce();
    void queueIsBounded();
    void pullAndPlugReachTheAdapter();
};

void TestUsbSimulatedCable::reportsCarryMeterLines()
{
    CableRig rig;
    QCOMPARE(rig.ticks->interval(), 10);
    rig.attachReader();
    QVERIFY(rig.reader);
    rig.cable->feed(kLine);
    rig.tick(4);
    QCOMPARE(rig.take(), (QList<QByteArray>{report("00F72B303132332031"), report("00F71000008000 0D0A"),
                                            report("00F00000000000000000").left(9),
                                            report("00F00000000000000000").left(9)}));
}

void TestUsbSimulatedCable::nothingQueuedWithoutReader()
{
    CableRig rig;
    rig.cable->feed(kLine);
    rig.tick(5);
    QCOMPARE(rig.platform->pendingInputs(SimulatedUsbCable::device().identity), 0);
}

void TestUsbSimulatedCable::replayStartsWithReaderAndPlaysOnce()
{
    CableRig rig;
    const QList<QByteArray> recorded{report("00F12B"), report("00F130"), report("00F0")};
    rig.cable->setReplay(ReportList(recorded));
    rig.tick(10);
    QVERIFY(!rig.cable->replayStarted());
    rig.attachReader();
    rig.tick(3);
    QVERIFY(rig.cable->replayDone());
    QCOMPARE(rig.take(), recorded);
    rig.tick(1); // then an idle adapter
    QCOMPARE(rig.take(), QList<QByteArray>{report("00F00000000000000000").left(9)});
}

void TestUsbSimulatedCable::queueIsBounded()
{
    CableRig rig;
    rig.attachReader();
    rig.tick(1000);
    QCOMPARE(rig.platform->pendingInputs(SimulatedUsbCable::device().identity),
             SimulatedUsbCable::ReportQueueLimit);
}

void TestUsbSimulatedCable::pullAndPlugReachTheAdapter()
{
    CableRig rig;
    THidDeviceController HidCtl(nullptr, rig.platform);
    UsbAdapter adapter;
    adapter.attach(HidCtl);
    QCOMPARE(adapter.DevListIndex(), 0);
    rig.cable->togglePlug();
    QVERIFY(!rig.cable->isPlugged());
    QCOMPARE(adapter.HistoryListBox().selectedLine(), QStringLiteral("Removal of USB to Serial"));
    QCOMPARE(adapter.DevListIndex(), -1);
    rig.cable->togglePlug();
    QCOMPARE(adapter.HistoryListBox().selectedLine(), QStringLiteral("Arrival of USB to Serial"));
    QCOMPARE(adapter.DevListIndex(), 0);
    adapter.detach();
}

QTEST_GUILESS_MAIN(TestUsbSimulatedCable)
#include "tst_usb_simulated_cable.moc"
