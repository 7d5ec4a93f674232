#include "hid_test_support.h"

#include <QTest>

class TestHidController : public QObject {
    Q_OBJECT

private slots:
    void secondControllerFails();
    void unavailablePlatformListsNothing();
    void unopenableDevicesAreLeftOut();
    void reportDevicesWithoutHandler_data();
    void reportDevicesWithoutHandler();
    void reportDevicesClaimsAndStops();
    void claimByIndexRefuses_data();
    void claimByIndexRefuses();
    void deviceChangeRaisedOnceOnAssignment();
    void plugRaisesOneArrival();
    void eventOrderOfOneScan();
    void claimedDeviceUnpluggedStaysListed();
    void releaseReplacesObject();
    void releaseOfVanishedDeviceDropsIt();
    void defaultsPassOnToDevices();
    void handlerErrorOfNotificationIsReported();
    void destructionDetachesClaimedDevices();
    void serialText_data();
    void serialText();
    void stringsAreCachedAndNeedAccess();
    void setWaitSlice_data();
    void setWaitSlice();
    void sendFeature_data();
    void sendFeature();
};

void TestHidController::secondControllerFails()
{
    auto platform = std::make_shared<FakeHidPlatform>();
    auto first = std::make_unique<THidDeviceController>(nullptr, platform);
    QCOMPARE(THidDeviceController::ControllerCount(), 1);
    try {
        THidDeviceController second(nullptr, platform);
        QFAIL("a second controller was created");
    } catch (const EControllerError &e) {
        QCOMPARE(e.message(), QStringLiteral("Only one THidDeviceController allowed per program"));
    }
    QCOMPARE(THidDeviceController::ControllerCount(), 1);
    first.reset();
    QCOMPARE(THidDeviceController::ControllerCount(), 0);
    THidDeviceController third(nullptr, platform);
    QCOMPARE(THidDeviceController::ControllerCount(), 1);
    QCOMPARE(third.Version(), QStringLiteral("1.0.22"));
    QCOMPARE(third.HidClassId(), QUuid(QStringLiteral("{4D1E55B2-F16F-11CF-88CB-001111000030}")));
}

void TestHidController::unavailablePlatformListsNothing()
{
    auto platform = std::make_shared<FakeHidPlatform>();
    platform->plug(fakeDevice("hidraw0"));
    platform->setAvailable(false);
    EventLog log;
    THidDeviceController controller(nullptr, platform);
    QVERIFY(controller.DeviceList().isEmpty());
    QVERIFY(!platform->watching());
    controller.SetOnDeviceChange(TNotifyEvent(&log, &EventLog::deviceChange));
    QCOMPARE(log.lines, QStringList{"change"});
    QCOMPARE(platform->enumerations(), 0);
}

void TestHidController::unopenableDevicesAreLeftOut()
{
    FakeRig rig;
    FakeHidDevice closed = fakeDevice("closed");
    closed.openable = false;
    FakeHidDevice anonymous = fakeDevice("anonymous");
    anonymous.identifiable = false;
    FakeHidDevice exclusive = fakeDevice("exclusive");
    exclusive.readWrite = false;
    rig.platform->plug(closed);
    rig.platform->plug(anonymous);
    rig.platform->plug(exclusive);
    rig.platform->plug(fakeDevice("good"));
    rig.controller->DeviceChange();

    const QList<THidDevice *> &list = rig.controller->DeviceList();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list[0]->PlugInfo().InstanceHandle, QStringLiteral("exclusive"));
    QVERIFY(!list[0]->ReadWriteAccess());
    QCOMPARE(list[1]->PlugInfo().InstanceHandle, QStringLiteral("good"));
    QVERIFY(list[1]->ReadWriteAccess());
    QCOMPARE(list[1]->VendorID(), quint16(0x1A2B));
    QCOMPARE(list[1]->ProductID(), quint16(0x3C4D));
    QCOMPARE(rig.platform->openHandles(), 0);

    // Without read and write access no reader starts.
    EventLog log;
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    dev->SetDataHandler(THidDataEvent(&log, &EventLog::data));
    QVERIFY(!dev->ReaderRunning());
}

