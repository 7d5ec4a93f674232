#pragma once

#include <QByteArray>

// What the reader needs to know about a device's input reports, taken from its report descriptor.
struct HidReportLayout {
    bool numbered = false;     // reports carry a report ID byte
    int inputReportLength = 0; // bytes of the longest input report, counting the report ID byte (a 0 byte
                               // for unnumbered reports); 0 when the device has no input report
};

// Reads the short items of a report descriptor; long items are skipped and a truncated item ends it.
HidReportLayout parseReportDescriptor(const QByteArray &descriptor);
