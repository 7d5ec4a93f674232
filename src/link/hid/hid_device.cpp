#include "link/hid/hid_device.h"

#include "link/hid/hid_read_thread.h"

#include <array>

namespace {

constexpr int StringChars = 254; // the longest string a device reports, in UTF-16 characters
constexpr int MinWaitSlice = 10;
constexpr int MaxWaitSlice = 10000;

} // namespace

THidDevice::THidDevice(const THidPnPInfo &info, THidDeviceController *owner)
    : m_owner(owner), m_plugInfo(info), m_platform(owner->Platform()), m_errorReport(owner->ErrorReport())
{
    SetDataHandler(owner->OnDeviceData());
    m_unplugHandler = owner->OnDeviceUnplug();
    m_dataErrorHandler = owner->OnDeviceDataError();

    m_mainHandle = m_platform->open(m_plugInfo.InterfacePath, HidAccess::ReadWrite);
    m_readWriteAccess = static_cast<bool>(m_mainHandle);
    if (!m_mainHandle)
        m_mainHandle = m_platform->open(m_plugInfo.InterfacePath, HidAccess::None);
    if (!m_mainHandle)
        throw EControllerError(QStringLiteral("device cannot be opened"));
    if (!m_platform->attributes(*m_mainHandle, m_attributes))
        throw EControllerError(QStringLiteral("device cannot be identified"));
    CloseMain();
}

THidDevice::~THidDevice()
{
    const THidDataEvent dataHandler = m_dataHandler;
    const THidPlugEvent unplugHandler = m_unplugHandler;
    SetDataHandler(THidDataEvent());
    m_unplugHandler = THidPlugEvent();
    CloseMain();
    m_capabilities.reset();
    if (m_owner)
        m_owner->Released(this, dataHandler, unplugHandler);
}

bool THidDevice::IsAccessible() const
{
    return m_plugged && (m_claimed || m_enumerating);
}

bool THidDevice::OpenMain()
{
    if (IsAccessible() && !m_mainHandle) {
        m_mainHandle = m_platform->open(m_plugInfo.InterfacePath, HidAccess::ReadWrite);
        m_readWriteAccess = static_cast<bool>(m_mainHandle);
        if (!m_mainHandle)
            m_mainHandle = m_platform->open(m_plugInfo.InterfacePath, HidAccess::None);
    }
    return static_cast<bool>(m_mainHandle);
}

HidCapabilities THidDevice::GetCapabilities()
{
    if (!m_capabilities && OpenMain()) {
        HidCapabilities caps;
        if (m_platform->capabilities(*m_mainHandle, caps))
            m_capabilities = caps;
        CloseMain();
    }
    return m_capabilities.value_or(HidCapabilities());
}

QString THidDevice::ProductText()
{
    if (m_productText.isEmpty() && OpenMain()) {
        QString text;
        if (m_platform->productString(*m_mainHandle, text))
            m_productText = text.left(StringChars).section(QChar(0), 0, 0);
        CloseMain();
    }
    return m_productText;
}

QString THidDevice::SerialText()
{
    if (m_serialText.isEmpty() && OpenMain()) {
        QString serial;
        if (m_platform->serialNumberString(*m_mainHandle, serial)) {
            serial = serial.left(StringChars);
            const std::optional<QString> languages = m_platform->languageList(*m_mainHandle);
            if (!languages) {
                // Nothing to compare with; such platforms read the serial number in the device's own
                // language, so a language list cannot stand in for it.
                m_serialText = serial.section(QChar(0), 0, 0);
            } else {
                // The string descriptor 0 as the platform writes it into a buffer filled with 0xFFFF:
                // its characters, then a terminating 0 when there is room.
                std::array<char16_t, StringChars> list;
                list.fill(0xFFFF);
                const QString written = languages->left(StringChars);
                for (int i = 0; i < written.size(); ++i)
                    list[i] = written[i].unicode();
                if (written.size() < StringChars)
                    list[written.size()] = 0;
                int n = 0;
                for (int i = StringChars - 1; i >= 0; --i) {
                    if (list[i] != 0xFFFF) {
                        n = list[i] == 0 ? i : i + 1;
                        break;
                    }
                }
                bool differs = false;
                for (int i = 0; i < n && !differs; ++i) {
                    const char16_t s = i < serial.size() ? serial[i].unicode() : 0;
                    differs = s != list[i];
                }
                if (differs)
                    m_serialText = serial.section(QChar(0), 0, 0);
            }
        }
        CloseMain();
    }
    return m_serialText;
}

bool THidDevice::SendFeature(const quint8 *buffer, int length)
{
    if (!OpenMain())
        return false;
    return m_platform->sendFeature(*m_mainHandle, buffer, length);
}

bool THidDevice::SetDataHandler(const THidDataEvent &handler)
{
    if (!handler && !StopReader())
        return false;
    m_dataHandler = handler;
    StartReader();
    return true;
}

void THidDevice::SetWaitSlice(int value)
{
    if (value >= MinWaitSlice && value <= MaxWaitSlice)
        m_waitSlice = value;
}

void THidDevice::StartReader()
{
    if (!m_dataHandler || !m_plugged || !m_claimed || !m_readWriteAccess || m_reader)
        return;
    const int length = GetCapabilities().InputReportByteLength;
    if (length <= 0 || !m_readWriteAccess)
        return; // nothing to read, or no longer allowed to (the capabilities opened the device again)
    m_reader = std::make_unique<THidDeviceReadThread>(this, length);
    m_reader->start();
}

bool THidDevice::StopReader()
{
    if (!m_reader)
        return true;
    // From here on the device has no reader, so that a handler served while we wait may start a new one.
    THidDeviceReadThread *reader = m_reader.release();
    const std::weak_ptr<char> alive = m_alive;
    if (reader->Stop())
        delete reader;
    return !alive.expired();
}

void THidDevice::Unplug()
{
    CloseMain();
    m_plugged = false; // the reader drops its read handle at its next look
    const THidPlugEvent handler = m_unplugHandler;
    if (handler)
        handler(this);
    m_unplugHandler = THidPlugEvent();
}
