// Every kept fuzz input (seed corpora and the inputs of past findings)
// through the same drivers and checks as the fuzz targets.
#include "fuzz_drivers.h"

#include <QDir>
#include <QFile>
#include <QTest>

class TestFuzzReplay : public QObject {
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

namespace {

using Driver = QString (*)(const std::uint8_t *, std::size_t);

struct Target {
    const char *name;
    Driver driver;
};

const Target kTargets[] = {
    {"serial_stream", &FuzzDrivers::serialStream},
    {"usb_reports", &FuzzDrivers::usbReports},
    {"hid_report_descriptor", &FuzzDrivers::hidReportDescriptor},
    {"limit_texts", &FuzzDrivers::limitAndPageSizeTexts},
    {"table_text", &FuzzDrivers::tableText},
    {"xml_packet", &FuzzDrivers::xmlPacket},
    {"replay_file", &FuzzDrivers::replayFile},
};

} // namespace

void TestFuzzReplay::replay_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("path");
    const QDir root(QStringLiteral(HALVERN_FUZZ_INPUTS));
    for (int t = 0; t < int(std::size(kTargets)); ++t) {
        int found = 0;
        for (const char *kind : {"corpus", "regressions"}) {
            const QDir dir(root.filePath(QStringLiteral("%1/%2").arg(kind, kTargets[t].name)));
            for (const QString &file : dir.entryList(QDir::Files, QDir::Name)) {
                const QString tag = QStringLiteral("%1/%2/%3").arg(kTargets[t].name, kind, file);
                QTest::newRow(qPrintable(tag)) << t << dir.filePath(file);
                ++found;
            }
        }
        QVERIFY2(found > 0, kTargets[t].name); // a target without a seed corpus
    }
}

void TestFuzzReplay::replay()
{
    QFETCH(int, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const QString failure = kTargets[target].driver(reinterpret_cast<const std::uint8_t *>(input.constData()),
                                                    std::size_t(input.size()));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
