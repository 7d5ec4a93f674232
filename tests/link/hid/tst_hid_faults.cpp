#include "hid_test_support.h"

#include "link/hid/hid_read_thread.h"

#include <QTest>

#include <stdexcept>

namespace {

// A fake platform whose enumeration or opens can be made to throw something that is no EControllerError.
class ThrowingPlatform : public FakeHidPlatform {
public:
    bool throwOnEnumerate = false;
    QString throwOnOpen; // a path

    std::vector<HidInterface> enumerate() override
    {
        if (throwOnEnumerate)
            throw std::runtime_error("enumeration failed");
        return FakeHidPlatform::enumerate();
    }
    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access) override
    {
        if (path == throwOnOpen)
            throw std::bad_alloc();
        return FakeHidPlatform::open(path, access);
    }
};

} // namespace

// Faults of the HID layer that the USB road can reach.
class TestHidFaults : public QObject {
    Q_OBJECT

private slots:
    void scanThrowingAnythingReleasesAll_data();
    void scanThrowingAnythingReleasesAll();
    void rescanThrowingIsReportedAndKeepsList();
    void throwingHandlersLeaveNoDeviceEnumerating_data();
    void throwingHandlersLeaveNoDeviceEnumerating();
    void changeDuringHandlerEventLoopWaitsForTheScan();
    void readerNeverReadsDeviceThatTookOverPath();
    void stopOfReaderThatNeverStarted();
};

void TestHidFaults::scanThrowingAnythingReleasesAll_data()
{
    QTest::addColumn<bool>("inEnumeration");
    QTest::newRow("enumeration throws") << true;
    QTest::newRow("third device's open throws") << false;
}

// Regression: an exception other than EControllerError left ControllerCount at 1 for good and leaked the
// devices made so far.
void TestHidFaults::scanThrowingAnythingReleasesAll()
{
    QFETCH(bool, inEnumeration);
    auto platform = std::make_shared<ThrowingPlatform>();
    for (const char *name : {"a", "b", "c"})
        platform->plug(fakeDevice(name));
    platform->throwOnEnumerate = inEnumeration;
    platform->throwOnOpen = inEnumeration ? QString() : QStringLiteral("/dev/c");
    QVERIFY_THROWS_EXCEPTION(std::exception, THidDeviceController(nullptr, platform));
    QCOMPARE(THidDeviceController::ControllerCount(), 0);
    QCOMPARE(platform->openHandles(), 0);

    platform->throwOnEnumerate = false;
    platform->throwOnOpen.clear();
    THidDeviceController HidCtl(nullptr, platform);
    QCOMPARE(HidCtl.DeviceList().size(), 3);
}

void TestHidFaults::rescanThrowingIsReportedAndKeepsList()
{
    auto platform = std::make_shared<ThrowingPlatform>();
    platform->plug(fakeDevice("a"));
    THidDeviceController HidCtl(nullptr, platform);
    QStringList errors;
    HidCtl.SetErrorReport([&](const QString &message) { errors << message; });
    platform->plug(fakeDevice("b"));
    platform->throwOnOpen = QStringLiteral("/dev/b");
    platform->notifyChange();
    QCOMPARE(errors.size(), 1);
    QCOMPARE(HidCtl.DeviceList().size(), 1);
    platform->throwOnOpen.clear();
    platform->notifyChange();
    QCOMPARE(HidCtl.DeviceList().size(), 2);
}

void TestHidFaults::throwingHandlersLeaveNoDeviceEnumerating_data()
{
    QTest::addColumn<QString>("handler");
    QTest::newRow("arrival") << "arrival";
    QTest::newRow("removal") << "removal";
    QTest::newRow("enumerate") << "enumerate";
}

