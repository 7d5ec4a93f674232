#include "simulated_serial_port.h"

#include <cstring>

SimulatedSerialPort::SimulatedSerialPort(QString deviceName) : m_deviceName(std::move(deviceName)) {}

void SimulatedSerialPort::feed(const QByteArray &bytes)
{
    if (m_open)
        m_input += bytes.left(m_inputLimit - m_input.size());
}

bool SimulatedSerialPort::open(const QString &device)
{
    if (m_open || device != m_deviceName)
        return false;
    m_open = true;
    return true;
}

void SimulatedSerialPort::close()
{
    m_open = false;
    m_input.clear();
}

void SimulatedSerialPort::purge(bool input, bool /*output: nothing is ever written*/)
{
    if (input)
        m_input.clear();
}

void SimulatedSerialPort::setQueueSizes(quint16 input, quint16 /*output*/)
{
    m_inputLimit = input;
    m_input.truncate(m_inputLimit);
}

qint64 SimulatedSerialPort::read(char *data, qint64 maxSize)
{
    if (!m_open)
        return -1;
    const qsizetype n = qMin<qsizetype>(maxSize, m_input.size());
    std::memcpy(data, m_input.constData(), size_t(n));
    m_input.remove(0, n);
    return n;
}

QString SimulatedMeterPort::simulatorDeviceName()
{
    return QStringLiteral("meter simulator");
}

SimulatedMeterPort::SimulatedMeterPort(std::unique_ptr<WindowTimer> timer)
    : SimulatedSerialPort(simulatorDeviceName()),
      m_simulator([this](const QByteArray &line) { feed(line); }, std::move(timer))
{
    m_simulator.start();
}

void bindMeterSimulator(TSerialPortDriver &driver, TSerialPortDriver::TComPortNumber port,
                        std::unique_ptr<WindowTimer> timer)
{
    driver.setPortIo(std::make_unique<SimulatedMeterPort>(std::move(timer)));
    driver.setPortNameLookup([port](TSerialPortDriver::TComPortNumber p) {
        return p == port ? SimulatedMeterPort::simulatorDeviceName() : QString();
    });
}
