#pragma once

#include <QBrush>
#include <QCache>
#include <QImage>
#include <QPen>
#include <QString>

class QPainter;

// What a cell of the grid shows.
struct CellText {
    QString text;
    int flags = 0; // alignment, as for QPainter::drawText
    QPen pen;
};

// Cells of the grid drawn once and then copied: laying out a text costs
// far more than copying its pixels, and most cells of a recording repeat
// (the function, the unit, the time within a second). A copy is used only
// where it gives the same pixels as drawing the text: onto an image of the
// same format, moved by whole pixels, on a plain background, with a font
// sized in pixels.
class CellImageCache {
public:
    // What the cells of one paint event share, worked out once for all of
    // them (a font's key is a long text built anew on every call).
    struct Target {
        QImage::Format format = QImage::Format_Invalid; // Invalid: cells are drawn directly
        QString fontKey;
    };
    static Target targetFor(const QPainter &painter);

    // Draws `cell` into `area` (the cell without its grid lines) with the
    // text `padding` pixels in from its sides, as
    // painter.drawText(text rectangle, flags, text) over `background` would.
    void draw(QPainter &painter, const Target &target, const QRect &area, int padding,
              const QBrush &background, const CellText &cell);

private:
    struct Key {
        QString text;
        QString font;
        int flags;
        QRgb pen;
        QRgb background;
        QSize size;
        int padding;
        QImage::Format format;
        bool operator==(const Key &o) const
        {
            return text == o.text && flags == o.flags && pen == o.pen && background == o.background &&
                   size == o.size && padding == o.padding && format == o.format && font == o.font;
        }
        friend size_t qHash(const Key &k, size_t seed = 0)
        {
            return qHashMulti(seed, k.text, k.flags, k.pen, k.background, k.size.width(), k.size.height());
        }
    };
    QCache<Key, QImage> m_images{2048};
};
