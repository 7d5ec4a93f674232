#include "serial_fakes.h"
#include "serial_test_support.h"

#include "link/serial/meter_line.h"
#include "link/serial/meter_simulator.h"
#include "link/serial/qt_serial_port_io.h"
#include "link/serial/serial_port_driver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>
#include <QThread>

#include <random>

// The whole serial road on a real pseudo-terminal: bytes written to its
// master reach the decoder through Qt Serial Port, the driver and the
// assembly.
namespace {

struct PtyLink {
    DeviceLineWriter meter; // the master side
    ManualWindowTimer *poll = nullptr;
    std::unique_ptr<TSerialPortDriver> driver;
    DecodingRig rig;
    qint64 written = 0;
    qint64 delivered = 0;
    int chunks = 0; // receive events

    bool open(quint16 inBufSize = 2048)
    {
        if (!meter.openPseudoTerminal())
            return false;
        auto timer = std::make_unique<ManualWindowTimer>();
        poll = timer.get();
        driver = std::make_unique<TSerialPortDriver>(std::make_unique<QtSerialPortIo>(), std::move(timer));
        const QString path = meter.portPath();
        driver->setPortNameLookup([path](TSerialPortDriver::TComPortNumber) { return path; });
        driver->setComPort(TSerialPortDriver::pnCOM1);
        driver->setComPortSpeed(TSerialPortDriver::br2400);
        driver->setComPortPollingDelay(100);
        driver->setComPortInBufSize(inBufSize);
        driver->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, int size) {
            ++chunks;
            delivered += size;
            rig.assembly.RECEIVE_COM_Data(sender, data, size);
        });
        return driver->OpenPort();
    }

    bool write(const QByteArray &bytes)
    {
        written += bytes.size();
        return meter.write(bytes);
    }

    // Polls until every byte written has come through. The wait is for the
    // kernel to pass the bytes from one end of the terminal to the other;
    // the driver's own timer is driven by hand.
    bool deliver()
    {
        QDeadlineTimer deadline(10000);
        for (;;) {
            poll->fire();
            if (delivered >= written)
                return delivered == written;
            if (deadline.hasExpired())
                return false;
            QThread::usleep(100);
        }
    }

    bool send(const QByteArray &bytes) { return write(bytes) && deliver(); }
};

QList<MeterFace> someReadings()
{
    return {{"0.512", MeterFlag::DC | MeterFlag::Volt | MeterFlag::Auto},
            {"-12.03", MeterFlag::DC | MeterFlag::Volt},
            {"230.4", MeterFlag::AC | MeterFlag::Volt | MeterFlag::Auto},
            {"0.L", MeterFlag::Ohm | MeterFlag::Mega | MeterFlag::Auto},
            {"10.24", MeterFlag::Farad | MeterFlag::Nano | MeterFlag::Auto},
            {"45.67", MeterFlag::DC | MeterFlag::Ampere | MeterFlag::Milli | MeterFlag::Auto}};
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT

private slots:
    void readingsArriveInAnyChunking_data();
    void readingsArriveInAnyChunking();
    void lineSplitAcrossPolls();
    void recordedMeterInRandomChunks_data();
    void recordedMeterInRandomChunks();
    void noiseThenReadings();
    void simulatorThroughPseudoTerminal();
    void portIsExclusiveAndClosesCleanly();
};

void TestSerialLink::readingsArriveInAnyChunking_data()
{
    QTest::addColumn<int>("chunkSize"); // bytes per write to the master
    QTest::addColumn<int>("inBufSize");
    QTest::newRow("one byte at a time") << 1 << 2048;
    QTest::newRow("half lines") << 7 << 2048;
    QTest::newRow("whole lines") << 14 << 2048;
    QTest::newRow("several lines at once") << 14 * 6 << 2048;
    QTest::newRow("odd chunks across line ends") << 23 << 2048;
    QTest::newRow("several lines, 16 bytes a poll") << 14 * 6 << 16;
}

void TestSerialLink::readingsArriveInAnyChunking()
{
    QFETCH(int, chunkSize);
    QFETCH(int, inBufSize);
    PtyLink link;
    if (!link.open(quint16(inBufSize)))
        QSKIP("no pseudo-terminal that Qt Serial Port can open");

    QStringList shown;
    link.rig.assembly.setFrameHandler([&](const QString &frameHex) {
        link.rig.decoder.decode(frameHex);
        shown << link.rig.decoder.reading().ValueText + ' ' + link.rig.decoder.reading().UnitText;
    });
    QByteArray stream("\n");
    for (const MeterFace &face : someReadings())
        stream += meterLine(face);
    for (qsizetype at = 0; at < stream.size(); at += chunkSize)
        QVERIFY(link.send(stream.mid(at, chunkSize)));

    QCOMPARE(shown, (QStringList{"0.512 V", "-12.03 V", "230.4 V", "0.L M*", "10.24 nF", "45.67 mA"}));
    QVERIFY(link.rig.errors.isEmpty());
    QVERIFY(link.driver->IsOpen());
    if (inBufSize < 2048)
        QVERIFY(link.chunks >= int(stream.size()) / inBufSize);
}

