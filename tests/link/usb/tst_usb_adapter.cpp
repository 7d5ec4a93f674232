#include "link/hid/hid_test_support.h"
#include "link/usb/usb_adapter.h"

#include <QTest>

#include <cerrno>
#include <memory>

namespace {

// A controller on the fake platform with the adapter handling attached, as the window has it.
struct AdapterRig {
    std::shared_ptr<FakeHidPlatform> platform = std::make_shared<FakeHidPlatform>();
    std::unique_ptr<THidDeviceController> HidCtl;
    std::unique_ptr<UsbAdapter> adapter;
    int notConnected = 0;

    explicit AdapterRig(const QList<FakeHidDevice> &devices = {}, ModelSwitches switches = {})
    {
        for (const FakeHidDevice &device : devices)
            platform->plug(device);
        HidCtl = std::make_unique<THidDeviceController>(nullptr, platform);
        adapter = std::make_unique<UsbAdapter>(switches);
        adapter->setNotConnectedAction([this] { ++notConnected; });
        adapter->attach(*HidCtl);
    }
    ~AdapterRig()
    {
        adapter->detach();
        HidCtl.reset();
    }
    QString selectedText() const
    {
        const int i = adapter->DevListIndex();
        return i < 0 ? QString() : adapter->DevListBox().at(i).text;
    }
};

FakeHidDevice cable(const QString &name)
{
    return fakeDevice(name, QStringLiteral("USB to Serial"));
}

} // namespace

Q_DECLARE_METATYPE(ModelSwitches)

class TestUsbAdapter : public QObject {
    Q_OBJECT

private slots:
    void describeDevice_data();
    void describeDevice();
    void selectionRules_data();
    void selectionRules();
    void configurationReport_data();
    void configurationReport();
    void setFeatureSendsReportAndWritesHistory();
    void setFeatureWithoutAdapter();
    void readErrorLine_data();
    void readErrorLine();
    void systemErrorTexts();
    void plugAndPullWriteHistoryAndSelect();
    void deviceChangeClearsSelectedDevice();
    void adapterWithoutReadWriteAccess();
    void historyKeepsNewestLines();
    void deviceChangeWhileReportsFlow();
};

void TestUsbAdapter::describeDevice_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("text");
    QTest::newRow("product") << "USB to Serial"
                             << ""
                             << "USB to Serial";
    QTest::newRow("product and serial") << "USB to Serial"
                                        << "A1B2"
                                        << "USB to Serial (Serial=A1B2)";
    QTest::newRow("no product") << ""
                                << ""
                                << "Device VID=0ABC PID=0123";
    QTest::newRow("no product, serial") << ""
                                        << "77"
                                        << "Device VID=0ABC PID=0123 (Serial=77)";
}

void TestUsbAdapter::describeDevice()
{
    QFETCH(QString, product);
    QFETCH(QString, serial);
    FakeHidDevice device = fakeDevice(QStringLiteral("dev"), product);
    device.attributes = {0x0ABC, 0x0123, 1};
    device.serial = serial;
    AdapterRig rig({device});
    QCOMPARE(rig.adapter->DevListBox().size(), 1);
    QTEST(rig.adapter->DevListBox().first().text, "text");
    QTEST(UsbAdapter::DescribeDevice(rig.adapter->DevListBox().first().device), "text");
}

void TestUsbAdapter::selectionRules_data()
{
    QTest::addColumn<QStringList>("products"); // "product|serial"
    QTest::addColumn<int>("selected");
    QTest::newRow("no devices") << QStringList{} << -1;
    QTest::newRow("mouse only") << QStringList{"Optical Mouse|"} << -1;
    QTest::newRow("adapter") << QStringList{"Optical Mouse|", "USB to Serial|"} << 1;
    QTest::newRow("adapter with serial number") << QStringList{"USB to Serial|0001"} << -1;
    QTest::newRow("other case") << QStringList{"usb to serial|"} << -1;
    QTest::newRow("trailing blank") << QStringList{"USB to Serial |"} << -1;
    QTest::newRow("no product string") << QStringList{"|"} << -1;
    QTest::newRow("two adapters: the later")
        << QStringList{"USB to Serial|", "Keyboard|", "USB to Serial|"} << 2;
}

