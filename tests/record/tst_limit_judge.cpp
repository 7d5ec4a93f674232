#include "meter/locale_service.h"
#include "meter/reading.h"
#include "record/limit_judge.h"
#include "record/window_timer.h"
#include "ui/verdict_colour.h"

#include <QTest>

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

FixedLocaleService cWithSystem(const QLocale &system)
{
    FixedLocaleService locale(QLocale::c());
    locale.setSystemLocale(system);
    return locale;
}

struct JudgeRig {
    FixedLocaleService locale;
    ManualWindowTimer timer1, timer4;
    LimitJudge judge{locale, timer1, timer4};
    Reading reading;
    QStringList written; // texts the judge wrote back into the edits

    // The judge takes the system separator once, when it is made (start-up).
    explicit JudgeRig(const QLocale &system = QLocale::c()) : locale(cWithSystem(system))
    {
        judge.onFieldText = [this](LimitJudge::Field f, const QString &text) {
            written << (f == LimitJudge::High ? QStringLiteral("high ") : QStringLiteral("low ")) + text;
        };
    }
    LimitJudge::Verdict judgeValue(const QString &value)
    {
        reading.ValueText = value;
        judge.judge(reading);
        return judge.verdict();
    }
};

} // namespace

class TestLimitJudge : public QObject {
    Q_OBJECT
private slots:
    void startState();
    void verdict_data();
    void verdict();
    void limitNotANumberSuspendsJudging();
    void changedLimitJudgesTheNextFrame();
    void delayedCheck_data();
    void delayedCheck();
    void everyChangeRestartsTheDelay();
    void separatorSwitchWhileRunning();
    void keyFilter_data();
    void keyFilter();
};

void TestLimitJudge::startState()
{
    JudgeRig rig;
    QCOMPARE(rig.judge.text(LimitJudge::High), QStringLiteral("4000"));
    QCOMPARE(rig.judge.text(LimitJudge::Low), QStringLiteral("-4000"));
    QCOMPARE(rig.judge.valueText(), QStringLiteral("0"));
    QCOMPARE(rig.judge.verdict(), LimitJudge::Verdict::None);
    QCOMPARE(rig.judge.judgeCaption(), QString());
    QVERIFY(!verdictColour(LimitJudge::Verdict::None).isValid());
    QCOMPARE(rig.timer1.interval(), 500);
    QVERIFY(!rig.timer1.isEnabled());
}

void TestLimitJudge::verdict_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("pass");

    const QLocale c = QLocale::c();
    // clang-format off
    QTest::newRow("start limits, upper edge")   << c << "4000" << "-4000" << "4000"   << true;
    QTest::newRow("start limits, lower edge")   << c << "4000" << "-4000" << "-4000"  << true;
    QTest::newRow("start limits, 5.999")        << c << "4000" << "-4000" << "5.999"  << true;
    QTest::newRow("start limits, 4001")         << c << "4000" << "-4000" << "4001"   << false;
    QTest::newRow("start limits, 5999")         << c << "4000" << "-4000" << "5999"   << false;
    QTest::newRow("overload fails")             << c << "4000" << "-4000" << "0.L"    << false;
    QTest::newRow("overload without point")     << c << "4000" << "-4000" << "0L"     << false;
    QTest::newRow("inclusive high 1.500")       << c << "1.5"  << "1.0"   << "1.500"  << true;
    QTest::newRow("inclusive low 1.000")        << c << "1.5"  << "1.0"   << "1.000"  << true;
    QTest::newRow("just above 1.501")           << c << "1.5"  << "1.0"   << "1.501"  << false;
    QTest::newRow("just below 0.999")           << c << "1.5"  << "1.0"   << "0.999"  << false;
    QTest::newRow("low above high fails all")   << c << "1"    << "2"     << "1.5"    << false;
    QTest::newRow("exponent in a limit")        << c << "1e3"  << "0"     << "999.9"  << true;
    QTest::newRow("signed limit")               << c << "+10"  << "-0.5"  << "-0.500" << true;
    QTest::newRow("comma separator")            << kGerman << "1,5" << "1,0" << "1,234" << true;
    QTest::newRow("comma separator, edge")      << kGerman << "1,5" << "1,0" << "1,501" << false;
    QTest::newRow("comma locale, point value")  << kGerman << "4000" << "-4000" << "1.234" << false;
    // clang-format on
}

