#pragma once

#include "meter/lcd_state.h"

#include <QCache>
#include <QImage>
#include <QWidget>

// The on-screen mirror of the meter's display: a white sunken panel that
// shows the elements of an LcdState at their places. It knows nothing of
// frames; whoever decodes them hands it the state to show.
class LcdPanel : public QWidget {
    Q_OBJECT

public:
    explicit LcdPanel(QWidget *parent = nullptr);

    // Repaints only where the two states differ; a listening screen reader
    // hears the new reading in words (LcdState::describe).
    void setState(const LcdState &state);
    const LcdState &state() const { return m_state; }

    // Where the panel's pixels can differ between two states.
    static QRegion changedRegion(const LcdState &from, const LcdState &to);

    // Off, every paint draws the digits afresh (tests compare the copies
    // with such a drawing).
    void setCopiesDigitPlaces(bool on) { m_copiesDigitPlaces = on; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Draws what the panel shows inside `area`, element by element.
    void drawArea(QPainter &painter, const QRegion &area) const;
    // The pixels of a digit place as drawArea gives them, drawn once for
    // each look of the place and then copied: a digit's antialiased
    // segments cost far more to fill than their pixels cost to copy.
    const QImage &tile(int place, QImage::Format format, qreal pixelRatio);

    struct TileKey {
        int place;
        QString content; // what of the state can reach the place
        QImage::Format format;
        qreal pixelRatio;
        bool operator==(const TileKey &o) const
        {
            return place == o.place && content == o.content && format == o.format &&
                   pixelRatio == o.pixelRatio;
        }
        friend size_t qHash(const TileKey &k, size_t seed = 0)
        {
            return qHashMulti(seed, k.place, k.content, int(k.format), k.pixelRatio);
        }
    };

    void announce();

    LcdState m_state = LcdState::startUp();
    QString m_announced; // the words a screen reader last heard
    bool m_copiesDigitPlaces = true;
    QCache<TileKey, QImage> m_tiles{4 << 20}; // bytes
};
