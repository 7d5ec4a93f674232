#include "link/hid/hid_test_support.h"
#include "link/replay/link_capture.h"
#include "link/replay/link_recording.h"
#include "link/replay/replay_serial_port.h"
#include "link/serial/serial_fakes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Kind = LinkRecording::Kind;

} // namespace

class TestLinkReplay : public QObject {
    Q_OBJECT

private slots:
    void recordingKind_data();
    void recordingKind();
    void loadRefusesWhatIsNoBoundedFile_data();
    void loadRefusesWhatIsNoBoundedFile();
    void serialReplayAtWirePaceOnce();
    void captureFormats_data();
    void captureFormats();
    void capturedReportsReplayAsRead();
    void captureFileCannotBeCreated();
    void captureRefusesLinksAndOtherFiles_data();
    void captureRefusesLinksAndOtherFiles();
    void captureWriteFailureToldOnce();
};

void TestLinkReplay::recordingKind_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<QByteArray>>("reports");
    const QList<QByteArray> two{QByteArray::fromHex("00F12B"), QByteArray::fromHex("00f0")};
    QTest::newRow("report lines") << QByteArray("00 F1 2B\n00 F0\n") << int(Kind::Reports) << two;
    QTest::newRow("comments, blanks, CR LF, lower case")
        << QByteArray("# cable\r\n\r\n  00 f1 2b \r\n#00 zz\n00\tF0") << int(Kind::Reports) << two;
    QTest::newRow("empty file") << QByteArray() << int(Kind::Reports) << QList<QByteArray>{};
    QTest::newRow("meter bytes") << QByteArray("+0123 1\x10\x00\x00\x80\x00\r\n", 14)
                                 << int(Kind::SerialBytes) << QList<QByteArray>{};
    QTest::newRow("digits without blanks")
        << QByteArray("00F12B\n") << int(Kind::SerialBytes) << QList<QByteArray>{};
    QTest::newRow("one odd line") << QByteArray("00 F1 2B\n00 F\n") << int(Kind::SerialBytes)
                                  << QList<QByteArray>{};
    QTest::newRow("three digits") << QByteArray("00 F12\n") << int(Kind::SerialBytes) << QList<QByteArray>{};
    const QByteArray longest = QByteArray(LinkRecording::MaxReportBytes, '\x5a');
    QTest::newRow("longest report") << longest.toHex(' ') + "\n"
                                    << int(Kind::Reports) << QList<QByteArray>{longest};
    QTest::newRow("a line longer than any report")
        << (longest + 'Z').toHex(' ') << int(Kind::SerialBytes) << QList<QByteArray>{};
}

void TestLinkReplay::loadRefusesWhatIsNoBoundedFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    const QString tooLarge = QStringLiteral("The file is larger than 128 MiB, the most a replay reads.");
    QTest::newRow("missing") << "missing"
                             << "The file does not exist.";
    QTest::newRow("folder") << "folder"
                            << "The name is a folder, not a file.";
    // Before: read until memory ran out.
    QTest::newRow("endless device") << "/dev/zero"
                                    << "The name is a device or a pipe, not a file.";
    // Before: waited for ever for a writer.
    QTest::newRow("pipe without writer") << "fifo"
                                         << "The name is a device or a pipe, not a file.";
    // Before: read all of it, twice over.
    QTest::newRow("sparse file past the limit") << "sparse" << tooLarge;
}

// Files from outside: regular files of bounded size only, refused before anything is read.
void TestLinkReplay::loadRefusesWhatIsNoBoundedFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = kind.startsWith('/') ? kind : dir.filePath(kind);
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(kind));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    } else if (kind == QLatin1String("sparse")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(LinkRecording::MaxFileBytes + 1));
    }
    LinkRecording recording;
    QString error;
    QVERIFY(!LinkRecording::load(path, recording, error));
    QCOMPARE(error, path + QStringLiteral(": ") + reason);
}

void TestLinkReplay::recordingKind()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    const LinkRecording recording = LinkRecording::parse(content);
    QCOMPARE(int(recording.kind), kind);
    QTEST(recording.reports.toList(), "reports");
    if (recording.kind == Kind::SerialBytes)
        QCOMPARE(recording.serialBytes, content); // every byte, whatever it is
}

