#include "link/usb/usb_report_unpacker.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>

#include <stdexcept>

namespace {

using Variant = UsbReportUnpacker::Variant;

// The unpacker with sinks that record what comes out.
struct Rig {
    UsbReportUnpacker unpacker;
    QStringList history;
    QStringList frames;  // FrameHex at each write
    QStringList decoded; // FrameHex at each decoder call
    QStringList errors;
    QString frameHex;
    Variant variant = Variant::Morvane;

    Rig()
    {
        unpacker.setHistorySink([this](const QString &line) { history << line; });
        unpacker.setFrameHexSink([this](const QString &hex) {
            frameHex = hex;
            frames << hex;
        });
        unpacker.setDecoder([this] { decoded << frameHex; });
        unpacker.setErrorSink([this](const QString &message) { errors << message; });
    }

    // Report bytes after the report ID, as hex text ("F7 2B 30").
    void report(const char *hex, quint8 reportId = 0)
    {
        const QByteArray data = QByteArray::fromHex(hex);
        unpacker.handleReport(variant, reportId, reinterpret_cast<const quint8 *>(data.constData()),
                              static_cast<quint16>(data.size()));
    }
    void silence(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            report("F0 00 00 00 00 00 00 00");
    }
};

const char kLineHex[] = "2B30313233203100000000000D0A"; // "+0123 1", status bytes, bar, CR LF

// The meter line in reports of `perReport` bytes each, status F<n>, padded to eight data bytes.
QList<QByteArray> lineInReports(const QByteArray &line, int perReport)
{
    QList<QByteArray> reports;
    for (int at = 0; at < line.size(); at += perReport) {
        const QByteArray part = line.mid(at, perReport);
        QByteArray report(1, char(0xF0 | part.size()));
        report += part;
        report += QByteArray(8 - report.size(), '\0');
        reports << report.toHex(' ');
    }
    return reports;
}

} // namespace

class TestUsbUnpacker : public QObject {
    Q_OBJECT

private slots:
    void historyText_data();
    void historyText();
    void lineInThreeReports();
    void lineSplitIntoReports_data();
    void lineSplitIntoReports();
    void shapeTest_data();
    void shapeTest();
    void silenceCounting();
    void statusOutsideOneToNineIsSilence_data();
    void statusOutsideOneToNineIsSilence();
    void countBeyondBytesPresent();
    void emptyReportEndsFrameWithoutCounting();
    void twoLinesWithoutPauseFormOneFrame();
    void variantsWithoutDecoder_data();
    void variantsWithoutDecoder();
    void decoderErrorEndsOnlyItsFrame();
    void endlessDataStaysBounded();
};

void TestUsbUnpacker::historyText_data()
{
    QTest::addColumn<int>("reportId");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::newRow("eight bytes") << 0 << QByteArray::fromHex("F22B300000000000")
                                 << "R 00  F2 2B 30 00 00 00 00 00 ";
    QTest::newRow("numbered report") << 0xAB << QByteArray::fromHex("0a") << "R AB  0A ";
    QTest::newRow("no bytes") << 5 << QByteArray() << "R 05  ";
}

void TestUsbUnpacker::historyText()
{
    QFETCH(int, reportId);
    QFETCH(QByteArray, data);
    QTEST(UsbReportUnpacker::historyText(quint8(reportId), reinterpret_cast<const quint8 *>(data.constData()),
                                         quint16(data.size())),
          "text");
}

void TestUsbUnpacker::lineInThreeReports()
{
    Rig rig;
    rig.report("F7 2B 30 31 32 33 20 31");
    rig.report("F7 00 00 00 00 00 0D 0A");
    QVERIFY(rig.decoded.isEmpty());
    QVERIFY(rig.unpacker.UsbFrameOpen());
    rig.report("F0 00 00 00 00 00 00 00");
    QCOMPARE(rig.decoded, QStringList{kLineHex});
    QCOMPARE(rig.frameHex, QString(kLineHex));
    QCOMPARE(rig.history, (QStringList{"R 00  F7 2B 30 31 32 33 20 31 ", "R 00  F7 00 00 00 00 00 0D 0A "}));
    QVERIFY(rig.unpacker.UsbHexBuffer().isEmpty());
    QVERIFY(!rig.unpacker.UsbFrameOpen());
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 1);
}

