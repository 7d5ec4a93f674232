#pragma once

#include "meter_line.h"
#include "record/window_timer.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

// Plays a meter: sends the lines of a script at the meter's pace, round and
// round, to wherever the sink puts them.
class MeterSimulator {
public:
    using LineSink = std::function<void(const QByteArray &line)>;

    // The meter sends 2 to 3 lines a second.
    static constexpr int LineIntervalMs = 400;

    explicit MeterSimulator(LineSink sink,
                            std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>(),
                            QVector<MeterFace> script = meterScript());

    void start();
    void stop();
    bool isRunning() const { return m_timer->isEnabled(); }

    // Sends the next line of the script at once.
    void sendNext();
    int position() const { return m_position; } // index of the line sent next
    const QVector<MeterFace> &script() const { return m_script; }

private:
    LineSink m_sink;
    std::unique_ptr<WindowTimer> m_timer;
    QVector<MeterFace> m_script;
    int m_position = 0;
};

// Writes lines to a serial device as the meter would: to a device path (a
// USB adapter wired to another port, one end of linked pseudo-terminals) or
// to a pseudo-terminal of its own whose other end a program opens as its
// serial port. Lines are set raw, so that CR and LF go through as they are.
class DeviceLineWriter {
public:
    DeviceLineWriter() = default;
    DeviceLineWriter(const DeviceLineWriter &) = delete;
    DeviceLineWriter &operator=(const DeviceLineWriter &) = delete;
    ~DeviceLineWriter();

    bool open(const QString &path);
    // Creates a pseudo-terminal; a program then opens portPath().
    bool openPseudoTerminal();
    QString portPath() const { return m_portPath; }
    void close();
    bool isOpen() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }

    // False when the device took nothing or only part: like the meter, the
    // writer never waits for a reader that does not read.
    bool write(const QByteArray &bytes);

private:
    int m_fd = -1;
    int m_portFd = -1; // held open so the terminal lives on between the program's opens
    QString m_portPath;
    QString m_error;
};
