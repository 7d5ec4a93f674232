#include "frame_builder.h"

#include "meter/conversion.h"
#include "meter/locale_service.h"
#include "meter/meter_decoder.h"

#include <QTest>

#include <vector>

using namespace Bits;

namespace {

// Records which hooks a frame reached, in order.
struct HookLog : DecoderHooks {
    QStringList calls;
    void normaliseLimitSeparators() override { calls << "normalise"; }
    void frameArrived() override { calls << "arrived"; }
    void measurementKindChanged() override { calls << "kind"; }
    void judge() override { calls << "judge"; }
    void barMaximumChanged(int max) override { calls << QStringLiteral("bar %1").arg(max); }
    void handOff() override { calls << "handoff"; }
};

// Annunciators, sign and points that are visible; the digits and the
// monitor picture are left out since every decoded frame shows them.
QString visibleAnnunciators(const LcdState &lcd)
{
    QStringList names;
    for (int i = 0; i < LcdElementCount; ++i) {
        const auto e = static_cast<LcdElement>(i);
        if (lcd.isVisible(e) && e != LcdElement::LcdDa && e != LcdElement::LcdDb && e != LcdElement::LcdDc &&
            e != LcdElement::LcdDd && e != LcdElement::LCDsend)
            names << QString::fromLatin1(lcdElementInfo(e).name);
    }
    return names.join(' ');
}

struct Fixture {
    FixedLocaleService locale;
    HookLog hooks;
    MeterDecoder decoder{locale};
    Fixture() { decoder.setHooks(&hooks); }
};

} // namespace

class TestMeterDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesFrame_data();
    void decodesFrame();
    void overloadCountFollowsPreviousUnit_data();
    void overloadCountFollowsPreviousUnit();
    void kindChangeReselectsSeries();
    void hooksRunInOrder();
    void separatorFollowsLocaleWhileRunning();
    void pointCodeNotANumberStopsEarly();
    void digitsNotANumberStopAtRawCount();
    void shortFramesNeverReadOutside_data();
    void shortFramesNeverReadOutside();
    void displayInWords_data();
    void displayInWords();
};

