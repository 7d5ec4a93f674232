#include "window_rig.h"

#include "app/usb_connection.h"
#include "link/hid/hid_test_support.h"
#include "link/usb/usb_cable_encoder.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace {

const QString kNotConnected =
    QStringLiteral("Information|USB interface cable is not securely connected, please check and re-try.");
const QString kLimit = QStringLiteral(
    "Information|USB interface cable is securely connected, please check if the meter is ready.");
const char kLine[] = "+0123 1\x10\x00\x00\x80\x00\r\n"; // +0.123 V DC

FakeHidDevice cable(const QString &name = QStringLiteral("cable"))
{
    return fakeDevice(name, QStringLiteral("USB to Serial"));
}

FakeHidDevice mouse()
{
    return fakeDevice(QStringLiteral("mouse"), QStringLiteral("Optical Mouse"));
}

QByteArray meterLine()
{
    return QByteArray(kLine, 14);
}

// The window with HID devices plugged in before it starts.
struct UsbWindow : Window {
    explicit UsbWindow(const QList<FakeHidDevice> &devices, ModelSwitches switches = {})
        : Window(true, switches, devices)
    {
    }
    TFCOMM &w() { return *Window::w; }
    UsbConnection &usb() { return w().usb(); }
    UsbAdapter &adapter() { return usb().adapter(); }
    QStringList history() const { return Window::w->usb().adapter().HistoryListBox().lines(); }

    // Queues reports to a device and waits until the window handled them.
    bool play(const QString &identity, const QList<QByteArray> &reports)
    {
        const long long target = usb().unpacker().reportsHandled() + reports.size();
        for (const QByteArray &report : reports)
            hid->queueReport(identity, report);
        return waitUntil([&] { return usb().unpacker().reportsHandled() >= target; }, 20000);
    }
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            timers.value(QStringLiteral("ConTimer"))->fire();
    }
    bool idle()
    {
        return !w().control<QPushButton>("USBCon")->isChecked() &&
               w().control<QPushButton>("USBCon")->text() == QStringLiteral("USB Connection") &&
               w().control<QPushButton>("COMCon")->isVisibleTo(&w()) &&
               w().control<ClickablePanel>("BtCOM1")->isVisibleTo(&w());
    }
    bool reading()
    {
        THidDevice *device = usb().SelectedDevice();
        return w().control<QPushButton>("USBCon")->isChecked() &&
               w().control<QPushButton>("USBCon")->text() == QStringLiteral("USB Disconnect") &&
               !w().control<QPushButton>("COMCon")->isVisibleTo(&w()) && device && device->ReaderRunning();
    }
};

// Frames the session decoded far enough to know the link is alive.
struct FrameCounter : SessionListener {
    explicit FrameCounter(MeterSession &session) { session.addListener(this); }
    void frameArrived() override { ++arrived; }
    int arrived = 0;
};

QString cell(TFCOMM &w, int row, int column)
{
    return w.control<RecordGrid>("DBGrid1")->model()->index(row, column).data().toString();
}

// The grid without its time column.
QStringList gridRows(TFCOMM &w)
{
    QStringList rows;
    for (int r = 0; r < w.control<RecordGrid>("DBGrid1")->model()->rowCount(); ++r)
        rows << QStringList{cell(w, r, 0), cell(w, r, 2), cell(w, r, 3), cell(w, r, 4), cell(w, r, 5)}.join(
            '|');
    return rows;
}

QByteArray recording()
{
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("%s: %s", qPrintable(file.fileName()), qPrintable(file.errorString()));
    return file.readAll();
}

} // namespace

class TestWindowUsb : public QObject {
    Q_OBJECT

private slots:
    void adapterListedAtStart_data();
    void adapterListedAtStart();
    void connectReadAndDisconnect();
    void secondAdapterIsUsed();
    void usbLimitGivesUp_data();
    void usbLimitGivesUp();
    void deviceChangeWhileReading();
    void unplugWhileReading();
    void groupWithComConnection();
    void closingWhileReading();
    void adapterWithoutReadWriteAccess();
    void recordedMeterGivesSameRowsAsSerial_data();
    void recordedMeterGivesSameRowsAsSerial();
};

