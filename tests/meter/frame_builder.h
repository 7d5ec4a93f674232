#pragma once

#include <QByteArray>
#include <QString>

// Builds the hex text of a meter frame as the links hand it to the decoder:
// sign, four digit bytes, a space, the point code, four status bytes, the
// bar byte and the carriage return (13 bytes, 26 characters).
inline QString frameHex(char sign, const char *digits, char point, int s8, int s9, int s10, int s11)
{
    QByteArray bytes;
    bytes.append(sign);
    bytes.append(digits, 4);
    bytes.append(' ');
    bytes.append(point);
    bytes.append(char(s8));
    bytes.append(char(s9));
    bytes.append(char(s10));
    bytes.append(char(s11));
    bytes.append(char(0)); // bar graph
    bytes.append('\r');
    return QString::fromLatin1(bytes.toHex().toUpper());
}

// Status bits by byte and bit number.
namespace Bits {
constexpr int Auto8 = 1 << 5, Dc8 = 1 << 4, Ac8 = 1 << 3, Rel8 = 1 << 2, Hold8 = 1 << 1;
constexpr int None9_7 = 1 << 7, Max9 = 1 << 5, Min9 = 1 << 4, Batt9 = 1 << 2, Nano9 = 1 << 1;
constexpr int Micro10 = 1 << 7, Milli10 = 1 << 6, Kilo10 = 1 << 5, Mega10 = 1 << 4, Continuity10 = 1 << 3,
              Diode10 = 1 << 2, Percent10 = 1 << 1;
constexpr int Volt11 = 1 << 7, Amp11 = 1 << 6, Ohm11 = 1 << 5, Hz11 = 1 << 3, Farad11 = 1 << 2,
              Celsius11 = 1 << 1, Fahrenheit11 = 1 << 0;
} // namespace Bits
