#include "lcd_panel.h"

#include "segment_font.h"

#include <QAccessible>
#include <QHash>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <qdrawutil.h>

#include <array>
#include <cmath>

namespace {

constexpr int kPanelWidth = 302;
constexpr int kPanelHeight = 162;

QFont arialBold(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setBold(true);
    font.setPixelSize(pixelSize);
    return font;
}

// The relative-mode sign: an outlined triangle, designed at 24 x 24.
void drawRelativeSign(QPainter &p, const QRectF &rect)
{
    p.save();
    p.translate(rect.topLeft());
    p.scale(rect.width() / 24, rect.height() / 24);
    p.setPen(QPen(Qt::black, 2.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({{12, 3}, {21.5, 21}, {2.5, 21}}));
    p.restore();
}

// The link sign: a small monitor showing the letter S, designed at 36 x 29.
void drawSendPicture(QPainter &p, const QRectF &rect)
{
    p.save();
    p.translate(rect.topLeft());
    p.scale(rect.width() / 36, rect.height() / 29);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 1.5, 30, 20), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(15, 22, 6, 3));
    p.drawRoundedRect(QRectF(8, 25, 20, 3), 1, 1);

    p.setFont(arialBold(15));
    p.setPen(Qt::black);
    p.drawText(QRectF(3, 1.5, 30, 20), Qt::AlignCenter, QStringLiteral("S"));
    p.restore();
}

void drawPlainLabel(QPainter &p, const QRectF &rect, int charHeight, const QString &text)
{
    p.setFont(arialBold(charHeight));
    p.setPen(Qt::black);
    p.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

const QRect kInterior(1, 1, kPanelWidth - 2, kPanelHeight - 2); // inside the sunken edge

// The pixels an element can touch: its box, or more where its text runs
// past the box, with room for the slant and antialiasing.
QRect textBounds(const LcdElementInfo &info, const QString &text)
{
    QRectF bounds(info.left, info.top, info.width, info.height);
    if (info.kind == LcdElementInfo::Digit) {
        // Digits change with every reading: their update covers their ink only.
        return segmentTextReach(bounds, info.charHeight, text).toAlignedRect();
    }
    qreal textWidth = 0;
    switch (info.kind) {
    case LcdElementInfo::SegmentLabel:
        textWidth = segmentTextWidth(text, info.charHeight);
        break;
    case LcdElementInfo::PlainLabel:
        textWidth = QFontMetricsF(arialBold(info.charHeight)).horizontalAdvance(text);
        break;
    default:
        break;
    }
    bounds |= QRectF(info.left, info.top, textWidth, info.charHeight * 1.4);
    const qreal margin = 3 + info.charHeight / 4.0;
    return bounds.adjusted(-margin, -margin, margin, margin).toAlignedRect();
}

int digitPlace(LcdElement element)
{
    return int(element) - int(LcdElement::LcdDa);
}

// Worked out once: an element's bounds depend only on its text, and a
// place shows few digit texts.
QRect elementBounds(LcdElement element, const LcdState &state)
{
    const LcdElementInfo &info = lcdElementInfo(element);
    if (info.kind == LcdElementInfo::Digit) {
        static std::array<QHash<QString, QRect>, 4> known;
        QHash<QString, QRect> &reaches = known[digitPlace(element)];
        const QString &text = state.digits[digitPlace(element)];
        auto it = reaches.constFind(text);
        if (it == reaches.cend()) {
            if (reaches.size() > 64) // texts from garbled frames
                reaches.clear();
            it = reaches.insert(text, textBounds(info, text));
        }
        return *it;
    }
    static const auto fixed = [] {
        std::array<QRect, LcdElementCount> bounds;
        for (int i = 0; i < LcdElementCount; ++i) {
            const LcdElementInfo &e = lcdElementInfo(static_cast<LcdElement>(i));
            bounds[i] = textBounds(e, QString::fromLatin1(e.text));
        }
        return bounds;
    }();
    return fixed[int(element)];
}

// Where any digit of the font can put ink at a place, so that one
// rectangle holds whichever digit the place shows.
QRect digitTile(int place)
{
    static const auto tiles = [] {
        std::array<QRect, 4> rects;
        for (int p = 0; p < 4; ++p) {
            const LcdElementInfo &info = lcdElementInfo(static_cast<LcdElement>(int(LcdElement::LcdDa) + p));
            const QRectF box(info.left, info.top, info.width, info.height);
            QRectF reach;
            for (QChar c : QStringLiteral("0123456789@-"))
                reach |= segmentTextReach(box, info.charHeight, QString(c));
            rects[p] = reach.toAlignedRect() & kInterior;
        }
        return rects;
    }();
    return tiles[place];
}

bool isWhole(qreal v)
{
    return v == std::round(v);
}

bool elementDiffers(LcdElement element, const LcdState &a, const LcdState &b)
{
    if (a.isVisible(element) != b.isVisible(element))
        return true;
    if (!a.isVisible(element) || lcdElementInfo(element).kind != LcdElementInfo::Digit)
        return false;
    return a.digits[digitPlace(element)] != b.digits[digitPlace(element)];
}

} // namespace