void TestUsbAdapter::selectionRules()
{
    QFETCH(QStringList, products);
    QList<FakeHidDevice> devices;
    for (int i = 0; i < products.size(); ++i) {
        FakeHidDevice device = fakeDevice(QStringLiteral("hidraw%1").arg(i), products[i].section('|', 0, 0));
        device.serial = products[i].section('|', 1);
        devices << device;
    }
    AdapterRig rig(devices);
    QCOMPARE(rig.adapter->DevListBox().size(), products.size());
    QTEST(rig.adapter->DevListIndex(), "selected");
    for (const UsbAdapter::DevEntry &entry : rig.adapter->DevListBox())
        QVERIFY(entry.device && entry.device->Claimed());
    QCOMPARE(rig.adapter->HistoryListBox().count(), 0); // no arrival lines for devices present at start
}

void TestUsbAdapter::configurationReport_data()
{
    QTest::addColumn<ModelSwitches>("switches");
    QTest::addColumn<QByteArray>("report");
    const QByteArray at2400 = QByteArray::fromHex("00600900000300000000");
    const QByteArray at19200 = QByteArray::fromHex("00004B00000300000000");
    QTest::newRow("shipped: Morvane") << ModelSwitches{true, false, false, false} << at2400;
    QTest::newRow("Ostrel only") << ModelSwitches{false, false, false, true} << at19200;
    QTest::newRow("Ostrel and Semvo") << ModelSwitches{false, false, true, true} << at2400;
    QTest::newRow("Ostrel and Vostra") << ModelSwitches{false, true, false, true} << at2400;
    QTest::newRow("Ostrel and Morvane") << ModelSwitches{true, false, false, true} << at2400;
    QTest::newRow("none") << ModelSwitches{false, false, false, false} << at2400;
}

void TestUsbAdapter::configurationReport()
{
    QFETCH(ModelSwitches, switches);
    QTEST(UsbAdapter::configurationReport(switches), "report");
}

void TestUsbAdapter::setFeatureSendsReportAndWritesHistory()
{
    {
        AdapterRig rig({cable("cable")}, ModelSwitches{false, false, false, true});
        QVERIFY(rig.adapter->SetFeatureClick());
        QCOMPARE(rig.adapter->SelectedDevice(), rig.adapter->DevListBox().first().device);
        QCOMPARE(rig.platform->features("cable"),
                 QList<QByteArray>{QByteArray::fromHex("00004B00000300000000")});
        QCOMPARE(rig.adapter->HistoryListBox().selectedLine(), QStringLiteral("00 4B 00 00 03 00 00 00 00 "));
        QCOMPARE(rig.notConnected, 0);
    }
    // A refused report is not reported; the line is written all the same.
    FakeHidDevice refusing = cable("refusing");
    refusing.acceptsFeatures = false;
    AdapterRig rig({refusing});
    QVERIFY(rig.adapter->SetFeatureClick());
    QVERIFY(rig.platform->features("refusing").isEmpty());
    QCOMPARE(rig.adapter->HistoryListBox().lines(), QStringList{"60 09 00 00 03 00 00 00 00 "});
}

void TestUsbAdapter::setFeatureWithoutAdapter()
{
    AdapterRig rig({fakeDevice("mouse", "Optical Mouse")});
    QVERIFY(!rig.adapter->SetFeatureClick());
    QCOMPARE(rig.notConnected, 1);
    QCOMPARE(rig.adapter->SelectedDevice(), nullptr);
    QCOMPARE(rig.adapter->HistoryListBox().count(), 0);
    QVERIFY(rig.platform->features("mouse").isEmpty());
}

void TestUsbAdapter::readErrorLine_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("known code") << quint32(1167) << "The device is not connected.\r\n"
                                << "READ ERROR: The device is not connected (48F)";
    QTest::newRow("unknown code") << quint32(1167) << ""
                                  << "READ ERROR:  (48F)";
    QTest::newRow("blanks and stops") << quint32(0xABCDEF) << "Gone . . \t"
                                      << "READ ERROR: Gone (ABCDEF)";
    QTest::newRow("long text") << quint32(5) << QString(300, 'x')
                               << "READ ERROR: " + QString(256, 'x') + " (5)";
}

void TestUsbAdapter::readErrorLine()
{
    QFETCH(quint32, code);
    QFETCH(QString, text);
    QTEST(UsbAdapter::readErrorLine(code, text), "line");
}

void TestUsbAdapter::systemErrorTexts()
{
    FakeHidPlatform platform;
    QCOMPARE(platform.errorText(ENODEV), QString::fromLocal8Bit(strerror(ENODEV)));
    QVERIFY(!platform.errorText(ENODEV).isEmpty());
    QCOMPARE(platform.errorText(1167), QString());
    QCOMPARE(platform.errorText(0xFFFFFFFF), QString());
}

