#include "window_timer.h"

QtWindowTimer::QtWindowTimer(int intervalMs, bool enabled)
{
    m_timer.setInterval(intervalMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { timeout(); });
    setEnabled(enabled);
}

void QtWindowTimer::setEnabled(bool enabled)
{
    // QTimer::start() restarts a running timer; a frame that enables the
    // sampling timer on every arrival would otherwise keep it from ticking.
    if (enabled == m_timer.isActive())
        return;
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}
