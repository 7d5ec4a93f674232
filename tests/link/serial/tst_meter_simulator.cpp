#include "serial_fakes.h"
#include "serial_test_support.h"

#include "link/serial/meter_line.h"
#include "link/serial/meter_simulator.h"
#include "link/serial/simulated_serial_port.h"

#include <QSet>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using F = MeterFlag;
Q_DECLARE_METATYPE(MeterFlags)

class TestMeterSimulator : public QObject {
    Q_OBJECT

private slots:
    void buildsLines_data();
    void buildsLines();
    void refusesWhatTheLcdCannotShow_data();
    void refusesWhatTheLcdCannotShow();
    void scriptDecodesAsShown();
    void pacedLikeTheMeter();
    void writesToDevicePathUnchanged();
    void inProcessPortActsLikeALine();
    void driverReadsSimulatorWithoutDevice();
};

void TestMeterSimulator::buildsLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<MeterFlags>("flags");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("DC volts, point after D1") << "0.123" << MeterFlags(F::DC | F::Volt | F::Auto)
                                              << bytesFromHex("2B 30 31 32 33 20 31 31 00 00 80 01 0D 0A");
    QTest::newRow("negative millivolts, REL, point after D3")
        << "-252.1" << MeterFlags(F::DC | F::Volt | F::Milli | F::Rel)
        << bytesFromHex("2D 32 35 32 31 20 34 15 00 40 80 99 0D 0A");
    QTest::newRow("no point") << "0024" << MeterFlags(F::Celsius)
                              << bytesFromHex("2B 30 30 32 34 20 30 01 00 00 02 00 0D 0A");
    QTest::newRow("point after D2, bar graph full")
        << "99.99" << MeterFlags(F::Hertz | F::Kilo)
        << bytesFromHex("2B 39 39 39 39 20 32 01 00 20 08 3C 0D 0A");
    QTest::newRow("overload, point after D2") << "0.L" << MeterFlags(F::Ohm | F::Mega | F::Auto)
                                              << bytesFromHex("2B 3F 30 3A 3F 20 32 21 00 10 20 3D 0D 0A");
    QTest::newRow("negative overload, no point") << "-0L" << MeterFlags(F::DC | F::Volt | F::Milli)
                                                 << bytesFromHex("2D 3F 30 3A 3F 20 30 11 00 40 80 3D 0D 0A");
    QTest::newRow("overload, point after D1") << ".0L" << MeterFlags(F::Diode | F::Volt)
                                              << bytesFromHex("2B 3F 30 3A 3F 20 31 01 00 04 80 3D 0D 0A");
    QTest::newRow("overload, point after D3") << "0L." << MeterFlags(F::Ohm | F::Continuity)
                                              << bytesFromHex("2B 3F 30 3A 3F 20 34 01 00 08 20 3D 0D 0A");
    QTest::newRow("every annunciator in its bit")
        << "0000"
        << MeterFlags(F::Hold | F::Rel | F::AC | F::DC | F::Auto | F::Nano | F::LowBattery | F::Min | F::Max |
                      F::Percent | F::Diode | F::Continuity | F::Mega | F::Kilo | F::Milli | F::Micro |
                      F::Fahrenheit | F::Celsius | F::Farad | F::Hertz | F::Ohm | F::Ampere | F::Volt)
        << bytesFromHex("2B 30 30 30 30 20 30 3F 36 FE EF 00 0D 0A");
}

void TestMeterSimulator::buildsLines()
{
    QFETCH(QString, text);
    QFETCH(MeterFlags, flags);
    QFETCH(QByteArray, line);
    QCOMPARE(meterLine({text, flags}).toHex(' '), line.toHex(' '));
}

void TestMeterSimulator::refusesWhatTheLcdCannotShow_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("sign only") << "-";
    QTest::newRow("three digits") << "1.23";
    QTest::newRow("five digits") << "12345";
    QTest::newRow("point after D4") << "1234.";
    QTest::newRow("point before D1") << ".1234";
    QTest::newRow("two points") << "1.2.34";
    QTest::newRow("letters") << "12a4";
    QTest::newRow("overload spelt otherwise") << "OL";
}