void TestMeterDecoder::decodesFrame_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("range");
    QTest::addColumn<double>("rawCount");
    QTest::addColumn<int>("pointPos");
    QTest::addColumn<int>("scaleCount");
    QTest::addColumn<double>("axisMax");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("digits"); // D1|D2|D3|D4
    QTest::addColumn<QString>("visible");

    const int dcV = Volt11, dcAuto = Dc8 | Auto8;
    QTest::newRow("DC volts 0.123") << frameHex('+', "0123", '1', dcAuto, 0, 0, dcV) << "."
                                    << "0.123"
                                    << "DC"
                                    << "V"
                                    << "AUTO" << 123.0 << 1 << 6000 << 4.0 << 0.123 << "0|1|2|3"
                                    << "LcdP1 LcdDc1 LcdAuto LcdV";
    QTest::newRow("negative") << frameHex('-', "0123", '1', dcAuto, 0, 0, dcV) << "."
                              << "-0.123"
                              << "DC"
                              << "V"
                              << "AUTO" << -123.0 << 1 << 6000 << 4.0 << -0.123 << "0|1|2|3"
                              << "LcdFH LcdP1 LcdDc1 LcdAuto LcdV";
    QTest::newRow("comma separator") << frameHex('-', "0123", '1', dcAuto, 0, 0, dcV) << ","
                                     << "-0,123"
                                     << "DC"
                                     << "V"
                                     << "AUTO" << -123.0 << 1 << 6000 << 4.0 << -0.123 << "0|1|2|3"
                                     << "LcdFH LcdP1 LcdDc1 LcdAuto LcdV";
    QTest::newRow("empty separator") << frameHex('+', "0123", '1', Dc8, 0, 0, dcV) << ""
                                     << "0123"
                                     << "DC"
                                     << "V"
                                     << "MANU" << 123.0 << 1 << 6000 << 4.0 << 0.123 << "0|1|2|3"
                                     << "LcdP1 LcdDc1 LcdV";
    QTest::newRow("overload, point after D2") << frameHex('+', "?0:?", '2', Dc8, 0, 0, dcV) << "."
                                              << "0.L"
                                              << "DC"
                                              << "V"
                                              << "MANU" << 4001.0 << 2 << 6000 << 40.0 << 40.01 << "|0|@|"
                                              << "LcdP2 LcdDc1 LcdV";
    QTest::newRow("negative overload") << frameHex('-', "?0:?", '2', Dc8, 0, 0, dcV) << "."
                                       << "0.L"
                                       << "DC"
                                       << "V"
                                       << "MANU" << -4001.0 << 2 << 6000 << 40.0 << -40.01 << "|0|@|"
                                       << "LcdFH LcdP2 LcdDc1 LcdV";
    QTest::newRow("point code 3 shows no point")
        << frameHex('+', "0123", '3', Dc8, 0, 0, dcV) << "."
        << "0123"
        << "DC"
        << "V"
        << "MANU" << 123.0 << 0 << 6000 << 1000.0 << 123.0 << "0|1|2|3"
        << "LcdDc1 LcdV";
    QTest::newRow("point code 5 shows no point")
        << frameHex('+', "0123", '5', Dc8, 0, 0, dcV) << "."
        << "0123"
        << "DC"
        << "V"
        << "MANU" << 123.0 << 0 << 6000 << 1000.0 << 123.0 << "0|1|2|3"
        << "LcdDc1 LcdV";
    QTest::newRow("AC and DC with milli: DC mV")
        << frameHex('+', "1234", '2', Ac8 | Dc8, 0, Milli10, dcV) << "."
        << "12.34"
        << "DC"
        << "mV"
        << "MANU" << 1234.0 << 2 << 6000 << 40.0 << 12.34 << "1|2|3|4"
        << "LcdP2 LcdAC LcdDc1 Lcdm LcdV";
    QTest::newRow("kilohertz is Freq Hz") << frameHex('+', "1234", '1', Auto8, 0, Kilo10, Hz11) << "."
                                          << "1.234"
                                          << "Freq"
                                          << "Hz"
                                          << "AUTO" << 1234.0 << 1 << 1000 << 10.0 << 1.234 << "1|2|3|4"
                                          << "LcdP1 LcdAuto LCDk LCDHz";
    QTest::newRow("ohm and diode: OHM") << frameHex('+', "0523", '1', 0, 0, Diode10, Ohm11) << "."
                                        << "0.523"
                                        << "OHM"
                                        << "*"
                                        << "MANU" << 523.0 << 1 << 6000 << 4000.0 << 523.0 << "0|5|2|3"
                                        << "LcdP1 LCDDI LcdV LCDohm";
    QTest::newRow("ohm and continuity: OHM") << frameHex('+', "0123", '4', 0, 0, Continuity10, Ohm11) << "."
                                             << "012.3"
                                             << "OHM"
                                             << "*"
                                             << "MANU" << 123.0 << 3 << 6000 << 40.0 << 12.3 << "0|1|2|3"
                                             << "LcdP3 LCDFm LCDohm";
    QTest::newRow("diode and continuity: CTN")
        << frameHex('+', "0523", '1', 0, 0, Diode10 | Continuity10, 0) << "."
        << "0.523"
        << "CTN"
        << "V"
        << "MANU" << 523.0 << 1 << 6000 << 40.0 << 52.3 << "0|5|2|3"
        << "LcdP1 LCDDI LCDFm LcdV";
    QTest::newRow("diode matches no rule") << frameHex('+', "0523", '1', 0, 0, Diode10, 0) << "."
                                           << "0.523"
                                           << "Diode"
                                           << "V"
                                           << "MANU" << 523.0 << 1 << 6000 << 4000.0 << 523.0 << "0|5|2|3"
                                           << "LcdP1 LCDDI LcdV";
    QTest::newRow("kilo-ohm") << frameHex('+', "1234", '2', Auto8, 0, Kilo10, Ohm11) << "."
                              << "12.34"
                              << "OHM"
                              << "k*"
                              << "AUTO" << 1234.0 << 2 << 6000 << 40.0 << 12.34 << "1|2|3|4"
                              << "LcdP2 LcdAuto LCDk LCDohm";
    QTest::newRow("megahertz point 2 matches no rule")
        << frameHex('+', "1234", '2', 0, 0, Mega10, Hz11) << "."
        << "12.34"
        << "Freq"
        << "Hz"
        << "MANU" << 1234.0 << 2 << 1000 << 4000.0 << 1234.0 << "1|2|3|4"
        << "LcdP2 LCDM1 LCDHz";
    QTest::newRow("Celsius") << frameHex('+', "0025", '0', 0, 0, 0, Celsius11) << "."
                             << "0025"
                             << "TMP"
                             << "#"
                             << "MANU" << 25.0 << 0 << 1000 << 1000.0 << 25.0 << "0|0|2|5"
                             << "LCDCS";
    QTest::newRow("Fahrenheit") << frameHex('+', "0077", '0', 0, 0, 0, Fahrenheit11) << "."
                                << "0077"
                                << "TMP"
                                << "?"
                                << "MANU" << 77.0 << 0 << 6000 << 1832.0 << 77.0 << "0|0|7|7"
                                << "LCDFS";
    QTest::newRow("nanofarad point 3") << frameHex('+', "1234", '4', 0, Nano9, 0, Farad11) << "."
                                       << "123.4"
                                       << "CAP"
                                       << "nF"
                                       << "MANU" << 1234.0 << 3 << 6000 << 400.0 << 123.4 << "1|2|3|4"
                                       << "LcdP3 LCDn LCDF";
    QTest::newRow("AC volts 230") << frameHex('+', "0230", '0', Ac8, 0, 0, Volt11) << "."
                                  << "0230"
                                  << "AC"
                                  << "V"
                                  << "MANU" << 230.0 << 0 << 6000 << 750.0 << 230.0 << "0|2|3|0"
                                  << "LcdAC LcdV";
    QTest::newRow("DC mA without point") << frameHex('+', "0230", '0', Dc8, 0, Milli10, Amp11) << "."
                                         << "0230"
                                         << "DC"
                                         << "mA"
                                         << "MANU" << 230.0 << 0 << 6000 << 1000.0 << 230.0 << "0|2|3|0"
                                         << "LcdDc1 Lcdm LCDA";
    QTest::newRow("duty cycle") << frameHex('+', "0500", '4', 0, 0, Percent10, 0) << "."
                                << "050.0"
                                << "DutyCycle"
                                << "%"
                                << "MANU" << 500.0 << 3 << 100 << 100.0 << 50.0 << "0|5|0|0"
                                << "LcdP3 LCDBF";
    QTest::newRow("status 9.7 and annunciators")
        << frameHex('+', "1234", '1', Rel8 | Hold8, None9_7 | Max9 | Min9 | Batt9, Micro10, 0) << "."
        << "1.234"
        << ""
        << ""
        << "MANU" << 1234.0 << 1 << 6000 << 4.0 << 1.234 << "1|2|3|4"
        << "LcdP1 LCDHold LCDREL Labmax Labmin LCDBATT LCDu";
    QTest::newRow("no function or unit bit") << frameHex('+', "0000", '0', 0, 0, 0, 0) << "."
                                             << "0000"
                                             << ""
                                             << ""
                                             << "MANU" << 0.0 << 0 << 6000 << 4000.0 << 0.0 << "0|0|0|0"
                                             << "";
}