void TestLimitJudge::verdict()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QString, value);
    QFETCH(bool, pass);

    JudgeRig rig;
    rig.locale.setUserLocale(locale);
    rig.judge.T1HIChange(high);
    rig.judge.T1LOChange(low);
    const LimitJudge::Verdict v = rig.judgeValue(value);

    QCOMPARE(v, pass ? LimitJudge::Verdict::Pass : LimitJudge::Verdict::Fail);
    QCOMPARE(rig.reading.JudgeText, pass ? QStringLiteral("pass") : QStringLiteral("Fail"));
    QCOMPARE(rig.judge.judgeCaption(), pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
    QCOMPARE(rig.judge.valueText(), value);
    QCOMPARE(verdictColour(v), pass ? QColor(0, 128, 0) : QColor(255, 0, 0));
}

void TestLimitJudge::limitNotANumberSuspendsJudging()
{
    JudgeRig rig;
    QCOMPARE(rig.judgeValue(QStringLiteral("5000")), LimitJudge::Verdict::Fail);

    // A cleared field: frames before the delayed check are not judged.
    rig.judge.T1HIChange(QString());
    QCOMPARE(rig.judgeValue(QStringLiteral("1.000")), LimitJudge::Verdict::Fail);
    QCOMPARE(rig.reading.JudgeText, QStringLiteral("Fail"));
    QCOMPARE(rig.judge.valueText(), QStringLiteral("1.000")); // the value field still follows

    rig.timer1.fire();
    QCOMPARE(rig.judge.text(LimitJudge::High), QStringLiteral("4000"));
    QCOMPARE(rig.judgeValue(QStringLiteral("1.000")), LimitJudge::Verdict::Pass);
}

void TestLimitJudge::delayedCheck_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");
    QTest::newRow("a number is accepted") << "123.5"
                                          << "123.5";
    QTest::newRow("emptied") << ""
                             << "4000";
    QTest::newRow("a lone minus") << "-"
                                  << "4000";
    QTest::newRow("an apostrophe") << "1'5"
                                   << "4000";
    QTest::newRow("-999999 counts as not a number") << "-999999"
                                                    << "4000";
    QTest::newRow("-999999.0 as well") << "-999999.0"
                                       << "4000";
    QTest::newRow("two separators") << "1.2.3"
                                    << "4000";
    QTest::newRow("blanks around a number") << " 12 "
                                            << " 12 ";
}

void TestLimitJudge::delayedCheck()
{
    QFETCH(QString, typed);
    QFETCH(QString, after);
    JudgeRig rig;
    rig.judge.T1HIChange(typed);
    QVERIFY(rig.timer1.isEnabled());
    QVERIFY(!rig.timer4.isEnabled());
    rig.timer1.fire();

    QCOMPARE(rig.judge.text(LimitJudge::High), after);
    QCOMPARE(rig.judge.lastAcceptedText(LimitJudge::High), after);
    QVERIFY(!rig.timer1.isEnabled()); // the revert's own restart is cancelled
    QCOMPARE(rig.written, after == typed ? QStringList() : QStringList{QStringLiteral("high 4000")});
    QCOMPARE(rig.judge.text(LimitJudge::Low), QStringLiteral("-4000"));

    // The low field is checked the same way, on its own timer.
    rig.judge.T1LOChange(QStringLiteral("x"));
    rig.timer4.fire();
    QCOMPARE(rig.judge.text(LimitJudge::Low), QStringLiteral("-4000"));
}

void TestLimitJudge::everyChangeRestartsTheDelay()
{
    JudgeRig rig;
    rig.judge.T1HIChange(QStringLiteral("1"));
    const int starts = rig.timer1.periodStarts();
    rig.judge.T1HIChange(QStringLiteral("12"));
    QCOMPARE(rig.timer1.periodStarts(), starts + 1);
    rig.timer1.fire();
    QCOMPARE(rig.judge.lastAcceptedText(LimitJudge::High), QStringLiteral("12"));
}

// The limits' numbers are kept between frames; a stale one would judge
// against a limit the user has already changed.
void TestLimitJudge::changedLimitJudgesTheNextFrame()
{
    JudgeRig rig;
    QCOMPARE(rig.judgeValue(QStringLiteral("3000")), LimitJudge::Verdict::Pass);
    rig.judge.T1HIChange(QStringLiteral("2000"));
    QCOMPARE(rig.judgeValue(QStringLiteral("3000")), LimitJudge::Verdict::Fail);
    rig.judge.T1LOChange(QStringLiteral("2500"));
    rig.judge.T1HIChange(QStringLiteral("3500"));
    QCOMPARE(rig.judgeValue(QStringLiteral("2400")), LimitJudge::Verdict::Fail);
    QCOMPARE(rig.judgeValue(QStringLiteral("3000")), LimitJudge::Verdict::Pass);
}

