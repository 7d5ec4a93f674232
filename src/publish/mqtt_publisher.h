#pragma once

#include "mqtt_link.h"
#include "mqtt_settings.h"
#include "reading_message.h"
#include "session/meter_session.h"

#include <QObject>

#include <functional>
#include <memory>

// Publishes every row the session records to an MQTT broker, QoS 1, as a
// ReadingMessage, and the meter's status, retained: "online" on each
// connection, "offline" as the last will and at a clean end.
//
// A thread of its own talks to the broker, so a slow or absent broker never
// holds up the session. Rows wait in a queue, in order, bounded:
//
//   broker away          rows wait with their time and seq; reconnects back
//                        off from 1 s to 30 s
//   queue full           the oldest waiting row is dropped; told once until
//                        the queue empties again; subscribers see a seq gap
//   connection lost      rows not yet acknowledged go out again first
//                        (QoS 1: a subscriber may see one twice, by seq)
//   clean end            the queue gets a few seconds to drain, then
//                        "offline" and a clean disconnect
//
// Every failure is one line naming the broker and the cause, told once until
// the cause changes or a connection succeeds.
class MqttPublisher : public QObject, public SessionListener {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // settings must have passed check(). decimalSeparator: that of the
    // display's and the limits' texts.
    MqttPublisher(const MqttSettings &settings, const MeterSession &session, const QString &decimalSeparator,
                  Clock clock = &QDateTime::currentDateTimeUtc, MqttTiming timing = MqttTiming());
    ~MqttPublisher() override;

    void start();
    // The clean end: drains for a while, says "offline", disconnects. Also done by the destructor.
    void stop();

    void rowRecorded(const TableRow &row) override;

    qint64 waiting() const;   // queued or unacknowledged
    qint64 dropped() const;   // lost to the queue's bound
    qint64 delivered() const; // acknowledged by the broker
    const MqttSettings &settings() const { return m_settings; }

signals:
    void problem(const QString &line);
    // The queue is full and drops its oldest: told once until it empties.
    void overflow(const QString &line);
    // The broker refused the user name or password; firstAttempt: before any
    // connection of this run succeeded.
    void credentialsRejected(bool firstAttempt);
    void connected();
    // The broker took a connection again after a problem.
    void recovered(const QString &line);

private:
    MqttSettings m_settings;
    const MeterSession &m_session;
    ReadingMessage m_message;
    Clock m_clock;
    QByteArray m_readingTopic;
    std::unique_ptr<MqttLink> m_link;
};
