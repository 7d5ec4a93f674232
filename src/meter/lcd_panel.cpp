#include "lcd_panel.h"

#include "segment_font.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <qdrawutil.h>

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

// The pixels an element can touch: its box, or more where its text runs
// past the box, with room for the slant and antialiasing.
QRect elementBounds(LcdElement element, const LcdState &state)
{
    const LcdElementInfo &info = lcdElementInfo(element);
    QRectF bounds(info.left, info.top, info.width, info.height);
    if (info.kind == LcdElementInfo::Digit) {
        // Digits change with every reading: their update covers their ink only.
        const QString &text = state.digits[int(element) - int(LcdElement::LcdDa)];
        return segmentTextReach(bounds, info.charHeight, text).toAlignedRect();
    }
    qreal textWidth = 0;
    switch (info.kind) {
    case LcdElementInfo::SegmentLabel:
        textWidth = segmentTextWidth(QString::fromLatin1(info.text), info.charHeight);
        break;
    case LcdElementInfo::PlainLabel:
        textWidth =
            QFontMetricsF(arialBold(info.charHeight)).horizontalAdvance(QString::fromLatin1(info.text));
        break;
    default:
        break;
    }
    bounds |= QRectF(info.left, info.top, textWidth, info.charHeight * 1.4);
    const qreal margin = 3 + info.charHeight / 4.0;
    return bounds.adjusted(-margin, -margin, margin, margin).toAlignedRect();
}

bool elementDiffers(LcdElement element, const LcdState &a, const LcdState &b)
{
    if (a.isVisible(element) != b.isVisible(element))
        return true;
    if (!a.isVisible(element) || lcdElementInfo(element).kind != LcdElementInfo::Digit)
        return false;
    const int place = int(element) - int(LcdElement::LcdDa);
    return a.digits[place] != b.digits[place];
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
    return region & QRect(1, 1, kPanelWidth - 2, kPanelHeight - 2);
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
}

void LcdPanel::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QRect dirty = event->rect();
    p.fillRect(dirty, Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    for (int i = 0; i < LcdElementCount; ++i) {
        const auto element = static_cast<LcdElement>(i);
        if (!m_state.isVisible(element) || !event->region().intersects(elementBounds(element, m_state)))
            continue;
        const LcdElementInfo &info = lcdElementInfo(element);
        const QRectF box(info.left, info.top, info.width, info.height);
        switch (info.kind) {
        case LcdElementInfo::Digit:
            drawSegmentText(p, box, info.charHeight, m_state.digits[i - static_cast<int>(LcdElement::LcdDa)],
                            dirty);
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
    p.setRenderHint(QPainter::Antialiasing, false);
    qDrawShadePanel(&p, rect(), palette(), true, 1);
}
