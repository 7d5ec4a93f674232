#pragma once

#include <QString>

// The current measurement: one record for the life of the process, rewritten
// by every decoded frame. Texts are in the segment-font code ("*" is the ohm
// sign, "#" degrees Celsius, "?" degrees Fahrenheit, "@" the segment L).
struct Reading {
    QString ValueText;    // as the LCD shows it, with the user's decimal separator
    QString FunctionText; // "", "Diode", "CTN", "OHM", "AC", "DC", "CAP", "TMP", "Freq", "DutyCycle"
    QString UnitText;     // "", "V", "mV", "k*", "Hz", ...
    QString RangeText;    // "AUTO" or "MANU"
    double Number = 0;    // in the units of the display, or the raw count when no range rule applies
    QString JudgeText;    // "pass" or "Fail"; kept in frames that are not judged
};
