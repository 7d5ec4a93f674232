#include "mqtt_publisher.h"

#include "record/measurement_table.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Home Assistant's sensor, found under its discovery prefix, online while the status topic says so.
QByteArray discoveryConfig(const MqttSettings &s)
{
    const QString id = QStringLiteral("halvern_") + s.meterId;
    QJsonObject device{{"identifiers", QJsonArray{id}},
                       {"name", s.meterId},
                       {"manufacturer", "Halvern"},
                       {"sw_version", HALVERN_VERSION}};
    QJsonObject config{{"name", s.meterId},
                       {"unique_id", id},
                       {"state_topic", s.topic("reading")},
                       {"value_template", "{{ value_json.value }}"},
                       {"json_attributes_topic", s.topic("reading")},
                       {"availability_topic", s.topic("status")},
                       {"payload_available", "online"},
                       {"payload_not_available", "offline"},
                       {"state_class", "measurement"},
                       {"device", device}};
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

} // namespace

MqttPublisher::MqttPublisher(const MqttSettings &settings, const MeterSession &session,
                             const QString &decimalSeparator, Clock clock, MqttTiming timing)
    : m_settings(settings), m_session(session), m_clock(std::move(clock))
{
    m_message.decimalSeparator = decimalSeparator;
    m_readingTopic = m_settings.topic("reading").toUtf8();
    // The link's thread tells through queued calls: signals reach their receivers on this object's thread.
    MqttLink::Callbacks callbacks;
    callbacks.problem = [this](const QString &line) {
        QMetaObject::invokeMethod(
            this, [this, line] { emit problem(line); }, Qt::QueuedConnection);
    };
    callbacks.recovered = [this](const QString &line) {
        QMetaObject::invokeMethod(
            this, [this, line] { emit recovered(line); }, Qt::QueuedConnection);
    };
    callbacks.credentialsRejected = [this](bool first) {
        QMetaObject::invokeMethod(
            this, [this, first] { emit credentialsRejected(first); }, Qt::QueuedConnection);
    };
    callbacks.connected = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emit connected(); }, Qt::QueuedConnection);
    };
    callbacks.dropping = [this] {
        emit overflow(QStringLiteral("MQTT broker %1: %2 readings wait, the most kept; the oldest are being "
                                     "dropped (the seq gap shows how many)")
                          .arg(m_settings.brokerName())
                          .arg(m_settings.queueLimit));
    };
    m_link = std::make_unique<MqttLink>(m_settings, std::move(callbacks), timing);
    m_link->onConnect.push_back({m_settings.topic("status").toUtf8(), QByteArrayLiteral("online"), true});
    if (m_settings.haDiscovery)
        m_link->onConnect.push_back(
            {QStringLiteral("homeassistant/sensor/halvern_%1/config").arg(m_settings.meterId).toUtf8(),
             discoveryConfig(m_settings), true});
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

void MqttPublisher::start()
{
    m_link->start();
}

void MqttPublisher::stop()
{
    m_link->stop();
}

void MqttPublisher::rowRecorded(const TableRow &row)
{
    ++m_message.seq;
    m_message.time = m_clock();
    const LimitJudge &limits = m_session.limits();
    m_link->send({m_readingTopic,
                  m_message.json(row, m_session.decoder().reading(), limits.text(LimitJudge::High),
                                 limits.text(LimitJudge::Low)),
                  false});
}

qint64 MqttPublisher::waiting() const
{
    return m_link->waiting();
}

qint64 MqttPublisher::dropped() const
{
    return m_link->dropped();
}

qint64 MqttPublisher::delivered() const
{
    return m_link->delivered();
}