void TestMeterDecoder::decodesFrame()
{
    QFETCH(QString, hex);
    QFETCH(QString, separator);
    Fixture fx;
    QLocale locale = separator == "," ? QLocale(QLocale::German) : QLocale::c();
    fx.locale.setUserLocale(locale);
    if (separator.isEmpty()) {
        // No real locale has an empty separator; a hand-made service stands in.
        struct NoSeparator : FixedLocaleService {
            QString userDecimalSeparator() const override { return {}; }
        };
        static NoSeparator none;
        MeterDecoder decoder(none);
        decoder.decode(hex);
        QCOMPARE(decoder.reading().ValueText, QStringLiteral("0123"));
        return;
    }

    fx.decoder.decode(hex);
    const Reading &r = fx.decoder.reading();
    QTEST(r.ValueText, "value");
    QTEST(r.FunctionText, "function");
    QTEST(r.UnitText, "unit");
    QTEST(r.RangeText, "range");
    QTEST(fx.decoder.rawCount(), "rawCount");
    QTEST(fx.decoder.pointPos(), "pointPos");
    QTEST(fx.decoder.scaleCount(), "scaleCount");
    QFETCH(double, axisMax);
    QCOMPARE(fx.decoder.valueAxis().maximum, axisMax);
    QCOMPARE(fx.decoder.valueAxis().minimum, -axisMax);
    QTEST(r.Number, "number");
    QFETCH(QString, digits);
    const auto &d = fx.decoder.lcd().digits;
    QCOMPARE(QStringList(d.begin(), d.end()).join('|'), digits);
    QTEST(visibleAnnunciators(fx.decoder.lcd()), "visible");
    QVERIFY(fx.decoder.lcd().isVisible(LcdElement::LCDsend));
    QVERIFY(fx.decoder.newReading());
}

