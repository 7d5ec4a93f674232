#include "segment_font.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

// Glyphs are designed in character heights, with the origin on the baseline
// and y growing downwards (so everything above the baseline is negative).
constexpr qreal kAscent = 0.905; // baseline below the top of a label
constexpr qreal kCapHeight = 0.72;
constexpr qreal kSlant = 0.08; // digits lean right like an LCD's

// The seven-segment body: its stroke and the gap between neighbouring segments.
constexpr qreal kStroke = 0.09;
constexpr qreal kGap = 0.012;

enum Segment : quint8 { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

struct SegmentGlyph {
    char16_t code;
    qreal advance;
    qreal left, width; // the body inside the advance
    quint8 segments;
};

constexpr qreal kDigitAdvance = 0.38;
constexpr qreal kDigitLeft = 0.03;
constexpr qreal kDigitWidth = 0.285;

const SegmentGlyph kSegmentGlyphs[] = {
    {u'0', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | C | D | E | F},
    {u'1', kDigitAdvance, kDigitLeft, kDigitWidth, B | C},
    {u'2', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | D | E | G},
    {u'3', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | C | D | G},
    {u'4', kDigitAdvance, kDigitLeft, kDigitWidth, B | C | F | G},
    {u'5', kDigitAdvance, kDigitLeft, kDigitWidth, A | C | D | F | G},
    {u'6', kDigitAdvance, kDigitLeft, kDigitWidth, A | C | D | E | F | G},
    {u'7', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | C},
    {u'8', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | C | D | E | F | G},
    {u'9', kDigitAdvance, kDigitLeft, kDigitWidth, A | B | C | D | F | G},
    {u'@', kDigitAdvance, kDigitLeft, kDigitWidth, D | E | F},
    // The minus stands alone in a narrow place: a wide body keeps its middle
    // segment long, and the body starts left of the origin so that the
    // slant does not push the segment past the advance.
    {u'-', 0.28, -0.05, 0.32, G},
};

// One segment as a hexagon in body coordinates: x from the body's left,
// y up from the baseline (negative).
QPolygonF segmentShape(int segment, qreal width)
{
    const qreal h = kCapHeight, half = kStroke / 2;
    auto horizontal = [&](qreal y) {
        const qreal x0 = half + kGap, x1 = width - half - kGap;
        return QPolygonF({{x0, y},
                          {x0 + half, y - half},
                          {x1 - half, y - half},
                          {x1, y},
                          {x1 - half, y + half},
                          {x0 + half, y + half}});
    };
    auto vertical = [&](qreal x, qreal y0, qreal y1) {
        return QPolygonF({{x, y0},
                          {x + half, y0 + half},
                          {x + half, y1 - half},
                          {x, y1},
                          {x - half, y1 - half},
                          {x - half, y0 + half}});
    };
    const qreal top = -h + half, middle = -h / 2, bottom = -half;
    const qreal left = half, right = width - half;
    switch (segment) {
    case 0:
        return horizontal(top);
    case 1:
        return vertical(right, top + kGap, middle - kGap);
    case 2:
        return vertical(right, middle + kGap, bottom - kGap);
    case 3:
        return horizontal(bottom);
    case 4:
        return vertical(left, middle + kGap, bottom - kGap);
    case 5:
        return vertical(left, top + kGap, middle - kGap);
    default:
        return horizontal(middle);
    }
}

// Maps body coordinates of a glyph whose origin (left end of the baseline)
// sits at origin to pixels.
// Well beyond the ink of any glyph advancing from x, slant and antialiasing included.
QRectF glyphReach(qreal x, qreal baseline, qreal advance, qreal charHeight)
{
    return QRectF(x - charHeight / 4, baseline - 1.25 * charHeight, advance + charHeight / 2,
                  1.75 * charHeight);
}

QTransform bodyTransform(QPointF origin, qreal charHeight, const SegmentGlyph &glyph)
{
    QTransform t;
    t.translate(origin.x(), origin.y());
    t.scale(charHeight, charHeight);
    t.translate(glyph.left, 0);
    t.shear(-kSlant, 0);
    return t;
}

void drawSegments(QPainter &p, QPointF origin, qreal charHeight, const SegmentGlyph &glyph)
{
    p.save();
    p.setTransform(bodyTransform(origin, charHeight, glyph), true);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (int s = 0; s < 7; ++s) {
        if (glyph.segments & (1 << s))
            p.drawPolygon(segmentShape(s, glyph.width));
    }
    p.restore();
}

QPen strokePen(qreal width, Qt::PenCapStyle cap = Qt::FlatCap)
{
    return QPen(Qt::black, width, Qt::SolidLine, cap, Qt::MiterJoin);
}

// The degree ring that °C and °F share.
void drawDegreeRing(QPainter &p)
{
    p.setPen(strokePen(0.06));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(0.13, -0.61), 0.075, 0.075);
}

