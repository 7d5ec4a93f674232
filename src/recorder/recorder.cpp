#include "recorder.h"

#include "record/window_timer.h"
#include "row_stream.h"

#include <QIODevice>
#include <QTime>

Recorder::Recorder(const RecorderOptions &options, RecorderServices services)
    : m_options(options), m_services(std::move(services))
{
    if (!m_services.makeTimer)
        m_services.makeTimer = [](const QString &) { return std::make_unique<QtWindowTimer>(); };

    MeterSession::Options session;
    session.keepTable = false;
    session.clock = m_services.clock;
    session.makeTimer = [this](const QString &name, int intervalMs,
                               bool enabled) -> std::unique_ptr<WindowTimer> {
        // The limits are set at once below, not 500 ms after typing: their timers never tick.
        if (name != QLatin1String("Timer3"))
            return std::make_unique<ManualWindowTimer>(intervalMs, enabled);
        auto sampling = m_services.makeTimer(QStringLiteral("sampling"));
        sampling->setEnabled(enabled);
        sampling->setInterval(intervalMs);
        m_sampling = sampling.get();
        return sampling;
    };
    m_session = std::make_unique<MeterSession>(m_services.locale, std::move(session));
    if (!m_options.high.isEmpty())
        m_session->setLimit(LimitJudge::High, m_options.high);
    if (!m_options.low.isEmpty())
        m_session->setLimit(LimitJudge::Low, m_options.low);

    MeasurementLog &log = m_session->log();
    log.setRepeatSet(m_options.repeat);
    log.setMaxRecords(m_options.limit > 0 ? m_options.limit : MeasurementLog::RecordLimits[5].maxRecords);
    if (m_options.intervalSeconds > 0) {
        log.setRecordSI(true);
        log.RecordSITimeChange(QString::number(m_options.intervalSeconds));
    }
    m_session->addListener(this);

    m_flushTimer = m_services.makeTimer(QStringLiteral("flush"));
    m_rows = std::make_unique<RowStream>(m_services.output, *m_flushTimer);
    m_rows->onWriteFailed = [this] {
        finish(OutputFailed,
               QStringLiteral("cannot write to %1: %2").arg(m_services.outputName, m_rows->errorString()));
    };

    m_silence = m_services.makeTimer(QStringLiteral("silence"));
    m_silence->setEnabled(false);
    if (m_options.timeoutSeconds > 0) {
        m_silence->setInterval(m_options.timeoutSeconds * 1000);
        m_silence->setOnTimeout([this] {
            finish(
                LinkSilent,
                QStringLiteral("no line from the meter for %1 s (--timeout)").arg(m_options.timeoutSeconds));
        });
    }

    m_serialFrames.setFrameHandler([this](const QString &hex) { frame(hex); });
    m_serialFrames.setErrorHandler([this](const QString &text) { message(text); });
    m_usbFrames.setFrameHexSink([this](const QString &hex) { m_usbFrameHex = hex; });
    m_usbFrames.setDecoder([this] { frame(m_usbFrameHex); });
    m_usbFrames.setErrorSink([this](const QString &text) { message(text); });
}

Recorder::~Recorder()
{
    m_rows->onWriteFailed = {};
    m_silence->setOnTimeout({});
}

bool Recorder::start()
{
    m_running.start();
    if (!m_rows->start())
        return false;
    if (m_options.timeoutSeconds > 0)
        m_silence->setEnabled(true);
    return true;
}

void Recorder::serialBytes(const char *data, int size)
{
    if (!m_finished)
        m_serialFrames.receive(data, size);
}

void Recorder::usbReport(quint8 reportId, const quint8 *data, quint16 size)
{
    if (!m_finished)
        m_usbFrames.handleReport(UsbReportUnpacker::Variant::Morvane, reportId, data, size);
}

void Recorder::frame(const QString &frameHex)
{
    if (!m_finished)
        m_session->frame(frameHex);
}

void Recorder::frameEnds(bool decoded)
{
    if (decoded && !m_finished)
        showLive();
}

void Recorder::decodeFailed(const QString &message)
{
    this->message(message);
}

void Recorder::frameArrived()
{
    ++m_frames;
    if (m_options.timeoutSeconds > 0)
        m_silence->restart();
}

void Recorder::rowRecorded(const TableRow &row)
{
    m_rows->append(row);
    const MeasurementLog &log = m_session->log();
    if (log.RecordedRows() >= log.MaxRecords())
        finish(Done, QStringLiteral("the record limit of %1 rows is reached").arg(log.MaxRecords()));
}

int Recorder::rows() const
{
    return m_rows->rows();
}

QString Recorder::liveText() const
{
    const Reading &r = m_session->decoder().reading();
    QString text = r.ValueText;
    for (const QString &part : {r.UnitText, r.FunctionText, r.JudgeText})
        if (!part.isEmpty())
            text += QLatin1Char(' ') + part;
    return text + QStringLiteral("  %1 rows").arg(rows());
}

void Recorder::showLive()
{
    if (!m_services.liveLine)
        return;
    // Back to the start of the line and clear it: the line updates in place.
    writeConsole(QStringLiteral("\r\x1b[K") + liveText());
    m_liveShown = true;
}

void Recorder::message(const QString &text)
{
    writeConsole((m_liveShown ? QStringLiteral("\r\x1b[K") : QString()) + QStringLiteral("halvern-record: ") +
                 text + QLatin1Char('\n'));
    m_liveShown = false;
}

void Recorder::writeConsole(const QString &text)
{
    m_services.console.write(text.toLocal8Bit());
}

void Recorder::finish(int exitCode, const QString &why)
{
    if (m_finished)
        return;
    m_finished = true;
    m_exitCode = exitCode;
    m_sampling->setEnabled(false);
    m_silence->setEnabled(false);
    if (!m_rows->flush() && exitCode != OutputFailed) {
        m_exitCode = OutputFailed;
        message(QStringLiteral("cannot write to %1: %2").arg(m_services.outputName, m_rows->errorString()));
    }
    const int seconds = int(m_running.isValid() ? m_running.elapsed() / 1000 : 0);
    const QString duration = QTime(0, 0).addSecs(seconds % 86400).toString(QStringLiteral("hh:mm:ss"));
    const QString days = seconds >= 86400 ? QStringLiteral("%1 d ").arg(seconds / 86400) : QString();
    message(QStringLiteral("%1 rows written to %2 in %3%4; %5")
                .arg(rows())
                .arg(m_services.outputName, days, duration, why));
    if (onFinished)
        onFinished(m_exitCode);
}
