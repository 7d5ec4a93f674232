// What the session journal adds to a frame: the window's whole road of one
// frame with the journal off and on. The journal flushes (and syncs) once a
// second; at the wire's 17 lines a second that is once every 17 frames.
// And what a start costs when a dead session left a big journal: its rows are
// counted before the recovery question, in time and in peak memory.
#include "app/main_window.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/session_journal.h"
#include "record/table_text_file.h"
#include "record/window_timer.h"
#include "resident_memory.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

// A journal of about `megabytes` MB as a dead session leaves it: rows of the
// wire's shape, the last one cut by the end.
bool writeBigJournal(const QString &fileName, qint64 megabytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    for (int i = 1; block.size() < (1 << 20); ++i)
        block += QByteArray::number(i) + "\t09:05:07\tDC\t" + QByteArray::number(i % 4000) + "\tV\tpass\r\n";
    if (file.write(TableTextFile::headerLine()) < 0)
        return false;
    for (qint64 written = 0; written < megabytes << 20; written += block.size()) {
        if (file.write(block) != block.size())
            return false;
    }
    const QByteArray cut = "17\t09:0"; // the end came while this line was written
    return file.write(cut) == cut.size() && file.flush();
}

// A start that finds a big journal: the count of its rows, file in the page
// cache. The journal is put aside after each count and put back for the next.
void BM_CountBigJournal(benchmark::State &state)
{
    QTemporaryDir folder;
    const QString slot = QDir(folder.path()).filePath(QStringLiteral("session-journal-1.txt"));
    const QString kept = QDir(folder.path()).filePath(QStringLiteral("kept.txt"));
    if (!writeBigJournal(kept, state.range(0))) {
        state.SkipWithError("the journal could not be written");
        return;
    }
    ManualWindowTimer timer;
    for (auto _ : state) {
        if (!QFile::rename(kept, slot)) {
            state.SkipWithError("the journal could not be put back");
            return;
        }
        const long before = ResidentMemory::restartPeak();
        QElapsedTimer clock;
        clock.start();
        SessionJournal journal(folder.path(), timer);
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        state.counters["peak_growth_MB"] = ResidentMemory::peakGrowthKb(before) * 1024.0 / 1e6;
        state.counters["rows"] = journal.recoveredRows();
        state.counters["file_MB"] = QFileInfo(slot).size() / 1e6;
        QString aside;
        if (!journal.setAside(&aside) || !QFile::rename(aside, kept)) {
            state.SkipWithError("the journal could not be put aside");
            return;
        }
    }
}
BENCHMARK(BM_CountBigJournal)->Arg(400)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

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
