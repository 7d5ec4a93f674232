#pragma once

#include <QString>
#include <QStringList>

#include <functional>

using DeviceExists = std::function<bool(const QString &device)>;

bool deviceExists(const QString &device);

// False for a built-in port node (/dev/ttySn) that has no UART behind it:
// most PCs have 32 such nodes whatever hardware they have. The kernel's
// sysfs entry tells: a port type of 0 is no hardware. Other devices pass.
bool hasSerialHardware(const QString &device, const QString &sysClassTty = QStringLiteral("/sys/class/tty"));

// A device that exists and is a port in fact.
bool serialDeviceUsable(const QString &device);

// The devices that may stand for COM1 to COM4, in the order they are taken:
// USB adapters first, then modem-class adapters, then built-in ports.
QStringList serialDeviceCandidates();

// The device that COMn stands for right now (comIndex 0 is COM1): the
// comIndex-th usable candidate; empty when there are fewer. On Windows the
// name itself.
QString comPortDeviceName(int comIndex, const DeviceExists &exists = serialDeviceUsable);
