#include "qt_serial_port_io.h"

bool QtSerialPortIo::open(const QString &device)
{
    if (device.isEmpty())
        return false;
    m_port.setPortName(device);
    return m_port.open(QIODevice::ReadWrite);
}

void QtSerialPortIo::configure(const SerialLineSettings &settings)
{
    m_port.setBaudRate(settings.baudRate);
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits));

    // In the order of SerialParity and SerialStopBits.
    static constexpr QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                      QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                      QSerialPort::SpaceParity};
    static constexpr QSerialPort::StopBits kStopBits[] = {QSerialPort::OneStop, QSerialPort::OneAndHalfStop,
                                                          QSerialPort::TwoStop};
    m_port.setParity(kParity[int(settings.parity)]);
    m_port.setStopBits(kStopBits[int(settings.stopBits)]);

    // Qt knows one flow-control mode at a time; RTS/CTS wins when both are asked for.
    if (settings.rtsCtsHandshake)
        m_port.setFlowControl(QSerialPort::HardwareControl);
    else if (settings.xonXoffHandshake)
        m_port.setFlowControl(QSerialPort::SoftwareControl);
    else
        m_port.setFlowControl(QSerialPort::NoFlowControl);

    m_port.setDataTerminalReady(settings.dtrOn);
    if (!settings.rtsCtsHandshake)
        m_port.setRequestToSend(false);
}

void QtSerialPortIo::purge(bool input, bool output)
{
    QSerialPort::Directions directions;
    if (input)
        directions |= QSerialPort::Input;
    if (output)
        directions |= QSerialPort::Output;
    if (directions)
        m_port.clear(directions);
}

void QtSerialPortIo::setQueueSizes(quint16 input, quint16 /*output: nothing is ever written*/)
{
    // Past this Qt stops taking bytes from the system, which then holds them.
    m_port.setReadBufferSize(input);
}

qint64 QtSerialPortIo::read(char *data, qint64 maxSize)
{
    if (!m_port.isOpen())
        return -1;
    // Takes what the system holds now, without waiting, even when no event
    // loop has run since the last read.
    if (m_port.bytesAvailable() < maxSize)
        m_port.waitForReadyRead(0);
    const qint64 count = m_port.read(data, maxSize);
    // The device went away: an unplugged adapter is a resource error, a hung-up terminal a read
    // error. What came before it is still read first.
    const QSerialPort::SerialPortError error = m_port.error();
    if (count == 0 && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError))
        return -1;
    return count;
}
