#pragma once

#include <QString>

#include <array>
#include <bitset>

// The elements of the on-screen LCD that a frame can show or hide, named as
// the window definition names them. The order is the drawing order: later
// elements are drawn over earlier ones where they share a place.
enum class LcdElement {
    LcdFH, // minus sign
    LcdDa, // digit D1
    LcdDb, // digit D2
    LcdDc, // digit D3
    LcdDd, // digit D4
    LcdP1, // decimal point after D1
    LcdP2, // decimal point after D2
    LcdP3, // decimal point after D3
    LcdAC,
    LcdDc1,  // "DC"
    LcdAuto, // "Auto range"
    LCDHold,
    LCDREL, // relative-mode triangle (picture)
    Labmax,
    Labmin,
    LCDBATT,
    LCDDI, // diode
    LCDFm, // continuity
    LCDn,
    LCDu, // micro
    Lcdm,
    LCDk,
    LCDM1, // mega
    LcdV,
    LCDA,
    LCDF,
    LCDohm,
    LCDHz,
    LCDBF,   // percent
    LCDCS,   // degrees Celsius
    LCDFS,   // degrees Fahrenheit
    LCDsend, // monitor picture, shown from the first frame on
    Count
};

constexpr int LcdElementCount = static_cast<int>(LcdElement::Count);

// What the LCD panel shows: which elements are visible and the four digit
// texts. Texts are in the segment-font code ("@" is the segment L).
struct LcdState {
    std::bitset<LcdElementCount> visible;
    std::array<QString, 4> digits; // D1..D4, an empty text leaves the place blank

    bool isVisible(LcdElement e) const { return visible.test(static_cast<size_t>(e)); }
    void setVisible(LcdElement e, bool on) { visible.set(static_cast<size_t>(e), on); }

    // Before the first frame: minus sign and 3 9 9 9, nothing else.
    static LcdState startUp();

    // What the display shows, in words for a screen reader:
    // "DC 12.02 V, Auto range", "AC -0.105 mV, Manual range, Hold",
    // "Continuity 0L Ohm, Auto range". Unit and prefix names are spelt out
    // where the segment font draws a symbol of its own.
    QString describe() const;

    bool operator==(const LcdState &o) const { return visible == o.visible && digits == o.digits; }
    bool operator!=(const LcdState &o) const { return !(*this == o); }
};

// Where an element sits inside the panel and how it is drawn.
struct LcdElementInfo {
    LcdElement element;
    const char *name; // the window definition's name, e.g. "LcdFH"
    int left, top, width, height;
    int charHeight;   // pixels; 0 for shapes and pictures
    const char *text; // label text in the segment-font code; nullptr for digits, shapes, pictures
    enum Kind { SegmentLabel, PlainLabel, Digit, PointShape, Picture } kind;
};

// One entry per element, in LcdElement order.
const LcdElementInfo &lcdElementInfo(LcdElement e);
