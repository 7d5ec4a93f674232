#include "serial_fakes.h"

#include "link/serial/serial_port_driver.h"
#include "link/serial/serial_port_names.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using Driver = TSerialPortDriver;
Q_DECLARE_METATYPE(std::function<void(TSerialPortDriver &)>)

namespace {

using Setter = std::function<void(Driver &)>;

// A driver on a fake port, set up as the main window sets up its own, with
// every received chunk recorded.
struct Rig {
    std::shared_ptr<FakePortState> port = std::make_shared<FakePortState>();
    ManualWindowTimer *timer = nullptr;
    std::unique_ptr<Driver> driver;
    QList<QByteArray> chunks;

    Rig()
    {
        auto t = std::make_unique<ManualWindowTimer>();
        timer = t.get();
        driver = std::make_unique<Driver>(std::make_unique<FakeSerialPortIo>(port), std::move(t));
        driver->setPortNameLookup(
            [](Driver::TComPortNumber p) { return QStringLiteral("/dev/ttyS%1").arg(p); });
        driver->setComPort(Driver::pnCOM1);
        driver->setComPortSpeed(Driver::br2400);
        driver->setComPortPollingDelay(100);
        driver->setOnReceiveData([this](Driver *sender, const char *data, int size) {
            QCOMPARE(sender, driver.get());
            QVERIFY(size >= 1);
            chunks << QByteArray(data, size);
        });
    }
};

} // namespace

class TestSerialPortDriver : public QObject {
    Q_OBJECT

private slots:
    void startsWithDefaults();
    void missingPortStaysClosed_data();
    void missingPortStaysClosed();
    void opensWithMeterLine();
    void openWhileOpenChangesNothing();
    void comPortKeptWhileOpen();
    void lineSettingWhileOpenReappliesAndPurges_data();
    void lineSettingWhileOpenReappliesAndPurges();
    void settingsWhileClosedTakeEffectAtOpen();
    void pollingDelay();
    void deliversBeyondBufferSizeOverTicks();
    void failedReadDeliversNothing();
    void tickDuringHandlerWaits();
    void closeStopsPolling();
    void destructionClosesPort();
    void comPortDeviceName_data();
    void comPortDeviceName();
    void deviceLookedUpAtEachOpen();
    void builtInPortsWithoutHardwareAreSkipped();
};

void TestSerialPortDriver::startsWithDefaults()
{
    Driver d(std::make_unique<FakeSerialPortIo>(std::make_shared<FakePortState>()),
             std::make_unique<ManualWindowTimer>());
    QCOMPARE(d.ComPort(), Driver::pnCOM2);
    QCOMPARE(d.ComPortSpeed(), Driver::br9600);
    QCOMPARE(d.ComPortDataBits(), Driver::db8BITS);
    QCOMPARE(d.ComPortStopBits(), Driver::sb1BITS);
    QCOMPARE(d.ComPortParity(), Driver::ptNONE);
    QCOMPARE(d.ComPortHwHandshaking(), Driver::hhNONE);
    QCOMPARE(d.ComPortSwHandshaking(), Driver::shNONE);
    QCOMPARE(d.ComPortInBufSize(), quint16(2048));
    QCOMPARE(d.ComPortOutBufSize(), quint16(2048));
    QCOMPARE(d.ComPortPollingDelay(), quint16(50));
    QCOMPARE(d.EnableDTROnOpen(), true);
    QVERIFY(!d.OnReceiveData());
    QVERIFY(!d.IsOpen());
    // The ordinals are what the line settings are built from.
    QCOMPARE(int(Driver::pnCOM4), 3);
    QCOMPARE(int(Driver::ptSPACE), 4);
    QCOMPARE(Driver::baudOf(Driver::br110), 110);
    QCOMPARE(Driver::baudOf(Driver::br56000), 56000);
    QCOMPARE(Driver::baudOf(Driver::br115200), 115200);
}

void TestSerialPortDriver::missingPortStaysClosed_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("device absent") << QStringLiteral("/dev/ttyUSB7");
    QTest::newRow("no device stands for the port") << QString();
}

void TestSerialPortDriver::missingPortStaysClosed()
{
    QFETCH(QString, device);
    Rig rig;
    rig.driver->setPortNameLookup([device](Driver::TComPortNumber) { return device; });
    rig.port->input = "+0000 41\x00\x00\x00\x80\x00\r\n";

    QCOMPARE(rig.driver->OpenPort(), false);
    QVERIFY(!rig.driver->IsOpen());
    QVERIFY(!rig.timer->isEnabled());
    QVERIFY(rig.port->configured.isEmpty());
    for (int i = 0; i < 3; ++i)
        rig.timer->fire();
    QVERIFY(rig.port->readSizes.isEmpty());
    QVERIFY(rig.chunks.isEmpty());
}

