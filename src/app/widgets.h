#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
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
class CircleShape : public QWidget {
    Q_OBJECT

public:
    using QWidget::QWidget;
    void setFillColor(const QColor &color);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill = Qt::white;
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

// A sunken white panel, as the LCD and limit panels are drawn.
QFrame *makeSunkenPanel(QWidget *parent, const QColor &background);