void TestWindowUsb::adapterListedAtStart_data()
{
    QTest::addColumn<QList<FakeHidDevice>>("devices");
    QTest::addColumn<int>("selected");
    FakeHidDevice withSerial = cable();
    withSerial.serial = QStringLiteral("0042");
    QTest::newRow("empty list") << QList<FakeHidDevice>{} << -1;
    QTest::newRow("mouse only") << QList<FakeHidDevice>{mouse()} << -1;
    QTest::newRow("adapter") << QList<FakeHidDevice>{mouse(), cable()} << 1;
    QTest::newRow("adapter with serial number") << QList<FakeHidDevice>{withSerial} << -1;
}

void TestWindowUsb::adapterListedAtStart()
{
    QFETCH(QList<FakeHidDevice>, devices);
    QFETCH(int, selected);
    UsbWindow win(devices);
    QCOMPARE(win.adapter().DevListBox().size(), devices.size());
    QCOMPARE(win.adapter().DevListIndex(), selected);
    QVERIFY(win.history().isEmpty());

    win.w().control<QPushButton>("USBCon")->click();
    if (selected < 0) {
        QCOMPARE(win.dialogs.infos, QStringList{kNotConnected});
        QVERIFY(win.idle());
        QVERIFY(!win.usb().SelectedDevice());
    } else {
        QVERIFY(win.dialogs.infos.isEmpty());
        QVERIFY(win.reading());
    }
}

void TestWindowUsb::connectReadAndDisconnect()
{
    UsbWindow win({cable()});
    TFCOMM &w = win.w();
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    QCOMPARE(win.hid->features("cable"), QList<QByteArray>{QByteArray::fromHex("00600900000300000000")});
    QCOMPARE(win.history(), QStringList{"60 09 00 00 03 00 00 00 00 "});
    for (ClickablePanel *panel : {w.control<ClickablePanel>("BtCOM1"), w.control<ClickablePanel>("BtCOM2"),
                                  w.control<ClickablePanel>("BtCOM3"), w.control<ClickablePanel>("BtCOM4")})
        QVERIFY(!panel->isVisibleTo(&w));

    QVERIFY(win.play("cable", UsbCableEncoder::reportsOfLines(meterLine())));
    QCOMPARE(w.session().lastFrame(), QString::fromLatin1(meterLine().toHex().toUpper()));
    QCOMPARE(w.decoder().reading().ValueText, QStringLiteral("0.123"));
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 1);
    QVERIFY(w.control<QLabel>("CONok")->isVisibleTo(&w));
    QCOMPARE(win.history().size(), 3); // the configuration and two data reports

    w.COM21Click(); // the port chosen before shows again
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(w.control<ClickablePanel>("BtCOM2")->isVisibleTo(&w) &&
            !w.control<ClickablePanel>("BtCOM1")->isVisibleTo(&w));
    QVERIFY(!w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Connection"));
    QVERIFY(!win.usb().SelectedDevice()->ReaderRunning());
}

void TestWindowUsb::secondAdapterIsUsed()
{
    UsbWindow win({cable("first"), mouse(), cable("second")});
    win.w().control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    QCOMPARE(win.adapter().DevListIndex(), 2);
    QVERIFY(win.hid->features("first").isEmpty());
    QCOMPARE(win.hid->features("second").size(), 1);
    QVERIFY(win.play("second", UsbCableEncoder::reportsOfLines(meterLine())));
    QCOMPARE(win.usb().unpacker().decoderCalls(), 1);
}

void TestWindowUsb::usbLimitGivesUp_data()
{
    QTest::addColumn<int>("silent");
    QTest::addColumn<bool>("givesUp");
    QTest::newRow("1899 silent reports") << 1899 << false;
    QTest::newRow("1900 silent reports") << 1900 << true;
}

