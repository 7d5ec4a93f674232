#pragma once

#include "link/serial/serial_frame_assembly.h"
#include "meter/locale_service.h"
#include "meter/meter_decoder.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <random>
#include <vector>

// Bytes from hex text, blanks ignored: "0A 2B 30".
inline QByteArray bytesFromHex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// Cuts data into pieces of 1 to maxChunk bytes.
inline QList<QByteArray> randomChunks(const QByteArray &data, std::mt19937 &rng, int maxChunk)
{
    std::uniform_int_distribution<int> size(1, maxChunk);
    QList<QByteArray> chunks;
    for (qsizetype at = 0; at < data.size();) {
        const int n = size(rng);
        chunks << data.mid(at, n);
        at += n;
    }
    return chunks;
}

// What a receiver set to receiveBaud makes of bytes sent at sendBaud, both
// 8N1: it waits for a falling edge, then samples the middle of each of its
// own bit times.
inline QByteArray misreadAtSpeed(const QByteArray &sent, int sendBaud, int receiveBaud)
{
    std::vector<bool> line; // one level per sent bit time
    for (const char c : sent) {
        line.push_back(false); // start bit
        for (int k = 0; k < 8; ++k)
            line.push_back((static_cast<unsigned char>(c) >> k) & 1);
        line.push_back(true); // stop bit
    }
    const auto level = [&line](double t) { return t >= double(line.size()) || line[size_t(t)]; };
    const double bit = double(sendBaud) / receiveBaud; // a receiver bit in sent bit times
    const double step = bit / 16;                      // the receiver looks 16 times a bit

    QByteArray received;
    bool previous = true;
    for (double t = 0; t < double(line.size());) {
        const bool now = level(t);
        if (previous && !now && !level(t + bit / 2)) {
            unsigned char byte = 0;
            for (int k = 0; k < 8; ++k)
                byte |= (level(t + bit * (1.5 + k)) ? 1 : 0) << k;
            received += char(byte);
            t += bit * 9.5; // middle of the stop bit
            previous = level(t);
            continue;
        }
        previous = now;
        t += step;
    }
    return received;
}

// The real decoder behind an assembly, with every frame and every error it
// reports recorded.
struct DecodingRig {
    FixedLocaleService locale;
    MeterDecoder decoder{locale};
    SerialFrameAssembly assembly;
    QStringList frames; // FrameHex of every decoder call
    QStringList errors;

    DecodingRig()
    {
        assembly.setFrameHandler([this](const QString &frameHex) {
            frames << frameHex;
            decoder.decode(frameHex);
        });
        assembly.setErrorHandler([this](const QString &message) { errors << message; });
    }

    void feed(const QByteArray &bytes) { assembly.receive(bytes.constData(), int(bytes.size())); }
};