void TestUsbUnpacker::lineSplitIntoReports_data()
{
    QTest::addColumn<int>("perReport");
    QTest::newRow("fourteen one-byte reports") << 1;
    QTest::newRow("two-byte reports") << 2;
    QTest::newRow("seven-byte reports") << 7;
}

void TestUsbUnpacker::lineSplitIntoReports()
{
    QFETCH(int, perReport);
    Rig rig;
    const QList<QByteArray> reports = lineInReports(QByteArray::fromHex(kLineHex), perReport);
    for (const QByteArray &report : reports)
        rig.report(report.constData());
    QVERIFY(rig.decoded.isEmpty());
    rig.silence();
    QCOMPARE(rig.decoded, QStringList{kLineHex});
    QCOMPARE(rig.history.size(), reports.size());
}

void TestUsbUnpacker::shapeTest_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("decoded");
    const QByteArray line = QByteArray::fromHex(kLineHex);
    QByteArray minus = line;
    minus[0] = '-';
    QByteArray other = line;
    other[0] = '0';
    QByteArray noCr = line;
    noCr[12] = 0x0A;
    QTest::newRow("plus") << line << true;
    QTest::newRow("minus") << minus << true;
    QTest::newRow("other first byte") << other << false;
    QTest::newRow("no CR as byte 13") << noCr << false;
    QTest::newRow("line without its LF") << line.left(13) << true;
    QTest::newRow("cut before the CR") << line.left(12) << false;
    QTest::newRow("serial road's short shape") << line.left(11) + "\r\n" << false;
}

void TestUsbUnpacker::shapeTest()
{
    QFETCH(QByteArray, line);
    Rig rig;
    for (const QByteArray &report : lineInReports(line, 7))
        rig.report(report.constData());
    rig.silence();
    QCOMPARE(rig.frames, QStringList{QString::fromLatin1(line.toHex().toUpper())}); // written either way
    QFETCH(bool, decoded);
    QCOMPARE(rig.decoded.size(), decoded ? 1 : 0);
}

void TestUsbUnpacker::silenceCounting()
{
    Rig rig;
    rig.silence(1899);
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 1899);
    QVERIFY(rig.frames.isEmpty()); // no frame was open
    QVERIFY(rig.history.isEmpty());
    rig.report("F1 2B 00 00 00 00 00 00");
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 0); // a data report sets it back
    rig.silence(1900);
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 1900);
    QCOMPARE(rig.frames.size(), 1); // only the first silent report ended the frame
}

void TestUsbUnpacker::statusOutsideOneToNineIsSilence_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<bool>("data");
    QTest::newRow("F0") << QByteArray("F0") << false;
    QTest::newRow("FA") << QByteArray("FA") << false;
    QTest::newRow("0F") << QByteArray("0F") << false;
    QTest::newRow("F9") << QByteArray("F9") << true;
    QTest::newRow("07: high nibble not looked at") << QByteArray("07") << true;
}

void TestUsbUnpacker::statusOutsideOneToNineIsSilence()
{
    QFETCH(QByteArray, status);
    QFETCH(bool, data);
    Rig rig;
    rig.report("F2 2B 30");
    rig.report(status + " 31 32 33 34 35 36 37 38 39");
    QCOMPARE(rig.unpacker.UsbFrameOpen(), data);
    QCOMPARE(rig.frames.size(), data ? 0 : 1);
    if (!data) {
        QCOMPARE(rig.frames.first(), QStringLiteral("2B30")); // its bytes are ignored
        QCOMPARE(rig.unpacker.UsbSilenceCount(), 1);
        QCOMPARE(rig.history.size(), 1); // no line for a report without data
    }
}

