#include "mqtt_link.h"

#include <mosquitto.h>

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <unistd.h>

namespace {

// Enough to keep a local broker's link full; the bound counts them as waiting.
constexpr int MaxInFlight = 100;
constexpr int KeepAliveSeconds = 30;
constexpr int LoopWaitMs = 10;
constexpr int StatusAckMs = 1000;

void initLibrary()
{
    static const int once = mosquitto_lib_init();
    (void)once;
}

QString causeOf(int rc, int savedErrno)
{
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("unknown host");
    case MOSQ_ERR_ERRNO:
        return QString::fromLocal8Bit(std::strerror(savedErrno)).toLower();
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("connection lost");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("no answer within the keep-alive time");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc)).toLower();
    }
}

} // namespace

MqttLink::MqttLink(const MqttSettings &settings, Callbacks callbacks, Timing timing)
    : m_settings(settings), m_callbacks(std::move(callbacks)), m_timing(timing)
{
    initLibrary();
    // The process id tells two programs publishing as one meter apart, so neither pushes the other off.
    m_clientId = QStringLiteral("halvern-%1-%2").arg(m_settings.meterId).arg(::getpid()).toUtf8();
    m_statusTopic = m_settings.topic("status").toUtf8();
}

MqttLink::~MqttLink()
{
    stop();
}

void MqttLink::start()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void MqttLink::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void MqttLink::send(Message message)
{
    bool tellDrop = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting.push_back(std::move(message));
        // Sent but unacknowledged messages count too: they are held until the broker takes them.
        while (!m_waiting.empty() &&
               qint64(m_waiting.size()) + m_inFlightCount.load() > qint64(m_settings.queueLimit)) {
            m_waiting.pop_front();
            ++m_dropped;
            if (!m_dropTold)
                tellDrop = m_dropTold = true;
        }
        m_waitingCount = qint64(m_waiting.size()) + m_inFlightCount.load();
    }
    if (tellDrop && m_callbacks.dropping)
        m_callbacks.dropping();
}

bool MqttLink::waitFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
    return !m_stopping;
}

void MqttLink::report(const QString &cause)
{
    if (cause == m_toldCause)
        return;
    m_toldCause = cause;
    if (m_callbacks.problem)
        m_callbacks.problem(QStringLiteral("MQTT broker %1: %2").arg(m_settings.brokerName(), cause));
}

void MqttLink::run()
{
    int delay = m_timing.firstRetryMs;
    for (;;) {
        m_connack = -1;
        mosquitto *mosq = mosquitto_new(m_clientId.constData(), true, this);
        QString cause;
        if (!mosq) {
            cause = QStringLiteral("out of memory");
        } else if (connectOnce(mosq, cause)) {
            serve(mosq, cause);
            if (m_connack == 0)
                delay = m_timing.firstRetryMs;
        }
        requeueInFlight();
        if (mosq)
            mosquitto_destroy(mosq);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
        }
        if (!cause.isEmpty())
            report(cause + QStringLiteral("; readings wait, next try in %1 s").arg((delay + 999) / 1000));
        // 4: bad user name or password, 5: not authorised. Told after the line that names the broker.
        if ((m_connack == 4 || m_connack == 5) && !m_rejectionTold) {
            m_rejectionTold = true;
            if (m_callbacks.credentialsRejected)
                m_callbacks.credentialsRejected(!m_everConnected);
        }
        if (!waitFor(delay))
            return;
        delay = std::min(delay * 2, m_timing.maxRetryMs);
    }
}

bool MqttLink::connectOnce(mosquitto *mosq, QString &cause)
{
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_max_inflight_messages_set(mosq, MaxInFlight + 4);
    mosquitto_connect_callback_set(mosq, &MqttLink::onConnack);
    mosquitto_publish_callback_set(mosq, &MqttLink::onPublish);
    mosquitto_log_callback_set(mosq, &MqttLink::onLog);
    mosquitto_will_set(mosq, m_statusTopic.constData(), 7, "offline", 1, true);
    if (!m_settings.user.isEmpty())
        mosquitto_username_pw_set(mosq, m_settings.user.toUtf8().constData(),
                                  m_settings.password.isEmpty() ? nullptr
                                                                : m_settings.password.toUtf8().constData());
    if (m_settings.tls) {
        const QByteArray ca = m_settings.caFile.toLocal8Bit();
        const QByteArray cert = m_settings.certFile.toLocal8Bit();
        const QByteArray key = m_settings.keyFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(
            mosq, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
            cert.isEmpty() ? nullptr : cert.constData(), key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            cause = QStringLiteral("TLS files refused: %1").arg(causeOf(rc, errno));
            return false;
        }
    }
    m_tlsError.clear();
    errno = 0;
    const int rc =
        mosquitto_connect(mosq, m_settings.host.toUtf8().constData(), m_settings.port, KeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        cause = rc == MOSQ_ERR_TLS ? QStringLiteral("TLS failure: ") + lastTlsError() : causeOf(rc, errno);
        return false;
    }
    return true;
}