void TestMeterSimulator::refusesWhatTheLcdCannotShow()
{
    QFETCH(QString, text);
    QVERIFY(meterLine({text, F::DC | F::Volt}).isEmpty());
}

// Every line of the script reaches the decoder and reads back as the text it
// was made from; together the lines show every function and annunciator.
void TestMeterSimulator::scriptDecodesAsShown()
{
    DecodingRig rig;
    QSet<QString> kinds;
    QSet<int> annunciators;
    QSet<QString> ranges;
    QSet<int> pointPositionsOfDcVolts;
    bool negative = false;
    bool overload = false;

    rig.feed("\n");
    const QVector<MeterFace> script = meterScript();
    for (const MeterFace &face : script) {
        const QByteArray line = meterLine(face);
        QCOMPARE(line.size(), 14);
        rig.feed(line);
        QVERIFY2(rig.errors.isEmpty(), qPrintable(rig.errors.join('\n')));
        const Reading &r = rig.decoder.reading();
        const bool isOverload = face.text.contains('L');
        QCOMPARE(r.ValueText, isOverload ? QString(face.text).remove('-') : face.text);

        kinds << r.FunctionText + ' ' + r.UnitText;
        ranges << r.RangeText;
        for (int i = 0; i < LcdElementCount; ++i) {
            if (rig.decoder.lcd().isVisible(LcdElement(i)))
                annunciators << i;
        }
        if (r.FunctionText == "DC" && r.UnitText == "V")
            pointPositionsOfDcVolts << rig.decoder.pointPos();
        negative |= face.text.startsWith('-') && !isOverload;
        overload |= isOverload;
    }
    QCOMPARE(rig.frames.size(), script.size());

    const QStringList expectedKinds{"DC V",    "AC V",   "DC mV",  "OHM *",   "OHM k*",      "OHM M*",
                                    "Diode V", "CAP nF", "CAP uF", "Freq Hz", "DutyCycle %", "TMP #",
                                    "TMP ?",   "DC uA",  "DC mA",  "DC A",    "AC A"};
    for (const QString &kind : expectedKinds)
        QVERIFY2(kinds.contains(kind), qPrintable(kind));
    for (LcdElement e :
         {LcdElement::LCDHold, LcdElement::LCDREL, LcdElement::Labmax, LcdElement::Labmin,
          LcdElement::LCDBATT, LcdElement::LCDk, LcdElement::LCDM1, LcdElement::LCDHz, LcdElement::LCDFm})
        QVERIFY2(annunciators.contains(int(e)), lcdElementInfo(e).name);
    QCOMPARE(ranges, (QSet<QString>{"AUTO", "MANU"}));
    QVERIFY2(pointPositionsOfDcVolts.size() >= 3, "DC volts should range through three decades");
    QVERIFY(negative);
    QVERIFY(overload);
}

void TestMeterSimulator::pacedLikeTheMeter()
{
    QList<QByteArray> sent;
    auto timer = std::make_unique<ManualWindowTimer>();
    ManualWindowTimer *t = timer.get();
    MeterSimulator simulator([&sent](const QByteArray &line) { sent << line; }, std::move(timer));
    const QVector<MeterFace> script = simulator.script();

    t->fire();
    QVERIFY(sent.isEmpty()); // not started yet
    simulator.start();
    QVERIFY(simulator.isRunning());
    QVERIFY2(t->interval() >= 1000 / 3 && t->interval() <= 1000 / 2, "2 to 3 lines a second");

    for (int i = 0; i < script.size() + 2; ++i)
        t->fire();
    QCOMPARE(sent.size(), script.size() + 2);
    for (int i = 0; i < sent.size(); ++i)
        QCOMPARE(sent[i], meterLine(script[i % script.size()]));

    simulator.stop();
    t->fire();
    QCOMPARE(sent.size(), script.size() + 2);
}

