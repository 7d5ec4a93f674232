#include "lcd_panel.h"

#include "segment_font.h"

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

} // namespace

LcdPanel::LcdPanel(QWidget *parent) : QWidget(parent)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LcdPanel::setState(const LcdState &state)
{
    if (state == m_state)
        return;
    m_state = state;
    update();
}

void LcdPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    for (int i = 0; i < LcdElementCount; ++i) {
        const auto element = static_cast<LcdElement>(i);
        if (!m_state.isVisible(element))
            continue;
        const LcdElementInfo &info = lcdElementInfo(element);
        const QRectF box(info.left, info.top, info.width, info.height);
        switch (info.kind) {
        case LcdElementInfo::Digit:
            drawSegmentText(p, box, info.charHeight, m_state.digits[i - static_cast<int>(LcdElement::LcdDa)]);
            break;
        case LcdElementInfo::SegmentLabel:
            drawSegmentText(p, box, info.charHeight, QString::fromLatin1(info.text));
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
