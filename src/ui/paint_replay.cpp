#include "paint_replay.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

namespace {

// The image a painter draws on, where its pixels are whole device pixels.
const QImage *deviceImage(const QPainter &painter, const QRect &rect, QRect *pixels)
{
    const QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const auto *image =
        device && device->devType() == QInternal::Image ? static_cast<const QImage *>(device) : nullptr;
    const QTransform toDevice = painter.deviceTransform();
    const QRectF area = toDevice.mapRect(QRectF(rect));
    *pixels = area.toAlignedRect();
    if (!image || toDevice.type() > QTransform::TxScale || area != QRectF(*pixels) ||
        !image->rect().contains(*pixels))
        return nullptr;
    return image;
}

} // namespace

void PaintReplay::paint(QPainter &painter, const QPaintEvent &event, const QString &look,
                        const std::function<void(QPainter &)> &draw)
{
    if (replay(painter, event, look))
        return;
    draw(painter);
    record(painter);
}

bool PaintReplay::replay(QPainter &painter, const QPaintEvent &event, const QString &look)
{
    m_pending.reset();
    QRect pixels;
    const QImage *image = m_enabled ? deviceImage(painter, event.rect(), &pixels) : nullptr;
    if (!image)
        return false;
    Pending pending{Key{look, event.region(), painter.deviceTransform()}, pixels, image->copy(pixels)};
    if (const Result *earlier = m_paints.object(pending.key); earlier && earlier->before == pending.before) {
        // Device pixels one to one; the paint's clip keeps the copy to its region.
        painter.save();
        painter.setWorldTransform(painter.deviceTransform().inverted());
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(pixels.topLeft(), earlier->after);
        painter.restore();
        return true;
    }
    m_pending = std::move(pending);
    return false;
}

void PaintReplay::record(QPainter &painter)
{
    if (!m_pending)
        return;
    Pending pending = std::move(*m_pending);
    m_pending.reset();
    QRect pixels;
    const QImage *image = deviceImage(painter, pending.key.region.boundingRect(), &pixels);
    if (!image || painter.deviceTransform() != pending.key.toDevice || pixels != pending.pixels)
        return;
    QImage after = image->copy(pending.pixels);
    after.setDevicePixelRatio(1); // copied back pixel for pixel
    m_paints.insert(std::move(pending.key), new Result{std::move(pending.before), std::move(after)});
}
