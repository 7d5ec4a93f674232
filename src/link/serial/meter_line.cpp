#include "meter_line.h"

#include <QtGlobal>

#include <initializer_list>

namespace {

// The meter sets bit 0 of the first status byte in nearly every line; nobody
// reads it.
constexpr quint32 kAlwaysOn = 1u << 0;
constexpr char kOverloadBar = 0x3D;

// Point code for the point after digit 1, 2 or 3; '0' for none.
char pointCode(int digitsBefore)
{
    switch (digitsBefore) {
    case 1:
        return '1';
    case 2:
        return '2';
    case 3:
        return '4';
    default:
        return '0';
    }
}

// Overload texts and their point code; the digits are always "?0:?".
bool overloadPoint(QStringView text, char &code)
{
    static const struct {
        const char *text;
        char code;
    } kForms[] = {{"0L", '0'}, {".0L", '1'}, {"0.L", '2'}, {"0L.", '4'}};
    for (const auto &form : kForms) {
        if (text == QLatin1String(form.text)) {
            code = form.code;
            return true;
        }
    }
    return false;
}

} // namespace

QByteArray meterLine(const MeterFace &face)
{
    QStringView text(face.text);
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative)
        text = text.mid(1);

    QByteArray digits;
    char point = '0';
    int count = 0;
    char bar = 0;
    if (overloadPoint(text, point)) {
        digits = "?0:?";
        bar = kOverloadBar;
    } else {
        int digitsBefore = -1;
        for (const QChar c : text) {
            if (c == QLatin1Char('.') && digitsBefore < 0 && !digits.isEmpty()) {
                digitsBefore = int(digits.size());
            } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9') && digits.size() < 4) {
                digits += char(c.unicode());
                count = count * 10 + (c.unicode() - '0');
            } else {
                return {};
            }
        }
        if (digits.size() != 4 || digitsBefore == 4)
            return {};
        point = pointCode(digitsBefore);
        // The bar graph follows the count, about one segment per hundred.
        bar = char(qMin(count / 100, 60) | (negative ? 0x80 : 0));
    }

    const quint32 status = face.flags.toInt() | kAlwaysOn;
    QByteArray line;
    line.reserve(14);
    line += negative ? '-' : '+';
    line += digits;
    line += ' ';
    line += point;
    for (int i = 0; i < 4; ++i)
        line += char((status >> (8 * i)) & 0xFF);
    line += bar;
    line += "\r\n";
    return line;
}

namespace {

using F = MeterFlag;

struct ScriptBuilder {
    QVector<MeterFace> lines;

    // One line per text, all with the same annunciators.
    void add(MeterFlags flags, std::initializer_list<const char *> texts)
    {
        for (const char *text : texts)
            lines.append({QString::fromLatin1(text), flags});
    }
};

} // namespace

QVector<MeterFace> meterScript()
{
    ScriptBuilder s;
    const MeterFlags dcV = F::DC | F::Volt | F::Auto;

    // DC volts, auto ranging up through 6 V, 60 V and 600 V and back down.
    s.add(dcV, {"0.000", "0.000", "0.512", "1.874", "3.921", "5.987"});
    s.add(dcV, {"06.12", "12.57", "23.48", "58.90"});
    s.add(dcV, {"061.2", "230.1", "229.8"});
    s.add(dcV, {"12.04", "12.03"});
    // Probes swapped, range held by hand.
    s.add(F::DC | F::Volt, {"-12.03", "-12.04", "-12.02"});
    // HOLD, then MAX and MIN.
    s.add(F::DC | F::Volt | F::Hold, {"-12.02", "-12.02", "-12.02"});
    s.add(F::DC | F::Volt | F::Max, {"12.11", "12.11", "12.15"});
    s.add(F::DC | F::Volt | F::Min, {"11.93", "11.93", "11.90"});
    // Mains, with the battery running low.
    s.add(F::AC | F::Volt | F::Auto, {"229.7", "230.4"});
    s.add(F::AC | F::Volt | F::Auto | F::LowBattery, {"230.1", "229.9", "230.2"});
    // Millivolts, relative to the first reading, and a negative overload.
    const MeterFlags mV = F::DC | F::Volt | F::Milli | F::Auto;
    s.add(mV, {"252.1", "252.0", "251.8"});
    s.add(F::DC | F::Volt | F::Milli | F::Rel, {"000.0", "-000.3", "-001.2", "002.4"});
    s.add(mV, {"-048.6", "-530.2", "-0.L"});
    // Resistance from ohms to megohms, then the open probes.
    s.add(F::Ohm | F::Auto, {"218.5", "218.4"});
    s.add(F::Ohm | F::Kilo | F::Auto, {"2.185", "21.86", "470.3"});
    s.add(F::Ohm | F::Mega | F::Auto, {"1.002", "4.701"});
    s.add(F::Ohm | F::Mega | F::Auto, {"0.L", "0.L"});
    // Continuity: open, then shorted probes.
    s.add(F::Ohm | F::Continuity, {"0.L", "0.L", "000.4", "000.3"});
    // Diode: forward drop, then reversed.
    s.add(F::Diode | F::Volt, {"0.587", "0.586", "0L", "0L"});
    // Capacitance.
    s.add(F::Farad | F::Nano | F::Auto, {"00.00", "10.24", "10.21"});
    s.add(F::Farad | F::Micro | F::Auto, {"4.703", "4.698", "47.12"});
    // Frequency and duty cycle.
    s.add(F::Hertz | F::Auto, {"00.00", "50.00", "49.99"});
    s.add(F::Hertz | F::Kilo | F::Auto, {"1.000", "1.001", "38.40"});
    s.add(F::Percent, {"050.0", "049.9", "025.1"});
    // Temperature.
    s.add(F::Celsius, {"0023", "0024", "0024"});
    s.add(F::Fahrenheit, {"0075", "0076"});
    // Current from microamps to amps.
    s.add(F::DC | F::Ampere | F::Micro | F::Auto, {"000.0", "123.4", "512.7"});
    s.add(F::DC | F::Ampere | F::Milli | F::Auto, {"45.67", "45.71", "-3.217"});
    s.add(F::DC | F::Ampere, {"1.234", "1.241"});
    s.add(F::AC | F::Ampere, {"0.512", "0.509"});
    return s.lines;
}