void TestWindowUsb::usbLimitGivesUp()
{
    QFETCH(int, silent);
    QFETCH(bool, givesUp);
    UsbWindow win({cable()});
    TFCOMM &w = win.w();
    w.control<QPushButton>("USBCon")->click();
    const QByteArray empty = QByteArray::fromHex("00F000000000000000");
    // A data report in between sets the count back.
    QVERIFY(win.play("cable", QList<QByteArray>(1000, empty) << QByteArray::fromHex("00F12B00000000000000")));
    QVERIFY(win.play("cable", QList<QByteArray>(silent, empty)));
    QCOMPARE(win.usb().unpacker().UsbSilenceCount(), silent);
    win.tick(2);
    QVERIFY(win.dialogs.infos.isEmpty()); // checked at every third tick only
    win.tick();
    if (!givesUp) {
        QVERIFY(win.dialogs.infos.isEmpty());
        QVERIFY(win.reading());
        return;
    }
    QCOMPARE(win.dialogs.infos, QStringList{kLimit});
    QCOMPARE(win.usb().unpacker().UsbSilenceCount(), 0);
    // Given up: the button is up but keeps its caption, and the COM controls stay hidden.
    QVERIFY(!w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Disconnect"));
    QVERIFY(!w.control<QPushButton>("COMCon")->isVisibleTo(&w));
    QVERIFY(!win.usb().SelectedDevice()->ReaderRunning());

    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.idle());
}

void TestWindowUsb::deviceChangeWhileReading()
{
    UsbWindow win({cable()});
    TFCOMM &w = win.w();
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    win.hid->plug(mouse());
    win.hid->notifyChange();
    QCOMPARE(win.history().last(), QStringLiteral("Arrival of Optical Mouse"));
    // The reading stopped; the button stays down until the user releases it.
    QVERIFY(w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Disconnect"));
    QVERIFY(!win.usb().SelectedDevice());
    QCOMPARE(win.adapter().DevListIndex(), 0);
    QVERIFY(!win.adapter().selectedEntryDevice()->ReaderRunning());
    win.tick(30); // no reports, no limit
    QVERIFY(win.dialogs.infos.isEmpty());
    QVERIFY(!w.control<QLabel>("CONok")->isVisibleTo(&w));

    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.idle());
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    QVERIFY(win.play("cable", UsbCableEncoder::reportsOfLines(meterLine())));
    QCOMPARE(win.usb().unpacker().decoderCalls(), 1);
}

void TestWindowUsb::unplugWhileReading()
{
    UsbWindow win({mouse(), cable()});
    TFCOMM &w = win.w();
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    win.hid->unplug("cable");
    QVERIFY(waitUntil([&] { return win.history().last().startsWith("READ ERROR: "); }));
    QCOMPARE(win.history().last(), QStringLiteral("READ ERROR:  (48F)")); // no system text for the code
    win.hid->notifyChange();
    // A failure the reader handed over just before it stopped may follow the removal.
    const QStringList lines = win.history();
    const int removal = lines.lastIndexOf(QStringLiteral("Removal of USB to Serial"));
    QVERIFY(removal >= 0);
    QVERIFY(lines.size() - removal <= 2);
    QVERIFY(lines.last().startsWith("READ ERROR: ") || removal == lines.size() - 1);
    QVERIFY(!win.usb().SelectedDevice());
    QCOMPARE(win.adapter().DevListIndex(), -1);
    QCOMPARE(win.adapter().DevListBox().size(), 1);
    // No reader runs any more: none holds the cable's read handle, and no
    // handle of any device stays open.
    QVERIFY(!win.hid->readerAttached("cable"));
    QCOMPARE(win.hid->openHandles(), 0);
    QCOMPARE(win.history().size(), lines.size());

    // Pressed again without an adapter: the message, and the button springs back.
    w.control<QPushButton>("USBCon")->click();
    QCOMPARE(win.dialogs.infos, QStringList{kNotConnected});
    QVERIFY(!w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Disconnect"));
    QVERIFY(!w.control<QPushButton>("COMCon")->isVisibleTo(&w));
}

void TestWindowUsb::groupWithComConnection()
{
    UsbWindow win({cable()});
    TFCOMM &w = win.w();
    QVERIFY(!w.control<QPushButton>("COMCon")->isChecked() &&
            !w.control<QPushButton>("USBCon")->isChecked()); // both may be up
    w.control<QPushButton>("COMCon")->click();
    QVERIFY(!w.control<QPushButton>("USBCon")->isVisibleTo(&w));
    w.control<QPushButton>("COMCon")->click();
    QVERIFY(w.control<QPushButton>("USBCon")->isVisibleTo(&w));
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.reading());
    QVERIFY(!w.control<QPushButton>("COMCon")->isVisibleTo(&w));
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.idle());
    QVERIFY(!w.control<QPushButton>("COMCon")->isChecked());
}

