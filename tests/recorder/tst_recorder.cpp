#include "recorder_rig.h"

#include "link/hid/hid_platform_fake.h"
#include "link/replay/link_recording.h"
#include "link/serial/serial_port_driver.h"
#include "link/usb/simulated_usb_cable.h"
#include "link/usb/usb_cable_encoder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

QByteArray fixture()
{
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Well-formed meter lines of the recording, each with the line feed that ends the one before.
QByteArray meterLines(int count)
{
    return fixture().mid(0x35, 14 * count);
}

int rowsIn(const QByteArray &text)
{
    return int(text.count("\r\n")) - 1; // the header line
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT

private slots:
    void rowsReachTheOutputWithinAFlushPeriod();
    void liveLineUpdatesInPlace();
    void recordLimitEndsTheRun();
    void silentLinkEndsAfterTimeout();
    void vanishedPortKeepsEveryRow();
    void hungUpTerminalKeepsEveryRow();
    void serialOpenFailureNamesTheCause_data();
    void serialOpenFailureNamesTheCause();
    void unwritableOutputEndsWithItsOwnStatus();
    void reportReplayRecordsThroughTheCable();
    void missingCableCannotBeOpened();
    void pulledCableKeepsEveryRow();
};

// Fault guarded against: rows held until the end, so a killed recorder loses the whole run.
void TestRecorder::rowsReachTheOutputWithinAFlushPeriod()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY2(rig.make({"--port", "/dev/ttyS0"}, parts), qPrintable(rig.error));
    QCOMPARE(rig.output.data(), QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n")); // at once

    state->input = meterLines(5);
    rig.fire("poll");
    QCOMPARE(rig.recorder->rows(), 5);
    QCOMPARE(rowsIn(rig.output.data()), 0);
    QVERIFY(rig.timers["flush"]->isEnabled());
    QCOMPARE(rig.timers["flush"]->interval(), 1000);

    const int periods = rig.timers["flush"]->periodStarts();
    state->input = meterLines(3);
    rig.fire("poll");
    QCOMPARE(rig.timers["flush"]->periodStarts(), periods); // later rows do not put the flush off
    rig.fire("flush");
    QCOMPARE(rowsIn(rig.output.data()), 8);
    QVERIFY(!rig.timers["flush"]->isEnabled());
    QVERIFY(rig.output.data().contains("\r\n1\t09:05:07\t"));
}

void TestRecorder::liveLineUpdatesInPlace()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    rig.liveLine = true;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY(rig.make({"--port", "/dev/ttyS0", "--limit", "2"}, parts));
    state->input = meterLines(1);
    rig.fire("poll");
    // Value, unit, function, verdict and rows, over whatever the line showed before.
    QCOMPARE(rig.consoleText(), QStringLiteral("\r\x1b[K252.0 mV DC pass  1 rows"));
    state->input = meterLines(2);
    rig.fire("poll");
    // The summary clears the live line and ends with a line end of its own.
    QVERIFY2(
        rig.consoleText().endsWith(
            "\r\x1b[Khalvern-record: 2 rows written to the buffer in 00:00:00; the record limit of 2 rows "
            "is reached\n"),
        qPrintable(rig.consoleText()));
    QCOMPARE(rig.consoleText().count('\n'), 1);
}

void TestRecorder::recordLimitEndsTheRun()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY(rig.make({"--port", "/dev/ttyS0", "--limit", "4"}, parts));
    state->input = meterLines(10);
    rig.fire("poll");
    QCOMPARE(rig.finishedWith, int(Recorder::Done));
    QCOMPARE(rowsIn(rig.output.data()), 4); // written at the end, without waiting for the flush
    QVERIFY2(rig.consoleText().contains("4 rows written to the buffer"), qPrintable(rig.consoleText()));
    QVERIFY(rig.consoleText().contains("record limit of 4 rows"));
}

void TestRecorder::silentLinkEndsAfterTimeout()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY(rig.make({"--port", "/dev/ttyS0", "--timeout", "5"}, parts));
    ManualWindowTimer *silence = rig.timers["silence"];
    QVERIFY(silence->isEnabled());
    QCOMPARE(silence->interval(), 5000);

    const int periods = silence->periodStarts();
    state->input = meterLines(2);
    rig.fire("poll");
    QCOMPARE(silence->periodStarts(), periods + 2); // each line starts the wait again
    state->input = QByteArray(20, 'x');             // bytes, but no meter line
    rig.fire("poll");
    QCOMPARE(silence->periodStarts(), periods + 2);
    silence->fire();
    QCOMPARE(rig.finishedWith, int(Recorder::LinkSilent));
    QCOMPARE(rowsIn(rig.output.data()), 2);
    QVERIFY(rig.consoleText().contains("no line from the meter for 5 s"));
}

void TestRecorder::vanishedPortKeepsEveryRow()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY(rig.make({"--port", "/dev/ttyS0"}, parts));
    state->input = meterLines(6);
    rig.fire("poll");
    state->readFails = true;
    rig.fire("poll");
    QCOMPARE(rig.finishedWith, int(Recorder::DeviceFailed));
    QCOMPARE(rowsIn(rig.output.data()), 6);
    QVERIFY2(rig.consoleText().contains("/dev/ttyS0 went away"), qPrintable(rig.consoleText()));
    QVERIFY(rig.consoleText().contains("6 rows written"));
}

