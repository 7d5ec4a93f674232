#include "serial_test_support.h"

#include "link/serial/meter_line.h"
#include "link/serial/serial_frame_assembly.h"

#include <QFile>
#include <QTest>

#include <random>
#include <stdexcept>

namespace {

// A line as the meter sends it, leading LF included: +0.123 V DC auto.
const char *const kLine = "0A 2B 30 31 32 33 20 31 31 00 00 80 0C 0D";
const char *const kLineFrame = "2B 30 31 32 33 20 31 31 00 00 80 0C 0D";

QString hexText(const char *hex)
{
    return QString::fromLatin1(QByteArray(hex).replace(' ', ""));
}

} // namespace

class TestSerialFrameAssembly : public QObject {
    Q_OBJECT

private slots:
    void cutsFrames_data();
    void cutsFrames();
    void decoderErrorEndsOnlyThatFrame();
    void anyThrownValueEndsOnlyThatFrame();
    void noiseKeepsMemoryBounded_data();
    void noiseKeepsMemoryBounded();
    void boundDoesNotChangeFrames();
    void recordedMeterDecodes_data();
    void recordedMeterDecodes();
};

void TestSerialFrameAssembly::cutsFrames_data()
{
    QTest::addColumn<QStringList>("chunks");  // hex, one entry per receive call
    QTest::addColumn<QStringList>("decoded"); // FrameHex at each decoder call
    QTest::addColumn<QString>("frameHex");    // after the last chunk
    QTest::addColumn<QString>("pendingHex");

    const QString line = hexText(kLine);
    const QString frame = hexText(kLineFrame);

    QTest::newRow("line in one chunk")
        << QStringList{hexText("0A 2B 30 31 32 33 20 31 00 00 00 00 00 0D")}
        << QStringList{"2B30313233203100000000000D"} << "2B30313233203100000000000D"
        << "";
    QTest::newRow("line in chunks of 5, 5 and 4")
        << QStringList{line.mid(0, 10), line.mid(10, 10), line.mid(20)} << QStringList{frame} << frame << "";
    QTest::newRow("two lines in one chunk, the second negative")
        << QStringList{line + hexText("0A 2D 30 30 34 35 20 32 31 00 40 80 00 0D")}
        << QStringList{frame, hexText("2D 30 30 34 35 20 32 31 00 40 80 00 0D")}
        << hexText("2D 30 30 34 35 20 32 31 00 40 80 00 0D") << "";
    QTest::newRow("half a line waits") << QStringList{line.left(12)} << QStringList{} << "" << line.left(12);
    QTest::newRow("second byte not a sign")
        << QStringList{hexText("0A 30 31 32 33 34 20 31 31 00 00 80 0C 0D")} << QStringList{}
        << hexText("30 31 32 33 34 20 31 31 00 00 80 0C 0D") << "";
    QTest::newRow("13 bytes starting with the sign")
        << QStringList{hexText("2B 30 31 32 33 20 31 31 00 00 80 0C 0D")} << QStringList{}
        << hexText("30 31 32 33 20 31 31 00 00 80 0C 0D") << "";
    QTest::newRow("shorter shape: CR as byte 13")
        << QStringList{hexText("0A 2B 30 31 32 33 20 31 31 00 00 80 0D")}
        << QStringList{hexText("2B 30 31 32 33 20 31 31 00 00 80 0D")}
        << hexText("2B 30 31 32 33 20 31 31 00 00 80 0D") << "";
    QTest::newRow("longer line with a junk prefix")
        << QStringList{hexText("0A 2D 30 30 30 20 20 2B 32 35 32 31 20 34 31 00 40 80 19 0D") + line}
        << QStringList{frame} << frame << "";
    QTest::newRow("lone carriage return") << QStringList{"0D"} << QStringList{} << ""
                                          << "";
    QTest::newRow("LF CR") << QStringList{"0A0D"} << QStringList{} << "0D"
                           << "";
    QTest::newRow("CR inside a line splits it into two rejects")
        << QStringList{hexText("0A 2B 30 31 0D 33 20 31 31 00 00 80 0C 0D")} << QStringList{}
        << hexText("20 31 31 00 00 80 0C 0D") << "";
    QTest::newRow("line cut by reconnecting, then whole ones")
        << QStringList{line.left(14), line, line} << QStringList{frame} << frame << "";
    QTest::newRow("opened in the middle of a line")
        << QStringList{line.mid(8), line} << QStringList{frame} << frame << "";
}

