#pragma once

#include <QCache>
#include <QImage>
#include <QRegion>
#include <QTransform>

#include <functional>
#include <optional>

class QPaintEvent;
class QPainter;

// Paints of a widget that come again. A paint that covers the same device
// pixels as an earlier one, with the widget looking the same and the same
// pixels beneath, gives the same pixels: those are copied instead of drawn.
// Pixels are read back from the device, so only paints onto an image (the
// raster backing store, QWidget::render into an image) are kept.
class PaintReplay {
public:
    explicit PaintReplay(int paints) : m_paints(paints) {}

    // Off, every paint draws (tests compare the copies with such a drawing).
    void setEnabled(bool on) { m_enabled = on; }

    // Paints `event` with `draw`, or copies what an earlier paint gave.
    // `look` holds everything else the drawing depends on.
    void paint(QPainter &painter, const QPaintEvent &event, const QString &look,
               const std::function<void(QPainter &)> &draw);

    // The same in two steps, for a drawing that needs the device to itself:
    // replay copies an earlier result and says so; otherwise the caller
    // draws, and record keeps the result (painter on the same widget).
    bool replay(QPainter &painter, const QPaintEvent &event, const QString &look);
    void record(QPainter &painter);

private:
    struct Key {
        QString look;
        QRegion region;
        QTransform toDevice;
        bool operator==(const Key &o) const
        {
            return look == o.look && region == o.region && toDevice == o.toDevice;
        }
        friend size_t qHash(const Key &k, size_t seed = 0)
        {
            const QRect r = k.region.boundingRect();
            return qHashMulti(seed, k.look, r.x(), r.y(), r.width(), r.height(), k.toDevice.dx(),
                              k.toDevice.dy());
        }
    };
    struct Result {
        QImage before; // the device's pixels under the paint's bounding rectangle
        QImage after;
    };
    struct Pending {
        Key key;
        QRect pixels;
        QImage before;
    };
    bool m_enabled = true;
    std::optional<Pending> m_pending; // between replay and record
    QCache<Key, Result> m_paints;
};
