// Recording at scale: a week-long logging run holds millions of rows. Each
// figure is taken at a thousand and at a million rows; the two should match.
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/chart_control.h"
#include "session/session_rig.h"
#include "ui/measurement_table_model.h"
#include "ui/record_grid.h"
#include "ui/trend_chart.h"

#include <QApplication>
#include <QFile>
#include <QImage>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <vector>

namespace {

constexpr int kThousand = 1000;
constexpr int kMillion = 1000000;

// Frames with a few thousand distinct values, as a drifting reading gives.
const std::vector<QString> &frames()
{
    static const std::vector<QString> all = [] {
        std::vector<QString> v;
        const char points[] = {'0', '1', '2', '4'};
        for (int i = 0; i < 4001; ++i) {
            const QByteArray digits = QByteArray::number(i * 7 % 10000).rightJustified(4, '0');
            v.push_back(frameHex(i % 3 ? '+' : '-', digits.constData(), points[i % 4],
                                 Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11));
        }
        return v;
    }();
    return all;
}

// The window's meter session (decoder, judgement, recording into the table,
// the pager and the chart) and the table's grid model.
struct Pipeline : SessionRig {
    MeasurementTableModel model{table};
    std::size_t next = 0;

    Pipeline() : SessionRig(QLocale::c(), QTime(0, 0))
    {
        log.setMaxRecords(MeasurementLog::RecordLimits[5].maxRecords);
    }

    void frame()
    {
        now = now.addMSecs(250); // a frame every 250 ms, round the clock
        session.frame(frames()[next++ % frames().size()]);
    }
    void fill(int rows)
    {
        while (table.rowCount() < rows)
            frame();
    }
};

long residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4096 : 0;
}

// Runs first, before other benchmarks leave freed memory to be reused.
void BM_MemoryPerRow(benchmark::State &state)
{
    const int rows = int(state.range(0));
    for (auto _ : state) {
        malloc_trim(0);
        auto pipeline = std::make_unique<Pipeline>();
        const long before = residentBytes();
        pipeline->fill(rows);
        const long after = residentBytes();
        state.counters["bytes_per_row"] = double(after - before) / rows;
    }
}
BENCHMARK(BM_MemoryPerRow)->Arg(kMillion)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RecordFrame(benchmark::State &state)
{
    Pipeline pipeline;
    TrendChart chart(pipeline.chart);
    pipeline.fill(int(state.range(0)));
    for (auto _ : state)
        pipeline.frame();
    state.counters["rows"] = pipeline.table.rowCount();
}
BENCHMARK(BM_RecordFrame)->Arg(kThousand)->Arg(kMillion)->Iterations(20000)->Unit(benchmark::kMicrosecond);

void BM_ChartRepaint(benchmark::State &state)
{
    ChartModel model;
    model.valueAxis = {-4000, 4000};
    TChartControl pager(model, 100);
    model.addPlaceholderPoint();
    TrendChart chart(model);
    for (int i = 0; i < state.range(0); ++i)
        pager.AddPoint(i % 8000 - 4000);
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        chart.replot();
        chart.render(&image);
    }
}
BENCHMARK(BM_ChartRepaint)->Arg(kThousand)->Arg(kMillion)->Iterations(300)->Unit(benchmark::kMicrosecond);

// The grid shows the newest row after every recorded frame.
void BM_GridFollow(benchmark::State &state)
{
    Pipeline pipeline;
    pipeline.fill(int(state.range(0)));
    RecordGrid view;
    view.setModel(&pipeline.model);
    view.resize(303, 241);
    view.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        pipeline.frame();
        const int last = pipeline.model.rowCount() - 1;
        view.setCurrentIndex(pipeline.model.index(last, 0));
        view.scrollTo(pipeline.model.index(last, 0));
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_GridFollow)->Arg(kThousand)->Arg(kMillion)->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