void TestMeterDecoder::overloadCountFollowsPreviousUnit_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<double>("expected");
    QTest::newRow("first frame after start-up") << QString() << 4001.0;
    QTest::newRow("after volts") << frameHex('+', "1234", '1', Dc8, 0, 0, Volt11) << 6001.0;
    QTest::newRow("after hertz") << frameHex('+', "1234", '1', 0, 0, 0, Hz11) << 1001.0;
    QTest::newRow("after percent") << frameHex('+', "0500", '4', 0, 0, Percent10, 0) << 101.0;
    QTest::newRow("after Celsius") << frameHex('+', "0025", '0', 0, 0, 0, Celsius11) << 1001.0;
}

void TestMeterDecoder::overloadCountFollowsPreviousUnit()
{
    QFETCH(QString, before);
    QFETCH(double, expected);
    Fixture fx;
    if (!before.isEmpty())
        fx.decoder.decode(before);
    fx.decoder.decode(frameHex('+', "?0:?", '0', 0, 0, 0, 0));
    QCOMPARE(fx.decoder.rawCount(), expected);
    fx.decoder.decode(frameHex('-', "?0:?", '0', 0, 0, 0, 0));
    QCOMPARE(fx.decoder.rawCount(), -6001.0); // the overload frame itself had no unit
}

void TestMeterDecoder::kindChangeReselectsSeries()
{
    Fixture fx;
    auto kindCalls = [&] { return fx.hooks.calls.count("kind"); };
    fx.decoder.decode(frameHex('+', "1234", '1', Dc8, 0, 0, Volt11));
    QCOMPARE(kindCalls(), 1); // the first frame is always a new kind
    fx.decoder.decode(frameHex('+', "4321", '1', Dc8, 0, 0, Volt11));
    QCOMPARE(kindCalls(), 1);
    fx.decoder.decode(frameHex('+', "4321", '2', Dc8, 0, 0, Volt11));
    QCOMPARE(kindCalls(), 2); // the point moved
    fx.decoder.decode(frameHex('+', "4321", '2', Ac8, 0, 0, Volt11));
    QCOMPARE(kindCalls(), 3); // the function changed
    fx.decoder.decode(frameHex('+', "4321", '2', Ac8, 0, Milli10, Volt11));
    QCOMPARE(kindCalls(), 4); // the unit changed
}

