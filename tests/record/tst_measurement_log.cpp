#include "record_rig.h"

#include <QTest>

class TestMeasurementLog : public QObject {
    Q_OBJECT
private slots:
    void directRecordingFillsARow();
    void repeatRuleLeavesNumberingGaps();
    void verdictIsNotPartOfTheKeyButRangeModeIs();
    void newKeepsLastRecordKey();
    void newOnEmptyTableResetsCountersAndChart();
    void recordLimitFreezesRecordNo();
    void lowerLimitStopsAtOnce();
    void timedSamplingRecordsOneRowPerTick();
    void timedSamplingIgnoresTicksWithoutFrames();
    void switchingRoadsTakesEffectAtOnce();
    void intervalKeyFilter_data();
    void intervalKeyFilter();
    void intervalChange_data();
    void intervalChange();
    void timeFormats_data();
    void timeFormats();
    void barPosition_data();
    void barPosition();
};

void TestMeasurementLog::directRecordingFillsARow()
{
    RecordRig rig;
    int posted = -1;
    rig.log.onRowPosted = [&](int row) { posted = row; };
    rig.volts("1234", '1');

    QCOMPARE(rig.table.rowCount(), 1);
    QCOMPARE(posted, 0);
    QCOMPARE(rig.no(0), 1);
    QCOMPARE(rig.cell(0, "time"), QStringLiteral("21:05:07"));
    QCOMPARE(rig.cell(0, "DC/AC"), QStringLiteral("DC"));
    QCOMPARE(rig.cell(0, "value"), QStringLiteral("1.234"));
    QCOMPARE(rig.cell(0, "unit"), QStringLiteral("V"));
    QCOMPARE(rig.cell(0, "Auto"), QStringLiteral("pass"));
    QVERIFY(rig.table.field(0, MeasurementTable::NVal).isNull());
    QCOMPARE(rig.log.RecordNo(), 2);
    QCOMPARE(rig.log.RecordedRows(), 1);
    QCOMPARE(rig.log.LastRecordKey(), QStringLiteral("1.234DCVAUTO"));
    // The placeholder sits at x = 0, the first reading at x = 1.
    QCOMPARE(rig.chart.points.size(), std::size_t(2));
    QCOMPARE(rig.chart.points[1], rig.decoder.reading().Number);
    QCOMPARE(rig.shownPage, 1);
    QVERIFY(!rig.timer3.isEnabled());
}

void TestMeasurementLog::repeatRuleLeavesNumberingGaps()
{
    RecordRig rig;
    rig.log.setRepeatSet(false);
    for (int i = 0; i < 3; ++i)
        rig.volts("1234");
    rig.volts("1235");

    QCOMPARE(rig.table.rowCount(), 2);
    QCOMPARE(rig.no(0), 1);
    QCOMPARE(rig.no(1), 4);
    QCOMPARE(rig.log.RecordNo(), 5);
    QCOMPARE(rig.log.RecordedRows(), 2);

    // With Repeat checked, equal readings are all recorded.
    rig.log.setRepeatSet(true);
    rig.volts("1235");
    QCOMPARE(rig.table.rowCount(), 3);
    QCOMPARE(rig.no(2), 5);
    QVERIFY(rig.table.field(2, MeasurementTable::NVal).isNull());
}

void TestMeasurementLog::verdictIsNotPartOfTheKeyButRangeModeIs()
{
    RecordRig rig;
    rig.log.setRepeatSet(false);
    rig.volts("1234");
    QCOMPARE(rig.cell(0, "auto"), QStringLiteral("pass"));

    // A new high limit turns the verdict; the reading is still a repeat.
    rig.limits.T1HIChange(QStringLiteral("100"));
    rig.volts("1234");
    QCOMPARE(rig.decoder.reading().JudgeText, QStringLiteral("Fail"));
    QCOMPARE(rig.table.rowCount(), 1);

    rig.volts("1234", '0', false);
    QCOMPARE(rig.table.rowCount(), 2);
    QCOMPARE(rig.no(1), 3);
    QCOMPARE(rig.cell(1, "AUTO"), QStringLiteral("Fail"));
}

void TestMeasurementLog::newKeepsLastRecordKey()
{
    RecordRig rig;
    rig.log.setRepeatSet(false);
    rig.volts("1234");
    rig.volts("2345");
    rig.log.RecordNewClick();
    QCOMPARE(rig.table.rowCount(), 0);
    QCOMPARE(rig.log.RecordNo(), 1);
    QCOMPARE(rig.log.RecordedRows(), 0);
    QCOMPARE(rig.log.LastRecordKey(), QStringLiteral("2345DCVAUTO"));

    rig.volts("2345"); // equal to the last row before New
    QCOMPARE(rig.table.rowCount(), 0);
    QCOMPARE(rig.log.RecordNo(), 2);
    rig.volts("1234");
    QCOMPARE(rig.table.rowCount(), 1);
    QCOMPARE(rig.no(0), 2);
    // New removed the placeholder: the first reading after it sits at x = 0.
    QCOMPARE(rig.chart.points.size(), std::size_t(1));
}

