#pragma once

// Qt gives its accessible table only to its own item views, and a plain
// widget's interface to everything else. The views of this program draw
// themselves, so they bring interfaces of their own: the grid reads as a
// table (column headers, rows, cells with the shown text, the current row
// selected), the LCD panel says its reading in words, the chart its page.
//
// Installed once, before the window is made. Nothing of it runs until
// assistive technology asks.
void installAccessibleViews();