void TestHidController::reportDevicesWithoutHandler_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("expected");
    QTest::newRow("no device") << QStringList() << 0;
    QTest::newRow("one device") << QStringList{"a"} << 1;
    QTest::newRow("three devices") << QStringList{"a", "b", "c"} << 1;
}

void TestHidController::reportDevicesWithoutHandler()
{
    QFETCH(QStringList, names);
    QFETCH(int, expected);
    FakeRig rig(names);
    QCOMPARE(rig.controller->ReportDevices(), expected);
    for (THidDevice *dev : rig.controller->DeviceList())
        QVERIFY(!dev->Claimed() && !dev->Enumerating());
}

void TestHidController::reportDevicesClaimsAndStops()
{
    FakeRig rig({"a", "b", "c"});
    EventLog log;
    QList<THidDevice *> claimed;
    const auto claimAll = THidEnumerateEvent::fromCallable([&](THidDevice *dev, int idx) {
        log.enumerate(dev, idx);
        THidDevice *got = nullptr;
        if (idx != 1 && rig.controller->ClaimByIndex(got, idx))
            claimed << got;
        return true;
    });
    rig.controller->SetOnEnumerate(claimAll);
    QCOMPARE(rig.controller->ReportDevices(), 3);
    QCOMPARE(log.lines, (QStringList{"enumerate 0 a", "enumerate 1 b", "enumerate 2 c"}));
    QVERIFY(log.enumeratingSeen);
    QCOMPARE(claimed.size(), 2);
    QCOMPARE(rig.controller->ClaimedCount(), 2);
    QCOMPARE(rig.controller->FreeCount(), 1);
    QVERIFY(!rig.controller->DeviceList()[1]->Enumerating());
    qDeleteAll(claimed);

    // A handler that returns false ends the enumeration after the device it was given.
    log.lines.clear();
    log.enumerateResult = false;
    rig.controller->SetOnEnumerate(THidEnumerateEvent(&log, &EventLog::enumerate));
    QCOMPARE(rig.controller->ReportDevices(), 1);
    QCOMPARE(log.lines, QStringList{"enumerate 0 a"});
    QCOMPARE(rig.platform->openHandles(), 0);
}

void TestHidController::claimByIndexRefuses_data()
{
    QTest::addColumn<int>("idx");
    QTest::newRow("minus one") << -1;
    QTest::newRow("length of the list") << 2;
    QTest::newRow("claimed device") << 0;
}

void TestHidController::claimByIndexRefuses()
{
    QFETCH(int, idx);
    FakeRig rig({"a", "b"});
    std::unique_ptr<THidDevice> first(rig.claim(0));
    QVERIFY(first && first->Claimed());

    THidDevice *dev = rig.controller->DeviceList()[1];
    QVERIFY(!rig.controller->ClaimByIndex(dev, idx));
    QCOMPARE(dev, nullptr);
    QCOMPARE(rig.controller->ClaimedCount(), 1);
    QCOMPARE(rig.controller->FreeCount(), 1);
}

void TestHidController::deviceChangeRaisedOnceOnAssignment()
{
    FakeRig rig({"a"});
    EventLog log;
    QVERIFY(!rig.controller->ChangeReported());
    rig.controller->SetOnDeviceChange(TNotifyEvent(&log, &EventLog::deviceChange));
    QCOMPARE(log.lines, QStringList{"change"});
    QVERIFY(rig.controller->ChangeReported());

    rig.controller->SetOnDeviceChange(TNotifyEvent(&log, &EventLog::deviceChange));
    rig.platform->notifyChange();
    rig.controller->DeviceChange();
    // Another function is stored and scans, but nothing changed.
    rig.controller->SetOnDeviceChange(TNotifyEvent::fromCallable([&](QObject *) { log.lines << "other"; }));
    QCOMPARE(log.lines, QStringList{"change"});
}

void TestHidController::plugRaisesOneArrival()
{
    FakeRig rig({"a"});
    EventLog log;
    rig.watchPlugEvents(log);

    rig.platform->plug(fakeDevice("b"));
    rig.platform->notifyChange();
    QCOMPARE(log.lines, (QStringList{"arrival b", "change"}));
    rig.platform->notifyChange();
    QCOMPARE(log.lines.size(), 2);
    QCOMPARE(rig.controller->DeviceList().size(), 2);
    QCOMPARE(rig.controller->FreeCount(), 2);
    QVERIFY(log.enumeratingSeen);
}