void TestMeasurementLog::newOnEmptyTableResetsCountersAndChart()
{
    RecordRig rig;
    rig.log.setRepeatSet(false);
    rig.volts("1234");
    rig.volts("1234"); // a repeat: RecordNo 3, one row
    rig.log.RecordNewClick();
    rig.log.RecordNewClick();
    QCOMPARE(rig.log.RecordNo(), 1);
    QCOMPARE(rig.log.RecordedRows(), 0);
    QVERIFY(rig.chart.points.empty());
    QCOMPARE(rig.shownPage, 1);
}

void TestMeasurementLog::recordLimitFreezesRecordNo()
{
    RecordRig rig;
    QCOMPARE(rig.log.MaxRecords(), 10000);
    QCOMPARE(QLatin1String(MeasurementLog::RecordLimits[5].caption), QLatin1String("limitless"));
    QCOMPARE(MeasurementLog::RecordLimits[5].maxRecords, 10000000);

    rig.log.setMaxRecords(MeasurementLog::RecordLimits[0].maxRecords); // "1000"
    for (int i = 0; i < 1000; ++i)
        rig.volts("1234");
    QCOMPARE(rig.table.rowCount(), 1000);
    QCOMPARE(rig.log.RecordNo(), 1001);

    rig.volts("1234");
    rig.volts("2222");
    QCOMPARE(rig.table.rowCount(), 1000);
    QCOMPARE(rig.log.RecordNo(), 1001);

    rig.log.setMaxRecords(MeasurementLog::RecordLimits[1].maxRecords); // "5000"
    rig.volts("1234");
    QCOMPARE(rig.table.rowCount(), 1001);
    QCOMPARE(rig.no(1000), 1001);
}

void TestMeasurementLog::lowerLimitStopsAtOnce()
{
    RecordRig rig;
    for (int i = 0; i < 5; ++i)
        rig.volts("1234");
    rig.log.setMaxRecords(3);
    rig.volts("1234");
    QCOMPARE(rig.table.rowCount(), 5);
    QCOMPARE(rig.log.RecordedRows(), 5);
    QCOMPARE(rig.log.RecordNo(), 6);

    // The timed road stops as well and keeps the frame pending.
    rig.log.setRecordSI(true);
    rig.volts("1234");
    rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 5);
    QVERIFY(rig.decoder.newReading());
}

void TestMeasurementLog::timedSamplingRecordsOneRowPerTick()
{
    RecordRig rig;
    rig.log.setRecordSI(true);
    rig.log.RecordSITimeChange(QStringLiteral("2"));
    QCOMPARE(rig.timer3.interval(), 2000);

    // Frames every half second: the first arms the timer, later ones must
    // not restart its period.
    rig.volts("1000");
    QVERIFY(rig.timer3.isEnabled());
    const int starts = rig.timer3.periodStarts();
    rig.volts("1001");
    rig.volts("1002");
    rig.volts("1003");
    QCOMPARE(rig.timer3.periodStarts(), starts);
    QCOMPARE(rig.table.rowCount(), 0);

    rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 1);
    QCOMPARE(rig.cell(0, "value"), QStringLiteral("1003"));
    QCOMPARE(rig.no(0), 1);
    QVERIFY(!rig.decoder.newReading());

    for (const char *digits : {"1004", "1005", "1006", "1007"})
        rig.volts(digits);
    rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 2);
    QCOMPARE(rig.cell(1, "value"), QStringLiteral("1007"));
    QCOMPARE(rig.no(1), 2); // one number per tick, not per frame
    QCOMPARE(rig.chart.points.size(), std::size_t(3));
}

void TestMeasurementLog::timedSamplingIgnoresTicksWithoutFrames()
{
    RecordRig rig;
    rig.log.setRecordSI(true);
    rig.log.setRepeatSet(false);
    rig.volts("1000");
    rig.timer3.fire();
    rig.timer3.fire(); // no frame since the last tick
    QCOMPARE(rig.table.rowCount(), 1);
    QCOMPARE(rig.log.RecordNo(), 2);

    rig.volts("1000"); // a repeat uses a number but leaves no row
    rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 1);
    QCOMPARE(rig.log.RecordNo(), 3);
    QVERIFY(!rig.decoder.newReading());
}