void TestMeterDecoder::hooksRunInOrder()
{
    Fixture fx;
    fx.decoder.decode(frameHex('+', "1234", '1', Dc8, 0, 0, Volt11));
    QCOMPARE(fx.hooks.calls, (QStringList{"normalise", "arrived", "kind", "judge", "bar 4", "handoff"}));
    fx.hooks.calls.clear();
    // Same range: the bar graph keeps its maximum.
    fx.decoder.decode(frameHex('+', "2234", '1', Dc8, 0, 0, Volt11));
    QCOMPARE(fx.hooks.calls, (QStringList{"normalise", "arrived", "judge", "handoff"}));
}

void TestMeterDecoder::separatorFollowsLocaleWhileRunning()
{
    Fixture fx;
    const QString hex = frameHex('+', "1234", '1', Dc8, 0, 0, Volt11);
    fx.decoder.decode(hex);
    QCOMPARE(fx.decoder.reading().ValueText, QStringLiteral("1.234"));
    fx.locale.setUserLocale(QLocale(QLocale::German));
    fx.decoder.decode(hex);
    QCOMPARE(fx.decoder.reading().ValueText, QStringLiteral("1,234"));
    QCOMPARE(fx.decoder.userDecimalSeparator(), QStringLiteral(","));
    QCOMPARE(fx.decoder.reading().Number, 1.234);
}

void TestMeterDecoder::pointCodeNotANumberStopsEarly()
{
    Fixture fx;
    const QString good = frameHex('-', "1234", '1', Dc8 | Auto8 | Hold8, 0, 0, Volt11);
    fx.decoder.decode(good);
    fx.decoder.reading().JudgeText = "pass";
    const Reading before = fx.decoder.reading();
    fx.hooks.calls.clear();

    try {
        fx.decoder.decode(frameHex('+', "5678", ':', Ac8, 0, 0, Volt11));
        QFAIL("no conversion error");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'A' is not a valid integer value"));
    }
    const Reading &r = fx.decoder.reading();
    QCOMPARE(r.FunctionText, QString());
    QCOMPARE(r.UnitText, QString());
    QCOMPARE(r.RangeText, QString());
    QCOMPARE(r.ValueText, before.ValueText);
    QCOMPARE(r.Number, before.Number);
    QCOMPARE(r.JudgeText, before.JudgeText);
    QCOMPARE(visibleAnnunciators(fx.decoder.lcd()), QStringLiteral("LcdP1")); // sign and annunciators hidden
    QCOMPARE(fx.decoder.lcd().digits[0], QStringLiteral("1"));
    QCOMPARE(fx.decoder.scaleCount(), 6000);
    QCOMPARE(fx.decoder.valueAxis().maximum, 4.0);
    QCOMPARE(fx.hooks.calls, (QStringList{"normalise", "arrived"}));

    fx.hooks.calls.clear();
    fx.decoder.decode(good);
    QCOMPARE(fx.decoder.reading().ValueText, QStringLiteral("-1.234"));
    QVERIFY(fx.hooks.calls.contains("handoff"));
}

