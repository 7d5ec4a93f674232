#include "frame_builder.h"

#include "meter/locale_service.h"
#include "meter/meter_decoder.h"
#include "meter/range_rules.h"

#include <QTest>

#include <set>

using namespace Bits;

namespace {

// A frame that ends on one rule: the digits are always 1234, so the point
// code alone sets the decimal places.
struct RuleCase {
    int rule;
    const char *what;
    int s8, s9, s10, s11;
    char point; // '0' none, '1', '2', '4': after D1, D2, D3
    const char *unit;
    int fullScale;
    double number;
};

// clang-format off
const RuleCase kRuleCases[] = {
    { 1, "AC V 1.234",            Ac8, 0,       0,                     Volt11,       '1', "V",  4,    1.234},
    { 2, "AC V 12.34",            Ac8, 0,       0,                     Volt11,       '2', "V",  40,   12.34},
    { 3, "AC V 123.4",            Ac8, 0,       0,                     Volt11,       '4', "V",  400,  123.4},
    { 4, "AC V 1234",             Ac8, 0,       0,                     Volt11,       '0', "V",  750,  1234},
    { 5, "DC mV 12.34",           Dc8, 0,       Milli10,               Volt11,       '2', "mV", 40,   12.34},
    { 6, "DC mV 123.4",           Dc8, 0,       Milli10,               Volt11,       '4', "mV", 400,  123.4},
    { 7, "DC V 1.234",            Dc8, 0,       0,                     Volt11,       '1', "V",  4,    1.234},
    { 8, "DC V 12.34",            Dc8, 0,       0,                     Volt11,       '2', "V",  40,   12.34},
    { 9, "DC V 123.4",            Dc8, 0,       0,                     Volt11,       '4', "V",  400,  123.4},
    {10, "DC V 1234",             Dc8, 0,       0,                     Volt11,       '0', "V",  1000, 1234},
    {11, "nF 1.234 (factor of 12.34)", 0, Nano9, 0,                    Farad11,      '1', "nF", 40,   12.34},
    {12, "nF 123.4",              0,   Nano9,   0,                     Farad11,      '4', "nF", 400,  123.4},
    {13, "uF 1.234",              0,   0,       Micro10,               Farad11,      '1', "uF", 4,    1.234},
    {14, "uF 12.34",              0,   0,       Micro10,               Farad11,      '2', "uF", 40,   12.34},
    {15, "uF 123.4",              0,   0,       Micro10,               Farad11,      '4', "uF", 400,  123.4},
    {16, "uF 1234",               0,   0,       Micro10,               Farad11,      '0', "uF", 4000, 1234},
    {17, "continuity 123.4",      0,   0,       Continuity10,          Ohm11,        '4', "*",  40,   123.4},
    {18, "ohm 123.4",             0,   0,       0,                     Ohm11,        '4', "*",  400,  123.4},
    {19, "kilo-ohm 1.234",        0,   0,       Kilo10,                Ohm11,        '1', "k*", 4,    1.234},
    {20, "kilo-ohm 12.34",        0,   0,       Kilo10,                Ohm11,        '2', "k*", 40,   12.34},
    {21, "kilo-ohm 123.4",        0,   0,       Kilo10,                Ohm11,        '4', "k*", 400,  123.4},
    {22, "mega-ohm 1.234",        0,   0,       Mega10,                Ohm11,        '1', "M*", 4,    1.234},
    {23, "mega-ohm 12.34",        0,   0,       Mega10,                Ohm11,        '2', "M*", 40,   12.34},
    {24, "status 9.7 over DC V 123.4", Dc8, None9_7, 0,                Volt11,       '4', "V",  4,    1.234},
    {25, "Celsius 1234",          0,   0,       0,                     Celsius11,    '0', "#",  1000, 1234},
    {26, "Fahrenheit 1234",       0,   0,       0,                     Fahrenheit11, '0', "?",  1832, 1234},
    {27, "Hz 1.234",              0,   0,       0,                     Hz11,         '1', "Hz", 10,   1.234},
    {28, "Hz 12.34",              0,   0,       0,                     Hz11,         '2', "Hz", 100,  12.34},
    {29, "Hz 123.4",              0,   0,       0,                     Hz11,         '4', "Hz", 1000, 123.4},
    {30, "kHz 1.234",             0,   0,       Kilo10,                Hz11,         '1', "Hz", 10,   1.234},
    {31, "kHz 12.34",             0,   0,       Kilo10,                Hz11,         '2', "Hz", 100,  12.34},
    {32, "kHz 123.4",             0,   0,       Kilo10,                Hz11,         '4', "Hz", 1000, 123.4},
    {33, "MHz 1.234",             0,   0,       Mega10,                Hz11,         '1', "Hz", 10,   1.234},
    {34, "duty 123.4",            0,   0,       Percent10,             0,            '4', "%",  100,  123.4},
    {35, "DC uA 123.4",           Dc8, 0,       Micro10,               Amp11,        '4', "uA", 400,  123.4},
    {36, "DC uA 1234",            Dc8, 0,       Micro10,               Amp11,        '0', "uA", 4000, 1234},
    {37, "AC uA 123.4",           Ac8, 0,       Micro10,               Amp11,        '4', "uA", 400,  123.4},
    {38, "AC uA 1234",            Ac8, 0,       Micro10,               Amp11,        '0', "uA", 4000, 1234},
    {39, "DC mA 12.34",           Dc8, 0,       Milli10,               Amp11,        '2', "mA", 40,   12.34},
    {40, "DC mA 123.4",           Dc8, 0,       Milli10,               Amp11,        '4', "mA", 400,  123.4},
    {41, "AC mA 12.34",           Ac8, 0,       Milli10,               Amp11,        '2', "mA", 40,   12.34},
    {42, "AC mA 123.4",           Ac8, 0,       Milli10,               Amp11,        '4', "mA", 400,  123.4},
    {43, "DC A 1.234",            Dc8, 0,       0,                     Amp11,        '1', "A",  4,    1.234},
    {44, "DC A 12.34",            Dc8, 0,       0,                     Amp11,        '2', "A",  10,   12.34},
    {45, "AC A 1.234",            Ac8, 0,       0,                     Amp11,        '1', "A",  4,    1.234},
    {46, "AC A 12.34",            Ac8, 0,       0,                     Amp11,        '2', "A",  10,   12.34},
};
// clang-format on

struct Decoding {
    FixedLocaleService locale;
    MeterDecoder decoder{locale};
};

} // namespace

