// Publishing every row: rows a second through the session to a local broker,
// CPU a row with and without publishing (the process's CPU, the publisher's
// thread included, the broker's not), and resident memory with the broker
// away and 10^5 messages waiting.
#include "meter/frame_builder.h"
#include "publish/broker_rig.h"
#include "publish/mqtt_publisher.h"
#include "resident_memory.h"
#include "session/session_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int Rows = 100000;

double cpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

const std::vector<QString> &frames()
{
    static const std::vector<QString> all = [] {
        std::vector<QString> v;
        for (int i = 0; i < 4001; ++i) {
            const QByteArray digits = QByteArray::number(i * 7 % 10000).rightJustified(4, '0');
            v.push_back(frameHex(i % 3 ? '+' : '-', digits.constData(), "0124"[i % 4],
                                 Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11));
        }
        return v;
    }();
    return all;
}

struct Run {
    SessionRig rig{QLocale::c(), QTime(0, 0)};
    std::unique_ptr<MqttPublisher> publisher;

    explicit Run(const QString &url = {})
    {
        rig.log.setMaxRecords(MeasurementLog::RecordLimits[5].maxRecords);
        if (url.isEmpty())
            return;
        MqttSettings s;
        s.url = url;
        s.meterId = QStringLiteral("bench");
        QString error;
        if (!s.check(error))
            qFatal("%s", qPrintable(error));
        publisher = std::make_unique<MqttPublisher>(s, rig.session, QStringLiteral("."));
        rig.session.addListener(publisher.get());
        publisher->start();
    }
    void record(int rows)
    {
        for (int i = 0; i < rows; ++i) {
            rig.now = rig.now.addMSecs(250);
            rig.session.frame(frames()[size_t(i) % frames().size()]);
        }
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "bench_mqtt: cannot start mosquitto\n");
        return 1;
    }

    double plainCpu = 0;
    long tableKb = 0; // the table's share of the memory figure below
    {
        const long before = ResidentMemory::restartPeak();
        Run run;
        const double cpu = cpuSeconds();
        run.record(Rows);
        plainCpu = (cpuSeconds() - cpu) / Rows;
        tableKb = ResidentMemory::statusKb("VmRSS:") - before;
    }
    std::printf("session alone:        %6.2f us CPU a row\n", plainCpu * 1e6);

    {
        Run run(broker.url());
        QElapsedTimer connected;
        connected.start();
        QSignalSpy up(run.publisher.get(), &MqttPublisher::connected);
        while (up.isEmpty() && !connected.hasExpired(10000))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const double cpu = cpuSeconds();
        const double threadCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        QElapsedTimer wall;
        wall.start();
        run.record(Rows);
        const double recordCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadCpu;
        while (run.publisher->delivered() < Rows && !wall.hasExpired(120000))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        const double publishCpu = (cpuSeconds() - cpu) / Rows;
        std::printf("with publishing:      %6.2f us CPU a row (%.2f us on the session's thread), %.2fx\n",
                    publishCpu * 1e6, recordCpu / Rows * 1e6, publishCpu / plainCpu);
        std::printf("to the broker:        %lld of %d rows acknowledged in %.2f s: %.0f rows a second\n",
                    qlonglong(run.publisher->delivered()), Rows, seconds, Rows / seconds);
    }

    {
        const long before = ResidentMemory::restartPeak();
        Run run(QStringLiteral("mqtt://127.0.0.1:%1").arg(freePort()));
        run.record(Rows);
        const long after = ResidentMemory::statusKb("VmRSS:");
        std::printf(
            "broker away:          %lld waiting, %lld dropped, resident memory +%ld KiB, %ld KiB of them the "
            "table's: %.0f bytes a waiting message\n",
            qlonglong(run.publisher->waiting()), qlonglong(run.publisher->dropped()), after - before, tableKb,
            (after - before - tableKb) * 1024.0 / Rows);
        run.record(Rows / 10);
        std::printf("10%% more rows:        %lld waiting, %lld dropped, resident memory +%ld KiB\n",
                    qlonglong(run.publisher->waiting()), qlonglong(run.publisher->dropped()),
                    ResidentMemory::statusKb("VmRSS:") - before);
    }
    return 0;
}
