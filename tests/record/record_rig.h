#pragma once

#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "meter/meter_decoder.h"
#include "record/chart_control.h"
#include "record/chart_model.h"
#include "record/limit_judge.h"
#include "record/measurement_log.h"
#include "record/measurement_table.h"
#include "record/window_timer.h"

#include <QTime>

// The recording road as the main window wires it: decoder, judgement,
// recording, table and pager, with hand-driven timers and a set clock.
struct RecordRig : DecoderHooks {
    FixedLocaleService locale{QLocale::c()};
    ChartModel chart;
    MeterDecoder decoder{locale};
    MeasurementTable table;
    TChartControl pager{chart, 100};
    ManualWindowTimer timer1{500}, timer3{1000}, timer4{500};
    LimitJudge limits{locale, timer1, timer4};
    QTime now{21, 5, 7};
    MeasurementLog log{decoder, table, pager, timer3, locale, [this] { return now; }};
    int shownPage = 0;

    RecordRig()
    {
        chart.addPlaceholderPoint();
        decoder.setHooks(this);
        log.onPageShown = [this](int page) { shownPage = page; };
    }

    void normaliseLimitSeparators() override { limits.normaliseLimitSeparators(); }
    void judge() override { limits.judge(decoder.reading()); }
    void handOff() override { log.handOff(); }

    // A DC volt frame: four digits, point code '0' (none) to '4', auto or manual range.
    void volts(const char *digits, char point = '0', bool autoRange = true)
    {
        decoder.decode(
            frameHex('+', digits, point, Bits::Dc8 | (autoRange ? Bits::Auto8 : 0), 0, 0, Bits::Volt11));
    }

    QString cell(int row, const char *field) const
    {
        return table.text(row, MeasurementTable::fieldIndex(QLatin1String(field)));
    }
    int no(int row) const { return table.field(row, MeasurementTable::No).toInt(); }
};