void TestSerialPortDriver::opensWithMeterLine()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    QVERIFY(rig.driver->IsOpen());
    QCOMPARE(rig.port->openDevice, QStringLiteral("/dev/ttyS0"));

    SerialLineSettings meterLine; // 2400 baud, 8 data bits, no parity, 1 stop bit
    meterLine.baudRate = 2400;
    meterLine.dataBits = 8;
    meterLine.parity = SerialParity::None;
    meterLine.stopBits = SerialStopBits::One;
    meterLine.rtsCtsHandshake = false;
    meterLine.xonXoffHandshake = false;
    meterLine.dtrOn = true;
    QCOMPARE(rig.port->configured.size(), 1);
    QVERIFY(rig.port->configured.first() == meterLine);
    QCOMPARE(rig.port->purges, (QList<QPair<bool, bool>>{{true, true}}));
    QCOMPARE(rig.port->inQueue, quint16(2048));
    QCOMPARE(rig.port->outQueue, quint16(2048));

    QVERIFY(rig.timer->isEnabled());
    QCOMPARE(rig.timer->interval(), 100);

    rig.port->input = "abc";
    rig.timer->fire();
    QCOMPARE(rig.chunks, QList<QByteArray>{"abc"});
    QCOMPARE(rig.port->readSizes, QList<qint64>{2048});
    rig.timer->fire(); // nothing waiting: no call
    QCOMPARE(rig.chunks.size(), 1);
}

void TestSerialPortDriver::openWhileOpenChangesNothing()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.port->input = "waiting";
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.port->opens, 1);
    QCOMPARE(rig.port->configured.size(), 1);
    QCOMPARE(rig.port->purges.size(), 1);
    QCOMPARE(rig.timer->periodStarts(), 1);
    QCOMPARE(rig.port->input, QByteArray("waiting"));
}

void TestSerialPortDriver::comPortKeptWhileOpen()
{
    Rig rig;
    rig.port->devices << QStringLiteral("/dev/ttyS2");
    QVERIFY(rig.driver->OpenPort());
    rig.driver->setComPort(Driver::pnCOM3);
    QCOMPARE(rig.driver->ComPort(), Driver::pnCOM1);
    QCOMPARE(rig.port->openDevice, QStringLiteral("/dev/ttyS0"));

    rig.driver->ClosePort();
    rig.driver->setComPort(Driver::pnCOM3);
    QCOMPARE(rig.driver->ComPort(), Driver::pnCOM3);
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.port->openDevice, QStringLiteral("/dev/ttyS2"));
}

void TestSerialPortDriver::lineSettingWhileOpenReappliesAndPurges_data()
{
    QTest::addColumn<Setter>("set");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<bool>("rtsCts");
    QTest::addColumn<bool>("xonXoff");

    QTest::newRow("speed") << Setter([](Driver &d) { d.setComPortSpeed(Driver::br9600); }) << 9600 << 8
                           << int(SerialParity::None) << int(SerialStopBits::One) << false << false;
    QTest::newRow("data bits") << Setter([](Driver &d) { d.setComPortDataBits(Driver::db7BITS); }) << 2400
                               << 7 << int(SerialParity::None) << int(SerialStopBits::One) << false << false;
    QTest::newRow("parity") << Setter([](Driver &d) { d.setComPortParity(Driver::ptMARK); }) << 2400 << 8
                            << int(SerialParity::Mark) << int(SerialStopBits::One) << false << false;
    QTest::newRow("stop bits") << Setter([](Driver &d) { d.setComPortStopBits(Driver::sb2BITS); }) << 2400
                               << 8 << int(SerialParity::None) << int(SerialStopBits::Two) << false << false;
    QTest::newRow("RTS/CTS") << Setter([](Driver &d) { d.setComPortHwHandshaking(Driver::hhRTSCTS); }) << 2400
                             << 8 << int(SerialParity::None) << int(SerialStopBits::One) << true << false;
    QTest::newRow("XON/XOFF") << Setter([](Driver &d) { d.setComPortSwHandshaking(Driver::shXONXOFF); })
                              << 2400 << 8 << int(SerialParity::None) << int(SerialStopBits::One) << false
                              << true;
}

