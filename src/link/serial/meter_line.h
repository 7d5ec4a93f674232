#pragma once

#include <QByteArray>
#include <QFlags>
#include <QString>
#include <QVector>

// The meter's annunciators, each the bit that lights it in the line's four
// status bytes: byte 1 is bits 0 to 7, byte 2 bits 8 to 15, and so on.
enum class MeterFlag : quint32 {
    Hold = 1u << 1,
    Rel = 1u << 2,
    AC = 1u << 3,
    DC = 1u << 4,
    Auto = 1u << 5,
    Nano = 1u << (8 + 1),
    LowBattery = 1u << (8 + 2),
    Min = 1u << (8 + 4),
    Max = 1u << (8 + 5),
    Percent = 1u << (16 + 1),
    Diode = 1u << (16 + 2),
    Continuity = 1u << (16 + 3),
    Mega = 1u << (16 + 4),
    Kilo = 1u << (16 + 5),
    Milli = 1u << (16 + 6),
    Micro = 1u << (16 + 7),
    Fahrenheit = 1u << (24 + 0),
    Celsius = 1u << (24 + 1),
    Farad = 1u << (24 + 2),
    Hertz = 1u << (24 + 3),
    Ohm = 1u << (24 + 5),
    Ampere = 1u << (24 + 6),
    Volt = 1u << (24 + 7),
};
Q_DECLARE_FLAGS(MeterFlags, MeterFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(MeterFlags)

// What the meter's LCD shows.
//
//   text     "-1.234"  sign, four digits, at most one point after digit 1, 2 or 3
//            "0.L"     overload: 0L with the point where the range puts it
//                      (".0L", "0.L", "0L." or "0L"), a sign allowed
struct MeterFace {
    QString text;
    MeterFlags flags;
};

// The 14 bytes the meter sends for a face: sign, four digits, a space, the
// point code, four status bytes, the bar graph, CR and LF. Empty when the LCD
// cannot show the text.
QByteArray meterLine(const MeterFace &face);

// The readings the simulator steps through, one per line, then over again:
// every function and annunciator of the meter, as a user would go through
// them with probes on real circuits.
QVector<MeterFace> meterScript();