void TestLinkReplay::serialReplayAtWirePaceOnce()
{
    QByteArray bytes;
    for (int i = 0; i < 500; ++i)
        bytes += char(i);
    auto timer = std::make_unique<ManualWindowTimer>();
    ManualWindowTimer *ticks = timer.get();
    ReplaySerialPort port(bytes, std::move(timer));
    QVERIFY(!ticks->isEnabled()); // nothing plays before the program opens the port
    QVERIFY(port.open(QStringLiteral("serial replay")));
    QCOMPARE(ticks->interval(), ReplaySerialPort::TickMs);

    char buffer[1024];
    for (int i = 0; i < 1000 / ReplaySerialPort::TickMs; ++i)
        ticks->fire();
    QCOMPARE(port.read(buffer, sizeof buffer), 240); // one second at 2400 baud
    QCOMPARE(QByteArray(buffer, 240), bytes.left(240));

    port.close(); // what comes while closed is lost
    for (int i = 0; i < 10; ++i)
        ticks->fire();
    QVERIFY(port.open(QStringLiteral("serial replay")));
    for (int i = 0; i < 100; ++i)
        ticks->fire();
    QVERIFY(port.done());
    QVERIFY(!ticks->isEnabled());
    QCOMPARE(port.read(buffer, sizeof buffer), 500 - 360);
    QCOMPARE(QByteArray(buffer, 140), bytes.mid(360));
}

void TestLinkReplay::captureFormats_data()
{
    QTest::addColumn<bool>("serialFirst");
    QTest::newRow("serial first") << true;
    QTest::newRow("reports first") << false;
}

// The first link that delivers sets the format; the other's traffic is left out.
void TestLinkReplay::captureFormats()
{
    QFETCH(bool, serialFirst);
    QTemporaryDir dir;
    const QString path = dir.filePath("session");
    const QByteArray serial("+0123 1\x10\x00\x00\x80\x00\r\n", 14);
    const QByteArray report = QByteArray::fromHex("00F22B30000000000000");
    QString error;
    {
        LinkCapture capture;
        QVERIFY(capture.open(path, error));
        QVERIFY(!capture.hasKind());
        for (int round = 0; round < 2; ++round) {
            if (serialFirst)
                capture.serialBytes(serial.constData(), int(serial.size()));
            capture.inputReport(reinterpret_cast<const quint8 *>(report.constData()), int(report.size()));
            if (!serialFirst)
                capture.serialBytes(serial.constData(), int(serial.size()));
        }
        QCOMPARE(capture.kind(), serialFirst ? Kind::SerialBytes : Kind::Reports);
    }
    LinkRecording replay;
    QVERIFY(LinkRecording::load(path, replay, error));
    QCOMPARE(replay.kind, serialFirst ? Kind::SerialBytes : Kind::Reports);
    if (serialFirst)
        QCOMPARE(replay.serialBytes, serial + serial);
    else
        QCOMPARE(replay.reports.toList(), (QList<QByteArray>{report, report}));
}

// What the readers read through the capturing layer comes back from the file as it was read.
void TestLinkReplay::capturedReportsReplayAsRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cable.txt");
    auto capture = std::make_shared<LinkCapture>();
    QString error;
    QVERIFY(capture->open(path, error));
    auto fake = std::make_shared<FakeHidPlatform>();
    fake->plug(fakeDevice("cable", "USB to Serial"));
    QList<QByteArray> sent;
    for (int i = 0; i < 50; ++i)
        sent << QByteArray::fromHex("00F1") + char(i) + QByteArray(6, '\0');
    sent << QByteArray(); // a read that completes without a report is no report
    {
        THidDeviceController HidCtl(nullptr, std::make_shared<CapturingHidPlatform>(fake, capture));
        QList<QByteArray> handled;
        const auto onData =
            THidDataEvent::fromCallable([&](THidDevice *, quint8 id, const quint8 *data, quint16 size) {
                handled << QByteArray(1, char(id)) + QByteArray(reinterpret_cast<const char *>(data), size);
            });
        THidDevice *device = nullptr;
        QVERIFY(HidCtl.ClaimByIndex(device, 0));
        device->SetDataHandler(onData);
        for (const QByteArray &report : sent)
            fake->queueReport("cable", report);
        QVERIFY(waitUntil([&] { return handled.size() == 50; }));
        delete device;
    }
    LinkRecording replay;
    QVERIFY(LinkRecording::load(path, replay, error));
    QCOMPARE(replay.kind, Kind::Reports);
    QCOMPARE(replay.reports.toList(), sent.mid(0, 50));
}