void TestSerialPortDriver::lineSettingWhileOpenReappliesAndPurges()
{
    QFETCH(Setter, set);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(bool, rtsCts);
    QFETCH(bool, xonXoff);

    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.port->input = "stale bytes";
    set(*rig.driver);

    QVERIFY(rig.driver->IsOpen());
    QCOMPARE(rig.port->opens, 1);
    QCOMPARE(rig.port->configured.size(), 2);
    const SerialLineSettings s = rig.port->configured.last();
    QCOMPARE(s.baudRate, baud);
    QCOMPARE(s.dataBits, dataBits);
    QCOMPARE(int(s.parity), parity);
    QCOMPARE(int(s.stopBits), stopBits);
    QCOMPARE(s.rtsCtsHandshake, rtsCts);
    QCOMPARE(s.xonXoffHandshake, xonXoff);
    QCOMPARE(rig.port->purges.size(), 2);
    QCOMPARE(rig.port->purges.last(), qMakePair(true, true));

    rig.timer->fire();
    QVERIFY2(rig.chunks.isEmpty(), "bytes from before the change must be discarded");
}

void TestSerialPortDriver::settingsWhileClosedTakeEffectAtOpen()
{
    Rig rig;
    rig.driver->setComPortSpeed(Driver::br19200);
    rig.driver->setComPortParity(Driver::ptEVEN);
    rig.driver->setEnableDTROnOpen(false);
    rig.driver->setComPortInBufSize(512);
    rig.driver->setComPortOutBufSize(256);
    QVERIFY(rig.port->configured.isEmpty());
    QVERIFY(rig.port->purges.isEmpty());

    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.port->configured.size(), 1);
    QCOMPARE(rig.port->configured.first().baudRate, 19200);
    QCOMPARE(rig.port->configured.first().parity, SerialParity::Even);
    QCOMPARE(rig.port->configured.first().dtrOn, false);
    QCOMPARE(rig.port->inQueue, quint16(512));
    QCOMPARE(rig.port->outQueue, quint16(256));

    // Buffer sizes stay as they are while the port is open.
    rig.driver->setComPortInBufSize(64);
    rig.driver->setComPortOutBufSize(64);
    QCOMPARE(rig.driver->ComPortInBufSize(), quint16(512));
    QCOMPARE(rig.driver->ComPortOutBufSize(), quint16(256));
}

void TestSerialPortDriver::pollingDelay()
{
    Rig rig;
    rig.driver->setComPortPollingDelay(250); // closed: stored only
    QVERIFY(!rig.timer->isEnabled());
    QCOMPARE(rig.timer->periodStarts(), 0);
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.timer->interval(), 250);

    rig.driver->setComPortPollingDelay(250);
    QCOMPARE(rig.timer->periodStarts(), 1);

    rig.driver->setComPortPollingDelay(40);
    QCOMPARE(rig.timer->periodStarts(), 2);
    QVERIFY(rig.timer->isEnabled());
    QCOMPARE(rig.timer->interval(), 40);
    QCOMPARE(rig.driver->ComPortPollingDelay(), quint16(40));
}

void TestSerialPortDriver::deliversBeyondBufferSizeOverTicks()
{
    Rig rig;
    rig.driver->setComPortInBufSize(16);
    QVERIFY(rig.driver->OpenPort());
    QByteArray sent;
    for (int i = 0; i < 40; ++i)
        sent += char('A' + i % 26);
    rig.port->input = sent;

    for (int i = 0; i < 4; ++i)
        rig.timer->fire();
    QCOMPARE(rig.port->readSizes, (QList<qint64>{16, 16, 16, 16}));
    QCOMPARE(rig.chunks.size(), 3);
    QCOMPARE(rig.chunks[0].size(), 16);
    QCOMPARE(rig.chunks[1].size(), 16);
    QCOMPARE(rig.chunks[2].size(), 8);
    QCOMPARE(rig.chunks.join(), sent);
}

void TestSerialPortDriver::failedReadDeliversNothing()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.port->input = "abc";
    rig.port->readFails = true;
    rig.timer->fire();
    QVERIFY(rig.chunks.isEmpty());
    QVERIFY(rig.timer->isEnabled());

    rig.port->readFails = false;
    rig.timer->fire();
    QCOMPARE(rig.chunks, QList<QByteArray>{"abc"});
}

// Regression: a handler that ran a nested event loop (the modal error box)
// let the next tick read into the buffer it was still working through.
void TestSerialPortDriver::tickDuringHandlerWaits()
{
    Rig rig;
    rig.driver->setComPortInBufSize(4);
    rig.driver->setOnReceiveData([&rig](Driver *, const char *data, int size) {
        if (rig.chunks.isEmpty())
            rig.timer->fire(); // what a modal box's event loop does
        rig.chunks << QByteArray(data, size);
    });
    QVERIFY(rig.driver->OpenPort());
    rig.port->input = "abcdefgh";

    rig.timer->fire();
    QCOMPARE(rig.chunks, QList<QByteArray>{"abcd"});
    QCOMPARE(rig.port->readSizes.size(), 1);
    rig.timer->fire();
    QCOMPARE(rig.chunks, (QList<QByteArray>{"abcd", "efgh"}));
}