void TestHidController::eventOrderOfOneScan()
{
    FakeRig rig({"a", "b", "c", "d"});
    EventLog log;
    rig.watchPlugEvents(log);

    rig.platform->unplug("a");
    rig.platform->unplug("c");
    rig.platform->plug(fakeDevice("f"));
    rig.platform->plug(fakeDevice("e"));
    rig.platform->notifyChange();
    QCOMPARE(log.lines, (QStringList{"removal c", "removal a", "arrival f", "arrival e", "change"}));
    QVERIFY(log.enumeratingSeen);
    QStringList listed;
    for (THidDevice *dev : rig.controller->DeviceList())
        listed << dev->PlugInfo().InstanceHandle;
    QCOMPARE(listed, (QStringList{"b", "d", "f", "e"}));
}

void TestHidController::claimedDeviceUnpluggedStaysListed()
{
    FakeRig rig({"a", "b"});
    EventLog log;
    rig.controller->SetOnRemoval(THidPlugEvent(&log, &EventLog::removal));
    rig.controller->SetOnDeviceUnplug(THidPlugEvent(&log, &EventLog::unplug));
    THidDevice *dev = rig.claim(1);

    rig.platform->unplug("b");
    rig.platform->notifyChange();
    QCOMPARE(log.lines, (QStringList{"unplug b", "removal b"}));
    QCOMPARE(rig.controller->DeviceList().size(), 2);
    QCOMPARE(rig.controller->DeviceList()[1], dev);
    QVERIFY(!dev->Plugged() && dev->Claimed());
    QCOMPARE(rig.controller->UnpluggedCount(), 1);
    QCOMPARE(rig.controller->ClaimedCount(), 0);
    QCOMPARE(rig.controller->FreeCount(), 1);

    // Each later scan reports it again, until it is released; the unplug handler ran once.
    rig.platform->notifyChange();
    QCOMPARE(log.lines, (QStringList{"unplug b", "removal b", "removal b"}));

    delete dev;
    QCOMPARE(rig.controller->DeviceList().size(), 1);
    QCOMPARE(rig.controller->UnpluggedCount(), 0);
    rig.platform->notifyChange();
    QCOMPARE(log.lines.size(), 3);
}

void TestHidController::releaseReplacesObject()
{
    FakeRig rig({"a", "b"});
    EventLog log;
    rig.controller->SetOnDeviceData(THidDataEvent(&log, &EventLog::data));
    rig.controller->SetOnDeviceUnplug(THidPlugEvent(&log, &EventLog::unplug));
    THidDevice *dev = rig.claim(0);
    QVERIFY(dev->ReaderRunning());
    dev->SetWaitSlice(50);
    QCOMPARE(rig.controller->ClaimedCount(), 1);

    delete dev;
    THidDevice *fresh = rig.controller->DeviceList()[0];
    QVERIFY(fresh != dev);
    QCOMPARE(fresh->PlugInfo().InstanceHandle, QStringLiteral("a"));
    QVERIFY(!fresh->Claimed() && fresh->Plugged());
    QVERIFY(fresh->DataHandler().sameFunction(THidDataEvent(&log, &EventLog::data)));
    QVERIFY(fresh->UnplugHandler().sameFunction(THidPlugEvent(&log, &EventLog::unplug)));
    QVERIFY(!fresh->ReaderRunning());
    QCOMPARE(fresh->WaitSlice(), 50);
    QCOMPARE(rig.controller->ClaimedCount(), 0);
    QCOMPARE(rig.controller->FreeCount(), 2);
    QCOMPARE(rig.platform->openHandles(), 0);

    // Claimed again, it reads.
    std::unique_ptr<THidDevice> again(rig.claim(0));
    QCOMPARE(again.get(), fresh);
    QVERIFY(again->ReaderRunning());
    rig.platform->queueReport("a", QByteArray("\x00\x01", 2));
    QTRY_COMPARE(log.reports.size(), 1);
}

