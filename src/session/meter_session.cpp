#include "meter_session.h"

#include "meter/conversion.h"
#include "record/session_journal.h"
#include "record/window_timer.h"

// The decoder's steps that belong to the rest of the session.
class MeterSession::Road : public DecoderHooks {
public:
    explicit Road(MeterSession &s) : m_s(s) {}

    void normaliseLimitSeparators() override { m_s.m_limits->normaliseLimitSeparators(); }
    void frameArrived() override
    {
        m_s.tell([](SessionListener &l) { l.frameArrived(); });
    }
    void measurementKindChanged() override
    {
        m_s.tell([](SessionListener &l) { l.measurementKindChanged(); });
    }
    void judge() override
    {
        m_s.m_chart.valueAxis = m_s.m_decoder.valueAxis(); // the frame's range set it just before
        Reading &reading = m_s.m_decoder.reading();
        m_s.m_limits->judge(reading);
        const LimitJudge::Verdict verdict = m_s.m_limits->verdict();
        m_s.tell([&](SessionListener &l) { l.judged(reading, verdict); });
    }
    void barMaximumChanged(int maximum) override
    {
        m_s.tell([maximum](SessionListener &l) { l.barMaximumChanged(maximum); });
    }
    void handOff() override { m_s.m_log->handOff(); }

private:
    MeterSession &m_s;
};

MeterSession::MeterSession(const LocaleService &locale, Options options) : m_decoder(locale)
{
    if (!options.makeTimer)
        options.makeTimer = [](const QString &, int intervalMs, bool enabled) {
            return std::make_unique<QtWindowTimer>(intervalMs, enabled);
        };
    m_decoder.refreshLocale();
    m_chart.valueAxis = m_decoder.valueAxis();

    m_highCheck = options.makeTimer(QStringLiteral("Timer1"), 500, false);
    m_lowCheck = options.makeTimer(QStringLiteral("Timer4"), 500, false);
    m_limits = std::make_unique<LimitJudge>(locale, *m_highCheck, *m_lowCheck);
    m_limits->onFieldText = [this](LimitJudge::Field field, const QString &text) {
        tell([&](SessionListener &l) { l.limitTextChanged(field, text); });
    };

    m_sampling = options.makeTimer(QStringLiteral("Timer3"), 1000, false);
    if (options.keepTable) {
        m_table = std::make_unique<MeasurementTable>();
        m_pager = std::make_unique<TChartControl>(m_chart, 100);
        m_log = std::make_unique<MeasurementLog>(m_decoder, *m_table, *m_pager, *m_sampling, locale,
                                                 std::move(options.clock));
        m_chart.addPlaceholderPoint();
    } else {
        m_log = std::make_unique<MeasurementLog>(m_decoder, *m_sampling, locale, std::move(options.clock));
    }
    m_log->onBarPosition = [this](int position) {
        tell([position](SessionListener &l) { l.barPosition(position); });
    };
    m_log->onRowRecorded = [this](const TableRow &row) {
        tell([&row](SessionListener &l) { l.rowRecorded(row); });
    };
    m_log->onRowPosted = [this](int row) {
        if (m_journal)
            m_journal->append(m_table->row(row));
        tell([row](SessionListener &l) { l.rowPosted(row); });
    };
    m_log->onPageShown = [this](int page) { tell([page](SessionListener &l) { l.pageShown(page); }); };
    m_log->onIntervalTextCorrected = [this](const QString &text) {
        tell([&text](SessionListener &l) { l.intervalTextCorrected(text); });
    };

    if (options.keepTable && !options.journalFolder.isEmpty()) {
        m_journalTimer = options.makeTimer(QStringLiteral("JournalTimer"), 1000, false);
        m_journal =
            std::make_unique<SessionJournal>(options.journalFolder, *m_journalTimer, options.journalDisk);
        if (options.onJournalProtection)
            m_journal->setOnProtectionChanged(std::move(options.onJournalProtection));
    }

    m_road = std::make_unique<Road>(*this);
    m_decoder.setHooks(m_road.get());
}

MeterSession::~MeterSession()
{
    m_decoder.setHooks(nullptr);
    m_journal.reset(); // a normal end removes the journal while its timer still exists
}

void MeterSession::frame(const QString &frameHex)
{
    m_lastFrame = frameHex;
    tell([](SessionListener &l) { l.frameBegins(); });
    // The end is told also for a frame cut short: the panel shows what the decoder got to.
    try {
        m_decoder.decode(frameHex);
    } catch (const ConversionError &e) {
        const QString message = e.message();
        tell([](SessionListener &l) { l.frameEnds(false); });
        tell([&message](SessionListener &l) { l.decodeFailed(message); });
        return;
    } catch (...) {
        tell([](SessionListener &l) { l.frameEnds(false); });
        throw;
    }
    tell([](SessionListener &l) { l.frameEnds(true); });
}

void MeterSession::typeLimit(LimitJudge::Field field, const QString &text)
{
    if (field == LimitJudge::High)
        m_limits->T1HIChange(text);
    else
        m_limits->T1LOChange(text);
}

void MeterSession::setLimit(LimitJudge::Field field, const QString &text)
{
    m_limits->setLimit(field, text);
}

void MeterSession::recordNew()
{
    m_log->RecordNewClick();
    if (m_journal)
        m_journal->clear();
}

void MeterSession::markSaved(int savedRows)
{
    if (m_journal)
        m_journal->markSaved(*m_table, savedRows);
}