void TestLinkReplay::captureFileCannotBeCreated()
{
    LinkCapture capture;
    QString error;
    QVERIFY(!capture.open(QStringLiteral("/nonexistent-folder/x"), error));
    QVERIFY(error.startsWith(QStringLiteral("/nonexistent-folder/x: ")));
    capture.serialBytes("x", 1); // nothing to write to, nothing happens
    QVERIFY(!capture.hasKind());
}

void TestLinkReplay::captureRefusesLinksAndOtherFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    const QString link = QStringLiteral("The name is a symbolic link; a capture does not follow it.");
    const QString notFile = QStringLiteral("The name is a device or a pipe, not a file.");
    // Before: the link's target was emptied and written.
    QTest::newRow("link to a file") << "link" << link;
    // Before: the file was created wherever the link pointed.
    QTest::newRow("dangling link") << "dangling" << link;
    QTest::newRow("pipe without reader") << "fifo" << notFile;
    QTest::newRow("device") << "/dev/null" << notFile;
}

void TestLinkReplay::captureRefusesLinksAndOtherFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString target = dir.filePath("target");
    const QString path = kind.startsWith('/') ? kind : dir.filePath(kind);
    if (kind == QLatin1String("link")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        file.close();
        QVERIFY(QFile::link(target, path));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(target, path));
    } else if (kind == QLatin1String("fifo")) {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    }
    LinkCapture capture;
    QString error;
    QVERIFY(!capture.open(path, error));
    QCOMPARE(error, path + QStringLiteral(": ") + reason);
    QVERIFY(!capture.isOpen());
    QFile file(target);
    if (kind == QLatin1String("link")) {
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("kept"));
    } else {
        QVERIFY(!file.exists());
    }
}

// Before: a full disk left a short capture without a word. The user is told once; what waits in memory goes
// out once there is room, and past the bound the capture ends.
void TestLinkReplay::captureWriteFailureToldOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("session");
    qint64 room = 10; // bytes the disk still takes
    const auto writer = [&room](int fd, const char *data, qint64 size) -> qint64 {
        if (room <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const qint64 wrote = ::write(fd, data, size_t(qMin(size, room)));
        room -= wrote;
        return wrote;
    };
    LinkCapture capture(writer);
    QStringList told;
    capture.setOnFailure([&told](const QString &message) { told << message; });
    QString error;
    QVERIFY(capture.open(path, error));
    QByteArray sent;
    const auto send = [&](const QByteArray &bytes) {
        capture.serialBytes(bytes.constData(), int(bytes.size()));
        sent += bytes;
    };
    send("0123456789abcdef");
    send("ghij");
    QCOMPARE(capture.pendingBytes(), 10);
    QCOMPARE(told, QStringList{QStringLiteral(
                                   "Cannot write the capture %1: No space left on device. What could not be "
                                   "written waits in memory (up to 1 MiB) and goes to the file once "
                                   "there is room; beyond that the capture ends there.")
                                   .arg(path)});
    room = 1 << 30; // room again
    send("k");
    QCOMPARE(capture.pendingBytes(), 0);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), sent);

    room = 0;
    const QByteArray block(LinkCapture::MaxPendingBytes / 2, 'x');
    for (int i = 0; i < 3; ++i)
        capture.serialBytes(block.constData(), int(block.size()));
    QCOMPARE(capture.pendingBytes(), 0); // past the bound: ended, memory given back
    room = 1 << 30;
    capture.serialBytes("y", 1);
    QCOMPARE(file.size(), sent.size()); // nothing after the end
    QCOMPARE(told.size(), 1);
}

QTEST_GUILESS_MAIN(TestLinkReplay)
#include "tst_link_replay.moc"
