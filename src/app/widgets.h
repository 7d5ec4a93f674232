#pragma once

#include <QCache>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QProxyStyle>
#include <QWidget>

#include <functional>

// A sunken panel with a caption that reacts to clicks while enabled.
class ClickablePanel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

    // The tooltip is asked for when it is about to show, so it can name
    // what the panel stands for at that moment.
    void setToolTipSource(std::function<QString()> source) { m_toolTipSource = std::move(source); }

signals:
    void clicked();

protected:
    bool event(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    std::function<QString()> m_toolTipSource;
};

// A filled ellipse with a black outline, the verdict lamp of the limit panel.
// The value field beside it overlaps its edge, so every reading repaints a
// sliver of it; a paint over the same pixels as the one before copies that
// paint's result instead of filling the whole ellipse's outline again.
class CircleShape : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    void setFillColor(const QColor &color);
    QColor fillColor() const { return m_fill; }

    // Off, every paint draws the ellipse (tests compare the copies with such a drawing).
    void setRepeatsPaints(bool on) { m_repeatsPaints = on; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void draw(QPainter &painter) const;

    // The last paint: where it went on its device, and the device's
    // pixels there before and after it.
    struct Paint {
        QRegion region;
        QColor fill;
        QSize size;
        QTransform toDevice;
        QRect pixels;
        QImage before, after;
    };
    QColor m_fill = Qt::white;
    bool m_repeatsPaints = true;
    Paint m_last;
};

// Discards typed characters that `accept` refuses, as a key-press handler
// that sets the key to null would. Editing keys (arrows, Delete, Home/End)
// and shortcuts pass, so editing and pasting keep working; backspace is
// asked about like a typed character.
class KeyFilter : public QObject {
    Q_OBJECT

public:
    KeyFilter(QWidget *target, std::function<bool(QChar)> accept);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool(QChar)> m_accept;
};

// The application's style with the panel of a line edit drawn once for each
// look and then copied: a field whose text changes with every reading would
// otherwise fill its antialiased frame anew each time. A focused field is
// drawn afresh (its frame is drawn twice over).
class PanelCopyingStyle : public QProxyStyle {
    Q_OBJECT

public:
    PanelCopyingStyle(); // over a new instance of the application's style

    // Off, every panel is drawn afresh (tests compare the copy with such a drawing).
    void setCopiesPanels(bool on) { m_copiesPanels = on; }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    struct Key {
        QSize size;
        int state;
        qint64 palette;
        int lineWidth;
        qreal pixelRatio;
        bool operator==(const Key &o) const
        {
            return size == o.size && state == o.state && palette == o.palette && lineWidth == o.lineWidth &&
                   pixelRatio == o.pixelRatio;
        }
        friend size_t qHash(const Key &k, size_t seed = 0)
        {
            return qHashMulti(seed, k.size.width(), k.size.height(), k.state, k.palette, k.pixelRatio);
        }
    };
    bool m_copiesPanels = true;
    mutable QCache<Key, QImage> m_panels{16};
};

// A sunken white panel, as the LCD and limit panels are drawn.
QFrame *makeSunkenPanel(QWidget *parent, const QColor &background);

// A frame that leaves its edge alone when a paint lies inside it: every
// reading repaints the value field on the limit panel, and with it the
// panel beneath.
class InnerPaintFrame : public QFrame {
    Q_OBJECT

public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent *event) override;
};