void drawOhm(QPainter &p)
{
    // An arc open at the bottom, standing on two feet.
    QPainterPath path;
    path.moveTo(0.06, -0.05);
    path.lineTo(0.215, -0.05);
    path.lineTo(0.215, -0.21);
    path.arcTo(QRectF(0.09, -0.68, 0.5, 0.5), 240, -300);
    path.lineTo(0.465, -0.05);
    path.lineTo(0.62, -0.05);
    p.setPen(strokePen(0.12));
    p.drawPath(path);
}

void drawCelsius(QPainter &p)
{
    drawDegreeRing(p);
    QPainterPath path;
    path.arcMoveTo(QRectF(0.3, -0.67, 0.38, 0.62), 50);
    path.arcTo(QRectF(0.3, -0.67, 0.38, 0.62), 50, 260);
    p.setPen(strokePen(0.12));
    p.drawPath(path);
}

void drawFahrenheit(QPainter &p)
{
    drawDegreeRing(p);
    QPainterPath path;
    path.moveTo(0.36, 0);
    path.lineTo(0.36, -0.67);
    path.lineTo(0.66, -0.67);
    path.moveTo(0.36, -0.37);
    path.lineTo(0.6, -0.37);
    p.setPen(strokePen(0.12));
    p.drawPath(path);
}

void drawMicro(QPainter &p)
{
    // Sized so that its bowl matches the small letters "n" and "m" beside it.
    QPainterPath path;
    path.moveTo(0.1, 0.18);
    path.lineTo(0.1, -0.4);
    path.moveTo(0.1, -0.17);
    path.arcTo(QRectF(0.1, -0.3, 0.28, 0.28), 180, 180);
    path.moveTo(0.38, -0.4);
    path.lineTo(0.38, -0.06);
    path.quadTo(0.38, 0, 0.46, 0);
    p.setPen(strokePen(0.09));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void drawDiode(QPainter &p)
{
    p.setPen(strokePen(0.07));
    p.drawLine(QPointF(0.04, -0.36), QPointF(1.03, -0.36));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPolygon(QPolygonF({{0.32, -0.62}, {0.7, -0.36}, {0.32, -0.1}}));
    p.drawRect(QRectF(0.7, -0.62, 0.08, 0.52));
}

void drawContinuity(QPainter &p)
{
    // A loudspeaker with two sound waves.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(0.04, -0.47, 0.12, 0.2));
    p.drawPolygon(QPolygonF({{0.16, -0.47}, {0.36, -0.63}, {0.36, -0.11}, {0.16, -0.27}}));
    p.setPen(strokePen(0.065));
    p.setBrush(Qt::NoBrush);
    for (qreal r : {0.17, 0.31}) {
        QPainterPath wave;
        const QRectF box(0.36 - r, -0.37 - r, 2 * r, 2 * r);
        wave.arcMoveTo(box, -45);
        wave.arcTo(box, -45, 90);
        p.drawPath(wave);
    }
}

void drawHold(QPainter &p)
{
    // The meter's hold mark: a black box with a white H.
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(0.04, -0.74, 0.46, 0.72), 0.07, 0.07);
    p.setPen(QPen(Qt::white, 0.08, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(0.15, -0.6), QPointF(0.15, -0.16));
    p.drawLine(QPointF(0.39, -0.6), QPointF(0.39, -0.16));
    p.drawLine(QPointF(0.15, -0.38), QPointF(0.39, -0.38));
}

void drawBattery(QPainter &p)
{
    // Standing upright, nearly empty.
    p.setPen(strokePen(0.05));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.05, -0.72, 0.24, 0.69));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(0.115, -0.8, 0.11, 0.08));
    p.drawRect(QRectF(0.1, -0.2, 0.14, 0.12));
}

struct SymbolGlyph {
    char16_t code;
    qreal advance;
    void (*draw)(QPainter &);
};

const SymbolGlyph kSymbolGlyphs[] = {
    {u'*', 0.68, drawOhm},  {u'#', 0.75, drawCelsius}, {u'?', 0.71, drawFahrenheit},
    {u'+', 0.5, drawMicro}, {u')', 1.07, drawDiode},   {u'&', 0.78, drawContinuity},
    {u'"', 0.54, drawHold}, {u'$', 0.34, drawBattery},
};

const SegmentGlyph *findSegmentGlyph(QChar c)
{
    for (const SegmentGlyph &g : kSegmentGlyphs) {
        if (g.code == c.unicode())
            return &g;
    }
    return nullptr;
}

