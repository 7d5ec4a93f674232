#pragma once

#include <QString>

// Where a link delivers the meter's frames (hex text, two upper-case digits a byte).
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void frame(const QString &frameHex) = 0;
};
