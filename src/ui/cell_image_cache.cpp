#include "cell_image_cache.h"

#include <QPaintEngine>
#include <QPainter>

#include <cmath>

CellImageCache::Target CellImageCache::targetFor(const QPainter &painter)
{
    const QPaintEngine *engine = painter.paintEngine();
    const QPaintDevice *device = engine ? engine->paintDevice() : nullptr;
    if (!device || device->devType() != QInternal::Image || device->devicePixelRatio() != 1)
        return {};
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::round(t.dx()) || t.dy() != std::round(t.dy()))
        return {};
    if (painter.font().pixelSize() <= 0)
        return {};
    return {static_cast<const QImage *>(device)->format(), painter.font().key()};
}

void CellImageCache::draw(QPainter &painter, const Target &target, const QRect &area, int padding,
                          const QBrush &background, const CellText &cell)
{
    const QRect textArea(padding, 0, area.width() - 2 * padding, area.height());
    if (target.format == QImage::Format_Invalid || background.style() != Qt::SolidPattern || area.isEmpty()) {
        painter.setPen(cell.pen);
        painter.drawText(textArea.translated(area.topLeft()), cell.flags, cell.text);
        return;
    }
    Key key{cell.text,   target.fontKey, cell.flags,   cell.pen.color().rgba(), background.color().rgba(),
            area.size(), padding,        target.format};
    const QImage *image = m_images.object(key);
    if (!image) {
        auto drawn = new QImage(area.size(), target.format);
        drawn->fill(background.color());
        QPainter p(drawn);
        p.setRenderHints(painter.renderHints());
        p.setLayoutDirection(painter.layoutDirection());
        p.setFont(painter.font());
        p.setPen(cell.pen);
        p.drawText(textArea, cell.flags, cell.text);
        p.end();
        image = drawn;
        m_images.insert(key, drawn);
    }
    painter.drawImage(area.topLeft(), *image);
}
