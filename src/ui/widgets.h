#pragma once

#include "paint_replay.h"

#include <QCache>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
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
// sliver of it: that paint is copied rather than the whole ellipse filled.
class CircleShape : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    void setFillColor(const QColor &color);
    QColor fillColor() const { return m_fill; }

    // Off, every paint draws the ellipse (tests compare the copies with such a drawing).
    void setRepeatsPaints(bool on) { m_paints.setEnabled(on); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill = Qt::white;
    PaintReplay m_paints{4};
};

// The bar graph. A reading moves it among a few positions again and again,
// and the style's bar is costly to draw: a position shown before is copied.
class ReplayingProgressBar : public QProgressBar {
    Q_OBJECT

public:
    using QProgressBar::QProgressBar;

    // Off, every paint draws the bar (tests compare the copies with such a drawing).
    void setRepeatsPaints(bool on) { m_paints.setEnabled(on); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PaintReplay m_paints{64};
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
