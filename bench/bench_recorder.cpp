// halvern-record's cost: CPU a meter line through the recorder's logic (decode,
// judge, record, write the row, a flush every 17 lines as at the wire's 17
// lines a second), the resident memory after 10^3, 10^5 and 10^6 rows fed as
// fast as it takes them, and the CPU of the real program at the wire's pace.
//
//   bench_recorder                 the per-line benchmark (Google Benchmark flags apply)
//   bench_recorder --rss           resident memory at 10^3, 10^5 and 10^6 rows
//   bench_recorder --wire SECONDS  halvern-record replaying the recorded lines at 2400 baud
//                                  (17 lines a second) for SECONDS; its CPU share of one core
#include "meter/locale_service.h"
#include "record/window_timer.h"
#include "recorder/recorder.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

QByteArray fixture()
{
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The recorded lines, each with the line feed that ended the one before, as the port delivers them.
const std::vector<QByteArray> &meterLines()
{
    static const std::vector<QByteArray> lines = [] {
        std::vector<QByteArray> v;
        for (const QByteArray &line : fixture().split('\n'))
            // The meter's shape, without the garbled line of the recording (its point code is a letter).
            if (line.size() == 13 && (line[0] == '+' || line[0] == '-') && line[6] >= '0' && line[6] <= '9')
                v.push_back('\n' + line);
        return v;
    }();
    return lines;
}

// The recorder writing into a file, with a flush timer fired by hand.
struct Rig {
    FixedLocaleService locale;
    QTemporaryDir dir;
    QFile output{dir.filePath(QStringLiteral("rows.xls"))};
    QFile console;
    QHash<QString, ManualWindowTimer *> timers;
    std::unique_ptr<Recorder> recorder;

    Rig()
    {
        output.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        console.open(stderr, QIODevice::WriteOnly);
        RecorderOptions options;
        options.limit = 10000000;
        RecorderServices services{locale, output, console, output.fileName()};
        services.makeTimer = [this](const QString &name) {
            auto timer = std::make_unique<ManualWindowTimer>();
            timers.insert(name, timer.get());
            return timer;
        };
        recorder = std::make_unique<Recorder>(options, services);
        recorder->start();
    }
    void feed(std::size_t i)
    {
        const QByteArray &line = meterLines()[i % meterLines().size()];
        recorder->serialBytes(line.constData(), int(line.size()));
    }
    void flush() { timers.value(QStringLiteral("flush"))->fire(); }
};

void BM_RecorderLine(benchmark::State &state)
{
    Rig rig;
    std::size_t i = 0;
    for (auto _ : state) {
        rig.feed(i);
        if (++i % 17 == 0)
            rig.flush();
    }
    state.counters["rows"] = rig.recorder->rows();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RecorderLine);

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

int residentMemory()
{
    Rig rig;
    std::size_t fed = 0;
    for (const std::size_t mark : {std::size_t(1000), std::size_t(100000), std::size_t(1000000)}) {
        for (; std::size_t(rig.recorder->rows()) < mark; ++fed) {
            rig.feed(fed);
            if (fed % 17 == 16)
                rig.flush();
        }
        rig.flush();
        std::printf("%8d rows: resident %6ld KiB, file %9lld bytes\n", rig.recorder->rows(), residentKiB(),
                    static_cast<long long>(rig.output.size()));
    }
    return 0;
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

int wirePace(const char *program, int runSeconds)
{
    // The recording, repeated to last the whole run at 240 bytes a second.
    const QByteArray once = fixture();
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("wire.bin"));
    QFile file(recording);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(once.repeated(int(runSeconds * 240 / once.size()) + 2));
    file.close();
    const QByteArray recordingName = QFile::encodeName(recording);
    const QByteArray outputName = QFile::encodeName(dir.filePath(QStringLiteral("rows.xls")));

    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(program, program, "--replay", recordingName.constData(), "--output", outputName.constData(),
                "--quiet", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::sleep(unsigned(runSeconds));
    ::kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    QFile rows(QString::fromLocal8Bit(outputName));
    rows.open(QIODevice::ReadOnly);
    const long long lines = rows.readAll().count('\n') - 1;
    const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    std::printf(
        "%d s at the wire's pace: %lld rows, CPU %.3f s (user %.3f, system %.3f) = %.3f %% of one core, "
        "%.1f us a row; peak resident %ld KiB\n",
        runSeconds, lines, cpu, seconds(usage.ru_utime), seconds(usage.ru_stime), 100 * cpu / runSeconds,
        lines > 0 ? 1e6 * cpu / double(lines) : 0.0, usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--rss") == 0)
        return residentMemory();
    if (argc >= 3 && std::strcmp(argv[1], "--wire") == 0)
        return wirePace(HALVERN_RECORD, std::atoi(argv[2]));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
