#include "lcd_state.h"

#include <QStringList>

#include <utility>

namespace {

using E = LcdElement;
using K = LcdElementInfo::Kind;

// Positions in pixels inside the 302 x 162 panel, character heights in pixels.
const LcdElementInfo kElements[LcdElementCount] = {
    {E::LcdFH, "LcdFH", 5, 36, 28, 112, 100, "-", K::SegmentLabel},
    {E::LcdDa, "LcdDa", 41, 29, 38, 112, 100, nullptr, K::Digit},
    {E::LcdDb, "LcdDb", 88, 28, 38, 112, 100, nullptr, K::Digit},
    {E::LcdDc, "LcdDc", 136, 28, 38, 112, 100, nullptr, K::Digit},
    {E::LcdDd, "LcdDd", 184, 28, 38, 112, 100, nullptr, K::Digit},
    {E::LcdP1, "LcdP1", 79, 113, 7, 8, 0, nullptr, K::PointShape},
    {E::LcdP2, "LcdP2", 127, 113, 7, 8, 0, nullptr, K::PointShape},
    {E::LcdP3, "LcdP3", 176, 113, 9, 8, 0, nullptr, K::PointShape},
    {E::LcdAC, "LcdAC", 6, 46, 31, 23, 21, "AC", K::SegmentLabel},
    {E::LcdDc1, "LcdDc1", 5, 46, 32, 23, 21, "DC", K::SegmentLabel},
    {E::LcdAuto, "LcdAuto", 56, 131, 88, 17, 16, "Auto range", K::SegmentLabel},
    {E::LCDHold, "LCDHold", 8, 102, 19, 39, 35, "\"", K::SegmentLabel},
    {E::LCDREL, "LCDREL", 129, 10, 24, 24, 0, nullptr, K::Picture},
    {E::Labmax, "Labmax", 52, 18, 35, 19, 16, "MAX", K::PlainLabel},
    {E::Labmin, "Labmin", 92, 18, 29, 19, 16, "MIN", K::PlainLabel},
    {E::LCDBATT, "LCDBATT", 256, -1, 12, 39, 35, "$", K::SegmentLabel},
    {E::LCDDI, "LCDDI", 176, 9, 31, 32, 29, ")", K::SegmentLabel},
    {E::LCDFm, "LCDFm", 176, 8, 25, 36, 32, "&", K::SegmentLabel},
    {E::LCDn, "LCDn", 208, 10, 13, 27, 24, "n", K::SegmentLabel},
    {E::LCDu, "LCDu", 208, 3, 16, 36, 32, "+", K::SegmentLabel},
    {E::Lcdm, "Lcdm", 208, 9, 20, 27, 24, "m", K::SegmentLabel},
    {E::LCDk, "LCDk", 238, 76, 12, 27, 24, "k", K::SegmentLabel},
    {E::LCDM1, "LCDM1", 238, 81, 16, 21, 19, "M", K::SegmentLabel},
    {E::LcdV, "LcdV", 232, 11, 16, 27, 24, "V", K::SegmentLabel},
    {E::LCDA, "LCDA", 232, 10, 16, 27, 24, "A", K::SegmentLabel},
    {E::LCDF, "LCDF", 232, 10, 15, 27, 24, "F", K::SegmentLabel},
    {E::LCDohm, "LCDohm", 264, 81, 13, 21, 19, "*", K::SegmentLabel},
    {E::LCDHz, "LCDHz", 248, 98, 29, 27, 24, "Hz", K::SegmentLabel},
    {E::LCDBF, "LCDBF", 248, 40, 19, 23, 21, "%", K::SegmentLabel},
    {E::LCDCS, "LCDCS", 240, 57, 18, 27, 24, "#", K::SegmentLabel},
    {E::LCDFS, "LCDFS", 256, 57, 17, 27, 24, "?", K::SegmentLabel},
    {E::LCDsend, "LCDsend", 5, 4, 36, 29, 0, nullptr, K::Picture},
};

} // namespace

const LcdElementInfo &lcdElementInfo(LcdElement e)
{
    return kElements[static_cast<int>(e)];
}

LcdState LcdState::startUp()
{
    LcdState s;
    s.setVisible(E::LcdFH, true);
    s.setVisible(E::LcdDa, true);
    s.setVisible(E::LcdDb, true);
    s.setVisible(E::LcdDc, true);
    s.setVisible(E::LcdDd, true);
    s.digits = {QStringLiteral("3"), QStringLiteral("9"), QStringLiteral("9"), QStringLiteral("9")};
    return s;
}

QString LcdState::describe() const
{
    QStringList parts;
    QString function;
    if (isVisible(E::LcdDc1))
        function = QStringLiteral("DC");
    else if (isVisible(E::LcdAC))
        function = QStringLiteral("AC");
    if (isVisible(E::LCDDI))
        function += function.isEmpty() ? QStringLiteral("Diode") : QStringLiteral(" diode");
    if (isVisible(E::LCDFm))
        function += function.isEmpty() ? QStringLiteral("Continuity") : QStringLiteral(" continuity");

    QString value;
    if (isVisible(E::LcdFH))
        value += QLatin1Char('-');
    const LcdElement places[] = {E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd};
    const LcdElement pointsAfter[] = {E::LcdP1, E::LcdP2, E::LcdP3};
    for (int i = 0; i < 4; ++i) {
        if (isVisible(places[i]))
            value +=
                QString(digits[i]).replace(QLatin1Char('@'), QLatin1Char('L')); // "@" draws the segment L
        if (i < 3 && isVisible(pointsAfter[i]))
            value += QLatin1Char('.');
    }

    // (element, words); at most one prefix and one unit light at a time.
    static const std::pair<LcdElement, const char *> prefixes[] = {
        {E::LCDn, "n"}, {E::LCDu, "\u00b5"}, {E::Lcdm, "m"}, {E::LCDk, "k"}, {E::LCDM1, "M"}};
    static const std::pair<LcdElement, const char *> units[] = {{E::LcdV, "V"},
                                                                {E::LCDA, "A"},
                                                                {E::LCDF, "F"},
                                                                {E::LCDohm, "Ohm"},
                                                                {E::LCDHz, "Hz"},
                                                                {E::LCDBF, "%"},
                                                                {E::LCDCS, "degrees Celsius"},
                                                                {E::LCDFS, "degrees Fahrenheit"}};
    QString unit;
    for (const auto &[element, words] : prefixes) {
        if (isVisible(element))
            unit += QString::fromUtf8(words);
    }
    for (const auto &[element, words] : units) {
        if (isVisible(element))
            unit += QLatin1String(words);
    }

    QString reading = function;
    for (const QString &piece : {value, unit}) {
        if (piece.isEmpty())
            continue;
        if (!reading.isEmpty())
            reading += QLatin1Char(' ');
        reading += piece;
    }
    if (!reading.isEmpty())
        parts << reading;
    parts << (isVisible(E::LcdAuto) ? QStringLiteral("Auto range") : QStringLiteral("Manual range"));
    static const std::pair<LcdElement, const char *> marks[] = {{E::LCDHold, "Hold"},
                                                                {E::LCDREL, "Relative"},
                                                                {E::Labmax, "Maximum"},
                                                                {E::Labmin, "Minimum"},
                                                                {E::LCDBATT, "Battery low"}};
    for (const auto &[element, words] : marks) {
        if (isVisible(element))
            parts << QLatin1String(words);
    }
    return parts.join(QStringLiteral(", "));
}
