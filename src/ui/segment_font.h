#pragma once

#include <QPointF>
#include <QString>

class QPainter;
class QRectF;

// The segment-style LCD font, drawn by code. Texts are in the font's own code:
//
//   "0"-"9"  seven-segment digits      "*"  Ω          ")"   diode
//   "-"      minus (middle segment)    "#"  °C         "&"   continuity (beeper)
//   "@"      the segment L             "?"  °F         "\""  HOLD
//                                      "+"  µ          "$"   battery
//
// Every other character is drawn as itself in a plain bold sans. Vertical
// metrics follow a label's: the baseline lies 0.905 character heights below
// the top, the line is 1.117 character heights tall.

// Draws text from the top-left corner of rect as a label does, squeezed
// sideways when it would not fit the rect's width. charHeight in pixels.
void drawSegmentText(QPainter &painter, const QRectF &rect, qreal charHeight, const QString &text);
// The same, leaving out characters that cannot reach `visible`, given in
// the coordinates the painter's world transform maps to (a widget's own,
// as a paint event's rectangle is).
void drawSegmentText(QPainter &painter, const QRectF &rect, qreal charHeight, const QString &text,
                     const QRectF &visible);

// Where drawSegmentText(painter, rect, charHeight, text) can put ink, in
// the painter's coordinates.
QRectF segmentTextReach(const QRectF &rect, qreal charHeight, const QString &text);

// Pixels the text advances at charHeight.
qreal segmentTextWidth(const QString &text, qreal charHeight);

// Centre of segment 0..6 (a..g: top, upper right, lower right, bottom, lower
// left, upper left, middle) of a digit drawn at the top-left corner of rect.
QPointF segmentCentre(const QRectF &rect, qreal charHeight, int segment);

// The same text for places that show it in an ordinary font: "k*" -> "kΩ",
// "#" -> "°C", "?" -> "°F", "+" -> "µ", "@" -> "L"; everything else is kept.
QString segmentTextToUnicode(const QString &text);
