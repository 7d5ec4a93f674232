#include "meter/range_rules.h"

#include <QtTest>

class TestRangeRules : public QObject {
    Q_OBJECT

private slots:
    void tableHasEveryRule() { QCOMPARE(rangeRuleCount(), 46); }
    void lastMatchingRuleDecides_data();
    void lastMatchingRuleDecides();
    void scaleCount_data();
    void scaleCount();
};

void TestRangeRules::lastMatchingRuleDecides_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("point");
    QTest::addColumn<QString>("bits"); // a c 7 k m: AC, continuity, status 9.7, kilo, mega
    QTest::addColumn<bool>("matched");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<double>("number"); // for a raw count of 1234

    QTest::newRow("DC V 1.234") << "DC"
                                << "V" << 1 << "" << true << 4 << 1.234;
    QTest::newRow("DC mV 12.34") << "DC"
                                 << "mV" << 2 << "" << true << 40 << 12.34;
    QTest::newRow("DC mV 123.4") << "DC"
                                 << "mV" << 3 << "" << true << 400 << 123.4;
    QTest::newRow("AC V no point") << "AC"
                                   << "V" << 0 << "a" << true << 750 << 1234.0;
    QTest::newRow("AC bit under Freq, point 1: rule 27 wins") << "Freq"
                                                              << "Hz" << 1 << "a" << true << 10 << 1.234;
    QTest::newRow("AC bit under Freq, mega point 2: rule 2 stays")
        << "Freq"
        << "Hz" << 2 << "am" << true << 40 << 12.34;
    QTest::newRow("DC mA no point: rule 10") << "DC"
                                             << "mA" << 0 << "" << true << 1000 << 1234.0;
    QTest::newRow("nF point 3: rule 12 over 11") << "CAP"
                                                 << "nF" << 3 << "" << true << 400 << 123.4;
    QTest::newRow("nF point 1: rule 11") << "CAP"
                                         << "nF" << 1 << "" << true << 40 << 12.34;
    QTest::newRow("nF no point: rule 16 over 11") << "CAP"
                                                  << "nF" << 0 << "" << true << 4000 << 1234.0;
    QTest::newRow("continuity ohm point 3: 17 not 18") << "OHM"
                                                       << "*" << 3 << "c" << true << 40 << 123.4;
    QTest::newRow("ohm point 3") << "OHM"
                                 << "*" << 3 << "" << true << 400 << 123.4;
    QTest::newRow("M ohm point 2") << "OHM"
                                   << "M*" << 2 << "" << true << 40 << 12.34;
    QTest::newRow("M ohm point 3: none") << "OHM"
                                         << "M*" << 3 << "" << false << 0 << 1234.0;
    QTest::newRow("diode: none") << "Diode"
                                 << "V" << 1 << "" << false << 0 << 1234.0;
    QTest::newRow("status 9.7 overrides DC V") << "DC"
                                               << "V" << 3 << "7" << true << 4 << 1.234;
    QTest::newRow("Celsius") << "TMP"
                             << "#" << 0 << "" << true << 1000 << 1234.0;
    QTest::newRow("Fahrenheit") << "TMP"
                                << "?" << 0 << "" << true << 1832 << 1234.0;
    QTest::newRow("kHz point 3") << "Freq"
                                 << "Hz" << 3 << "k" << true << 1000 << 123.4;
    QTest::newRow("MHz point 1") << "Freq"
                                 << "Hz" << 1 << "m" << true << 10 << 1.234;
    QTest::newRow("MHz point 2: none") << "Freq"
                                       << "Hz" << 2 << "m" << false << 0 << 1234.0;
    QTest::newRow("kilo and mega: none") << "Freq"
                                         << "Hz" << 1 << "km" << false << 0 << 1234.0;
    QTest::newRow("duty cycle") << "DutyCycle"
                                << "%" << 3 << "" << true << 100 << 123.4;
    QTest::newRow("DC uA point 3 over rule 6-like DC") << "DC"
                                                       << "uA" << 3 << "" << true << 400 << 123.4;
    QTest::newRow("DC uA no point: 36 over 10") << "DC"
                                                << "uA" << 0 << "" << true << 4000 << 1234.0;
    QTest::newRow("AC uA no point: 38 over 4") << "AC"
                                               << "uA" << 0 << "a" << true << 4000 << 1234.0;
    QTest::newRow("AC mA point 2") << "AC"
                                   << "mA" << 2 << "a" << true << 40 << 12.34;
    QTest::newRow("DC A point 2") << "DC"
                                  << "A" << 2 << "" << true << 10 << 12.34;
    QTest::newRow("AC A point 2: 46 over 2") << "AC"
                                             << "A" << 2 << "a" << true << 10 << 12.34;
    QTest::newRow("AC A point 3: rule 3") << "AC"
                                          << "A" << 3 << "a" << true << 400 << 123.4;
    QTest::newRow("nothing") << ""
                             << "" << 0 << "" << false << 0 << 1234.0;
}

void TestRangeRules::lastMatchingRuleDecides()
{
    QFETCH(QString, bits);
    RangeInputs in;
    QFETCH(QString, function);
    QFETCH(QString, unit);
    QFETCH(int, point);
    in.function = function;
    in.unit = unit;
    in.pointPos = point;
    in.rawCount = 1234;
    in.acBit = bits.contains('a');
    in.continuityBit = bits.contains('c');
    in.status9Bit7 = bits.contains('7');
    in.kilo = bits.contains('k');
    in.mega = bits.contains('m');

    const RangeResult r = applyRangeRules(in);
    QTEST(r.matched, "matched");
    if (r.matched)
        QTEST(r.fullScale, "fullScale");
    QTEST(r.number, "number");
}

void TestRangeRules::scaleCount_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("count");
    QTest::newRow("Hz") << "Hz" << 1000;
    QTest::newRow("%") << "%" << 100;
    QTest::newRow("Celsius") << "#" << 1000;
    QTest::newRow("Fahrenheit") << "?" << 6000;
    QTest::newRow("V") << "V" << 6000;
    QTest::newRow("empty") << "" << 6000;
}

void TestRangeRules::scaleCount()
{
    QFETCH(QString, unit);
    QTEST(scaleCountForUnit(unit), "count");
}

QTEST_GUILESS_MAIN(TestRangeRules)
#include "tst_range_rules.moc"
