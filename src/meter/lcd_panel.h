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

    void setState(const LcdState &state);
    const LcdState &state() const { return m_state; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LcdState m_state = LcdState::startUp();
};
