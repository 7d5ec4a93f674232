// Saving and loading the table at scale: a day of recording at four frames a
// second is a third of a million rows, a limitless run ten million. Each
// figure is taken at ten thousand and at a million rows; per row they should
// match. A save is held against one buffered write of the same bytes; the
// formatting alone and a save without sync and rename show where its time goes.
// The files go to the system's temporary folder (TMPDIR to choose another).
// Two text files no table was saved as show the loader's bounds: a 100 MB
// line and one row past the table's ten million.
#include "record/measurement_table.h"
#include "record/table_text_file.h"
#include "record/table_xml_packet.h"
#include "resident_memory.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <map>

namespace {

constexpr int kTenThousand = 10000;
constexpr int kMillion = 1000000;

// Rows as recording writes them: one per quarter second, a few thousand
// distinct values, the occasional 12-hour time of the timed road.
MeasurementTable recordedTable(int rows)
{
    MeasurementTable table;
    for (int i = 0; i < rows; ++i) {
        const int second = (i / 4) % 86400;
        const QString time = i % 50 == 0 ? QStringLiteral("%1:%2:%3 PM")
                                               .arg(second / 3600 % 12 + 1)
                                               .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                                               .arg(second % 60, 2, 10, QLatin1Char('0'))
                                         : QStringLiteral("%1:%2:%3")
                                               .arg(second / 3600, 2, 10, QLatin1Char('0'))
                                               .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                                               .arg(second % 60, 2, 10, QLatin1Char('0'));
        const QString value = QString::number((i * 7 % 4000) / 1000.0, 'f', 3);
        table.appendRow(
            {i + 1, time, i % 3 ? "DC" : "AC", value, i % 5 ? "V" : "k*", i % 9 ? "pass" : "Fail", {}});
    }
    return table;
}

const MeasurementTable &table(int rows)
{
    static std::map<int, MeasurementTable> tables;
    auto it = tables.find(rows);
    if (it == tables.end())
        it = tables.emplace(rows, recordedTable(rows)).first;
    return it->second;
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString fileFor(bool packet, int rows)
{
    return folder().filePath(QStringLiteral("t%1.%2").arg(rows).arg(packet ? "xml" : "xls"));
}

// Wall time per row in microseconds: files cost time in the kernel too.
void perRow(benchmark::State &state, int rows, const QElapsedTimer &elapsed)
{
    state.counters["us_per_row"] = elapsed.nsecsElapsed() / 1e3 / double(state.iterations()) / rows;
}

void save(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    const MeasurementTable &t = table(rows);
    const QString name = fileFor(packet, rows);
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state) {
        const FileResult r =
            packet ? TableXmlPacket::save(name, t, rows) : TableTextFile::save(name, t, rows);
        if (!r)
            state.SkipWithError(qPrintable(r.reason));
    }
    perRow(state, rows, elapsed);
    state.counters["file_MB"] = QFile(name).size() / 1e6;
}

// Takes bytes and drops them: the formatting alone, without a file.
class Discard : public QIODevice {
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override { return size; }
};

void format(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    const MeasurementTable &t = table(rows);
    Discard sink;
    sink.open(QIODevice::WriteOnly);
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state)
        packet ? TableXmlPacket::write(sink, t, rows) : TableTextFile::write(sink, t, rows);
    perRow(state, rows, elapsed);
}

// A save without its safety: straight into a new file, no sync, no rename.
// The difference to a save is what the safety costs. The file is removed
// first: the file system flushes a file truncated and written again at its
// close, which would bring back part of the cost of a sync.
void unsyncedSave(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    const MeasurementTable &t = table(rows);
    const QString name = folder().filePath(QStringLiteral("unsynced"));
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state) {
        QFile::remove(name);
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        packet ? TableXmlPacket::write(file, t, rows) : TableTextFile::write(file, t, rows);
        file.close();
    }
    perRow(state, rows, elapsed);
}

// The same bytes written at once, the floor a save is held against; with
// the second argument 1 also flushed to the disk, as a safe save is.
void singleWrite(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    packet ? TableXmlPacket::write(buffer, table(rows), rows)
           : TableTextFile::write(buffer, table(rows), rows);
    const QByteArray bytes = buffer.data();
    const QString name = folder().filePath(QStringLiteral("single"));
    const bool synced = state.range(1) != 0;
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state) {
        QFile file(name);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        file.flush();
        if (synced)
            fsync(file.handle()); // as the safe save does before it renames
        file.close();
    }
    perRow(state, rows, elapsed);
}

// As the Open button does: into a table of its own, then joined to the grid's.
void load(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    const QString name = fileFor(packet, rows);
    if (!QFile::exists(name))
        packet ? TableXmlPacket::save(name, table(rows), rows) : TableTextFile::save(name, table(rows), rows);
    QElapsedTimer elapsed;
    elapsed.start();
    for (auto _ : state) {
        MeasurementTable target;
        MeasurementTable loaded;
        const FileResult r = packet ? TableXmlPacket::load(name, loaded) : TableTextFile::load(name, loaded);
        if (!r)
            state.SkipWithError(qPrintable(r.reason));
        if (packet)
            target.replaceWith(std::move(loaded));
        else
            target.appendRows(loaded, 0, loaded.rowCount());
        benchmark::DoNotOptimize(target.rowCount());
    }
    perRow(state, rows, elapsed);
}

