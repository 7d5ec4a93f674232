#include "widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

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

void CircleShape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_fill);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
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

QFrame *makeSunkenPanel(QWidget *parent, const QColor &background)
{
    auto *panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, background);
    panel->setPalette(pal);
    return panel;
}