// The reader stops and the devices go before the widgets they write to.
void TestWindowUsb::closingWhileReading()
{
    auto win = std::make_unique<UsbWindow>(QList<FakeHidDevice>{cable(), mouse()});
    win->w().control<QPushButton>("USBCon")->click();
    QVERIFY(win->reading());
    for (int i = 0; i < 200; ++i)
        win->hid->queueReport("cable", UsbCableEncoder::reportsOfLines(meterLine()).at(i % 3));
    QVERIFY(win->hid->waitReportTaken(5000));
    const std::shared_ptr<FakeHidPlatform> hid = win->hid;
    win.reset();
    QCOMPARE(THidDeviceController::ControllerCount(), 0);
    QCOMPARE(hid->openHandles(), 0);
}

// A cable that another program holds open exclusively (or whose node the
// user may not write): the button springs back without a word.
void TestWindowUsb::adapterWithoutReadWriteAccess()
{
    FakeHidDevice locked = cable();
    locked.readWrite = false;
    UsbWindow win({locked});
    TFCOMM &w = win.w();
    QCOMPARE(win.adapter().DevListIndex(), 0);
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(!w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Connection"));
    QVERIFY(win.dialogs.infos.isEmpty() && win.dialogs.errors.isEmpty());
    QVERIFY(win.usb().SelectedDevice());
    QVERIFY(!win.usb().SelectedDevice()->ReaderRunning());
    QVERIFY(!win.hid->readerAttached("cable"));
    QVERIFY(w.control<QPushButton>("COMCon")->isVisibleTo(&w)); // the serial road stays open
    win.tick(30);
    QVERIFY(win.dialogs.infos.isEmpty());
}

void TestWindowUsb::recordedMeterGivesSameRowsAsSerial_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::newRow("changed readings") << false;
    QTest::newRow("every reading") << true;
}

void TestWindowUsb::recordedMeterGivesSameRowsAsSerial()
{
    QFETCH(bool, repeat);
    const QByteArray bytes = recording();
    int serialCalls = 0;
    QStringList serialRows;
    {
        UsbWindow win({});
        TFCOMM &w = win.w();
        w.control<QCheckBox>("RepeatSet")->setChecked(repeat);
        FrameCounter frames(w.session()); // no frame comes after it
        const auto receive = w.serialPort().OnReceiveData();
        for (char byte : bytes)
            receive(&w.serialPort(), &byte, 1);
        serialCalls = frames.arrived;
        serialRows = gridRows(w);
        QVERIFY(win.dialogs.errors.isEmpty());
    }
    QCOMPARE(serialCalls, 420);

    UsbWindow win({cable()});
    TFCOMM &w = win.w();
    w.control<QCheckBox>("RepeatSet")->setChecked(repeat);
    w.control<QPushButton>("USBCon")->click();
    QVERIFY(win.play("cable", UsbCableEncoder::reportsOfLines(bytes)));
    // The cable frames by pauses and so also hands over the garbled first line, which the serial road
    // cannot frame without the LF before it; the decoder refuses it, and that frame alone is lost.
    QCOMPARE(win.usb().unpacker().decoderCalls(), 1 + 420);
    QCOMPARE(win.dialogs.errors, QStringList{"Error|'F' is not a valid integer value"});
    QCOMPARE(gridRows(w), serialRows);
    if (repeat)
        QCOMPARE(serialRows.size(), 420);
}

QTEST_MAIN(TestWindowUsb)
#include "tst_window_usb.moc"
