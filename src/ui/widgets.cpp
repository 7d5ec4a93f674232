#include "widgets.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

bool ClickablePanel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_toolTipSource)
        setToolTip(m_toolTipSource());
    return QLabel::event(event);
}

void ClickablePanel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void CircleShape::setFillColor(const QColor &color)
{
    if (color == m_fill)
        return;
    m_fill = color;
    update();
}

void CircleShape::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QString look = m_fill.name(QColor::HexArgb) + QStringLiteral(" %1x%2").arg(width()).arg(height());
    m_paints.paint(p, *event, look, [this](QPainter &painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(m_fill);
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    });
}

void ReplayingProgressBar::paintEvent(QPaintEvent *event)
{
    // A bar without a range moves by itself.
    if (minimum() == maximum())
        return QProgressBar::paintEvent(event);
    const QString look =
        QStringLiteral("%1 %2 %3 %4x%5 %6 %7 %8 %9 %10")
            .arg(value())
            .arg(minimum())
            .arg(maximum())
            .arg(width())
            .arg(height())
            .arg(palette().cacheKey())
            .arg(int(isEnabled()) | int(orientation()) << 1 | int(invertedAppearance()) << 3 |
                 int(isTextVisible()) << 4 | int(hasFocus()) << 5 | int(underMouse()) << 6)
            .arg(text())
            .arg(int(alignment()))
            .arg(int(textDirection()));
    {
        QPainter p(this);
        if (m_paints.replay(p, *event, look))
            return;
    }
    QProgressBar::paintEvent(event); // with a painter of its own
    QPainter p(this);
    m_paints.record(p);
}

KeyFilter::KeyFilter(QWidget *target, std::function<bool(QChar)> accept)
    : QObject(target), m_accept(std::move(accept))
{
    target->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    // Shortcuts (Ctrl+A/C/V/X/Z) edit; they are not typed characters.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return false;
    const QString text = key->key() == Qt::Key_Backspace ? QStringLiteral("\b") : key->text();
    if (text.size() != 1)
        return false;
    const QChar c = text.front();
    // Only typed characters are filtered: X11 sends Delete as "\x7f", and
    // editing keys must work as in any edit.
    if (c.unicode() != 8 && !c.isPrint())
        return false;
    return !m_accept(c); // true swallows the key
}

void InnerPaintFrame::paintEvent(QPaintEvent *event)
{
    // The frame's own paint draws only its edge; the background comes before.
    if ((event->region() - contentsRect()).isEmpty())
        return;
    QFrame::paintEvent(event);
}

PanelCopyingStyle::PanelCopyingStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void PanelCopyingStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                      const QWidget *widget) const
{
    const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
    // The copy lands on whole device pixels of an image, as drawn.
    const QPaintDevice *device = painter->paintEngine() ? painter->paintEngine()->paintDevice() : nullptr;
    const QTransform toDevice = painter->deviceTransform();
    const qreal ratio = device ? device->devicePixelRatio() : 0;
    const QPointF at = toDevice.map(QPointF(option->rect.topLeft()));
    if (!m_copiesPanels || element != PE_PanelLineEdit || !frame || (option->state & State_HasFocus) ||
        !device || device->devType() != QInternal::Image || toDevice.type() > QTransform::TxScale ||
        toDevice.m11() != ratio || toDevice.m22() != ratio || at != QPointF(at.toPoint()))
        return QProxyStyle::drawPrimitive(element, option, painter, widget);

    const Key key{option->rect.size(), int(option->state), option->palette.cacheKey(), frame->lineWidth,
                  ratio};
    const QImage *panel = m_panels.object(key);
    if (!panel) {
        auto image =
            new QImage((QSizeF(option->rect.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image->setDevicePixelRatio(ratio);
        image->fill(Qt::transparent);
        QPainter p(image);
        p.translate(-option->rect.topLeft());
        QProxyStyle::drawPrimitive(element, option, &p, widget);
        p.end();
        m_panels.insert(key, image);
        panel = image;
    }
    painter->drawImage(option->rect.topLeft(), *panel);
}

QFrame *makeSunkenPanel(QWidget *parent, const QColor &background)
{
    auto *panel = new InnerPaintFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, background);
    panel->setPalette(pal);
    return panel;
}
