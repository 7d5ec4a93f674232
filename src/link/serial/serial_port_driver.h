#pragma once

#include "record/window_timer.h"
#include "serial_port_io.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Opens one of COM1 to COM4, sets its line, polls it on a timer and hands
// every chunk of received bytes to OnReceiveData. Receive only: nothing is
// ever written to the port.
class TSerialPortDriver : public QObject {
    Q_OBJECT
    Q_PROPERTY(TComPortNumber ComPort READ ComPort WRITE setComPort)
    Q_PROPERTY(TComPortBaudRate ComPortSpeed READ ComPortSpeed WRITE setComPortSpeed)
    Q_PROPERTY(TComPortDataBits ComPortDataBits READ ComPortDataBits WRITE setComPortDataBits)
    Q_PROPERTY(TComPortStopBits ComPortStopBits READ ComPortStopBits WRITE setComPortStopBits)
    Q_PROPERTY(TComPortParity ComPortParity READ ComPortParity WRITE setComPortParity)
    Q_PROPERTY(
        TComPortHwHandshaking ComPortHwHandshaking READ ComPortHwHandshaking WRITE setComPortHwHandshaking)
    Q_PROPERTY(
        TComPortSwHandshaking ComPortSwHandshaking READ ComPortSwHandshaking WRITE setComPortSwHandshaking)
    Q_PROPERTY(quint16 ComPortInBufSize READ ComPortInBufSize WRITE setComPortInBufSize)
    Q_PROPERTY(quint16 ComPortOutBufSize READ ComPortOutBufSize WRITE setComPortOutBufSize)
    Q_PROPERTY(quint16 ComPortPollingDelay READ ComPortPollingDelay WRITE setComPortPollingDelay)
    Q_PROPERTY(bool EnableDTROnOpen READ EnableDTROnOpen WRITE setEnableDTROnOpen)

public:
    enum TComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
    Q_ENUM(TComPortNumber)
    enum TComPortBaudRate {
        br110,
        br300,
        br600,
        br1200,
        br2400,
        br4800,
        br9600,
        br14400,
        br19200,
        br38400,
        br56000,
        br57600,
        br115200
    };
    Q_ENUM(TComPortBaudRate)
    enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
    Q_ENUM(TComPortDataBits)
    enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
    Q_ENUM(TComPortStopBits)
    enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
    Q_ENUM(TComPortParity)
    enum TComPortHwHandshaking { hhNONE, hhRTSCTS };
    Q_ENUM(TComPortHwHandshaking)
    enum TComPortSwHandshaking { shNONE, shXONXOFF };
    Q_ENUM(TComPortSwHandshaking)

    // DataPtr points into the driver's receive buffer and is valid only during
    // the call; DataSize is at least 1.
    using TComPortReceiveDataEvent =
        std::function<void(TSerialPortDriver *Sender, const char *DataPtr, int DataSize)>;
    // The device a COM port stands for; empty when there is none.
    using TPortNameLookup = std::function<QString(TComPortNumber port)>;

    static qint32 baudOf(TComPortBaudRate rate);

    // The system's ports, polled from the event loop.
    explicit TSerialPortDriver(QObject *parent = nullptr);
    TSerialPortDriver(std::unique_ptr<SerialPortIo> io, std::unique_ptr<WindowTimer> pollTimer,
                      QObject *parent = nullptr);
    ~TSerialPortDriver() override;

    // True when the port is open afterwards. Looks the device up anew each
    // time, so an adapter plugged in meanwhile is found.
    bool OpenPort();
    void ClosePort();
    bool IsOpen() const;

    // Pushes the settings to the open port and discards what waits in its
    // queues; nothing when closed.
    void ApplyLineSettings();
    void PurgeBuffers(bool input, bool output);

    TComPortNumber ComPort() const { return m_comPort; }
    void setComPort(TComPortNumber port);
    TComPortBaudRate ComPortSpeed() const { return m_speed; }
    void setComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return m_dataBits; }
    void setComPortDataBits(TComPortDataBits bits);
    TComPortStopBits ComPortStopBits() const { return m_stopBits; }
    void setComPortStopBits(TComPortStopBits bits);
    TComPortParity ComPortParity() const { return m_parity; }
    void setComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return m_hwHandshaking; }
    void setComPortHwHandshaking(TComPortHwHandshaking handshaking);
    TComPortSwHandshaking ComPortSwHandshaking() const { return m_swHandshaking; }
    void setComPortSwHandshaking(TComPortSwHandshaking handshaking);
    quint16 ComPortInBufSize() const { return m_inBufSize; }
    void setComPortInBufSize(quint16 size);
    quint16 ComPortOutBufSize() const { return m_outBufSize; }
    void setComPortOutBufSize(quint16 size);
    quint16 ComPortPollingDelay() const { return m_pollingDelay; }
    void setComPortPollingDelay(quint16 delay);
    bool EnableDTROnOpen() const { return m_enableDtrOnOpen; }
    void setEnableDTROnOpen(bool enable);

    const TComPortReceiveDataEvent &OnReceiveData() const { return m_onReceiveData; }
    void setOnReceiveData(TComPortReceiveDataEvent handler) { m_onReceiveData = std::move(handler); }
    // A read of the open port failed: the device went away (unplugged, hung up).
    void setOnReadFailure(std::function<void()> handler) { m_onReadFailure = std::move(handler); }

    // The device that a COM port stands for at this moment (for a tooltip).
    QString DeviceName(TComPortNumber port) const;
    void setPortNameLookup(TPortNameLookup lookup);

    // Another system layer (an in-process port); closes the port first.
    void setPortIo(std::unique_ptr<SerialPortIo> io);

    SerialLineSettings lineSettings() const;

private:
    void PollReceive();
    // Line settings take effect at once on an open port.
    template <typename T> void setLineSetting(T &field, T value)
    {
        field = value;
        ApplyLineSettings();
    }
    void startPolling();

    std::unique_ptr<SerialPortIo> m_io;
    std::unique_ptr<WindowTimer> m_pollTimer;
    TPortNameLookup m_portNameLookup;
    std::vector<char> m_receiveBuffer; // ComPortInBufSize bytes; every read lands here

    TComPortNumber m_comPort = pnCOM2;
    TComPortBaudRate m_speed = br9600;
    TComPortDataBits m_dataBits = db8BITS;
    TComPortStopBits m_stopBits = sb1BITS;
    TComPortParity m_parity = ptNONE;
    TComPortHwHandshaking m_hwHandshaking = hhNONE;
    TComPortSwHandshaking m_swHandshaking = shNONE;
    quint16 m_inBufSize = 2048;  // bytes
    quint16 m_outBufSize = 2048; // bytes
    quint16 m_pollingDelay = 50; // milliseconds between reads
    bool m_enableDtrOnOpen = true;
    TComPortReceiveDataEvent m_onReceiveData;
    std::function<void()> m_onReadFailure;
    bool m_delivering = false; // OnReceiveData is running
};
