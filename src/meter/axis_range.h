#pragma once

// One axis of the trend chart; both ends are set by hand, never automatically.
struct AxisRange {
    double minimum = 0;
    double maximum = 0;
};