void TestSerialFrameAssembly::cutsFrames()
{
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, decoded);
    QFETCH(QString, frameHex);
    QFETCH(QString, pendingHex);

    SerialFrameAssembly assembly;
    QStringList calls;
    assembly.setFrameHandler([&](const QString &hex) {
        QCOMPARE(assembly.FrameHex(), hex);
        calls << hex;
    });
    for (const QString &chunk : chunks) {
        const QByteArray bytes = QByteArray::fromHex(chunk.toLatin1());
        assembly.RECEIVE_COM_Data(nullptr, bytes.constData(), int(bytes.size()));
    }
    QCOMPARE(calls, decoded);
    QCOMPARE(assembly.FrameHex(), frameHex);
    QCOMPARE(assembly.PendingHex(), pendingHex);
}

// Regression: a frame the decoder could not convert stayed pending, came
// back at every later CR, and the rest of its chunk was lost.
void TestSerialFrameAssembly::decoderErrorEndsOnlyThatFrame()
{
    DecodingRig rig;
    const QByteArray bad = bytesFromHex("2B 31 3A 33 34 20 31 31 00 00 80 0C 0D 0A"); // ':' is no digit
    const MeterFlags dcV = MeterFlag::DC | MeterFlag::Volt | MeterFlag::Auto;
    rig.feed(QByteArray("\n") + bad + meterLine({"1.234", dcV}));

    QCOMPARE(rig.errors.size(), 1);
    QVERIFY(!rig.errors.first().isEmpty());
    QCOMPARE(rig.frames.size(), 2);
    QCOMPARE(rig.decoder.reading().ValueText, QStringLiteral("1.234"));
    QCOMPARE(rig.assembly.PendingHex(), QStringLiteral("0A"));

    // The bad frame does not come back at the next carriage return.
    rig.feed(QByteArray("\r\n") + meterLine({"-5.678", dcV}));
    QCOMPARE(rig.errors.size(), 1);
    QCOMPARE(rig.frames.size(), 3);
    QCOMPARE(rig.decoder.reading().ValueText, QStringLiteral("-5.678"));
}

// Regression: something thrown that is no std::exception lost the rest of
// its chunk.
void TestSerialFrameAssembly::anyThrownValueEndsOnlyThatFrame()
{
    SerialFrameAssembly assembly;
    QStringList frames;
    QStringList errors;
    assembly.setFrameHandler([&](const QString &frameHex) {
        frames << frameHex;
        if (frames.size() == 1)
            throw 42;
    });
    assembly.setErrorHandler([&](const QString &message) { errors << message; });
    const QByteArray line = bytesFromHex(kLine);
    const QByteArray chunk = line + line + QByteArray("\n");
    assembly.receive(chunk.constData(), int(chunk.size()));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(errors, QStringList{"Unknown error"});
}

void TestSerialFrameAssembly::noiseKeepsMemoryBounded_data()
{
    QTest::addColumn<QByteArray>("noise");

    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray random;
    QByteArray noCarriageReturn;
    for (int i = 0; i < 200000; ++i) {
        random += char(byte(rng));
        const int b = byte(rng);
        noCarriageReturn += char(b == 0x0D ? 0x0C : b);
    }
    QByteArray meter;
    for (const MeterFace &face : meterScript())
        meter += meterLine(face);
    meter = meter.repeated(20);

    QTest::newRow("random bytes") << random;
    QTest::newRow("random bytes, never a CR") << noCarriageReturn;
    QTest::newRow("meter at 2400 read at 9600") << misreadAtSpeed(meter, 2400, 9600);
    QTest::newRow("meter at 2400 read at 1200") << misreadAtSpeed(meter, 2400, 1200);
    QTest::newRow("meter at 2400 read at 19200") << misreadAtSpeed(meter, 2400, 19200);
}

void TestSerialFrameAssembly::noiseKeepsMemoryBounded()
{
    QFETCH(QByteArray, noise);
    DecodingRig rig;
    std::mt19937 rng(7);
    for (const QByteArray &chunk : randomChunks(noise, rng, 64)) {
        rig.feed(chunk);
        QVERIFY(rig.assembly.PendingHex().size() <= SerialFrameAssembly::PendingHexLimit);
    }

    const MeterFlags flags = MeterFlag::AC | MeterFlag::Volt | MeterFlag::Auto;
    const QByteArray tail =
        meterLine({"230.1", flags}) + meterLine({"229.8", flags}) + meterLine({"230.4", flags});
    const qsizetype before = rig.frames.size();
    rig.feed(tail);
    QVERIFY(rig.frames.size() - before >= 2);
    QCOMPARE(rig.frames.last(), QString::fromLatin1(tail.mid(28, 13).toHex().toUpper()));
    QCOMPARE(rig.decoder.reading().ValueText, QStringLiteral("230.4"));
    QCOMPARE(rig.decoder.reading().FunctionText, QStringLiteral("AC"));
}

