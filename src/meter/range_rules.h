#pragma once

#include <QString>

// What the range rules look at in one decoded frame.
struct RangeInputs {
    QString function; // Reading.FunctionText
    QString unit;     // Reading.UnitText
    int pointPos = 0; // 0 no point, 1..3 point after D1..D3
    double rawCount = 0;
    bool acBit = false;
    bool continuityBit = false;
    bool status9Bit7 = false;
    bool kilo = false;
    bool mega = false;
};

struct RangeResult {
    bool matched = false; // false: the value axis keeps its range
    int rule = 0;         // number of the deciding rule, from 1; 0 for none
    int fullScale = 0;    // L: the value axis runs from -L to +L
    double number = 0;    // Reading.Number
};

// The full-scale count for the overload counts of the next frame.
int scaleCountForUnit(const QString &unit);

// Runs the ordered rule table; the last matching rule decides.
RangeResult applyRangeRules(const RangeInputs &in);

// Number of rules in the table, for tests that walk it.
int rangeRuleCount();