// A terminal left as it is turns LF into CR LF, which would break every line.
void TestMeterSimulator::writesToDevicePathUnchanged()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        QSKIP("no pseudo-terminal available");

    DeviceLineWriter writer;
    QVERIFY(!writer.open(QStringLiteral("/nonexistent/tty")));
    QVERIFY(!writer.errorString().isEmpty());
    QVERIFY2(writer.open(QString::fromLocal8Bit(name)), qPrintable(writer.errorString()));

    QByteArray sent;
    for (const MeterFace &face : meterScript().mid(0, 20))
        sent += meterLine(face);
    QVERIFY(writer.write(sent));

    QByteArray received;
    while (received.size() < sent.size()) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    QCOMPARE(received.toHex(' '), sent.toHex(' '));
    writer.close();
    ::close(slave);
    ::close(master);
}

void TestMeterSimulator::inProcessPortActsLikeALine()
{
    SimulatedSerialPort port(QStringLiteral("sim"));
    port.feed("lost: nobody listens");
    QVERIFY(!port.open(QStringLiteral("/dev/ttyS0")));
    QVERIFY(port.open(QStringLiteral("sim")));
    QVERIFY(!port.open(QStringLiteral("sim"))); // not shared

    char buffer[8];
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(0));
    port.feed("0123456789");
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(8));
    QCOMPARE(QByteArray(buffer, 8), QByteArray("01234567"));
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(2));
    QCOMPARE(QByteArray(buffer, 2), QByteArray("89"));

    port.feed("stale");
    port.purge(true, true);
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(0));

    port.setQueueSizes(4, 4); // a full queue takes no more
    port.feed("abcdef");
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(4));
    QCOMPARE(QByteArray(buffer, 4), QByteArray("abcd"));

    port.close();
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(-1));
}

void TestMeterSimulator::driverReadsSimulatorWithoutDevice()
{
    auto pollTimer = std::make_unique<ManualWindowTimer>();
    ManualWindowTimer *poll = pollTimer.get();
    TSerialPortDriver driver(std::make_unique<FakeSerialPortIo>(std::make_shared<FakePortState>()),
                             std::move(pollTimer));
    auto meterTimer = std::make_unique<ManualWindowTimer>();
    ManualWindowTimer *meter = meterTimer.get();
    bindMeterSimulator(driver, TSerialPortDriver::pnCOM1, std::move(meterTimer));
    QVERIFY(meter->isEnabled()); // the meter talks from the start
    QCOMPARE(meter->interval(), MeterSimulator::LineIntervalMs);

    QCOMPARE(driver.DeviceName(TSerialPortDriver::pnCOM1), SimulatedMeterPort::simulatorDeviceName());
    QVERIFY(driver.DeviceName(TSerialPortDriver::pnCOM2).isEmpty());
    driver.setComPort(TSerialPortDriver::pnCOM2);
    QVERIFY(!driver.OpenPort());
    driver.setComPort(TSerialPortDriver::pnCOM1);

    DecodingRig rig;
    driver.setOnReceiveData([&rig](TSerialPortDriver *sender, const char *data, int size) {
        rig.assembly.RECEIVE_COM_Data(sender, data, size);
    });
    meter->fire(); // sent before the port opens: lost
    QVERIFY(driver.OpenPort());

    const QVector<MeterFace> script = meterScript();
    for (int i = 1; i <= script.size(); ++i) {
        meter->fire();
        if (i % 3 == 0) // a poll every third line
            poll->fire();
    }
    poll->fire();
    QVERIFY(rig.errors.isEmpty());
    // The first line after opening has no line feed in front and is dropped.
    QCOMPARE(rig.frames.size(), script.size() - 1);
    QCOMPARE(rig.decoder.reading().ValueText, script.first().text);
}

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_meter_simulator.moc"