void TestLimitJudge::separatorSwitchWhileRunning()
{
    JudgeRig rig;
    rig.judge.T1HIChange(QStringLiteral("1.5"));
    rig.judge.T1LOChange(QStringLiteral("0.5"));
    rig.timer1.fire();
    rig.timer4.fire();
    rig.judge.normaliseLimitSeparators(); // "." locale: nothing to do
    QVERIFY(rig.written.isEmpty());

    rig.locale.setUserLocale(kGerman);
    rig.judge.normaliseLimitSeparators();
    QCOMPARE(rig.judge.text(LimitJudge::High), QStringLiteral("1,5"));
    QCOMPARE(rig.judge.text(LimitJudge::Low), QStringLiteral("0,5"));
    QCOMPARE(rig.written, (QStringList{QStringLiteral("high 1,5"), QStringLiteral("low 0,5")}));
    QVERIFY(rig.timer1.isEnabled());
    QCOMPARE(rig.judgeValue(QStringLiteral("1,234")), LimitJudge::Verdict::Pass);
    QCOMPARE(rig.judgeValue(QStringLiteral("1,501")), LimitJudge::Verdict::Fail);

    rig.timer1.fire();
    QCOMPARE(rig.judge.lastAcceptedText(LimitJudge::High), QStringLiteral("1,5"));

    // Only the first point is replaced; back to "." turns the comma again.
    rig.judge.T1HIChange(QStringLiteral("1.2.3"));
    rig.judge.normaliseLimitSeparators();
    QCOMPARE(rig.judge.text(LimitJudge::High), QStringLiteral("1,2.3"));
    rig.locale.setUserLocale(QLocale::c());
    rig.judge.normaliseLimitSeparators();
    QCOMPARE(rig.judge.text(LimitJudge::Low), QStringLiteral("0.5"));
}

void TestLimitJudge::keyFilter_data()
{
    QTest::addColumn<QLocale>("user");
    QTest::addColumn<QLocale>("system");
    QTest::addColumn<QLocale>("systemLater"); // the system locale changed after start-up
    QTest::addColumn<QString>("fieldText");
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("accepted");

    const QLocale c = QLocale::c();
    // clang-format off
    QTest::newRow("digit")                        << c << c << c << "12"  << QChar('7')  << true;
    QTest::newRow("backspace")                    << c << c << c << "12"  << QChar(8)    << true;
    QTest::newRow("minus")                        << c << c << c << ""    << QChar('-')  << true;
    QTest::newRow("plus")                         << c << c << c << ""    << QChar('+')  << true;
    QTest::newRow("apostrophe")                   << c << c << c << "1"   << QChar('\'') << true;
    QTest::newRow("grave accent")                 << c << c << c << "1"   << QChar('`')  << true;
    QTest::newRow("letter")                       << c << c << c << "1"   << QChar('a')  << false;
    QTest::newRow("exponent letter")              << c << c << c << "1"   << QChar('e')  << false;
    QTest::newRow("user separator")               << c << c << c << "1"   << QChar('.')  << true;
    QTest::newRow("system separator twice")       << c << c << c << "1.5" << QChar('.')  << false;
    QTest::newRow("other separator")              << c << c << c << "1"   << QChar(',')  << false;
    QTest::newRow("comma user separator")         << kGerman << c << c << "1"   << QChar(',') << true;
    QTest::newRow("comma user, second comma")     << kGerman << c << c << "1,5" << QChar(',') << true;
    QTest::newRow("comma system, second comma")   << kGerman << kGerman << kGerman << "1,5" << QChar(',') << false;
    // Regression: the system separator was looked up anew at every key.
    QTest::newRow("start-up system comma stays")  << kGerman << kGerman << c << "1,5" << QChar(',') << false;
    QTest::newRow("later system comma not taken") << kGerman << c << kGerman << "1,5" << QChar(',') << true;
    // clang-format on
}

void TestLimitJudge::keyFilter()
{
    QFETCH(QLocale, user);
    QFETCH(QLocale, system);
    QFETCH(QLocale, systemLater);
    QFETCH(QString, fieldText);
    QFETCH(QChar, key);
    QFETCH(bool, accepted);
    JudgeRig rig(system);
    rig.locale.setUserLocale(user);
    rig.locale.setSystemLocale(systemLater);
    rig.judge.T1HIChange(fieldText);
    rig.judge.T1LOChange(fieldText);
    QCOMPARE(rig.judge.T1HIKeyPress(key), accepted);
    QCOMPARE(rig.judge.T1LOKeyPress(key), accepted);
}

QTEST_GUILESS_MAIN(TestLimitJudge)
#include "tst_limit_judge.moc"
