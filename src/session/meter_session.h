#pragma once

#include "link/frame_sink.h"
#include "meter/meter_decoder.h"
#include "record/chart_control.h"
#include "record/chart_model.h"
#include "record/limit_judge.h"
#include "record/measurement_log.h"
#include "record/measurement_table.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class JournalDisk;
class LocaleService;
class SessionJournal;
class WindowTimer;
struct TableRow;

// What happened to a frame, told to every listener in the decoder's order.
// Rows recorded by the sampling timer come between frames. The default does
// nothing.
class SessionListener {
public:
    virtual ~SessionListener() = default;

    // Around every frame, also one the decoder gave up on.
    virtual void frameBegins() {}
    virtual void frameEnds(bool /*decoded*/) {}

    // A limit text the judgement changed itself: the user's separator, or a revert.
    virtual void limitTextChanged(LimitJudge::Field, const QString &) {}
    virtual void frameArrived() {} // the link is alive
    virtual void measurementKindChanged() {}
    virtual void judged(const Reading &, LimitJudge::Verdict) {}
    virtual void barMaximumChanged(int) {} // the value axis changed its ends

    virtual void barPosition(int) {}
    virtual void rowRecorded(const TableRow &) {}
    virtual void rowPosted(int /*tableRow*/) {} // only with a table
    virtual void pageShown(int) {}
    virtual void intervalTextCorrected(const QString &) {}

    // The frame's digits or point code are no numbers; the frame ends there.
    virtual void decodeFailed(const QString &) {}
};

// The road from a meter frame to a recorded row, without widgets: decoder,
// range rules, limit judgement, recording rules and, when it keeps one, the
// table, the chart's points with its pager and the session journal.
class MeterSession : public FrameSink {
public:
    using TimerFactory =
        std::function<std::unique_ptr<WindowTimer>(const QString &name, int intervalMs, bool enabled)>;

    struct Options {
        TimerFactory makeTimer = {}; // Timer1, Timer3, Timer4, JournalTimer; default: the event loop's
        MeasurementLog::Clock clock = &QTime::currentTime;
        bool keepTable = true;      // false: rows go to the listeners alone, memory stays flat
        QString journalFolder = {}; // empty: no journal (always without a table)
        JournalDisk *journalDisk = nullptr;
        // Told at once when no journal could be kept, so it is given before there are listeners.
        std::function<void(bool protecting, const QString &message)> onJournalProtection = {};
    };

    MeterSession(const LocaleService &locale, Options options);
    ~MeterSession() override;
    MeterSession(const MeterSession &) = delete;
    MeterSession &operator=(const MeterSession &) = delete;

    // Listeners are told in the order they were added; none is owned.
    void addListener(SessionListener *listener) { m_listeners.push_back(listener); }

    // Decodes, judges and records one frame. A frame that does not convert
    // goes to decodeFailed; anything a listener throws passes through.
    void frame(const QString &frameHex) override;
    const QString &lastFrame() const { return m_lastFrame; }

    // Limits as the user enters them: checked after the field's delay.
    void typeLimit(LimitJudge::Field field, const QString &text);
    // Limits set at once, without the delay.
    void setLimit(LimitJudge::Field field, const QString &text);

    // New: empties the table, the chart and the journal.
    void recordNew();
    // The table's first rows went to a file.
    void markSaved(int savedRows);

    const MeterDecoder &decoder() const { return m_decoder; }
    const LimitJudge &limits() const { return *m_limits; }
    LimitJudge &limits() { return *m_limits; }
    MeasurementLog &log() { return *m_log; }
    const MeasurementLog &log() const { return *m_log; }
    // Only with a table.
    MeasurementTable &table() { return *m_table; }
    ChartModel &chart() { return m_chart; }
    const ChartModel &chart() const { return m_chart; }
    TChartControl &pager() { return *m_pager; }
    SessionJournal *journal() { return m_journal.get(); }
    const SessionJournal *journal() const { return m_journal.get(); }

private:
    class Road;
    template <typename Call> void tell(Call call)
    {
        for (SessionListener *listener : m_listeners)
            call(*listener);
    }

    MeterDecoder m_decoder;
    ChartModel m_chart;
    std::unique_ptr<MeasurementTable> m_table;
    std::unique_ptr<TChartControl> m_pager;
    std::unique_ptr<WindowTimer> m_highCheck;
    std::unique_ptr<WindowTimer> m_lowCheck;
    std::unique_ptr<WindowTimer> m_sampling;
    std::unique_ptr<LimitJudge> m_limits;
    std::unique_ptr<MeasurementLog> m_log;
    std::unique_ptr<WindowTimer> m_journalTimer;
    std::unique_ptr<SessionJournal> m_journal;
    std::unique_ptr<Road> m_road;
    std::vector<SessionListener *> m_listeners;
    QString m_lastFrame;
};
