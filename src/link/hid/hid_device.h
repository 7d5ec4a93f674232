#pragma once

#include "link/hid/hid_controller.h"
#include "link/hid/hid_platform.h"
#include "link/hid/hid_types.h"

#include <atomic>
#include <memory>
#include <optional>

class THidDeviceReadThread;

// One listed HID device. The controller owns it until the application claims it; the application then
// owns it, and destroying it hands the device back to the controller. Runs on the main thread, apart from
// what its reader reads (the flags, WaitSlice and the capabilities).
class THidDevice {
public:
    // Raises EControllerError with "device cannot be opened" or "device cannot be identified".
    THidDevice(const THidPnPInfo &info, THidDeviceController *owner);
    ~THidDevice();

    THidDevice(const THidDevice &) = delete;
    THidDevice &operator=(const THidDevice &) = delete;

    THidDeviceController *Owner() const { return m_owner; }
    bool Plugged() const { return m_plugged; }
    bool Claimed() const { return m_claimed; }
    bool Enumerating() const { return m_enumerating; }
    const THidPnPInfo &PlugInfo() const { return m_plugInfo; }
    const HidAttributes &Attributes() const { return m_attributes; }
    quint16 VendorID() const { return m_attributes.VendorID; }
    quint16 ProductID() const { return m_attributes.ProductID; }
    bool ReadWriteAccess() const { return m_readWriteAccess; }

    // The cached strings, read from the device the first time they are asked for while it is accessible.
    QString ProductText();
    QString SerialText();

    bool SendFeature(const quint8 *buffer, int length);

    const THidDataEvent &DataHandler() const { return m_dataHandler; }
    // Starts the reader when given a handler, stops it when given none. False when a hand-over served while
    // waiting for the reader destroyed this device: touch it no more.
    bool SetDataHandler(const THidDataEvent &handler);
    const THidDataErrorEvent &DataErrorHandler() const { return m_dataErrorHandler; }
    const THidPlugEvent &UnplugHandler() const { return m_unplugHandler; }

    int WaitSlice() const { return m_waitSlice; }
    void SetWaitSlice(int value);

    bool IsAccessible() const;
    bool OpenMain();
    bool MainHandleOpen() const { return static_cast<bool>(m_mainHandle); }
    HidCapabilities GetCapabilities();

    void StartReader();
    // False when a hand-over served while waiting for the reader destroyed this device: touch it no more.
    bool StopReader();
    bool ReaderRunning() const { return static_cast<bool>(m_reader); }
    const THidDeviceReadThread *Reader() const { return m_reader.get(); }
    void Unplug();

private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    void CloseMain() { m_mainHandle.reset(); }
    void SetEnumerating(bool value) { m_enumerating = value; }

    THidDeviceController *m_owner = nullptr;
    std::atomic<bool> m_plugged{true};
    std::atomic<bool> m_claimed{false};
    std::atomic<bool> m_enumerating{false};
    std::unique_ptr<HidHandle> m_mainHandle; // the reader keeps its read handle itself
    HidAttributes m_attributes;
    THidPnPInfo m_plugInfo;
    QString m_productText;
    std::optional<HidCapabilities> m_capabilities;
    QString m_serialText;
    std::atomic<int> m_waitSlice{100}; // milliseconds
    THidDataEvent m_dataHandler;
    THidDataErrorEvent m_dataErrorHandler;
    THidPlugEvent m_unplugHandler;
    bool m_readWriteAccess = false;
    std::unique_ptr<THidDeviceReadThread> m_reader;
    std::shared_ptr<HidPlatform> m_platform;
    THidErrorReportPtr m_errorReport;
    const std::shared_ptr<char> m_alive = std::make_shared<char>(); // expires with the device
};
