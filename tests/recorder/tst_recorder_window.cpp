#include "app/window_rig.h"
#include "recorder_rig.h"

#include "record/measurement_table.h"
#include "record/table_text_file.h"
#include "record/time_formats.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fixture(int times)
{
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().repeated(times);
}

// One row without its time of day, which each side takes from its own clock.
QStringList untimed(const MeasurementTable &table, int row)
{
    QStringList fields;
    for (int f = 0; f < MeasurementTable::FieldCount; ++f)
        if (f != MeasurementTable::Time)
            fields << table.text(row, f) +
                          (table.field(row, f).isNull() ? QStringLiteral("<null>") : QString());
    return fields;
}

} // namespace

// The same recording through the window and through the recorder gives the
// same rows, and the recorder's file loads in the window as those rows.
class TestRecorderWindow : public QObject {
    Q_OBJECT

private slots:
    void sameRowsAsTheWindow_data();
    void sameRowsAsTheWindow();
};

void TestRecorderWindow::sameRowsAsTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments"); // besides --replay
    QTest::addColumn<int>("copies");            // of the recording, one after the other
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<QString>("interval"); // empty: direct recording
    QTest::addColumn<QString>("high");     // empty: as the window starts
    QTest::addColumn<QString>("low");
    QTest::addColumn<bool>("limit1000"); // the menu's 1000

    QTest::newRow("direct, repeat on") << QStringList{} << 1 << true << ""
                                       << ""
                                       << "" << false;
    QTest::newRow("direct, repeat off") << QStringList{"--no-repeat"} << 1 << false << ""
                                        << ""
                                        << "" << false;
    QTest::newRow("sampling every second") << QStringList{"--interval", "1"} << 1 << true << "1"
                                           << ""
                                           << "" << false;
    QTest::newRow("sampling, repeat off") << QStringList{"--interval=1", "--no-repeat"} << 1 << false << "1"
                                          << ""
                                          << "" << false;
    QTest::newRow("limits, a comma in one")
        << QStringList{"--high", "300", "--low", "-100,5"} << 1 << true << ""
        << "300"
        << "-100,5" << false;
    QTest::newRow("record limit 1000") << QStringList{"--limit", "1000"} << 3 << true << ""
                                       << ""
                                       << "" << true;
}

void TestRecorderWindow::sameRowsAsTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, copies);
    QFETCH(bool, repeat);
    QFETCH(QString, interval);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(bool, limit1000);

    const QByteArray bytes = fixture(copies);
    QVERIFY(!bytes.isEmpty());
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("session.bin"));
    {
        QFile file(recording);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // The recorder, replaying at the wire's pace: 24 bytes a 100 ms step.
    RecorderRig rig;
    QVERIFY2(rig.make(QStringList{"--replay", recording} + arguments), qPrintable(rig.error));
    const int steps = int(bytes.size() / 24) + 20;
    for (int step = 0; step < steps && !rig.recorder->finished(); ++step)
        rig.replayStep(step);
    QCOMPARE(rig.finishedWith, int(Recorder::Done));
    const QString recorded = dir.filePath(QStringLiteral("recorded.xls"));
    {
        QFile file(recorded);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rig.output.data());
    }

    // The window, given the same chunks at the same times.
    Window w;
    TFCOMM &win = *w.w;
    win.control<QCheckBox>("RepeatSet")->setChecked(repeat);
    if (!interval.isEmpty()) {
        win.control<QCheckBox>("RecordSI")->setChecked(true);
        win.control<QLineEdit>("RecordSITime")->setText(interval);
    }
    if (!high.isEmpty()) {
        win.control<QLineEdit>("T1HI")->setText(high);
        w.timers.value("Timer1")->fire();
    }
    if (!low.isEmpty()) {
        win.control<QLineEdit>("T1LO")->setText(low);
        w.timers.value("Timer4")->fire();
    }
    if (limit1000)
        win.control<QAction>("N10001")->trigger();
    const auto receive = win.serialPort().OnReceiveData();
    for (int step = 0; step * 24 < bytes.size(); ++step) {
        const QByteArray chunk = bytes.mid(step * 24, 24);
        receive(&win.serialPort(), chunk.constData(), int(chunk.size()));
        if (step % 10 == 9)
            w.timers.value("Timer3")->fire();
    }
    const int windowRows = win.session().table().rowCount();
    QVERIFY(windowRows > 10);
    QCOMPARE(rig.recorder->rows(), windowRows);

    // The window's "Save as" writes the same first line.
    w.dialogs.saveNames << dir.filePath(QStringLiteral("saved.xls"));
    win.saveasClick();
    QFile saved(dir.filePath(QStringLiteral("saved.xls")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(rig.output.data().left(rig.output.data().indexOf('\n') + 1), saved.readLine());

    // Loaded in the window, the recorder's rows follow the window's own, equal but for the time.
    w.dialogs.openNames << recorded;
    win.SpeedButton2Click();
    QVERIFY2(w.dialogs.errors.isEmpty(), qPrintable(w.dialogs.errors.join('\n')));
    QCOMPARE(win.session().table().rowCount(), 2 * windowRows);
    for (int r = 0; r < windowRows; ++r) {
        QCOMPARE(untimed(win.session().table(), windowRows + r), untimed(win.session().table(), r));
        QCOMPARE(win.session().table().text(windowRows + r, MeasurementTable::Time),
                 interval.isEmpty() ? directTimeText(RecorderRig::rowTime(), QLocale::c())
                                    : longTimeText(RecorderRig::rowTime(), QLocale::c()));
    }
}

QTEST_MAIN(TestRecorderWindow)
#include "tst_recorder_window.moc"
