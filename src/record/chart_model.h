#pragma once

// One axis of the trend chart; both ends are set by hand, never automatically.
struct AxisRange {
    double minimum = 0;
    double maximum = 0;
};

// The trend chart as the program's logic drives it. The widget that draws it
// reads this; the range rules set the value axis.
struct ChartModel {
    AxisRange valueAxis; // left axis: minus and plus the full scale of the range
};
