#include "serial_port_driver.h"

#include "qt_serial_port_io.h"
#include "serial_port_names.h"

#include <QScopeGuard>
#include <QtGlobal>

qint32 TSerialPortDriver::baudOf(TComPortBaudRate rate)
{
    static constexpr qint32 kBaud[] = {110,   300,   600,   1200,  2400,  4800,  9600,
                                       14400, 19200, 38400, 56000, 57600, 115200};
    return kBaud[rate];
}

TSerialPortDriver::TSerialPortDriver(QObject *parent)
    : TSerialPortDriver(std::make_unique<QtSerialPortIo>(), std::make_unique<QtWindowTimer>(), parent)
{
}

TSerialPortDriver::TSerialPortDriver(std::unique_ptr<SerialPortIo> io, std::unique_ptr<WindowTimer> pollTimer,
                                     QObject *parent)
    : QObject(parent), m_io(std::move(io)), m_pollTimer(std::move(pollTimer)),
      m_portNameLookup([](TComPortNumber port) { return comPortDeviceName(port); })
{
    m_receiveBuffer.assign(m_inBufSize, 0);
    m_pollTimer->setOnTimeout([this] { PollReceive(); });
}

TSerialPortDriver::~TSerialPortDriver()
{
    ClosePort();
}

bool TSerialPortDriver::OpenPort()
{
    if (IsOpen())
        return true;
    const QString device = DeviceName(m_comPort);
    if (device.isEmpty() || !m_io->open(device) || !m_io->isOpen())
        return false;
    ApplyLineSettings();
    startPolling();
    return true;
}

void TSerialPortDriver::ClosePort()
{
    if (!IsOpen())
        return;
    m_pollTimer->stop();
    m_io->close();
}

bool TSerialPortDriver::IsOpen() const
{
    return m_io->isOpen();
}

SerialLineSettings TSerialPortDriver::lineSettings() const
{
    SerialLineSettings s;
    s.baudRate = baudOf(m_speed);
    s.dataBits = 5 + m_dataBits;
    s.parity = static_cast<SerialParity>(m_parity);
    s.stopBits = static_cast<SerialStopBits>(m_stopBits);
    s.rtsCtsHandshake = m_hwHandshaking == hhRTSCTS;
    s.xonXoffHandshake = m_swHandshaking == shXONXOFF;
    s.dtrOn = m_enableDtrOnOpen;
    return s;
}

void TSerialPortDriver::ApplyLineSettings()
{
    if (!IsOpen())
        return;
    m_io->configure(lineSettings());
    PurgeBuffers(true, true);
    m_io->setQueueSizes(m_inBufSize, m_outBufSize);
}

void TSerialPortDriver::PurgeBuffers(bool input, bool output)
{
    if (IsOpen())
        m_io->purge(input, output);
}

void TSerialPortDriver::PollReceive()
{
    // A handler that runs an event loop of its own (a modal error box) must
    // not get the next tick: its read would overwrite the bytes still being
    // worked through. They wait in the system's queue instead.
    if (!IsOpen() || m_delivering)
        return;
    const qint64 count = m_io->read(m_receiveBuffer.data(), qint64(m_receiveBuffer.size()));
    if (count < 0 && m_onReadFailure)
        m_onReadFailure();
    if (count <= 0 || !m_onReceiveData)
        return;
    m_delivering = true;
    const auto done = qScopeGuard([this] { m_delivering = false; });
    m_onReceiveData(this, m_receiveBuffer.data(), int(count));
}

void TSerialPortDriver::startPolling()
{
    // A period of 0 would poll on every pass of the event loop.
    m_pollTimer->start(qMax<int>(m_pollingDelay, 1));
}

void TSerialPortDriver::setComPort(TComPortNumber port)
{
    if (!IsOpen())
        m_comPort = port;
}

void TSerialPortDriver::setComPortSpeed(TComPortBaudRate speed)
{
    setLineSetting(m_speed, speed);
}

void TSerialPortDriver::setComPortDataBits(TComPortDataBits bits)
{
    setLineSetting(m_dataBits, bits);
}

void TSerialPortDriver::setComPortStopBits(TComPortStopBits bits)
{
    setLineSetting(m_stopBits, bits);
}

void TSerialPortDriver::setComPortParity(TComPortParity parity)
{
    setLineSetting(m_parity, parity);
}

void TSerialPortDriver::setComPortHwHandshaking(TComPortHwHandshaking handshaking)
{
    setLineSetting(m_hwHandshaking, handshaking);
}

void TSerialPortDriver::setComPortSwHandshaking(TComPortSwHandshaking handshaking)
{
    setLineSetting(m_swHandshaking, handshaking);
}

void TSerialPortDriver::setComPortInBufSize(quint16 size)
{
    // A buffer of no bytes could never deliver anything.
    if (IsOpen() || size == 0)
        return;
    m_inBufSize = size;
    m_receiveBuffer.assign(size, 0);
}

void TSerialPortDriver::setComPortOutBufSize(quint16 size)
{
    if (!IsOpen())
        m_outBufSize = size;
}

void TSerialPortDriver::setComPortPollingDelay(quint16 delay)
{
    if (delay == m_pollingDelay)
        return;
    m_pollingDelay = delay;
    if (IsOpen())
        startPolling();
}

void TSerialPortDriver::setEnableDTROnOpen(bool enable)
{
    m_enableDtrOnOpen = enable;
}

QString TSerialPortDriver::DeviceName(TComPortNumber port) const
{
    return m_portNameLookup ? m_portNameLookup(port) : QString();
}

void TSerialPortDriver::setPortNameLookup(TPortNameLookup lookup)
{
    m_portNameLookup = std::move(lookup);
}

void TSerialPortDriver::setPortIo(std::unique_ptr<SerialPortIo> io)
{
    ClosePort();
    m_io = std::move(io);
}
