#pragma once

#include "link/serial/serial_frame_assembly.h"
#include "link/usb/usb_report_unpacker.h"
#include "recorder_options.h"
#include "session/meter_session.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>

class LocaleService;
class QIODevice;
class RowStream;
class WindowTimer;

// Makes the recorder's timers; tests hand out timers they fire themselves.
using RecorderTimerFactory = std::function<std::unique_ptr<WindowTimer>(const QString &name)>;

// What the recorder needs from the system, so tests can stand in for it.
struct RecorderServices {
    const LocaleService &locale;
    QIODevice &output;                   // the rows
    QIODevice &console;                  // messages, the live line and the summary (standard error)
    QString outputName;                  // the output as the summary names it
    bool liveLine = false;               // the console is a terminal that wants the live line
    RecorderTimerFactory makeTimer = {}; // default: timers of the event loop
    MeasurementLog::Clock clock = &QTime::currentTime; // time of day of a row
};

// halvern-record without its links: a meter session without a table, whose
// every recorded row streams to the output. Memory stays flat however many
// rows are recorded.
class Recorder : private SessionListener {
public:
    enum ExitCode {
        Done = 0,
        BadArguments = 1,
        DeviceFailed = 2,
        LinkSilent = 3,
        OutputFailed = 4,
        BrokerRefused = 5
    };

    Recorder(const RecorderOptions &options, RecorderServices services);
    ~Recorder() override;
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Writes the header line and starts the watch on the link; false (and
    // finished) when the output refused it.
    bool start();

    // The serial road: bytes as they came over the line.
    void serialBytes(const char *data, int size);
    // The USB road: one input report of the cable, report ID first.
    void usbReport(quint8 reportId, const quint8 *data, quint16 size);

    // Ends the run once: the waiting rows are written, the live line is
    // cleared and the summary line names the rows and why the run ended.
    void finish(int exitCode, const QString &why);
    bool finished() const { return m_finished; }
    int exitCode() const { return m_exitCode; }
    std::function<void(int exitCode)> onFinished;

    // A line on the console, above the live line.
    void message(const QString &text);

    // One more listener of the session, told after the output (a publisher).
    void addListener(SessionListener *listener) { m_session->addListener(listener); }
    const MeterSession &session() const { return *m_session; }

    int rows() const;
    long long frames() const { return m_frames; }
    const MeterDecoder &decoder() const { return m_session->decoder(); }
    const MeasurementLog &log() const { return m_session->log(); }
    QString liveText() const;

private:
    void frame(const QString &frameHex);
    void frameArrived() override;
    void frameEnds(bool decoded) override;
    void rowRecorded(const TableRow &row) override;
    void decodeFailed(const QString &message) override;
    void showLive();
    void writeConsole(const QString &text);

    RecorderOptions m_options;
    RecorderServices m_services;
    WindowTimer *m_sampling = nullptr; // the session's
    std::unique_ptr<MeterSession> m_session;
    std::unique_ptr<WindowTimer> m_flushTimer;
    std::unique_ptr<WindowTimer> m_silence; // --timeout
    std::unique_ptr<RowStream> m_rows;
    SerialFrameAssembly m_serialFrames;
    UsbReportUnpacker m_usbFrames;
    QString m_usbFrameHex;
    QElapsedTimer m_running;
    long long m_frames = 0;
    bool m_liveShown = false;
    bool m_finished = false;
    int m_exitCode = Done;
};
