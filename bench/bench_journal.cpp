// What the session journal adds to a frame: the window's whole road of one
// frame with the journal off and on. The journal flushes (and syncs) once a
// second; at the wire's 17 lines a second that is once every 17 frames.
#include "app/dialog_service.h"
#include "app/main_window.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"

#include <QApplication>
#include <QHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int kFramesPerFlush = 17;

struct NoDialogs : DialogService {
    bool askYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &, const QString &) override {}
};

const std::vector<QString> &frames()
{
    static const std::vector<QString> all = [] {
        std::vector<QString> v;
        for (int i = 0; i < 4001; ++i) {
            const QByteArray digits = QByteArray::number(i * 7 % 4000).rightJustified(4, '0');
            v.push_back(frameHex('+', digits.constData(), '1', Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11));
        }
        return v;
    }();
    return all;
}

void BM_FrameJournal(benchmark::State &state)
{
    const bool journalOn = state.range(0) != 0;
    NoDialogs dialogs;
    FixedLocaleService locale;
    QHash<QString, ManualWindowTimer *> timers;
    QTemporaryDir folder;
    WindowServices services{dialogs, locale, true, [] {}};
    services.makeTimer = [&timers](const QString &name, int intervalMs, bool enabled) {
        auto timer = std::make_unique<ManualWindowTimer>(intervalMs, enabled);
        timers.insert(name, timer.get());
        return timer;
    };
    if (journalOn)
        services.journalFolder = folder.path();
    TFCOMM window(services);
    ManualWindowTimer *flushTimer = timers.value(QStringLiteral("JournalTimer"));

    std::size_t i = 0;
    for (auto _ : state) {
        window.frameReceived(frames()[i++ % frames().size()]);
        if (flushTimer && i % kFramesPerFlush == 0)
            flushTimer->fire();
    }
    state.SetLabel(journalOn ? "journal on" : "journal off");
}
BENCHMARK(BM_FrameJournal)->Arg(0)->Arg(1)->Iterations(20000)->Unit(benchmark::kMicrosecond);

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