QRegion LcdPanel::changedRegion(const LcdState &from, const LcdState &to)
{
    QRegion region;
    for (int i = 0; i < LcdElementCount; ++i) {
        const auto element = static_cast<LcdElement>(i);
        if (elementDiffers(element, from, to))
            region += elementBounds(element, from).united(elementBounds(element, to));
    }
    // The sunken edge never changes; left out, an update of the panel does
    // not reach a neighbour that overlaps that edge.
    return region & kInterior;
}

LcdPanel::LcdPanel(QWidget *parent) : QWidget(parent)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LcdPanel::setState(const LcdState &state)
{
    if (state == m_state)
        return;
    const QRegion changed = changedRegion(m_state, state);
    m_state = state;
    update(changed);
    if (QAccessible::isActive())
        announce();
}

void LcdPanel::announce()
{
    const QString words = m_state.describe();
    if (words == m_announced)
        return;
    m_announced = words;
    QAccessibleValueChangeEvent value(this, words);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void LcdPanel::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    QRegion rest = event->region();
    // Tiles are copied where their pixels land on whole device pixels of an image.
    const QPaintDevice *device = p.paintEngine() ? p.paintEngine()->paintDevice() : nullptr;
    const QTransform toDevice = p.deviceTransform();
    const qreal ratio = device ? device->devicePixelRatio() : 0;
    if (m_copiesDigitPlaces && device && device->devType() == QInternal::Image &&
        toDevice.type() <= QTransform::TxScale && toDevice.m11() == ratio && toDevice.m22() == ratio) {
        const QImage::Format format = static_cast<const QImage *>(device)->format();
        for (int place = 0; place < 4; ++place) {
            const QRect rect = digitTile(place);
            const QPointF at = toDevice.map(QPointF(rect.topLeft()));
            if (!rest.intersects(rect) || !isWhole(at.x()) || !isWhole(at.y()))
                continue;
            const QImage &image = tile(place, format, ratio);
            // Clipped to one rectangle at a time, the copy goes by rows, not by spans.
            for (const QRect &area : event->region() & rect) {
                p.save();
                p.setClipRect(area);
                p.drawImage(rect.topLeft(), image);
                p.restore();
            }
            rest -= rect;
        }
        if (rest.isEmpty())
            return;
        if (rest != event->region())
            p.setClipRegion(rest);
    }
    drawArea(p, rest);
}

const QImage &LcdPanel::tile(int place, QImage::Format format, qreal pixelRatio)
{
    const QRect rect = digitTile(place);
    TileKey key{place, QString(), format, pixelRatio};
    for (int i = 0; i < LcdElementCount; ++i) {
        const auto element = static_cast<LcdElement>(i);
        if (!m_state.isVisible(element) || !elementBounds(element, m_state).intersects(rect))
            continue;
        key.content += QChar(u'A' + i);
        if (lcdElementInfo(element).kind == LcdElementInfo::Digit)
            key.content += m_state.digits[digitPlace(element)] + QChar(u'.');
    }
    if (const QImage *image = m_tiles.object(key))
        return *image;
    auto image = new QImage((QSizeF(rect.size()) * pixelRatio).toSize(), format);
    image->setDevicePixelRatio(pixelRatio);
    image->fill(Qt::white);
    QPainter p(image);
    // A window, not a world transform: drawArea's texts leave out glyphs by widget coordinates.
    p.setWindow(rect);
    p.setViewport(QRect(QPoint(0, 0), rect.size()));
    drawArea(p, rect);
    p.end();
    m_tiles.insert(key, image, int(image->sizeInBytes()));
    return *image;
}

void LcdPanel::drawArea(QPainter &p, const QRegion &area) const
{
    const QRect dirty = area.boundingRect();
    p.fillRect(dirty, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    for (int i = 0; i < LcdElementCount; ++i) {
        const auto element = static_cast<LcdElement>(i);
        if (!m_state.isVisible(element) || !area.intersects(elementBounds(element, m_state)))
            continue;
        const LcdElementInfo &info = lcdElementInfo(element);
        const QRectF box(info.left, info.top, info.width, info.height);
        switch (info.kind) {
        case LcdElementInfo::Digit:
            drawSegmentText(p, box, info.charHeight, m_state.digits[digitPlace(element)], dirty);
            break;
        case LcdElementInfo::SegmentLabel:
            drawSegmentText(p, box, info.charHeight, QString::fromLatin1(info.text), dirty);
            break;
        case LcdElementInfo::PlainLabel:
            drawPlainLabel(p, box, info.charHeight, QString::fromLatin1(info.text));
            break;
        case LcdElementInfo::PointShape:
            p.fillRect(box, Qt::black);
            break;
        case LcdElementInfo::Picture:
            if (element == LcdElement::LCDREL)
                drawRelativeSign(p, box);
            else
                drawSendPicture(p, box);
            break;
        }
    }

    // The sunken edge goes on last: elements at the border (the battery
    // reaches above the top) must not cover it.
    if (!(area - kInterior).isEmpty()) {
        p.setRenderHint(QPainter::Antialiasing, false);
        qDrawShadePanel(&p, rect(), palette(), true, 1);
    }
}