void TestMeasurementLog::switchingRoadsTakesEffectAtOnce()
{
    RecordRig rig;
    rig.log.setRecordSI(true);
    rig.volts("1000");
    QVERIFY(rig.timer3.isEnabled());
    rig.log.INDataToTable(); // timed road: the direct call records nothing
    QCOMPARE(rig.table.rowCount(), 0);

    // Back to direct: a pending tick clears the flag without recording.
    rig.log.setRecordSI(false);
    rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 0);
    QVERIFY(!rig.decoder.newReading());
    QCOMPARE(rig.log.RecordNo(), 1);
    rig.volts("1000");
    QVERIFY(!rig.timer3.isEnabled());
    QCOMPARE(rig.table.rowCount(), 1);
}

void TestMeasurementLog::intervalKeyFilter_data()
{
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("digit 0") << QChar('0') << true;
    QTest::newRow("digit 9") << QChar('9') << true;
    QTest::newRow("backspace") << QChar(8) << true;
    QTest::newRow("letter") << QChar('a') << false;
    QTest::newRow("minus") << QChar('-') << false;
    QTest::newRow("point") << QChar('.') << false;
    QTest::newRow("blank") << QChar(' ') << false;
}

void TestMeasurementLog::intervalKeyFilter()
{
    QFETCH(QChar, key);
    QFETCH(bool, accepted);
    QCOMPARE(MeasurementLog::RecordSITimeKeyPress(key), accepted);
}

void TestMeasurementLog::intervalChange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("corrected");
    QTest::newRow("3 seconds") << "3" << 3000 << "";
    QTest::newRow("0 becomes 1") << "0" << 1000 << "1";
    QTest::newRow("00 becomes 1") << "00" << 1000 << "1";
    QTest::newRow("emptied keeps the period") << "" << 5000 << "";
    QTest::newRow("pasted letters keep the period") << "abc" << 5000 << "";
    QTest::newRow("pasted negative keeps the period") << "-2" << 5000 << "";
    QTest::newRow("beyond the timer's range is its longest period") << "9999999" << 2147483000 << "";
    QTest::newRow("beyond an integer keeps the period") << "99999999999" << 5000 << "";
}

void TestMeasurementLog::intervalChange()
{
    QFETCH(QString, text);
    QFETCH(int, interval);
    QFETCH(QString, corrected);
    RecordRig rig;
    rig.log.RecordSITimeChange(QStringLiteral("5"));
    QString written;
    rig.log.onIntervalTextCorrected = [&](const QString &t) { written = t; };
    rig.log.RecordSITimeChange(text);
    QCOMPARE(rig.timer3.interval(), interval);
    QCOMPARE(written, corrected);
}

void TestMeasurementLog::timeFormats_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("timed");
    QTest::addColumn<QString>("time");
    QTest::newRow("direct, C") << QLocale::c() << false << "21:05:07";
    QTest::newRow("direct, German") << QLocale(QLocale::German, QLocale::Germany) << false << "21:05:07";
    QTest::newRow("direct, 12-hour US stays 24-hour")
        << QLocale(QLocale::English, QLocale::UnitedStates) << false << "21:05:07";
    QTest::newRow("direct, Finnish separator")
        << QLocale(QLocale::Finnish, QLocale::Finland) << false << "21.05.07";
    QTest::newRow("timed, German") << QLocale(QLocale::German, QLocale::Germany) << true << "21:05:07";
    QTest::newRow("timed, 12-hour US")
        << QLocale(QLocale::English, QLocale::UnitedStates) << true << "9:05:07\u202fPM";
}

void TestMeasurementLog::timeFormats()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, timed);
    QFETCH(QString, time);
    RecordRig rig;
    rig.locale.setUserLocale(locale);
    rig.log.setRecordSI(timed);
    rig.volts("1234");
    if (timed)
        rig.timer3.fire();
    QCOMPARE(rig.table.rowCount(), 1);
    // Some locale data joins the day half with a narrow blank.
    QCOMPARE(rig.cell(0, "TIME").replace(QChar(0x202f), QChar(' ')), time.replace(QChar(0x202f), QChar(' ')));
}

void TestMeasurementLog::barPosition_data()
{
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("position");
    QTest::newRow("positive truncated") << 12.9 << 12;
    QTest::newRow("negative: magnitude") << -3.7 << 3;
    QTest::newRow("beyond an integer: full") << 1e300 << std::numeric_limits<int>::max();
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestMeasurementLog::barPosition()
{
    QFETCH(double, number);
    QFETCH(int, position);
    QCOMPARE(MeasurementLog::barPositionFor(number), position);
}

QTEST_GUILESS_MAIN(TestMeasurementLog)
#include "tst_measurement_log.moc"
