#include "range_rules.h"

#include <iterator>

namespace {

constexpr unsigned AcBit = 1u << 0;
constexpr unsigned Continuity = 1u << 1;
constexpr unsigned Status9Bit7 = 1u << 2;
constexpr unsigned Kilo = 1u << 3;
constexpr unsigned Mega = 1u << 4;

constexpr int AnyPoint = -1;

struct RangeRule {
    const char *function; // nullptr: any
    const char *unit;     // nullptr: any
    int pointPos;         // AnyPoint, or 0..3
    unsigned set;         // bits that must be set
    unsigned clear;       // bits that must be clear
    int fullScale;        // L
    double factor;        // F
};

// Evaluated top to bottom; a later match overrides an earlier one.
// clang-format off
const RangeRule kRules[] = {
    //  function     unit   point     set          clear         L     F
    {nullptr,     nullptr, 1,        AcBit,       0,            4,    0.001}, //  1
    {nullptr,     nullptr, 2,        AcBit,       0,            40,   0.01},  //  2
    {nullptr,     nullptr, 3,        AcBit,       0,            400,  0.1},   //  3
    {nullptr,     nullptr, 0,        AcBit,       0,            750,  1},     //  4
    {"DC",        "mV",    2,        0,           0,            40,   0.01},  //  5
    {"DC",        "mV",    3,        0,           0,            400,  0.1},   //  6
    {"DC",        "V",     1,        0,           0,            4,    0.001}, //  7
    {"DC",        "V",     2,        0,           0,            40,   0.01},  //  8
    {"DC",        "V",     3,        0,           0,            400,  0.1},   //  9
    {"DC",        nullptr, 0,        0,           0,            1000, 1},     // 10
    {"CAP",       "nF",    AnyPoint, 0,           0,            40,   0.01},  // 11
    {"CAP",       "nF",    3,        0,           0,            400,  0.1},   // 12
    {"CAP",       "uF",    1,        0,           0,            4,    0.001}, // 13
    {"CAP",       "uF",    2,        0,           0,            40,   0.01},  // 14
    {"CAP",       "uF",    3,        0,           0,            400,  0.1},   // 15
    {"CAP",       nullptr, 0,        0,           0,            4000, 1},     // 16
    {nullptr,     nullptr, AnyPoint, Continuity,  0,            40,   0.1},   // 17
    {"OHM",       "*",     3,        0,           Continuity,   400,  0.1},   // 18
    {"OHM",       "k*",    1,        0,           0,            4,    0.001}, // 19
    {"OHM",       "k*",    2,        0,           0,            40,   0.01},  // 20
    {"OHM",       "k*",    3,        0,           0,            400,  0.1},   // 21
    {"OHM",       "M*",    1,        0,           0,            4,    0.001}, // 22
    {"OHM",       "M*",    2,        0,           0,            40,   0.01},  // 23
    {nullptr,     nullptr, AnyPoint, Status9Bit7, 0,            4,    0.001}, // 24
    {nullptr,     "#",     AnyPoint, 0,           0,            1000, 1},     // 25
    {nullptr,     "?",     AnyPoint, 0,           0,            1832, 1},     // 26
    {"Freq",      "Hz",    1,        0,           Kilo | Mega,  10,   0.001}, // 27
    {"Freq",      "Hz",    2,        0,           Kilo | Mega,  100,  0.01},  // 28
    {"Freq",      "Hz",    3,        0,           Kilo | Mega,  1000, 0.1},   // 29
    {"Freq",      "Hz",    1,        Kilo,        Mega,         10,   0.001}, // 30
    {"Freq",      "Hz",    2,        Kilo,        Mega,         100,  0.01},  // 31
    {"Freq",      "Hz",    3,        Kilo,        Mega,         1000, 0.1},   // 32
    {"Freq",      "Hz",    1,        Mega,        Kilo,         10,   0.001}, // 33
    {nullptr,     "%",     AnyPoint, 0,           0,            100,  0.1},   // 34
    {"DC",        "uA",    3,        0,           0,            400,  0.1},   // 35
    {"DC",        "uA",    0,        0,           0,            4000, 1},     // 36
    {"AC",        "uA",    3,        0,           0,            400,  0.1},   // 37
    {"AC",        "uA",    0,        0,           0,            4000, 1},     // 38
    {"DC",        "mA",    2,        0,           0,            40,   0.01},  // 39
    {"DC",        "mA",    3,        0,           0,            400,  0.1},   // 40
    {"AC",        "mA",    2,        0,           0,            40,   0.01},  // 41
    {"AC",        "mA",    3,        0,           0,            400,  0.1},   // 42
    {"DC",        "A",     1,        0,           0,            4,    0.001}, // 43
    {"DC",        "A",     2,        0,           0,            10,   0.01},  // 44
    {"AC",        "A",     1,        0,           0,            4,    0.001}, // 45
    {"AC",        "A",     2,        0,           0,            10,   0.01},  // 46
};
// clang-format on

bool textMatches(const char *wanted, const QString &actual)
{
    return wanted == nullptr || actual == QLatin1String(wanted);
}

} // namespace

int scaleCountForUnit(const QString &unit)
{
    if (unit == QLatin1String("Hz"))
        return 1000;
    if (unit == QLatin1String("%"))
        return 100;
    if (unit == QLatin1String("#"))
        return 1000;
    return 6000;
}

RangeResult applyRangeRules(const RangeInputs &in)
{
    unsigned bits = 0;
    bits |= in.acBit ? AcBit : 0u;
    bits |= in.continuityBit ? Continuity : 0u;
    bits |= in.status9Bit7 ? Status9Bit7 : 0u;
    bits |= in.kilo ? Kilo : 0u;
    bits |= in.mega ? Mega : 0u;

    RangeResult result;
    result.number = in.rawCount;
    int number = 0;
    for (const RangeRule &rule : kRules) {
        ++number;
        if (!textMatches(rule.function, in.function) || !textMatches(rule.unit, in.unit))
            continue;
        if (rule.pointPos != AnyPoint && rule.pointPos != in.pointPos)
            continue;
        if ((bits & rule.set) != rule.set || (bits & rule.clear) != 0)
            continue;
        result.matched = true;
        result.rule = number;
        result.fullScale = rule.fullScale;
        result.number = in.rawCount * rule.factor;
    }
    return result;
}

int rangeRuleCount()
{
    return static_cast<int>(std::size(kRules));
}
