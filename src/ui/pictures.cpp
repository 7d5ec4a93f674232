#include "pictures.h"

#include <QPainter>

QPixmap connectionPicture(bool lit)
{
    QPixmap pm(25, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor screen = lit ? QColor(80, 220, 80) : QColor(60, 60, 60);
    const QColor body(200, 200, 200);

    // Computer: monitor on a foot.
    p.setPen(Qt::black);
    p.setBrush(body);
    p.drawRect(1, 3, 13, 10);
    p.fillRect(3, 5, 10, 7, screen);
    p.drawRect(5, 14, 5, 2);
    p.drawLine(3, 17, 12, 17);

    // Meter: upright case with a display and a dial.
    p.setBrush(QColor(240, 200, 40));
    p.drawRect(16, 5, 8, 17);
    p.fillRect(18, 7, 5, 4, screen);
    p.setBrush(Qt::black);
    p.drawEllipse(18, 14, 4, 4);

    // The cable between them.
    p.setPen(QPen(Qt::darkGray, 1));
    p.drawLine(14, 19, 16, 19);
    return pm;
}