void TestUsbAdapter::plugAndPullWriteHistoryAndSelect()
{
    AdapterRig rig({fakeDevice("mouse", "Optical Mouse")});
    QCOMPARE(rig.adapter->DevListIndex(), -1);
    rig.platform->plug(cable("cable"));
    rig.platform->notifyChange();
    QCOMPARE(rig.adapter->HistoryListBox().lines(), QStringList{"Arrival of USB to Serial"});
    QCOMPARE(rig.selectedText(), QStringLiteral("USB to Serial"));
    QCOMPARE(rig.adapter->DevListIndex(), 1);

    rig.platform->unplug("cable");
    rig.platform->notifyChange();
    QCOMPARE(rig.adapter->HistoryListBox().selectedLine(), QStringLiteral("Removal of USB to Serial"));
    QCOMPARE(rig.adapter->DevListIndex(), -1);
    QCOMPARE(rig.adapter->DevListBox().size(), 1);
    QCOMPARE(rig.HidCtl->DeviceList().size(), 1); // the released adapter left the controller's list
}

// Regression: SelectedDevice pointed at a destroyed device after a device change.
void TestUsbAdapter::deviceChangeClearsSelectedDevice()
{
    AdapterRig rig({cable("cable")});
    QVERIFY(rig.adapter->SetFeatureClick());
    QVERIFY(rig.adapter->SelectedDevice());
    rig.platform->plug(fakeDevice("mouse", "Optical Mouse"));
    rig.platform->notifyChange();
    QCOMPARE(rig.adapter->SelectedDevice(), nullptr);
    QCOMPARE(rig.adapter->DevListIndex(), 0); // the adapter's fresh entry is selected again
    QVERIFY(rig.adapter->selectedEntryDevice());
}

void TestUsbAdapter::adapterWithoutReadWriteAccess()
{
    FakeHidDevice locked = cable("locked");
    locked.readWrite = false;
    AdapterRig rig({locked});
    QCOMPARE(rig.adapter->DevListIndex(), 0);
    rig.adapter->ReadBtnClick();
    // The reading stops there: no handler, so no reader and no read handle.
    QVERIFY(!rig.adapter->SelectedDevice()->ReadWriteAccess());
    QVERIFY(!rig.adapter->SelectedDevice()->ReaderRunning());
    QVERIFY(!rig.platform->readerAttached("locked"));
    QCOMPARE(rig.notConnected, 0);
}

void TestUsbAdapter::historyKeepsNewestLines()
{
    UsbHistory history;
    for (int i = 0; i < UsbHistory::DefaultLimit + 25; ++i)
        history.add(QString::number(i));
    QCOMPARE(history.count(), UsbHistory::DefaultLimit);
    QCOMPARE(history.line(0), QStringLiteral("25"));
    QCOMPARE(history.selectedLine(), QString::number(UsbHistory::DefaultLimit + 24));
    QCOMPARE(history.ItemIndex(), UsbHistory::DefaultLimit - 1);
    QCOMPARE(history.added(), UsbHistory::DefaultLimit + 25);
}

// A device change in the middle of a stream of reports, over and over: the reading stops, nothing refers to
// a destroyed device, and no report reaches a handler after its device went.
void TestUsbAdapter::deviceChangeWhileReportsFlow()
{
    constexpr int Rounds = 200; // enough that a race between the reader and the main thread shows up
    AdapterRig rig({cable("cable")});
    rig.HidCtl->SetDevThreadSleepTime(10);
    int reports = 0;
    const auto onData =
        THidDataEvent::fromCallable([&](THidDevice *, quint8, const quint8 *, quint16) { ++reports; });
    for (int round = 0; round < Rounds; ++round) {
        QVERIFY(rig.adapter->SetFeatureClick());
        THidDevice *device = rig.adapter->SelectedDevice();
        QVERIFY(device->SetDataHandler(onData));
        for (int i = 0; i < 5; ++i)
            rig.platform->queueReport("cable", QByteArray::fromHex("00F12B00000000000000"));
        QVERIFY(rig.platform->waitReportTaken(5000));
        if (round % 2 == 0)
            rig.platform->plug(fakeDevice(QStringLiteral("mouse%1").arg(round), "Optical Mouse"));
        else
            rig.platform->unplug(QStringLiteral("mouse%1").arg(round - 1));
        rig.platform->notifyChange();
        QCOMPARE(rig.adapter->SelectedDevice(), nullptr);
        for (const UsbAdapter::DevEntry &entry : rig.adapter->DevListBox())
            QVERIFY(!entry.device->ReaderRunning());
        const int seen = reports;
        QCoreApplication::processEvents();
        QCOMPARE(reports, seen);
    }
    QVERIFY(reports > 0);
}

QTEST_GUILESS_MAIN(TestUsbAdapter)
#include "tst_usb_adapter.moc"