// Regression: a handler that threw left its device Enumerating, open to every caller, and cut the scan
// short, leaking the devices it had not appended yet.
void TestHidFaults::throwingHandlersLeaveNoDeviceEnumerating()
{
    QFETCH(QString, handler);
    FakeRig rig({"a", "b"});
    QStringList seen;
    const auto thrower = THidPlugEvent::fromCallable([&](THidDevice *dev) {
        seen << dev->PlugInfo().InstanceHandle;
        throw std::runtime_error("handler failed");
    });
    int changes = 0;
    rig.controller->SetOnDeviceChange(TNotifyEvent::fromCallable([&](QObject *) { ++changes; }));
    changes = 0;
    if (handler == "arrival") {
        rig.controller->SetOnArrival(thrower);
        rig.platform->plug(fakeDevice("c"));
        rig.platform->plug(fakeDevice("d"));
        rig.platform->notifyChange();
        QCOMPARE(seen, (QStringList{"c", "d"})); // the scan went on after the first
        QCOMPARE(rig.controller->DeviceList().size(), 4);
    } else if (handler == "removal") {
        rig.controller->SetOnRemoval(thrower);
        rig.platform->unplug("a");
        rig.platform->unplug("b");
        rig.platform->notifyChange();
        QCOMPARE(seen, (QStringList{"b", "a"}));
        QVERIFY(rig.controller->DeviceList().isEmpty());
    } else {
        rig.controller->SetOnEnumerate(THidEnumerateEvent::fromCallable(
            [](THidDevice *, int) -> bool { throw std::runtime_error("handler failed"); }));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, rig.controller->ReportDevices());
        QVERIFY(!rig.controller->DeviceList().first()->MainHandleOpen());
    }
    if (handler != "enumerate") {
        QCOMPARE(rig.reportedErrors, QStringList{"handler failed"});
        QCOMPARE(changes, 1);
    }
    for (THidDevice *device : rig.controller->DeviceList())
        QVERIFY(!device->Enumerating());
    QCOMPARE(rig.platform->openHandles(), 0);
}

// Regression: a notification served by a message box inside a removal handler scanned again inside the
// scan, which then went on over devices the inner scan had destroyed.
void TestHidFaults::changeDuringHandlerEventLoopWaitsForTheScan()
{
    FakeRig rig({"a", "b", "c"});
    EventLog log;
    rig.watchPlugEvents(log);
    bool nested = false;
    rig.controller->SetOnRemoval(THidPlugEvent::fromCallable([&](THidDevice *dev) {
        log.removal(dev);
        if (nested)
            return;
        nested = true;
        rig.platform->unplug("b");
        rig.platform->plug(fakeDevice("d"));
        rig.platform->notifyChange(); // as the event loop of a message box would
    }));
    rig.platform->unplug("c");
    rig.platform->notifyChange();
    QCOMPARE(log.lines, (QStringList{"removal c", "change", "removal b", "arrival d", "change"}));
    QCOMPARE(rig.controller->DeviceList().size(), 2);
}

// Regression: after an unplug the reader opened the path again and read whatever device took it over.
void TestHidFaults::readerNeverReadsDeviceThatTookOverPath()
{
    FakeRig rig({"a"});
    EventLog log;
    THidDevice *device = rig.claim(0);
    device->SetWaitSlice(10);
    device->SetDataHandler(THidDataEvent(&log, &EventLog::data));
    rig.controller->SetOnDeviceDataError(THidDataErrorEvent(&log, &EventLog::dataError));
    rig.platform->unplug("a");
    FakeHidDevice other = fakeDevice("other");
    other.path = QStringLiteral("/dev/a"); // the same node, another device
    rig.platform->plug(other);
    rig.platform->queueReport("other", QByteArray::fromHex("00F12B"));
    QVERIFY(waitUntil([&] { return log.errors.size() >= 3; }));
    QVERIFY(log.reports.isEmpty());
    QCOMPARE(log.errors.first(), FakeHidPlatform::NotConnected);
    QCOMPARE(rig.platform->pendingInputs("other"), 1);
    delete device;
}

// Regression: Stop() waited forever for a reader whose thread never ran.
void TestHidFaults::stopOfReaderThatNeverStarted()
{
    FakeRig rig({"a"});
    THidDevice *device = rig.claim(0);
    {
        THidDeviceReadThread reader(device, 9);
        QVERIFY(reader.Stop());
    }
    delete device;
}

QTEST_GUILESS_MAIN(TestHidFaults)
#include "tst_hid_faults.moc"
