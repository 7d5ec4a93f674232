#include "meter/frame_builder.h"
#include "record/session_journal.h"
#include "session/session_rig.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Bits;

namespace {

// Writes what it is told into a list shared with other listeners.
struct EventLog : SessionListener {
    QStringList &events;
    QString prefix;
    EventLog(QStringList &list, const QString &name = {}) : events(list), prefix(name) {}

    void add(const QString &event) { events << prefix + event; }
    void frameBegins() override { add("begins"); }
    void frameEnds(bool decoded) override { add(decoded ? "ends" : "ends early"); }
    void limitTextChanged(LimitJudge::Field field, const QString &text) override
    {
        add((field == LimitJudge::High ? "high " : "low ") + text);
    }
    void frameArrived() override { add("arrived"); }
    void measurementKindChanged() override { add("kind"); }
    void judged(const Reading &reading, LimitJudge::Verdict) override { add("judged " + reading.JudgeText); }
    void barMaximumChanged(int maximum) override { add(QStringLiteral("bar maximum %1").arg(maximum)); }
    void barPosition(int position) override { add(QStringLiteral("bar %1").arg(position)); }
    void rowRecorded(const TableRow &row) override
    {
        add(QStringLiteral("recorded %1").arg(row.No.value_or(-1)));
    }
    void rowPosted(int row) override { add(QStringLiteral("posted %1").arg(row)); }
    void pageShown(int page) override { add(QStringLiteral("page %1").arg(page)); }
    void decodeFailed(const QString &message) override { add("failed " + message); }
};

const QString kVolts = frameHex('+', "1234", '1', Dc8 | Auto8, 0, 0, Volt11);            // 1.234 V
const QString kMillivolts = frameHex('+', "3500", '4', Dc8 | Auto8, 0, Milli10, Volt11); // 350.0 mV
const QString kBadPoint = frameHex('+', "5678", ':', Dc8, 0, 0, Volt11);

} // namespace

class TestMeterSession : public QObject {
    Q_OBJECT

private slots:
    void tellsEachFrameInTheDecodersOrder_data();
    void tellsEachFrameInTheDecodersOrder();
    void separatorNormalisationIsToldFirst();
    void everyListenerHearsInTheOrderAdded();
    void chartHasTheFramesAxisWhenTheVerdictIsTold();
    void withoutTableRowsGoToTheListenersAlone();
    void journalFollowsTheTable();
};

void TestMeterSession::tellsEachFrameInTheDecodersOrder_data()
{
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<QStringList>("events"); // of the last frame

    QTest::newRow("first frame") << QStringList{kVolts}
                                 << QStringList{"begins",        "arrived", "kind",       "judged pass",
                                                "bar maximum 4", "bar 1",   "recorded 1", "posted 0",
                                                "page 1",        "ends"};
    QTest::newRow("same kind again") << QStringList{kVolts, kVolts}
                                     << QStringList{"begins",     "arrived",  "judged pass", "bar 1",
                                                    "recorded 2", "posted 1", "page 1",      "ends"};
    QTest::newRow("new range") << QStringList{kVolts, kMillivolts}
                               << QStringList{"begins",          "arrived", "kind",       "judged pass",
                                              "bar maximum 400", "bar 350", "recorded 2", "posted 1",
                                              "page 1",          "ends"};
    // Regression: a frame that does not convert must still end, or the window's refresh stays held.
    QTest::newRow("does not convert")
        << QStringList{kVolts, kBadPoint}
        << QStringList{"begins", "arrived", "ends early", "failed 'A' is not a valid integer value"};
}

void TestMeterSession::tellsEachFrameInTheDecodersOrder()
{
    QFETCH(QStringList, frames);
    SessionRig rig(QLocale::c(), QTime(12, 0));
    QStringList events;
    EventLog log(events);
    rig.session.addListener(&log);
    for (const QString &frame : frames) {
        events.clear();
        rig.session.frame(frame);
    }
    QTEST(events, "events");
    QCOMPARE(rig.session.lastFrame(), frames.last());
}

void TestMeterSession::separatorNormalisationIsToldFirst()
{
    SessionRig rig(QLocale::c(), QTime(12, 0));
    rig.session.setLimit(LimitJudge::High, QStringLiteral("1.5"));
    rig.locale.setUserLocale(QLocale(QLocale::German));
    QStringList events;
    EventLog log(events);
    rig.session.addListener(&log);
    rig.session.frame(kVolts);
    QCOMPARE(events.mid(0, 3), (QStringList{"begins", "high 1,5", "arrived"}));
    QVERIFY(events.contains("judged pass"));
}

void TestMeterSession::everyListenerHearsInTheOrderAdded()
{
    SessionRig rig(QLocale::c(), QTime(12, 0));
    QStringList events;
    EventLog first(events, "a "), second(events, "b ");
    rig.session.addListener(&first);
    rig.session.addListener(&second);
    rig.session.frame(kVolts);
    QCOMPARE(events.size(), 20);
    for (int i = 0; i < events.size(); i += 2) {
        QVERIFY2(events[i].startsWith("a ") && events[i + 1].startsWith("b "), qPrintable(events.join(';')));
        QCOMPARE(events[i].mid(2), events[i + 1].mid(2));
    }
}

void TestMeterSession::chartHasTheFramesAxisWhenTheVerdictIsTold()
{
    struct AxisAtVerdict : SessionListener {
        const MeterSession &session;
        double maximum = 0;
        explicit AxisAtVerdict(const MeterSession &s) : session(s) {}
        void judged(const Reading &, LimitJudge::Verdict) override
        {
            maximum = session.chart().valueAxis.maximum;
        }
    };
    SessionRig rig(QLocale::c(), QTime(12, 0));
    QCOMPARE(rig.chart.valueAxis.maximum, 4000.0); // the start's full scale
    AxisAtVerdict probe(rig.session);
    rig.session.addListener(&probe);
    rig.session.frame(kMillivolts);
    QCOMPARE(probe.maximum, 400.0);
    QCOMPARE(rig.chart.valueAxis.minimum, -400.0);
}

void TestMeterSession::withoutTableRowsGoToTheListenersAlone()
{
    FixedLocaleService locale{QLocale::c()};
    MeterSession::Options options;
    options.keepTable = false;
    options.makeTimer = [](const QString &, int intervalMs, bool enabled) {
        return std::make_unique<ManualWindowTimer>(intervalMs, enabled);
    };
    MeterSession session(locale, std::move(options));
    QStringList events;
    EventLog log(events);
    session.addListener(&log);
    session.frame(kVolts);
    QCOMPARE(events, (QStringList{"begins", "arrived", "kind", "judged pass", "bar maximum 4", "bar 1",
                                  "recorded 1", "ends"}));
    QCOMPARE(session.log().RecordedRows(), 1);
}

void TestMeterSession::journalFollowsTheTable()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    SessionRig rig(QLocale::c(), QTime(12, 0), folder.path());
    const SessionJournal *journal = rig.session.journal();
    QVERIFY(journal && journal->isOpen());

    rig.session.frame(kVolts);
    const int oneRow = journal->pendingBytes();
    QVERIFY(oneRow > 0);
    rig.session.frame(kMillivolts);
    QCOMPARE(journal->pendingBytes() > oneRow, true);

    rig.session.markSaved(2);
    QCOMPARE(journal->pendingBytes(), 0);
    rig.session.frame(kVolts);
    QVERIFY(journal->pendingBytes() > 0);
    rig.session.recordNew();
    QCOMPARE(journal->pendingBytes(), 0);
    QCOMPARE(rig.table.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestMeterSession)
#include "tst_meter_session.moc"