void TestHidController::releaseOfVanishedDeviceDropsIt()
{
    // Gone between the last scan and the release: the fresh object cannot be made.
    FakeRig rig({"a", "b"});
    THidDevice *dev = rig.claim(0);
    rig.platform->unplug("a");
    delete dev;
    QCOMPARE(rig.controller->DeviceList().size(), 1);
    QCOMPARE(rig.controller->DeviceList()[0]->PlugInfo().InstanceHandle, QStringLiteral("b"));
    QCOMPARE(rig.controller->FreeCount(), 1);
    QCOMPARE(rig.controller->ClaimedCount(), 0);
    QCOMPARE(rig.reportedErrors, QStringList{"device cannot be opened"});
}

void TestHidController::defaultsPassOnToDevices()
{
    FakeRig rig({"a", "b"});
    EventLog log;
    THidDevice *own = rig.controller->DeviceList()[1];
    own->SetDataHandler(THidDataEvent(&log, &EventLog::otherData));
    own->SetWaitSlice(30);

    rig.controller->SetOnDeviceData(THidDataEvent(&log, &EventLog::data));
    rig.controller->SetOnDeviceDataError(THidDataErrorEvent(&log, &EventLog::dataError));
    rig.controller->SetDevThreadSleepTime(20);
    THidDevice *first = rig.controller->DeviceList()[0];
    QVERIFY(first->DataHandler().sameFunction(THidDataEvent(&log, &EventLog::data)));
    QVERIFY(first->DataErrorHandler().sameFunction(THidDataErrorEvent(&log, &EventLog::dataError)));
    QCOMPARE(first->WaitSlice(), 20);
    // A device with a handler and a slice of its own keeps them.
    QVERIFY(own->DataHandler().sameFunction(THidDataEvent(&log, &EventLog::otherData)));
    QCOMPARE(own->WaitSlice(), 30);

    // The same function on another object counts as the same handler.
    EventLog other;
    rig.controller->SetOnDeviceData(THidDataEvent(&other, &EventLog::data));
    QVERIFY(first->DataHandler().sameFunction(THidDataEvent(&log, &EventLog::data)));

    rig.platform->plug(fakeDevice("c"));
    rig.controller->DeviceChange();
    THidDevice *arrived = rig.controller->DeviceList()[2];
    QVERIFY(arrived->DataErrorHandler().sameFunction(THidDataErrorEvent(&log, &EventLog::dataError)));
    QCOMPARE(arrived->WaitSlice(), 100);
}

void TestHidController::handlerErrorOfNotificationIsReported()
{
    // The system's notification comes from the event loop: nothing may unwind into it.
    FakeRig rig({"a"});
    rig.controller->SetOnArrival(THidPlugEvent::fromCallable(
        [](THidDevice *) { throw EControllerError(QStringLiteral("device cannot be identified")); }));
    rig.platform->plug(fakeDevice("b"));
    rig.platform->notifyChange();
    QCOMPARE(rig.reportedErrors, QStringList{"device cannot be identified"});
    QCOMPARE(rig.controller->DeviceList().size(), 2);
}

void TestHidController::destructionDetachesClaimedDevices()
{
    FakeRig rig({"a", "b"});
    EventLog log;
    rig.controller->SetOnDeviceUnplug(THidPlugEvent(&log, &EventLog::unplug));
    rig.controller->SetOnDeviceData(THidDataEvent(&log, &EventLog::data));
    std::unique_ptr<THidDevice> dev(rig.claim(1));
    QVERIFY(dev->ReaderRunning());
    QVERIFY(rig.platform->watching());

    rig.controller.reset();
    QCOMPARE(THidDeviceController::ControllerCount(), 0);
    QVERIFY(!rig.platform->watching());
    QCOMPARE(dev->Owner(), nullptr);
    QVERIFY(!dev->Plugged());
    QVERIFY(!dev->ReaderRunning());
    QCOMPARE(log.lines, QStringList{"unplug b"});
    QCOMPARE(dev->ProductText(), QString()); // no longer accessible
    dev.reset();
    QCOMPARE(rig.platform->openHandles(), 0);
}

