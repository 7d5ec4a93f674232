#pragma once

#include "link/serial/serial_fakes.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"
#include "recorder/recorder.h"
#include "recorder/recorder_link.h"
#include "recorder/recorder_options.h"

#include <QBuffer>
#include <QHash>
#include <QTime>

#include <memory>

// The recorder with its link, in-process: the rows and the console go to
// buffers, and every timer and tick is one the test fires.
struct RecorderRig {
    static QTime rowTime() { return QTime(9, 5, 7); }

    FixedLocaleService locale; // as the window rig: the user's locale C, the system's German
    QBuffer output;
    QBuffer console;
    QHash<QString, ManualWindowTimer *> timers; // "sampling", "flush", "silence"
    QHash<QString, ManualWindowTimer *> ticks;  // "poll", "replay", "end"
    RecorderOptions options;
    QString error;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<RecorderLink> link;
    int finishedWith = -1;
    bool liveLine = false; // the console stands for a terminal

    // Parses the arguments (without the program's name); `parts` may give the link its system layer.
    bool make(const QStringList &arguments, RecorderLinkParts parts = {})
    {
        locale.setSystemLocale(QLocale(QLocale::German));
        if (!RecorderArguments::parse(QStringList{QStringLiteral("halvern-record")} + arguments,
                                      QLatin1Char('.'), options, error))
            return false;
        output.open(QIODevice::ReadWrite);
        console.open(QIODevice::ReadWrite);
        RecorderServices services{locale, output, console, QStringLiteral("the buffer")};
        services.liveLine = liveLine;
        services.makeTimer = [this](const QString &name) {
            auto timer = std::make_unique<ManualWindowTimer>();
            timers.insert(name, timer.get());
            return timer;
        };
        services.clock = &RecorderRig::rowTime;
        recorder = std::make_unique<Recorder>(options, services);
        recorder->onFinished = [this](int code) { finishedWith = code; };
        parts.makeTickTimer = [this](const QString &name) {
            auto timer = std::make_unique<ManualWindowTimer>();
            ticks.insert(name, timer.get());
            return timer;
        };
        link = std::make_unique<RecorderLink>(*recorder, parts);
        return link->open(options, error) && recorder->start();
    }

    void fire(const QString &name)
    {
        if (ManualWindowTimer *t = ticks.value(name))
            t->fire();
        else if (ManualWindowTimer *w = timers.value(name))
            w->fire();
    }

    // 100 ms of a serial replay: two ticks of the wire, a poll of the port, and the sampling
    // timer at every tenth step.
    void replayStep(int step)
    {
        fire(QStringLiteral("replay"));
        fire(QStringLiteral("replay"));
        fire(QStringLiteral("poll"));
        if (step % 10 == 9)
            fire(QStringLiteral("sampling"));
        fire(QStringLiteral("end"));
    }

    QString consoleText() const { return QString::fromLocal8Bit(console.data()); }
};
