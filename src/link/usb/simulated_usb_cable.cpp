#include "link/usb/simulated_usb_cable.h"

namespace {

const QString kIdentity = QStringLiteral("simulated-usb-cable");

} // namespace

FakeHidDevice SimulatedUsbCable::device()
{
    FakeHidDevice device;
    device.identity = kIdentity;
    device.path = QStringLiteral("simulated USB cable");
    device.attributes = {0x0001, 0x2400, 0x0100}; // made up: only the product string is looked at
    device.product = QStringLiteral("USB to Serial");
    device.inputReportLength = UsbCableEncoder::ReportLength;
    return device;
}

SimulatedUsbCable::SimulatedUsbCable(std::shared_ptr<FakeHidPlatform> platform,
                                     std::unique_ptr<WindowTimer> timer)
    : m_platform(std::move(platform)), m_timer(std::move(timer))
{
    m_timer->setOnTimeout([this] { tick(); });
    m_timer->start(ReportIntervalMs);
    plug();
}

void SimulatedUsbCable::plug()
{
    if (m_plugged)
        return;
    m_platform->plug(device());
    m_plugged = true;
}

void SimulatedUsbCable::pull()
{
    if (!m_plugged)
        return;
    m_platform->unplug(kIdentity);
    m_plugged = false;
}

void SimulatedUsbCable::togglePlug()
{
    if (m_plugged)
        pull();
    else
        plug();
    m_platform->notifyChange();
}

void SimulatedUsbCable::feed(const QByteArray &bytes)
{
    if (m_plugged && !m_replay)
        m_encoder.feed(bytes);
}

void SimulatedUsbCable::setReplay(const ReportList &reports)
{
    m_replay = reports;
    m_replayAt = 0;
    m_replayStarted = false;
}

void SimulatedUsbCable::tick()
{
    if (!m_plugged)
        return;
    const bool reading = m_platform->readerAttached(kIdentity);
    if (m_replay && !m_replayStarted) {
        if (!reading)
            return;
        m_replayStarted = true;
    }
    QByteArray report;
    if (m_replay && m_replayAt < m_replay->size())
        report = m_replay->at(m_replayAt++);
    else
        report = m_encoder.nextReport(); // after a replay, an idle adapter's reports
    if (reading && m_platform->pendingInputs(kIdentity) < ReportQueueLimit)
        m_platform->queueReport(kIdentity, report);
}
