// CPU per frame of the whole window as a user runs it: the real main window,
// shown on the offscreen platform, its serial driver polling an in-process
// port that receives meter lines at the wire's ceiling (17 lines a second,
// so 1 or 2 lines a poll), the real event loop painting after every poll.
// Time is CPU time of the process; where it goes is told by the widget that
// an event went to (time in nested events counted once, in the innermost).
//
// Usage: bench_window [polls [rows...]]   (default 600 polls at 10^3 and 10^6 rows)
#include "app/fake_dialogs.h"
#include "app/main_window.h"
#include "link/serial/meter_line.h"
#include "link/serial/serial_port_driver.h"
#include "link/serial/simulated_serial_port.h"
#include "meter/locale_service.h"
#include "record/chart_control.h"
#include "ui/lcd_panel.h"
#include "ui/record_grid.h"
#include "ui/trend_chart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <array>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

enum Category { Frames, Grid, Chart, Lcd, Other, CategoryCount };
const char *const kCategoryNames[] = {"frame handling", "grid", "chart", "LCD + bar", "other"};

qint64 cpuNanoseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Exclusive CPU time by category: a nested scope's time is taken out of
// the scope around it.
class Profile {
public:
    void enter() { m_stack.push_back({cpuNanoseconds(), 0}); }
    void leave(Category category)
    {
        const Scope scope = m_stack.back();
        m_stack.pop_back();
        const qint64 total = cpuNanoseconds() - scope.start;
        m_totals[category] += total - scope.nested;
        if (!m_stack.empty())
            m_stack.back().nested += total;
    }
    void reset()
    {
        m_totals.fill(0);
        m_painted.fill(0);
    }
    qint64 total(Category c) const { return m_totals[c]; }
    void painted(Category c, qint64 pixels) { m_painted[c] += pixels; }
    qint64 paintedPixels(Category c) const { return m_painted[c]; }

private:
    struct Scope {
        qint64 start;
        qint64 nested;
    };
    std::vector<Scope> m_stack;
    std::array<qint64, CategoryCount> m_totals{};
    std::array<qint64, CategoryCount> m_painted{};
};

Profile g_profile;
// The views events are counted against, found once by name: a lookup per event would weigh on what it
// measures.
struct Views {
    const QObject *grid = nullptr;
    const QObject *chart = nullptr;
    const QObject *lcd = nullptr;
    const QObject *bar = nullptr;
};
const Views *g_views = nullptr;
bool g_profiling = false; // the split costs two clock reads an event, so it has a run of its own

Category categoryOf(QObject *receiver)
{
    if (!g_views)
        return Other;
    for (QObject *o = receiver; o; o = o->parent()) {
        if (o == g_views->grid)
            return Grid;
        if (o == g_views->chart)
            return Chart;
        if (o == g_views->lcd || o == g_views->bar)
            return Lcd;
    }
    return Other;
}

class ProfilingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!g_profiling)
            return QApplication::notify(receiver, event);
        const Category category = categoryOf(receiver);
        if (event->type() == QEvent::Paint) {
            qint64 pixels = 0;
            for (const QRect &r : static_cast<QPaintEvent *>(event)->region())
                pixels += qint64(r.width()) * r.height();
            g_profile.painted(category, pixels);
        }
        g_profile.enter();
        const bool result = QApplication::notify(receiver, event);
        g_profile.leave(category);
        return result;
    }
};

// Lines of a reading that drifts, so the grid, the chart and the LCD change.
std::vector<QByteArray> meterLines()
{
    std::vector<QByteArray> lines;
    const MeterFlags dcV = MeterFlag::DC | MeterFlag::Volt | MeterFlag::Auto;
    for (int i = 0; i < 4000; ++i) {
        const int count = 1000 + (i * 37) % 3000;
        const QString text =
            QStringLiteral("%1.%2").arg(count / 1000).arg(count % 1000, 3, 10, QLatin1Char('0'));
        lines.push_back(meterLine({text, dcV}));
    }
    return lines;
}

struct Run {
    FakeDialogs dialogs;
    FixedLocaleService locale{QLocale::c()};
    TFCOMM window{WindowServices{dialogs, locale, true, {}, {}, {}}};
    SimulatedSerialPort *port = nullptr;
    std::vector<QByteArray> lines = meterLines();
    Views views;
    std::size_t next = 0;