const SymbolGlyph *findSymbolGlyph(QChar c)
{
    for (const SymbolGlyph &g : kSymbolGlyphs) {
        if (g.code == c.unicode())
            return &g;
    }
    return nullptr;
}

QFont letterFont(qreal charHeight)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(qMax(1, qRound(charHeight)));
    return font;
}

qreal advanceOf(QChar c, qreal charHeight, const QFontMetricsF &letters)
{
    if (const SegmentGlyph *g = findSegmentGlyph(c))
        return g->advance * charHeight;
    if (const SymbolGlyph *g = findSymbolGlyph(c))
        return g->advance * charHeight;
    return letters.horizontalAdvance(c);
}

} // namespace

qreal segmentTextWidth(const QString &text, qreal charHeight)
{
    const QFontMetricsF letters(letterFont(charHeight));
    qreal width = 0;
    for (QChar c : text)
        width += advanceOf(c, charHeight, letters);
    return width;
}

void drawSegmentText(QPainter &painter, const QRectF &rect, qreal charHeight, const QString &text)
{
    drawSegmentText(painter, rect, charHeight, text, QRectF());
}

void drawSegmentText(QPainter &painter, const QRectF &rect, qreal charHeight, const QString &text,
                     const QRectF &visible)
{
    if (text.isEmpty() || charHeight <= 0)
        return;
    const QFont font = letterFont(charHeight);
    const QFontMetricsF letters(font);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect.topLeft());
    const qreal width = segmentTextWidth(text, charHeight);
    if (width > rect.width() && rect.width() > 0)
        painter.scale(rect.width() / width, 1);
    painter.setFont(font);

    qreal x = 0;
    const qreal baseline = kAscent * charHeight;
    for (QChar c : text) {
        const qreal advance = advanceOf(c, charHeight, letters);
        if (!visible.isNull()) {
            if (!painter.worldTransform()
                     .mapRect(glyphReach(x, baseline, advance, charHeight))
                     .intersects(visible)) {
                x += advance;
                continue;
            }
        }
        if (const SegmentGlyph *g = findSegmentGlyph(c)) {
            drawSegments(painter, QPointF(x, baseline), charHeight, *g);
        } else if (const SymbolGlyph *g = findSymbolGlyph(c)) {
            painter.save();
            painter.translate(x, baseline);
            painter.scale(charHeight, charHeight);
            g->draw(painter);
            painter.restore();
        } else {
            painter.setPen(Qt::black);
            painter.drawText(QPointF(x, baseline), QString(c));
        }
        x += advance;
    }
    painter.restore();
}

QRectF segmentTextReach(const QRectF &rect, qreal charHeight, const QString &text)
{
    if (text.isEmpty() || charHeight <= 0)
        return {};
    const QFontMetricsF letters(letterFont(charHeight));
    // The transforms drawSegmentText applies.
    QTransform base;
    base.translate(rect.left(), rect.top());
    const qreal width = segmentTextWidth(text, charHeight);
    if (width > rect.width() && rect.width() > 0)
        base.scale(rect.width() / width, 1);
    QRectF reach;
    qreal x = 0;
    const qreal baseline = kAscent * charHeight;
    for (QChar c : text) {
        const qreal advance = advanceOf(c, charHeight, letters);
        if (const SegmentGlyph *g = findSegmentGlyph(c)) {
            const QTransform body = bodyTransform(QPointF(x, baseline), charHeight, *g) * base;
            for (int segment = 0; segment < 7; ++segment) {
                if (g->segments & (1 << segment))
                    reach |= body.map(segmentShape(segment, g->width)).boundingRect();
            }
        } else {
            reach |= base.mapRect(glyphReach(x, baseline, advance, charHeight));
        }
        x += advance;
    }
    return reach.adjusted(-2, -2, 2, 2); // antialiasing
}

QPointF segmentCentre(const QRectF &rect, qreal charHeight, int segment)
{
    const SegmentGlyph &digit = *findSegmentGlyph(u'8');
    const QPointF origin = rect.topLeft() + QPointF(0, kAscent * charHeight);
    return bodyTransform(origin, charHeight, digit)
        .map(segmentShape(segment, digit.width).boundingRect().center());
}

QString segmentTextToUnicode(const QString &text)
{
    QString plain;
    plain.reserve(text.size() + 2);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'*':
            plain += QChar(0x03A9); // Ω
            break;
        case u'#':
            plain += QStringLiteral("\u00B0C");
            break;
        case u'?':
            plain += QStringLiteral("\u00B0F");
            break;
        case u'+':
            plain += QChar(0x00B5); // µ
            break;
        case u'@':
            plain += QLatin1Char('L');
            break;
        default:
            plain += c;
        }
    }
    return plain;
}