// Whatever the bound cuts off, each line is judged and copied as if it had
// been kept whole.
void TestSerialFrameAssembly::boundDoesNotChangeFrames()
{
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    SerialFrameAssembly assembly;
    QStringList calls;
    assembly.setFrameHandler([&](const QString &hex) { calls << hex; });

    for (int i = 0; i < 20000; ++i) {
        // A line of random length that often has the meter's shape.
        QByteArray line;
        const int n = length(rng);
        for (int k = 0; k < n; ++k) {
            const int b = byte(rng);
            line += char(b == 0x0D ? 0x0C : b);
        }
        if (line.size() > 1)
            line[1] = byte(rng) & 1 ? '+' : '-';
        line += '\r';

        const QString unbounded = QString::fromLatin1(line.toHex().toUpper());
        const QString expected = unbounded.mid(2, 26);
        const bool passes = (expected.left(2) == "2B" || expected.left(2) == "2D") &&
                            (expected.mid(24, 2) == "0D" || expected.mid(22, 2) == "0D");
        calls.clear();
        assembly.receive(line.constData(), int(line.size()));
        QCOMPARE(assembly.FrameHex(), expected);
        QCOMPARE(calls.size(), passes ? 1 : 0);
    }
}

void TestSerialFrameAssembly::recordedMeterDecodes_data()
{
    QTest::addColumn<int>("frame");     // index among the decoded lines
    QTest::addColumn<QString>("shown"); // value, function, unit, range
    QTest::addColumn<double>("number");
    QTest::addColumn<double>("axisMax");

    QTest::newRow("mV DC auto") << 0 << "252.0 DC mV AUTO" << 252.0 << 400.0;
    QTest::newRow("mV DC held range") << 262 << "243.9 DC mV MANU" << 243.9 << 400.0;
    QTest::newRow("range change: old digits, no point") << 279 << "2474 DC V AUTO" << 2474.0 << 1000.0;
    QTest::newRow("coarser mV range, negative") << 281 << "-00.20 DC mV AUTO" << -0.2 << 40.0;
    QTest::newRow("kilo-ohm overload") << 301 << ".0L OHM k* AUTO" << 6.001 << 4.0;
    QTest::newRow("megohm overload") << 304 << "0.L OHM M* AUTO" << 60.01 << 40.0;
    QTest::newRow("diode open: no rule, axis kept") << 311 << "0L Diode V MANU" << 6001.0 << 40.0;
    QTest::newRow("continuity open") << 325 << "0L. OHM * MANU" << 600.1 << 40.0;
    QTest::newRow("nF") << 341 << "00.00 CAP nF AUTO" << 0.0 << 40.0;
    QTest::newRow("Hz, no input") << 357 << "0.000 Freq Hz AUTO" << 0.0 << 10.0;
    QTest::newRow("A DC") << 375 << "0.022 DC A AUTO" << 0.022 << 4.0;
    QTest::newRow("A AC") << 401 << "0.095 AC A AUTO" << 0.095 << 4.0;
}

// The recording of a real meter, cut and decoded in-process: each kind of
// line it holds reads as the meter showed it.
void TestSerialFrameAssembly::recordedMeterDecodes()
{
    QFETCH(int, frame);
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + ": " + file.errorString()));
    const QByteArray recording = file.readAll();

    DecodingRig rig;
    QStringList shown;
    QList<double> numbers;
    QList<double> axisMax;
    rig.assembly.setFrameHandler([&](const QString &frameHex) {
        rig.decoder.decode(frameHex);
        const Reading &r = rig.decoder.reading();
        shown << QStringList{r.ValueText, r.FunctionText, r.UnitText, r.RangeText}.join(' ');
        numbers << r.Number;
        axisMax << rig.decoder.valueAxis().maximum;
    });
    std::mt19937 rng(frame);
    for (const QByteArray &chunk : randomChunks(recording, rng, 50))
        rig.feed(chunk);

    QVERIFY(rig.errors.isEmpty());
    QCOMPARE(shown.size(), 420);
    QTEST(shown[frame], "shown");
    QTEST(numbers[frame], "number");
    QTEST(axisMax[frame], "axisMax");
}

QTEST_GUILESS_MAIN(TestSerialFrameAssembly)
#include "tst_serial_frame_assembly.moc"
