#include "recorder.h"

#include "meter/locale_service.h"
#include "record/limit_judge.h"
#include "record/measurement_table.h"
#include "record/window_timer.h"
#include "row_stream.h"

#include <QIODevice>
#include <QTime>

class Recorder::Hooks : public DecoderHooks {
public:
    explicit Hooks(Recorder &r) : m_r(r) {}
    void normaliseLimitSeparators() override { m_r.m_limits->normaliseLimitSeparators(); }
    void frameArrived() override { m_r.frameArrived(); }
    void judge() override { m_r.m_limits->judge(m_r.m_decoder.reading()); }
    void handOff() override { m_r.m_log->handOff(); }

private:
    Recorder &m_r;
};

Recorder::Recorder(const RecorderOptions &options, RecorderServices services)
    : m_options(options), m_services(std::move(services)), m_decoder(m_services.locale)
{
    if (!m_services.makeTimer)
        m_services.makeTimer = [](const QString &) { return std::make_unique<QtWindowTimer>(); };
    m_hooks = std::make_unique<Hooks>(*this);
    m_decoder.setHooks(m_hooks.get());
    m_decoder.refreshLocale();

    // The limits are checked at once below, not 500 ms after typing: these timers never tick.
    m_highCheck = std::make_unique<ManualWindowTimer>();
    m_lowCheck = std::make_unique<ManualWindowTimer>();
    m_limits = std::make_unique<LimitJudge>(m_services.locale, *m_highCheck, *m_lowCheck);
    if (!m_options.high.isEmpty()) {
        m_limits->T1HIChange(m_options.high);
        m_limits->Timer1Timer();
    }
    if (!m_options.low.isEmpty()) {
        m_limits->T1LOChange(m_options.low);
        m_limits->Timer4Timer();
    }

    m_sampling = m_services.makeTimer(QStringLiteral("sampling"));
    m_sampling->setEnabled(false);
    m_sampling->setInterval(1000);
    m_log = std::make_unique<MeasurementLog>(m_decoder, *m_sampling, m_services.locale, m_services.clock);
    m_log->setRepeatSet(m_options.repeat);
    m_log->setMaxRecords(m_options.limit > 0 ? m_options.limit : MeasurementLog::RecordLimits[5].maxRecords);
    if (m_options.intervalSeconds > 0) {
        m_log->setRecordSI(true);
        m_log->RecordSITimeChange(QString::number(m_options.intervalSeconds));
    }
    m_log->onRowRecorded = [this](const TableRow &row) { rowRecorded(row); };

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

    m_serialFrames.setFrameHandler([this](const QString &hex) { decode(hex); });
    m_serialFrames.setErrorHandler([this](const QString &text) { message(text); });
    m_usbFrames.setFrameHexSink([this](const QString &hex) { m_usbFrameHex = hex; });
    m_usbFrames.setDecoder([this] { decode(m_usbFrameHex); });
    m_usbFrames.setErrorSink([this](const QString &text) { message(text); });
}

Recorder::~Recorder()
{
    m_log->onRowRecorded = {};
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

// Throws what the decoder throws; the frame assembly reports it as the window does.
void Recorder::decode(const QString &frameHex)
{
    if (m_finished)
        return;
    m_decoder.decode(frameHex);
    if (!m_finished)
        showLive();
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
    if (m_log->RecordedRows() >= m_log->MaxRecords())
        finish(Done, QStringLiteral("the record limit of %1 rows is reached").arg(m_log->MaxRecords()));
}

int Recorder::rows() const
{
    return m_rows->rows();
}

QString Recorder::liveText() const
{
    const Reading &r = m_decoder.reading();
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