void TestHidController::serialText_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<std::optional<QString>>("languages");
    QTest::addColumn<QString>("expected");
    const QString english(QChar(0x0409));
    const QString two = english + QChar(0x0407);
    QTest::newRow("serial equals the language list")
        << english << std::optional<QString>(english) << QString();
    QTest::newRow("serial equals two languages") << two << std::optional<QString>(two) << QString();
    QTest::newRow("serial differs") << "A1B2" << std::optional<QString>(english) << "A1B2";
    QTest::newRow("serial differs after the first language")
        << english + QChar(0x0410) << std::optional<QString>(two) << english + QChar(0x0410);
    QTest::newRow("language list empty") << "A1B2" << std::optional<QString>(QString()) << QString();
    QTest::newRow("platform has no language list") << "A1B2" << std::optional<QString>() << "A1B2";
    QTest::newRow("no serial") << QString() << std::optional<QString>(english) << QString();
}

void TestHidController::serialText()
{
    QFETCH(QString, serial);
    QFETCH(std::optional<QString>, languages);
    QFETCH(QString, expected);
    FakeRig rig;
    FakeHidDevice device = fakeDevice("a");
    device.serial = serial;
    device.languageList = languages;
    rig.platform->plug(device);
    rig.controller->DeviceChange();
    std::unique_ptr<THidDevice> dev(rig.claim(0));
    QCOMPARE(dev->SerialText(), expected);
    QCOMPARE(rig.platform->openHandles(), 0);
}

void TestHidController::stringsAreCachedAndNeedAccess()
{
    FakeRig rig;
    FakeHidDevice device = fakeDevice("a", "USB to Serial");
    device.serial = "0001";
    device.languageList = QString(QChar(0x0409));
    rig.platform->plug(device);
    rig.controller->DeviceChange();

    THidDevice *listed = rig.controller->DeviceList()[0];
    QCOMPARE(listed->ProductText(), QString()); // neither claimed nor enumerating
    QCOMPARE(listed->SerialText(), QString());

    std::unique_ptr<THidDevice> dev(rig.claim(0));
    QCOMPARE(dev->ProductText(), QStringLiteral("USB to Serial"));
    QCOMPARE(dev->SerialText(), QStringLiteral("0001"));
    rig.platform->unplug("a");
    rig.controller->DeviceChange();
    QCOMPARE(dev->ProductText(), QStringLiteral("USB to Serial"));
    QCOMPARE(dev->SerialText(), QStringLiteral("0001"));
}

void TestHidController::setWaitSlice_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("9") << 9 << 100;
    QTest::newRow("10") << 10 << 10;
    QTest::newRow("10000") << 10000 << 10000;
    QTest::newRow("10001") << 10001 << 100;
}

void TestHidController::setWaitSlice()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    auto platform = std::make_shared<FakeHidPlatform>();
    platform->plug(fakeDevice("a"));
    THidDeviceController controller(nullptr, platform);
    THidDevice *dev = controller.DeviceList()[0];
    QCOMPARE(dev->WaitSlice(), 100);
    dev->SetWaitSlice(value);
    QCOMPARE(dev->WaitSlice(), expected);
}

void TestHidController::sendFeature_data()
{
    QTest::addColumn<bool>("claim");
    QTest::addColumn<bool>("readWrite");
    QTest::addColumn<bool>("accepts");
    QTest::addColumn<bool>("sent");
    QTest::newRow("claimed") << true << true << true << true;
    QTest::newRow("not accessible") << false << true << true << false;
    QTest::newRow("refused by the device") << true << true << false << false;
    QTest::newRow("without write access") << true << false << true << false;
}

void TestHidController::sendFeature()
{
    QFETCH(bool, claim);
    QFETCH(bool, readWrite);
    QFETCH(bool, accepts);
    QFETCH(bool, sent);
    FakeRig rig;
    FakeHidDevice device = fakeDevice("a");
    device.readWrite = readWrite;
    device.acceptsFeatures = accepts;
    rig.platform->plug(device);
    rig.controller->DeviceChange();

    THidDevice *dev = rig.controller->DeviceList()[0];
    std::unique_ptr<THidDevice> owned(claim ? rig.claim(0) : nullptr);
    const quint8 report[10] = {0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
    QCOMPARE(dev->SendFeature(report, 10), sent);
    const QList<QByteArray> expected =
        sent ? QList<QByteArray>{QByteArray(reinterpret_cast<const char *>(report), 10)}
             : QList<QByteArray>();
    QCOMPARE(rig.platform->features("a"), expected);
}

QTEST_MAIN(TestHidController)
#include "tst_hid_controller.moc"
