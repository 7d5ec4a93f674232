#pragma once

#include <algorithm>

// What the widgets are to show of the frames decoded since they were last
// brought up to date. Frames arrive a poll at a time; each is decoded,
// judged and recorded at once, while the widgets are told once per poll.
struct PendingViews {
    // The bar graph as the frames left it: a new maximum below the value
    // shows a full bar, as does a value beyond the maximum.
    struct Bar {
        int maximum = 60;
        int value = 30;
        void setMaximum(int m)
        {
            maximum = m;
            value = std::clamp(value, 0, std::max(0, maximum));
        }
        void setPosition(int position) { value = std::clamp(position, 0, std::max(0, maximum)); }
    } bar;

    bool lcd = false;
    bool verdict = false;
    bool barChanged = false;
    int followRow = -1; // the grid's new current row
    int page = -1;      // the page button's new caption

    bool any() const { return lcd || verdict || barChanged || followRow >= 0 || page >= 0; }
    void clear()
    {
        lcd = verdict = barChanged = false;
        followRow = page = -1;
    }
};
