#include "meter_decoder.h"

#include "conversion.h"
#include "locale_service.h"
#include "range_rules.h"

#include <cmath>

namespace {

using E = LcdElement;

// Character c (1-based) of the frame text, or '\0' beyond its end: the
// decoder never reads outside the frame, whatever its length.
QChar charAt(const QString &hex, int c)
{
    return c >= 1 && c <= hex.size() ? hex[c - 1] : QChar();
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return 0;
}

// Byte k (1-based); a missing or garbled digit counts as 0 bits.
int frameByte(const QString &hex, int k)
{
    return hexValue(charAt(hex, 2 * k - 1)) << 4 | hexValue(charAt(hex, 2 * k));
}

// The low hex digit of byte k as text, empty beyond the frame.
QString lowDigit(const QString &hex, int k)
{
    const QChar c = charAt(hex, 2 * k);
    return c.isNull() ? QString() : QString(c);
}

bool bit(int byteValue, int n)
{
    return (byteValue >> n) & 1;
}

// The function and unit rules, applied in order, each overwriting the last.
struct FunctionUnitFlags {
    bool ac, dc, voltShown, ampere, ohm, farad, celsius, fahrenheit, hertz, percent;
    bool nano, milli, micro, kilo, mega;
};

void applyFunctionUnitRules(const FunctionUnitFlags &f, Reading &r)
{
    struct Rule {
        bool when;
        const char *function; // nullptr: leave as it is
        const char *unit;
    };
    // clang-format off
    const Rule rules[] = {
        {f.ac,                  "AC",        nullptr},
        {f.dc,                  "DC",        nullptr},
        {f.voltShown,           nullptr,     "V"},
        {f.ampere,              nullptr,     "A"},
        {f.ohm,                 nullptr,     "*"},
        {f.farad,               "CAP",       "F"},
        {f.celsius,             "TMP",       "#"},
        {f.fahrenheit,          "TMP",       "?"},
        {f.hertz,               "Freq",      "Hz"},
        {f.percent,             "DutyCycle", "%"},
        {f.voltShown && f.nano, nullptr,     "nV"},
        {f.voltShown && f.milli, nullptr,    "mV"},
        {f.voltShown && f.micro, nullptr,    "uV"},
        {f.ampere && f.nano,    nullptr,     "nA"},
        {f.ampere && f.milli,   nullptr,     "mA"},
        {f.ampere && f.micro,   nullptr,     "uA"},
        {f.farad && f.nano,     nullptr,     "nF"},
        {f.farad && f.milli,    nullptr,     "mF"},
        {f.farad && f.micro,    nullptr,     "uF"},
        {f.ohm && f.kilo,       nullptr,     "k*"},
        {f.ohm && f.mega,       nullptr,     "M*"},
    };
    // clang-format on
    for (const Rule &rule : rules) {
        if (!rule.when)
            continue;
        if (rule.function)
            r.FunctionText = QLatin1String(rule.function);
        if (rule.unit)
            r.UnitText = QLatin1String(rule.unit);
    }
}

// Hidden at the start of every frame; LCDsend is shown right after.
constexpr E kClearedAtFrameStart[] = {
    E::LcdDc1, E::LcdV,   E::LcdAC,  E::LCDHold, E::LCDHz, E::LCDBF,  E::LCDDI, E::LCDFm,
    E::LCDCS,  E::LCDFS,  E::LCDREL, E::LCDBATT, E::LCDn,  E::LCDohm, E::LcdFH, E::LcdAuto,
    E::Labmax, E::Labmin, E::LCDk,   E::LCDM1,   E::LCDu,  E::Lcdm,   E::LCDF,  E::LCDA,
};

} // namespace

MeterDecoder::MeterDecoder(const LocaleService &locale) : m_locale(locale) {}

void MeterDecoder::refreshLocale()
{
    m_userDecimalSeparator = m_locale.userDecimalSeparator();
    m_userFormatSettings = m_locale.userLocale();
}

