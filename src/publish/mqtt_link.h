#pragma once

#include "mqtt_settings.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

struct mosquitto;

struct MqttTiming {
    int firstRetryMs = 1000; // reconnects back off from here, doubling
    int maxRetryMs = 30000;
    int endFlushMs = 5000; // how long a clean end waits for the queue to drain
};

struct mosquitto_message;

// One connection to a broker, held up by a thread of its own, with the
// bounded queue of messages on their way (see MqttPublisher). The callbacks
// are called on that thread.
class MqttLink {
public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };
    struct Callbacks {
        std::function<void(const QString &line)> problem;
        std::function<void(bool firstAttempt)> credentialsRejected;
        std::function<void()> connected;
        std::function<void(const QString &line)> recovered;
        std::function<void()> dropping; // on the caller's thread, once until the queue empties
    };
    using Timing = MqttTiming;

    // Said on every connection before the queue, retained.
    std::vector<Message> onConnect;

    MqttLink(const MqttSettings &settings, Callbacks callbacks, Timing timing);
    ~MqttLink();
    MqttLink(const MqttLink &) = delete;
    MqttLink &operator=(const MqttLink &) = delete;

    void start();
    void stop();
    void send(Message message);

    qint64 waiting() const { return m_waitingCount.load(); }
    qint64 dropped() const { return m_dropped.load(); }
    qint64 delivered() const { return m_delivered.load(); }

private:
    struct InFlight {
        int mid;
        Message message;
    };

    void run();
    bool connectOnce(mosquitto *mosq, QString &cause);
    void serve(mosquitto *mosq, QString &cause);
    void endCleanly(mosquitto *mosq);
    void pump(mosquitto *mosq);
    void requeueInFlight();
    bool waitFor(int ms); // false when stopping
    void report(const QString &cause);
    QString lastTlsError();

    static void onConnack(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    MqttSettings m_settings;
    Callbacks m_callbacks;
    Timing m_timing;
    QByteArray m_clientId;
    QByteArray m_statusTopic;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Message> m_waiting; // under m_mutex
    bool m_stopping = false;       // under m_mutex
    bool m_dropTold = false;       // under m_mutex
    std::atomic<qint64> m_waitingCount{0};
    std::atomic<qint64> m_dropped{0};
    std::atomic<qint64> m_delivered{0};
    std::atomic<int> m_inFlightCount{0};

    // The thread's own:
    std::deque<InFlight> m_inFlight;
    int m_connack = -1; // -1: none yet
    bool m_everConnected = false;
    bool m_rejectionTold = false;
    QString m_toldCause;
    QString m_tlsError;
    std::thread m_thread;
};
