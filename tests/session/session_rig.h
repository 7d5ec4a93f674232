#pragma once

#include "meter/locale_service.h"
#include "record/window_timer.h"
#include "session/meter_session.h"

#include <QHash>
#include <QTime>

// The window's meter session with timers fired by hand, a clock that reads
// `now`, and the parts tests and benchmarks look at.
struct SessionRig {
    FixedLocaleService locale;
    QHash<QString, ManualWindowTimer *> timers;
    QTime now;
    MeterSession session;
    const MeterDecoder &decoder = session.decoder();
    ChartModel &chart = session.chart();
    MeasurementTable &table = session.table();
    TChartControl &pager = session.pager();
    LimitJudge &limits = session.limits();
    MeasurementLog &log = session.log();
    ManualWindowTimer &timer1 = *timers.value(QStringLiteral("Timer1"));
    ManualWindowTimer &timer3 = *timers.value(QStringLiteral("Timer3"));
    ManualWindowTimer &timer4 = *timers.value(QStringLiteral("Timer4"));

    // journalFolder: where the journal goes; none when empty.
    explicit SessionRig(const QLocale &userLocale, QTime start, const QString &journalFolder = {})
        : locale(userLocale), now(start), session(locale, options(journalFolder))
    {
    }

private:
    MeterSession::Options options(const QString &journalFolder)
    {
        MeterSession::Options o;
        o.journalFolder = journalFolder;
        o.makeTimer = [this](const QString &name, int intervalMs, bool enabled) {
            auto timer = std::make_unique<ManualWindowTimer>(intervalMs, enabled);
            timers.insert(name, timer.get());
            return timer;
        };
        o.clock = [this] { return now; };
        return o;
    }
};
