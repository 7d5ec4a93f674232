#pragma once

#include <QString>
#include <QStringList>

#include <functional>

using DeviceExists = std::function<bool(const QString &device)>;

bool deviceExists(const QString &device);

// The devices that may stand for COM1 to COM4, in the order they are taken:
// USB adapters first, then modem-class adapters, then built-in ports.
QStringList serialDeviceCandidates();

// The device that COMn stands for right now (comIndex 0 is COM1): the
// comIndex-th existing candidate; empty when there are fewer. On Windows the
// name itself.
QString comPortDeviceName(int comIndex, const DeviceExists &exists = deviceExists);