// The real serial layer on a pseudo-terminal whose far end closes, as an unplugged adapter.
void TestRecorder::hungUpTerminalKeepsEveryRow()
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        QSKIP("no pseudo-terminals here");
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    RecorderRig rig;
    if (!rig.make({"--port", slave})) {
        ::close(master);
        QFAIL(qPrintable(rig.error));
    }
    const QByteArray lines = meterLines(4);
    QCOMPARE(::write(master, lines.constData(), size_t(lines.size())), qsizetype(lines.size()));
    QTRY_COMPARE((rig.fire("poll"), rig.recorder->rows()), 4);
    ::close(master);
    QTRY_VERIFY((rig.fire("poll"), rig.recorder->finished()));
    QCOMPARE(rig.finishedWith, int(Recorder::DeviceFailed));
    QCOMPARE(rowsIn(rig.output.data()), 4);
    QVERIFY2(rig.consoleText().contains(slave + " went away"), qPrintable(rig.consoleText()));
}

void TestRecorder::serialOpenFailureNamesTheCause_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << "missing"
                             << "does not exist";
    QTest::newRow("no permission") << "permission"
                                   << "dialout group";
    QTest::newRow("refused") << "file"
                             << "busy or refused";
}

void TestRecorder::serialOpenFailureNamesTheCause()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString device = dir.filePath(QStringLiteral("ttyUSB9"));
    if (kind != QLatin1String("missing")) {
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    if (kind == QLatin1String("permission")) {
        QFile::setPermissions(device, QFileDevice::Permissions());
        if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
            QSKIP("running with rights that open any file");
    }
    RecorderRig rig;
    QVERIFY(!rig.make({"--port", device}));
    QVERIFY2(rig.error.startsWith("cannot open " + device + ": "), qPrintable(rig.error));
    QFETCH(QString, cause);
    QVERIFY2(rig.error.contains(cause), qPrintable(rig.error));
}

void TestRecorder::unwritableOutputEndsWithItsOwnStatus()
{
    auto state = std::make_shared<FakePortState>();
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.makeSerialIo = [state] { return std::make_unique<FakeSerialPortIo>(state); };
    QVERIFY(rig.make({"--port", "/dev/ttyS0"}, parts));
    rig.output.close();
    rig.output.open(QIODevice::ReadOnly); // every write fails from here on
    state->input = meterLines(2);
    rig.fire("poll");
    rig.fire("flush");
    QCOMPARE(rig.finishedWith, int(Recorder::OutputFailed));
    QVERIFY2(rig.consoleText().contains("cannot write to the buffer"), qPrintable(rig.consoleText()));
}

void TestRecorder::reportReplayRecordsThroughTheCable()
{
    // Six lines of the recording as the cable packs them: each line, then a report without data.
    QByteArray reports;
    for (const QByteArray &report : UsbCableEncoder::reportsOfLines(fixture().mid(0x36, 14 * 6)))
        reports += LinkRecording::reportLine(report) + '\n';
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cable.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reports);
    }
    RecorderRig rig;
    QVERIFY2(rig.make({"--replay", path}), qPrintable(rig.error));
    QVERIFY(rig.link->replayCable());
    QTRY_VERIFY((rig.fire("replay"), rig.fire("end"), rig.recorder->finished()));
    QCOMPARE(rig.finishedWith, int(Recorder::Done));
    QCOMPARE(rig.recorder->rows(), 6);
    QCOMPARE(rowsIn(rig.output.data()), 6);
}

void TestRecorder::missingCableCannotBeOpened()
{
    RecorderLinkParts parts;
    {
        RecorderRig rig;
        parts.hidPlatform = std::make_shared<FakeHidPlatform>();
        QVERIFY(!rig.make({"--usb"}, parts));
        QVERIFY2(rig.error.contains("\"USB to Serial\": it is not plugged in"), qPrintable(rig.error));
    } // one HID controller at a time

    RecorderRig locked;
    auto hid = std::make_shared<FakeHidPlatform>();
    FakeHidDevice cable = SimulatedUsbCable::device();
    cable.readWrite = false;
    hid->plug(cable);
    parts.hidPlatform = hid;
    QVERIFY(!locked.make({"--usb"}, parts));
    QVERIFY2(locked.error.contains("udev rule"), qPrintable(locked.error));
}

void TestRecorder::pulledCableKeepsEveryRow()
{
    auto hid = std::make_shared<FakeHidPlatform>();
    SimulatedUsbCable cable(hid, std::make_unique<ManualWindowTimer>());
    RecorderRig rig;
    RecorderLinkParts parts;
    parts.hidPlatform = hid;
    QVERIFY2(rig.make({"--usb"}, parts), qPrintable(rig.error));
    QTRY_VERIFY(hid->readerAttached(SimulatedUsbCable::device().identity));
    for (int line = 0; line < 3; ++line) {
        cable.feed(fixture().mid(0x36 + 14 * line, 14));
        for (int report = 0; report < 3; ++report) // two with the line's bytes, one without
            cable.tick();
        QTRY_COMPARE(rig.recorder->rows(), line + 1);
    }
    cable.togglePlug();
    QTRY_VERIFY(rig.recorder->finished());
    QCOMPARE(rig.finishedWith, int(Recorder::DeviceFailed));
    QCOMPARE(rowsIn(rig.output.data()), 3);
    QVERIFY2(rig.consoleText().contains("went away (unplugged)"), qPrintable(rig.consoleText()));
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