class TestRangeRules : public QObject {
    Q_OBJECT

private slots:
    void tableHasEveryRule() { QCOMPARE(rangeRuleCount(), 46); }
    void lastMatchingRuleDecides_data();
    void lastMatchingRuleDecides();
    void scaleCount_data();
    void scaleCount();
    void everyRuleDecidesAFrame_data();
    void everyRuleDecidesAFrame();
    void everyRuleHasAFrame();
    void overloadAfterFullScale6000();
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

void TestRangeRules::everyRuleDecidesAFrame_data()
{
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("valueText");
    for (const RuleCase &c : kRuleCases) {
        const QString value = c.point == '1'   ? "1.234"
                              : c.point == '2' ? "12.34"
                              : c.point == '4' ? "123.4"
                                               : "1234";
        QTest::newRow(qPrintable(QStringLiteral("rule %1: %2").arg(c.rule).arg(QLatin1String(c.what))))
            << c.rule << frameHex('+', "1234", c.point, c.s8, c.s9, c.s10, c.s11)
            << QString::fromLatin1(c.unit) << c.fullScale << c.number << value;
    }
}

// Each rule is the last to match one frame, so a wrong full scale or
// factor in any of them shows.
void TestRangeRules::everyRuleDecidesAFrame()
{
    QFETCH(QString, frame);
    QFETCH(int, fullScale);
    Decoding d;
    d.decoder.decode(frame);
    const Reading &r = d.decoder.reading();
    QTEST(r.UnitText, "unit");
    QTEST(r.ValueText, "valueText");
    QTEST(r.Number, "number");
    QCOMPARE(d.decoder.valueAxis().maximum, double(fullScale));
    QCOMPARE(d.decoder.valueAxis().minimum, double(-fullScale));

    RangeInputs in;
    in.function = r.FunctionText;
    in.unit = r.UnitText;
    in.pointPos = d.decoder.pointPos();
    in.rawCount = d.decoder.rawCount();
    const QByteArray bytes = QByteArray::fromHex(frame.toLatin1());
    in.acBit = bytes[7] & Ac8;
    in.status9Bit7 = bytes[8] & None9_7;
    in.continuityBit = bytes[9] & Continuity10;
    in.kilo = bytes[9] & Kilo10;
    in.mega = bytes[9] & Mega10;
    QTEST(applyRangeRules(in).rule, "rule");
}

void TestRangeRules::everyRuleHasAFrame()
{
    std::set<int> rules;
    for (const RuleCase &c : kRuleCases)
        rules.insert(c.rule);
    QCOMPARE(int(rules.size()), rangeRuleCount());
    QCOMPARE(*rules.begin(), 1);
    QCOMPARE(*rules.rbegin(), rangeRuleCount());
}

void TestRangeRules::overloadAfterFullScale6000()
{
    Decoding d;
    d.decoder.decode(frameHex('+', "1234", '1', Dc8, 0, 0, Volt11)); // sets the full scale to 6000
    QCOMPARE(d.decoder.scaleCount(), 6000);
    d.decoder.decode(frameHex('+', "?0:?", '1', Dc8, 0, 0, Volt11));
    QCOMPARE(d.decoder.reading().ValueText, QStringLiteral(".0L"));
    QCOMPARE(d.decoder.rawCount(), 6001.0);
    QCOMPARE(d.decoder.reading().Number, 6.001);
    QCOMPARE(d.decoder.valueAxis().maximum, 4.0);
}

QTEST_GUILESS_MAIN(TestRangeRules)
#include "tst_range_rules.moc"