void TestSerialLink::lineSplitAcrossPolls()
{
    PtyLink link;
    if (!link.open())
        QSKIP("no pseudo-terminal that Qt Serial Port can open");
    const QByteArray line = meterLine({"-048.6", MeterFlag::DC | MeterFlag::Volt | MeterFlag::Milli});

    QVERIFY(link.send("\n" + line.left(5)));
    QVERIFY(link.rig.frames.isEmpty());
    QCOMPARE(link.rig.assembly.PendingHex(), QString::fromLatin1(("\n" + line.left(5)).toHex().toUpper()));
    QVERIFY(link.send(line.mid(5, 4)));
    QVERIFY(link.rig.frames.isEmpty());
    QVERIFY(link.send(line.mid(9)));

    QCOMPARE(link.chunks, 3);
    QCOMPARE(link.rig.frames, QStringList{QString::fromLatin1(line.left(13).toHex().toUpper())});
    const Reading &r = link.rig.decoder.reading();
    QCOMPARE(r.ValueText, QStringLiteral("-048.6"));
    QCOMPARE(r.FunctionText, QStringLiteral("DC"));
    QCOMPARE(r.UnitText, QStringLiteral("mV"));
    QCOMPARE(r.RangeText, QStringLiteral("MANU"));
}

void TestSerialLink::recordedMeterInRandomChunks_data()
{
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("maxChunk");
    QTest::newRow("seed 1, up to 8 bytes") << 1u << 8;
    QTest::newRow("seed 2, up to 40 bytes") << 2u << 40;
    QTest::newRow("seed 3, up to 300 bytes") << 3u << 300;
}

void TestSerialLink::recordedMeterInRandomChunks()
{
    QFETCH(unsigned, seed);
    QFETCH(int, maxChunk);
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + ": " + file.errorString()));
    const QByteArray recording = file.readAll();

    PtyLink link;
    if (!link.open())
        QSKIP("no pseudo-terminal that Qt Serial Port can open");
    std::mt19937 rng(seed);
    for (const QByteArray &chunk : randomChunks(recording, rng, maxChunk))
        QVERIFY(link.send(chunk));

    QCOMPARE(link.delivered, recording.size());
    QCOMPARE(link.rig.frames.size(), 420);
    QVERIFY2(link.rig.errors.isEmpty(), qPrintable(link.rig.errors.join('\n')));
    QCOMPARE(link.rig.assembly.PendingHex(), QStringLiteral("0A2B")); // the truncated last line
}

void TestSerialLink::noiseThenReadings()
{
    PtyLink link;
    if (!link.open())
        QSKIP("no pseudo-terminal that Qt Serial Port can open");
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray noise;
    for (int i = 0; i < 3000; ++i)
        noise += char(byte(rng));
    QByteArray meter;
    for (const MeterFace &face : someReadings())
        meter += meterLine(face);
    noise += misreadAtSpeed(meter.repeated(4), 2400, 9600);

    for (const QByteArray &chunk : randomChunks(noise, rng, 200)) {
        QVERIFY(link.send(chunk));
        QVERIFY(link.rig.assembly.PendingHex().size() <= SerialFrameAssembly::PendingHexLimit);
    }
    const qsizetype before = link.rig.frames.size();
    QVERIFY(link.send(meter));
    QVERIFY(link.rig.frames.size() - before >= qsizetype(someReadings().size()) - 1);
    QCOMPARE(link.rig.decoder.reading().ValueText, QStringLiteral("45.67"));
    QCOMPARE(link.rig.decoder.reading().UnitText, QStringLiteral("mA"));
}

void TestSerialLink::simulatorThroughPseudoTerminal()
{
    PtyLink link;
    if (!link.open())
        QSKIP("no pseudo-terminal that Qt Serial Port can open");
    auto timer = std::make_unique<ManualWindowTimer>();
    ManualWindowTimer *meterTimer = timer.get();
    MeterSimulator simulator([&link](const QByteArray &line) { QVERIFY(link.write(line)); },
                             std::move(timer));
    simulator.start();

    const QVector<MeterFace> script = simulator.script();
    for (int i = 0; i < script.size(); ++i) {
        meterTimer->fire();
        QVERIFY(link.deliver());
    }
    QVERIFY(link.rig.errors.isEmpty());
    QCOMPARE(link.rig.frames.size(), script.size() - 1); // the first line has no LF in front
    QCOMPARE(link.rig.decoder.reading().ValueText, script.last().text);
}

// The port is not shared, and closing it leaves the device free again.
void TestSerialLink::portIsExclusiveAndClosesCleanly()
{
    PtyLink link;
    if (!link.open())
        QSKIP("no pseudo-terminal that Qt Serial Port can open");
    TSerialPortDriver second(std::make_unique<QtSerialPortIo>(), std::make_unique<ManualWindowTimer>());
    const QString path = link.meter.portPath();
    second.setPortNameLookup([path](TSerialPortDriver::TComPortNumber) { return path; });
    QVERIFY(!second.OpenPort());

    link.driver->ClosePort();
    QVERIFY(!link.driver->IsOpen());
    QVERIFY(link.meter.write("+0000 41\x01\x00\x00\x80\x00\r\n"));
    QVERIFY(second.OpenPort());
    second.ClosePort();
    QVERIFY(link.driver->OpenPort());
    QVERIFY(link.send("\n" + meterLine({"1.234", MeterFlag::DC | MeterFlag::Volt})));
    QCOMPARE(link.rig.decoder.reading().ValueText, QStringLiteral("1.234"));
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_serial_link.moc"
