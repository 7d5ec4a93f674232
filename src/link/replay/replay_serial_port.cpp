#include "link/replay/replay_serial_port.h"

namespace {

const QString kDeviceName = QStringLiteral("serial replay");

} // namespace

ReplaySerialPort::ReplaySerialPort(QByteArray bytes, std::unique_ptr<WindowTimer> timer)
    : SimulatedSerialPort(kDeviceName), m_bytes(std::move(bytes)), m_timer(std::move(timer))
{
    m_timer->setOnTimeout([this] { tick(); });
}

bool ReplaySerialPort::open(const QString &device)
{
    if (!SimulatedSerialPort::open(device))
        return false;
    if (!m_started) {
        m_started = true;
        m_timer->start(TickMs);
    }
    return true;
}

void ReplaySerialPort::tick()
{
    ++m_ticks;
    // Counted from the start, so that rounding never drifts.
    const qsizetype due = qMin<qsizetype>(m_bytes.size(), m_ticks * TickMs * BytesPerSecond / 1000);
    if (due > m_at) {
        feed(m_bytes.mid(m_at, due - m_at));
        m_at = due;
    }
    if (done())
        m_timer->stop();
}

void bindSerialReplay(TSerialPortDriver &driver, const QByteArray &bytes,
                      TSerialPortDriver::TComPortNumber port, std::unique_ptr<WindowTimer> timer)
{
    driver.setPortIo(std::make_unique<ReplaySerialPort>(bytes, std::move(timer)));
    driver.setPortNameLookup(
        [port](TSerialPortDriver::TComPortNumber p) { return p == port ? kDeviceName : QString(); });
}
