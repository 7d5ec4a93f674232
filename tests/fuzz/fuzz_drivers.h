#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Each driver feeds one input from outside the program through the real
// code path and checks what must hold whatever the input. The result names
// the first broken rule; empty when all held. The libFuzzer targets and the
// replay test share these, so a finding replays in ./test.
namespace FuzzDrivers {

// Byte 0: settings (bit 0 Repeat, bit 1 timed sampling, bits 2-3 record
// limit, bit 4 decimal comma). Then chunks: one length byte, that many bytes.
QString serialStream(const std::uint8_t *data, std::size_t size);

// Byte 0: settings (bit 0 Repeat, bit 4 decimal comma). Then input reports
// of the meter cable: report ID byte, length byte, that many bytes.
QString usbReports(const std::uint8_t *data, std::size_t size);

// The bytes are a HID report descriptor.
QString hidReportDescriptor(const std::uint8_t *data, std::size_t size);

// Byte 0 picks the decimal separator; the rest, as UTF-8, is split at line
// feeds into: high limit, low limit, page size, then reading value texts.
QString limitAndPageSizeTexts(const std::uint8_t *data, std::size_t size);

// The bytes are a tab-separated table file: one that loads must save and
// load back to the same rows.
QString tableText(const std::uint8_t *data, std::size_t size);

// The bytes are an XML data packet: one that loads must save and load back
// to the same rows and change log.
QString xmlPacket(const std::uint8_t *data, std::size_t size);

// The bytes are a replay file (--replay): a report file gives reports of one
// to LinkRecording::MaxReportBytes bytes, no more bytes than a third of the
// text, that write back as report lines and parse again to the same reports;
// anything else replays as the very bytes.
QString replayFile(const std::uint8_t *data, std::size_t size);

} // namespace FuzzDrivers