// Peak growth of resident memory while a million rows load, held against the
// budget of the table's 64 bytes a row plus the file's size.
void loadMemory(benchmark::State &state, bool packet)
{
    const int rows = int(state.range(0));
    const QString name = fileFor(packet, rows);
    if (!QFile::exists(name))
        packet ? TableXmlPacket::save(name, table(rows), rows) : TableTextFile::save(name, table(rows), rows);
    for (auto _ : state) {
        const long before = ResidentMemory::restartPeak();
        MeasurementTable target;
        {
            MeasurementTable loaded;
            packet ? TableXmlPacket::load(name, loaded) : TableTextFile::load(name, loaded);
            if (packet)
                target.replaceWith(std::move(loaded));
            else
                target.appendRows(loaded, 0, loaded.rowCount());
        }
        const long peakGrowth = ResidentMemory::peakGrowthKb(before);
        const double budget = 64.0 * rows + QFile(name).size();
        state.counters["peak_growth_MB"] = peakGrowth * 1024.0 / 1e6;
        state.counters["budget_MB"] = budget / 1e6;
        state.counters["table_bytes_per_row"] = (ResidentMemory::statusKb("VmRSS:") - before) * 1024.0 / rows;
    }
}

// Text files no table was saved as, loaded as the Open button does: time,
// peak memory growth and the reason the load stopped.
//   0  a 100 MB line without a line end: fails at 64 KiB, without reading on
//   1  10^7 + 1 one-cell rows (about 90 MB): stops at the table's 10^7 rows
void hostileText(benchmark::State &state)
{
    const bool rows = state.range(0) == 1;
    const QString name = folder().filePath(rows ? QStringLiteral("rows.txt") : QStringLiteral("line.txt"));
    if (!QFile::exists(name)) {
        QFile file(name);
        file.open(QIODevice::WriteOnly);
        file.write(TableTextFile::headerLine());
        QByteArray block;
        if (rows) {
            for (int no = 1; no <= MeasurementTable::MaxRows + 1; ++no) {
                block += QByteArray::number(no) + "\r\n";
                if (block.size() > (1 << 20) || no == MeasurementTable::MaxRows + 1) {
                    file.write(block);
                    block.clear();
                }
            }
        } else {
            block = QByteArray(1 << 20, 'x');
            for (int mb = 0; mb < 100; ++mb)
                file.write(block);
        }
    }
    for (auto _ : state) {
        const long before = ResidentMemory::restartPeak();
        QElapsedTimer elapsed;
        elapsed.start();
        MeasurementTable target;
        FileResult result;
        {
            MeasurementTable loaded;
            result =
                TableTextFile::load(name, loaded, nullptr, {MeasurementTable::MaxRows, target.rowCount()});
            target.appendRows(loaded, 0, loaded.rowCount());
        }
        state.counters["seconds"] = elapsed.nsecsElapsed() / 1e9;
        state.counters["peak_growth_MB"] = ResidentMemory::peakGrowthKb(before) * 1024.0 / 1e6;
        state.counters["rows"] = target.rowCount();
        state.counters["file_MB"] = QFile(name).size() / 1e6;
        state.SetLabel(result ? std::string("loaded") : result.reason.toStdString());
    }
}

void BM_HostileText(benchmark::State &s)
{
    hostileText(s);
}
void BM_LoadTextMemory(benchmark::State &s)
{
    loadMemory(s, false);
}
void BM_LoadXmlMemory(benchmark::State &s)
{
    loadMemory(s, true);
}
void BM_SaveText(benchmark::State &s)
{
    save(s, false);
}
void BM_SaveXml(benchmark::State &s)
{
    save(s, true);
}
void BM_FormatText(benchmark::State &s)
{
    format(s, false);
}
void BM_FormatXml(benchmark::State &s)
{
    format(s, true);
}
void BM_UnsyncedSaveText(benchmark::State &s)
{
    unsyncedSave(s, false);
}
void BM_UnsyncedSaveXml(benchmark::State &s)
{
    unsyncedSave(s, true);
}
void BM_SingleWriteText(benchmark::State &s)
{
    singleWrite(s, false);
}
void BM_SingleWriteXml(benchmark::State &s)
{
    singleWrite(s, true);
}
void BM_LoadText(benchmark::State &s)
{
    load(s, false);
}
void BM_LoadXml(benchmark::State &s)
{
    load(s, true);
}

// Memory first, before other benchmarks leave freed memory behind.
BENCHMARK(BM_HostileText)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadTextMemory)->Arg(kMillion)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadXmlMemory)->Arg(kMillion)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveText)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FormatText)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnsyncedSaveText)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SingleWriteText)
    ->Args({kMillion, 0})
    ->Args({kMillion, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SaveXml)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FormatXml)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnsyncedSaveXml)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SingleWriteXml)
    ->Args({kMillion, 0})
    ->Args({kMillion, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LoadText)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadXml)->Arg(kTenThousand)->Arg(kMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