    Run()
    {
        views = {window.control<QWidget>("DBGrid1"), window.control<QWidget>("Chtshow"),
                 window.control<QWidget>("Panel1"), window.control<QWidget>("PBar2")};
        g_views = &views;
        auto io = std::make_unique<SimulatedSerialPort>(QStringLiteral("sim"));
        port = io.get();
        window.serialPort().setPortIo(std::move(io));
        window.serialPort().setPortNameLookup([](TSerialPortDriver::TComPortNumber p) {
            return p == TSerialPortDriver::pnCOM1 ? QStringLiteral("sim") : QString();
        });
        window.control<QAction>("limitess")->trigger();
        // The receive handler is where every frame is decoded and recorded.
        const auto receive = window.serialPort().OnReceiveData();
        window.serialPort().setOnReceiveData(
            [receive](TSerialPortDriver *sender, const char *data, int size) {
                if (!g_profiling)
                    return receive(sender, data, size);
                g_profile.enter();
                receive(sender, data, size);
                g_profile.leave(Frames);
            });
        window.serialPort().setComPortPollingDelay(1); // polls come as fast as the bench feeds them
        window.control<QPushButton>("COMCon")->click();
        window.show();
        settle();
    }
    ~Run() { g_views = nullptr; }

    // Grows the table to `rows` without drawing, as a long run would have.
    void fill(int rows)
    {
        window.hide();
        while (window.session().table().rowCount() < rows) {
            const int no = window.session().table().rowCount() + 1;
            window.session().table().appendRow({no, QStringLiteral("12:00:00"), QStringLiteral("DC"),
                                                QString::number(1 + no % 3000 / 1000.0, 'f', 3),
                                                QStringLiteral("V"), QStringLiteral("AUTO"), std::nullopt});
            window.session().pager().AddPoint(1 + no % 3000 / 1000.0);
        }
        window.show();
        settle();
    }

    void settle()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 50)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    // One poll's worth of lines, then the event loop until it is drawn.
    void poll(int lineCount)
    {
        const int rowsBefore = window.session().table().rowCount();
        QByteArray bytes;
        for (int i = 0; i < lineCount; ++i)
            bytes += lines[next++ % lines.size()];
        port->feed(bytes);
        QElapsedTimer t;
        t.start();
        while (window.session().table().rowCount() < rowsBefore + lineCount && t.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        // The repaint that the poll asked for.
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
};

// CPU a frame over `polls` polls at the wire's ceiling.
double cpuPerFrame(Run &run, int polls)
{
    const int framesBefore = run.window.session().table().rowCount();
    const qint64 start = cpuNanoseconds();
    for (int i = 0; i < polls; ++i)
        run.poll(i % 10 < 7 ? 2 : 1); // 17 lines a second, 10 polls a second
    return double(cpuNanoseconds() - start) / (run.window.session().table().rowCount() - framesBefore);
}

void measure(Run &run, int rows, int polls)
{
    run.fill(rows);
    for (int i = 0; i < 20; ++i)
        run.poll(2); // warm up
    const double total = cpuPerFrame(run, polls);
    std::printf("rows %8d: %.1f us CPU a frame\n", rows, total / 1000);

    g_profiling = true;
    g_profile.reset();
    const int framesBefore = run.window.session().table().rowCount();
    const double profiled = cpuPerFrame(run, polls);
    g_profiling = false;
    const int frames = run.window.session().table().rowCount() - framesBefore;
    qint64 split = 0;
    for (int c = 0; c < CategoryCount; ++c)
        split += g_profile.total(Category(c));
    // The clock reads of the profiled run inflate every part alike.
    std::printf("    where it goes (us a frame, scaled to the total):");
    for (int c = 0; c < CategoryCount; ++c)
        std::printf("  %s %.1f", kCategoryNames[c],
                    total / 1000 * g_profile.total(Category(c)) / double(split));
    std::printf("\n    pixels painted a frame:");
    for (int c = Grid; c < CategoryCount; ++c)
        std::printf("  %s %lld", kCategoryNames[c], g_profile.paintedPixels(Category(c)) / frames);
    std::printf("\n    (profiled run: %.1f us a frame)\n", profiled / 1000);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QPA_UPDATE_IDLE_TIME", "0"); // paint as soon as the loop is free
    ProfilingApplication app(argc, argv);
    const int polls = argc > 1 ? QByteArray(argv[1]).toInt() : 600;
    Run run;
    if (!run.window.serialPort().IsOpen()) {
        std::fprintf(stderr, "the simulated port did not open\n");
        return 1;
    }
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(QByteArray(argv[i]).toInt());
    if (sizes.empty())
        sizes = {1000, 1000000};
    for (int rows : sizes)
        measure(run, rows, polls);
    if (!run.dialogs.errors.isEmpty())
        std::fprintf(stderr, "error reports: %s\n", qPrintable(run.dialogs.errors.join(QLatin1Char('\n'))));
    return 0;
}