void TestUsbUnpacker::countBeyondBytesPresent()
{
    Rig rig;
    rig.report("F3 2B");
    QCOMPARE(rig.unpacker.UsbHexBuffer(), QStringLiteral("2B"));
    rig.report("F9 30 31");
    QCOMPARE(rig.unpacker.UsbHexBuffer(), QStringLiteral("2B3031"));
}

void TestUsbUnpacker::emptyReportEndsFrameWithoutCounting()
{
    Rig rig;
    rig.silence(3);
    rig.report("F1 2B");
    rig.report("");
    QCOMPARE(rig.frames, QStringList{"2B"});
    QVERIFY(!rig.unpacker.UsbFrameOpen());
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 0);
    rig.report("");
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 0);
    QCOMPARE(rig.history, QStringList{"R 00  F1 2B "});
}

// The shape test looks only at bytes 1 and 13: the first line decides.
void TestUsbUnpacker::twoLinesWithoutPauseFormOneFrame()
{
    Rig rig;
    const QByteArray line = QByteArray::fromHex(kLineHex);
    for (const QByteArray &report : lineInReports(line + line, 7))
        rig.report(report.constData());
    rig.silence();
    QCOMPARE(rig.decoded, QStringList{QString(kLineHex) + kLineHex});
}

void TestUsbUnpacker::variantsWithoutDecoder_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("Semvo") << int(Variant::Semvo);
    QTest::newRow("Vostra") << int(Variant::Vostra);
}

void TestUsbUnpacker::variantsWithoutDecoder()
{
    QFETCH(int, variant);
    Rig rig;
    rig.variant = Variant(variant);
    rig.report("F7 2B 30 31 32 33 20 31");
    rig.report("F7 00 00 00 00 00 0D 0A");
    rig.silence(2);
    QCOMPARE(rig.history.size(), 2);
    QCOMPARE(rig.unpacker.UsbSilenceCount(), 2);
    QVERIFY(rig.frames.isEmpty());
    QVERIFY(rig.decoded.isEmpty());
    QVERIFY(rig.unpacker.UsbHexBuffer().isEmpty());
}

// Regression: a frame the decoder threw on came back joined to the next one, and the error escaped.
void TestUsbUnpacker::decoderErrorEndsOnlyItsFrame()
{
    Rig rig;
    int calls = 0;
    rig.unpacker.setDecoder([&] {
        ++calls;
        QVERIFY(rig.unpacker.UsbHexBuffer().isEmpty());
        QVERIFY(!rig.unpacker.UsbFrameOpen());
        if (calls == 1)
            throw std::runtime_error("'?0:?' is not a valid integer value");
        rig.decoded << rig.frameHex;
    });
    const QList<QByteArray> reports = lineInReports(QByteArray::fromHex(kLineHex), 7);
    for (int round = 0; round < 2; ++round) {
        for (const QByteArray &report : reports)
            rig.report(report.constData());
        rig.silence();
    }
    QCOMPARE(calls, 2);
    QCOMPARE(rig.errors, QStringList{"'?0:?' is not a valid integer value"});
    QCOMPARE(rig.decoded, QStringList{kLineHex});
}

void TestUsbUnpacker::endlessDataStaysBounded()
{
    Rig rig;
    const QList<QByteArray> reports = lineInReports(QByteArray::fromHex(kLineHex), 7);
    for (int i = 0; i < 5000; ++i) {
        rig.report(reports[i % 2].constData());
        QVERIFY(rig.unpacker.UsbHexBuffer().size() <= UsbReportUnpacker::UsbHexBufferLimit);
    }
    rig.silence();
    QCOMPARE(rig.decoded.size(), 1);
    QVERIFY(rig.decoded.first().startsWith(QString(kLineHex) + kLineHex));
}

QTEST_GUILESS_MAIN(TestUsbUnpacker)
#include "tst_usb_unpacker.moc"
