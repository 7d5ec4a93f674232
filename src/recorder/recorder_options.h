#pragma once

#include "publish/mqtt_settings.h"

#include <QString>
#include <QStringList>

// What a run of halvern-record was asked to do, from its command line.
struct RecorderOptions {
    enum class Link { Port, Usb, Replay };

    // Largest sampling interval and timeout: the timers take at most 2^31 - 1 ms.
    static constexpr int MaxSeconds = 2147483;

    Link link = Link::Port;
    QString port;            // --port DEVICE
    QString replay;          // --replay FILE
    int intervalSeconds = 0; // 0: direct recording, a row per line
    int limit = 0;           // rows at most; set from the record-limit menu's "limitless" when not given
    QString high;            // limit texts as the judge takes them; empty: the window's start values
    QString low;
    bool repeat = true; // --no-repeat turns the repeat rule off
    QString output;     // empty: standard output
    bool quiet = false;
    int timeoutSeconds = 0; // 0: no watch on a silent link
    MqttSettings mqtt;      // checked, with its meter id, when --mqtt is given
    bool help = false;
    bool version = false;
};

namespace RecorderArguments {

// Reads the arguments (the program's name first). On a bad argument returns
// false with a message that names it. A limit text is taken with either "."
// or "," as its decimal separator, as the limit fields take it.
bool parse(const QStringList &arguments, QChar userDecimalSeparator, RecorderOptions &options,
           QString &error);

QString usage();
QString versionText();

} // namespace RecorderArguments
