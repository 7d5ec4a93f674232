#include "tick_timer.h"

QtTickTimer::QtTickTimer()
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}