void MqttLink::serve(mosquitto *mosq, QString &cause)
{
    bool greeted = false;
    for (;;) {
        if (m_connack > 0) {
            cause = QStringLiteral("connection refused: %1")
                        .arg(QString::fromUtf8(mosquitto_connack_string(m_connack)));
            return;
        }
        if (m_connack == 0 && !greeted) {
            greeted = true;
            const bool again = !m_toldCause.isEmpty();
            m_toldCause.clear();
            m_everConnected = true;
            m_rejectionTold = false;
            for (const Message &m : onConnect)
                mosquitto_publish(mosq, nullptr, m.topic.constData(), int(m.payload.size()),
                                  m.payload.constData(), 1, m.retain);
            if (again && m_callbacks.recovered)
                m_callbacks.recovered(
                    QStringLiteral("MQTT broker %1: connected again").arg(m_settings.brokerName()));
            if (m_callbacks.connected)
                m_callbacks.connected();
        }
        if (m_connack == 0)
            pump(mosq);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                break;
        }
        errno = 0;
        const int rc = mosquitto_loop(mosq, LoopWaitMs, 1);
        // A refusal ends the loop too; the CONNACK's code says why.
        if (rc != MOSQ_ERR_SUCCESS && m_connack <= 0) {
            cause =
                rc == MOSQ_ERR_TLS ? QStringLiteral("TLS failure: ") + lastTlsError() : causeOf(rc, errno);
            return;
        }
    }
    if (m_connack == 0)
        endCleanly(mosq);
}

void MqttLink::endCleanly(mosquitto *mosq)
{
    const auto until = [](int ms) {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    };
    const auto drained = until(m_timing.endFlushMs);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_waiting.empty() && m_inFlight.empty())
                break;
        }
        if (std::chrono::steady_clock::now() > drained)
            break;
        pump(mosq);
        if (mosquitto_loop(mosq, LoopWaitMs, 1) != MOSQ_ERR_SUCCESS)
            return;
    }
    int mid = 0;
    if (mosquitto_publish(mosq, &mid, m_statusTopic.constData(), 7, "offline", 1, true) == MOSQ_ERR_SUCCESS) {
        m_inFlight.push_back({mid, {}});
        const auto acked = until(StatusAckMs);
        while (!m_inFlight.empty() && std::chrono::steady_clock::now() < acked)
            if (mosquitto_loop(mosq, LoopWaitMs, 1) != MOSQ_ERR_SUCCESS)
                return;
        m_inFlight.clear();
    }
    mosquitto_disconnect(mosq);
    mosquitto_loop(mosq, LoopWaitMs, 1);
}

void MqttLink::pump(mosquitto *mosq)
{
    std::vector<Message> batch;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        while (!m_waiting.empty() &&
               int(m_inFlight.size() + batch.size()) < std::min(MaxInFlight, m_settings.queueLimit)) {
            batch.push_back(std::move(m_waiting.front()));
            m_waiting.pop_front();
        }
        // Counted in flight before they leave the queue's lock, so the bound sees them all along.
        m_inFlightCount += int(batch.size());
    }
    for (size_t i = 0; i < batch.size(); ++i) {
        Message &m = batch[i];
        int mid = 0;
        const int rc = mosquitto_publish(mosq, &mid, m.topic.constData(), int(m.payload.size()),
                                         m.payload.constData(), 1, m.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            // The rest go back to the head of the queue, in their order.
            std::lock_guard<std::mutex> lock(m_mutex);
            for (size_t j = batch.size(); j-- > i;)
                m_waiting.push_front(std::move(batch[j]));
            m_inFlightCount -= int(batch.size() - i);
            return;
        }
        m_inFlight.push_back({mid, std::move(m)});
    }
}

void MqttLink::requeueInFlight()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_inFlight.rbegin(); it != m_inFlight.rend(); ++it)
        if (!it->message.topic.isEmpty())
            m_waiting.push_front(std::move(it->message));
    m_inFlight.clear();
    m_inFlightCount = 0;
    m_waitingCount = qint64(m_waiting.size());
}

QString MqttLink::lastTlsError()
{
    return m_tlsError.isEmpty() ? QStringLiteral("handshake failed") : m_tlsError;
}

void MqttLink::onConnack(mosquitto *, void *self, int rc)
{
    static_cast<MqttLink *>(self)->m_connack = rc;
}

void MqttLink::onPublish(mosquitto *, void *self, int mid)
{
    auto *link = static_cast<MqttLink *>(self);
    auto &flight = link->m_inFlight;
    // Acknowledgements come in order; the search is for a broker that does not keep it.
    auto it = std::find_if(flight.begin(), flight.end(), [mid](const InFlight &f) { return f.mid == mid; });
    if (it == flight.end())
        return;
    const bool reading = !it->message.topic.isEmpty();
    flight.erase(it);
    if (!reading)
        return;
    --link->m_inFlightCount;
    ++link->m_delivered;
    std::lock_guard<std::mutex> lock(link->m_mutex);
    link->m_waitingCount = qint64(link->m_waiting.size()) + link->m_inFlightCount.load();
    if (link->m_waiting.empty() && link->m_inFlight.empty())
        link->m_dropTold = false;
}

void MqttLink::onLog(mosquitto *, void *self, int level, const char *text)
{
    // The library says why a handshake failed only here ("OpenSSL Error[0]: ... certificate verify failed").
    if (level == MOSQ_LOG_ERR && text)
        static_cast<MqttLink *>(self)->m_tlsError = QString::fromUtf8(text);
}
