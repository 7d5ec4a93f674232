#pragma once

#include "lcd_state.h"

#include <QWidget>

// The on-screen mirror of the meter's display: a white sunken panel that
// shows the elements of an LcdState at their places. It knows nothing of
// frames; whoever decodes them hands it the state to show.
class LcdPanel : public QWidget {
    Q_OBJECT

public:
    explicit LcdPanel(QWidget *parent = nullptr);

    // Repaints only where the two states differ.
    void setState(const LcdState &state);
    const LcdState &state() const { return m_state; }

    // Where the panel's pixels can differ between two states.
    static QRegion changedRegion(const LcdState &from, const LcdState &to);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LcdState m_state = LcdState::startUp();
};