void MeterDecoder::decode(const QString &hex)
{
    // 1. Per frame, so a change of locale while running takes effect.
    refreshLocale();

    // 2. and 3.
    m_hooks->normaliseLimitSeparators();
    m_hooks->frameArrived();

    // 4. Clear.
    m_reading.FunctionText.clear();
    m_reading.RangeText.clear();
    m_reading.UnitText.clear();
    for (E e : kClearedAtFrameStart)
        m_lcd.setVisible(e, false);
    m_lcd.setVisible(E::LCDsend, true);

    // 5. Digits and point position.
    QString d1 = lowDigit(hex, 2);
    QString d2 = lowDigit(hex, 3);
    QString d3 = lowDigit(hex, 4);
    QString d4 = lowDigit(hex, 5);
    const int pointCode = strToInt(lowDigit(hex, 7));

    // 6. Status bits, each showing its annunciator.
    const int s8 = frameByte(hex, 8);
    const int s9 = frameByte(hex, 9);
    const int s10 = frameByte(hex, 10);
    const int s11 = frameByte(hex, 11);
    FunctionUnitFlags f{};
    f.dc = bit(s8, 4);
    f.ac = bit(s8, 3);
    const bool diode = bit(s10, 2);
    const bool continuity = bit(s10, 3);
    f.nano = bit(s9, 1);
    f.micro = bit(s10, 7);
    f.milli = bit(s10, 6);
    f.kilo = bit(s10, 5);
    f.mega = bit(s10, 4);
    f.percent = bit(s10, 1);
    const bool volt = bit(s11, 7);
    f.voltShown = volt || diode;
    f.ampere = bit(s11, 6);
    f.ohm = bit(s11, 5);
    f.hertz = bit(s11, 3);
    f.farad = bit(s11, 2);
    f.celsius = bit(s11, 1);
    f.fahrenheit = bit(s11, 0);

    m_lcd.setVisible(E::LcdDc1, f.dc);
    m_lcd.setVisible(E::LcdAC, f.ac);
    m_lcd.setVisible(E::LCDREL, bit(s8, 2));
    m_lcd.setVisible(E::LCDHold, bit(s8, 1));
    if (diode) {
        m_reading.FunctionText = QStringLiteral("Diode");
        m_reading.UnitText = QStringLiteral("V");
        m_lcd.setVisible(E::LCDDI, true);
        m_lcd.setVisible(E::LcdV, true);
    }
    m_lcd.setVisible(E::Labmax, bit(s9, 5));
    m_lcd.setVisible(E::Labmin, bit(s9, 4));
    m_lcd.setVisible(E::LCDBATT, bit(s9, 2));
    if (continuity) {
        m_reading.FunctionText = QStringLiteral("CTN");
        m_lcd.setVisible(E::LCDFm, true);
    }
    m_lcd.setVisible(E::LCDBF, f.percent);
    if (volt)
        m_lcd.setVisible(E::LcdV, true);
    if (f.ohm) {
        m_reading.FunctionText = QStringLiteral("OHM");
        m_lcd.setVisible(E::LCDohm, true);
    }
    m_lcd.setVisible(E::LCDHz, f.hertz);
    m_lcd.setVisible(E::LCDF, f.farad);
    m_lcd.setVisible(E::LCDCS, f.celsius);
    m_lcd.setVisible(E::LCDFS, f.fahrenheit);

    // 7. Range mode.
    const bool autoRange = bit(s8, 5);
    m_reading.RangeText = autoRange ? QStringLiteral("AUTO") : QStringLiteral("MANU");
    m_lcd.setVisible(E::LcdAuto, autoRange);

    // 8. Overload reads 0L in the middle places.
    const bool overload = lowDigit(hex, 2) == QLatin1String("F");
    if (overload) {
        d3 = QStringLiteral("@");
        d2 = QStringLiteral("0");
        d1.clear();
        d4.clear();
    }

    // 9. Sign; any other code leaves it off.
    const QString signCode = lowDigit(hex, 1);
    QString sign;
    if (signCode == QLatin1String("D")) {
        sign = QStringLiteral("-");
        m_lcd.setVisible(E::LcdFH, true);
    } else if (signCode == QLatin1String("B")) {
        m_lcd.setVisible(E::LcdFH, false);
    }

    // 10. Decimal point: codes 1, 2, 4 put it after D1, D2, D3.
    QString p[3];
    const E pointShapes[3] = {E::LcdP1, E::LcdP2, E::LcdP3};
    const int pointIndex = pointCode == 1 ? 0 : pointCode == 2 ? 1 : pointCode == 4 ? 2 : -1;
    for (int i = 0; i < 3; ++i) {
        m_lcd.setVisible(pointShapes[i], i == pointIndex);
        if (i == pointIndex)
            p[i] = m_userDecimalSeparator;
    }

    // 11. Prefix annunciators, hidden explicitly when off.
    m_lcd.setVisible(E::LCDk, f.kilo);
    m_lcd.setVisible(E::LCDM1, f.mega);
    m_lcd.setVisible(E::Lcdm, f.milli);
    m_lcd.setVisible(E::LCDu, f.micro);
    m_lcd.setVisible(E::LCDA, f.ampere);
    m_lcd.setVisible(E::LCDn, f.nano);

    // 12. Function and unit.
    applyFunctionUnitRules(f, m_reading);

    // 13. Value text; overload carries no sign.
    if (overload)
        m_reading.ValueText = p[0] + QLatin1Char('0') + p[1] + QLatin1Char('L') + p[2];
    else
        m_reading.ValueText = sign + d1 + p[0] + d2 + p[1] + d3 + p[2] + d4;

    // 14. Raw count, against the full scale left by the previous frame.
    const QString k = sign + d3;
    if (k == QLatin1String("@"))
        m_rawCount = m_scaleCount + 1.0;
    else if (k == QLatin1String("-@"))
        m_rawCount = -m_scaleCount - 1.0;
    else
        m_rawCount = strToInt(sign + d1 + d2 + d3 + d4);

    // 15.
    m_pointPos = 0;
    for (int i = 0; i < 3; ++i) {
        if (m_lcd.isVisible(pointShapes[i]))
            m_pointPos = i + 1;
    }

    // 16. A new measurement kind re-selects the chart series.
    if (m_reading.UnitText != m_prevUnitText || m_reading.FunctionText != m_prevFunctionText ||
        m_pointPos != m_prevPointPos)
        m_hooks->measurementKindChanged();
    m_prevUnitText = m_reading.UnitText;
    m_prevFunctionText = m_reading.FunctionText;
    m_prevPointPos = m_pointPos;

    // 17.
    m_lcd.digits = {d1, d2, d3, d4};

    // 18. Takes effect from the next frame on.
    m_scaleCount = scaleCountForUnit(m_reading.UnitText);

    // 19.
    RangeInputs in;
    in.function = m_reading.FunctionText;
    in.unit = m_reading.UnitText;
    in.pointPos = m_pointPos;
    in.rawCount = m_rawCount;
    in.acBit = f.ac;
    in.continuityBit = continuity;
    in.status9Bit7 = bit(s9, 7);
    in.kilo = f.kilo;
    in.mega = f.mega;
    const RangeResult range = applyRangeRules(in);
    m_reading.Number = range.number;
    if (range.matched) {
        m_valueAxis.maximum = range.fullScale;
        m_valueAxis.minimum = -range.fullScale;
    }

    // 20. to 24.
    m_hooks->judge();
    m_newReading = true;
    if (m_prevAxisMax != m_valueAxis.maximum)
        m_hooks->barMaximumChanged(static_cast<int>(std::trunc(m_valueAxis.maximum)));
    m_hooks->handOff();
    m_prevAxisMax = m_valueAxis.maximum;
}
