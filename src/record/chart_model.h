#pragma once

#include "meter/axis_range.h"

#include <deque>
#include <functional>

// The trend chart as the program's logic drives it. The widget that draws it
// reads this; the range rules set the value axis, the pager the record axis.
//
// Both series (0: filled area, 1: line) always hold the same points, so the
// values are stored once; a point's x is its index.
struct ChartModel {
    AxisRange valueAxis;       // left axis: minus and plus the full scale of the range
    AxisRange recordAxis;      // bottom axis: the pager's window of record numbers
    std::deque<double> points; // y of every point of both series
    int activeSeries = 0;      // the one series drawn

    // Called after the pager or the series change; the widget repaints.
    std::function<void()> onChanged;
    void changed() const
    {
        if (onChanged)
            onChanged();
    }

    // Least and greatest x of the points; 0 when there are none.
    double leastX() const { return 0; }
    double greatestX() const { return points.empty() ? 0 : double(points.size() - 1); }

    // The point that start-up puts at x = 0 in every series, so that the
    // first reading lands at x = 1. Its value is never looked at.
    void addPlaceholderPoint()
    {
        points.push_back(0);
        changed();
    }
};