void TestMeterDecoder::digitsNotANumberStopAtRawCount()
{
    Fixture fx;
    fx.decoder.decode(frameHex('+', "1234", '1', Dc8, 0, 0, Volt11));
    fx.hooks.calls.clear();

    try {
        fx.decoder.decode(frameHex('+', "01:3", '2', Ac8 | Auto8, 0, Milli10, Volt11));
        QFAIL("no conversion error");
    } catch (const ConversionError &e) {
        QCOMPARE(e.message(), QStringLiteral("'01A3' is not a valid integer value"));
    }
    const Reading &r = fx.decoder.reading();
    QCOMPARE(r.FunctionText, QStringLiteral("AC")); // texts and annunciators are the new frame's
    QCOMPARE(r.UnitText, QStringLiteral("mV"));
    QCOMPARE(r.RangeText, QStringLiteral("AUTO"));
    QCOMPARE(visibleAnnunciators(fx.decoder.lcd()), QStringLiteral("LcdP2 LcdAC LcdAuto Lcdm LcdV"));
    QCOMPARE(fx.decoder.lcd().digits, (std::array<QString, 4>{"1", "2", "3", "4"})); // digits the old one's
    QCOMPARE(r.Number, 1.234);
    QCOMPARE(fx.decoder.scaleCount(), 6000);
    QCOMPARE(fx.decoder.valueAxis().maximum, 4.0);
    QCOMPARE(fx.hooks.calls, (QStringList{"normalise", "arrived"}));

    fx.decoder.decode(frameHex('+', "0230", '0', Ac8, 0, 0, Volt11));
    QCOMPARE(fx.decoder.reading().Number, 230.0);
    QCOMPARE(fx.decoder.valueAxis().maximum, 750.0);
}

void TestMeterDecoder::shortFramesNeverReadOutside_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("throws");
    const QString full = frameHex('+', "1234", '1', Dc8, 0, 0, Volt11);
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("13 characters") << full.left(13) << true;
    QTest::newRow("14 characters, no status bytes") << full.left(14) << false;
    QTest::newRow("21 characters") << full.left(21) << false;
    QTest::newRow("22 characters") << full.left(22) << false;
}

void TestMeterDecoder::shortFramesNeverReadOutside()
{
    // Callers pass at least 24 characters; the decoder must stay inside
    // whatever it gets. The text lies in a block of exactly its size, so the
    // sanitizer build sees a read past its end.
    QFETCH(QString, hex);
    QFETCH(bool, throws);
    const std::vector<QChar> exact(hex.cbegin(), hex.cend());
    Fixture fx;
    bool threw = false;
    try {
        fx.decoder.decode(QString::fromRawData(exact.data(), qsizetype(exact.size())));
    } catch (const ConversionError &) {
        threw = true;
    }
    QCOMPARE(threw, throws);
}

QTEST_GUILESS_MAIN(TestMeterDecoder)
#include "tst_meter_decoder.moc"

void TestMeterDecoder::displayInWords_data()
{
    using namespace Bits;
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("words");
    QTest::newRow("DC volts, auto") << frameHex('+', "1202", '2', Auto8 | Dc8, 0, 0, Volt11)
                                    << "DC 12.02 V, Auto range";
    QTest::newRow("AC millivolts, negative, hold")
        << frameHex('-', "0105", '4', Ac8 | Hold8, 0, Milli10, Volt11) << "AC -010.5 mV, Manual range, Hold";
    QTest::newRow("kilo-ohm overload")
        << frameHex('+', "?0:?", '2', Auto8, 0, Kilo10, Ohm11) << "0.L kOhm, Auto range";
    QTest::newRow("microampere, max and low battery")
        << frameHex('+', "0012", '1', Dc8, Max9 | Batt9, Micro10, Amp11)
        << "DC 0.012 \u00b5A, Manual range, Maximum, Battery low";
    QTest::newRow("diode") << frameHex('+', "0512", '1', Auto8, 0, Diode10, 0) << "Diode 0.512 V, Auto range";
    QTest::newRow("temperature") << frameHex('+', "0023", '0', 0, 0, 0, Celsius11)
                                 << "0023 degrees Celsius, Manual range";
}

// What a screen reader says of the LCD after a frame is what it shows.
void TestMeterDecoder::displayInWords()
{
    QFETCH(QString, frame);
    Fixture fx;
    fx.decoder.decode(frame);
    QTEST(fx.decoder.lcd().describe(), "words");
}