void TestSerialPortDriver::closeStopsPolling()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.driver->ClosePort();
    QVERIFY(!rig.driver->IsOpen());
    QVERIFY(!rig.timer->isEnabled());
    QCOMPARE(rig.port->closes, 1);

    rig.driver->ClosePort(); // closed already: nothing
    QCOMPARE(rig.port->closes, 1);
    rig.port->input = "abc";
    rig.timer->fire();
    QVERIFY(rig.chunks.isEmpty());
}

void TestSerialPortDriver::destructionClosesPort()
{
    Rig rig;
    QVERIFY(rig.driver->OpenPort());
    rig.driver.reset();
    QCOMPARE(rig.port->closes, 1);
    QVERIFY(rig.port->openDevice.isEmpty());
}

void TestSerialPortDriver::comPortDeviceName_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("com"); // COM1 to COM4

    QTest::newRow("built-in ports only")
        << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3", "/dev/ttyS4"}
        << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS3"};
    QTest::newRow("adapters come first, gaps skipped")
        << QStringList{"/dev/ttyS31", "/dev/ttyACM3", "/dev/ttyUSB9", "/dev/ttyUSB2"}
        << QStringList{"/dev/ttyUSB2", "/dev/ttyUSB9", "/dev/ttyACM3", "/dev/ttyS31"};
    QTest::newRow("fewer than four") << QStringList{"/dev/ttyACM0", "/dev/ttyS7"}
                                     << QStringList{"/dev/ttyACM0", "/dev/ttyS7", "", ""};
    QTest::newRow("names outside the ranges are not ports")
        << QStringList{"/dev/ttyUSB10", "/dev/ttyS32", "/dev/ttyAMA0"} << QStringList{"", "", "", ""};
}

void TestSerialPortDriver::comPortDeviceName()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, com);
    const DeviceExists exists = [&existing](const QString &name) { return existing.contains(name); };
    for (int i = 0; i < 4; ++i)
        QCOMPARE(::comPortDeviceName(i, exists), com[i]);
}

void TestSerialPortDriver::deviceLookedUpAtEachOpen()
{
    Rig rig;
    QStringList existing{"/dev/ttyS0"};
    rig.driver->setPortNameLookup([&existing](Driver::TComPortNumber p) {
        return ::comPortDeviceName(p, [&existing](const QString &name) { return existing.contains(name); });
    });
    rig.port->devices = {"/dev/ttyS0", "/dev/ttyUSB0"};

    QCOMPARE(rig.driver->DeviceName(Driver::pnCOM1), QStringLiteral("/dev/ttyS0"));
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.port->openDevice, QStringLiteral("/dev/ttyS0"));
    rig.driver->ClosePort();

    existing << "/dev/ttyUSB0"; // an adapter is plugged in
    QCOMPARE(rig.driver->DeviceName(Driver::pnCOM1), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(rig.driver->DeviceName(Driver::pnCOM2), QStringLiteral("/dev/ttyS0"));
    QVERIFY(rig.driver->OpenPort());
    QCOMPARE(rig.port->openDevice, QStringLiteral("/dev/ttyUSB0"));
}

// Regression: /dev/ttyS0-31 exist on most PCs without any UART, so COM 1-4
// stood for dead ports.
void TestSerialPortDriver::builtInPortsWithoutHardwareAreSkipped()
{
    QTemporaryDir sys;
    QVERIFY(sys.isValid());
    const auto entry = [&](const QString &node, const QByteArray &type, bool driver) {
        QDir(sys.path()).mkpath(node + "/device");
        if (!type.isNull()) {
            QFile f(sys.path() + "/" + node + "/type");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(type);
        }
        if (driver)
            QVERIFY(QFile::link(sys.path(), sys.path() + "/" + node + "/device/driver"));
    };
    entry("ttyS0", "0\n", true);        // a node of the 8250 driver with no UART
    entry("ttyS1", "4\n", true);        // a 16550A
    entry("ttyS2", QByteArray(), true); // no type file: a bound driver counts
    entry("ttyS3", QByteArray(), false);
    entry("ttyS4", "junk", true);

    const QStringList existing{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2",
                               "/dev/ttyS3", "/dev/ttyS4", "/dev/ttyUSB0"};
    const DeviceExists usable = [&](const QString &name) {
        return existing.contains(name) && hasSerialHardware(name, sys.path());
    };
    const QStringList com{"/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyS2", ""};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(::comPortDeviceName(i, usable), com[i]);
    QVERIFY(hasSerialHardware("/dev/ttyACM0", sys.path())); // adapters have no such entry to ask
}

QTEST_GUILESS_MAIN(TestSerialPortDriver)
#include "tst_serial_port_driver.moc"
