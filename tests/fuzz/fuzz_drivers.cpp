#include "fuzz_drivers.h"

#include "link/hid/hid_report_descriptor.h"
#include "link/replay/link_recording.h"
#include "link/serial/serial_frame_assembly.h"
#include "link/usb/usb_report_unpacker.h"
#include "meter/conversion.h"
#include "meter/locale_service.h"
#include "record/page_size_input.h"
#include "record/table_text_file.h"
#include "record/table_xml_packet.h"
#include "session/session_rig.h"

#include <QBuffer>
#include <QStringList>

#include <cmath>

namespace {

QLocale localeFor(bool decimalComma)
{
    return decimalComma ? QLocale(QLocale::German) : QLocale::c();
}

// The window's meter session at noon.
struct Road : SessionRig {
    explicit Road(bool decimalComma) : SessionRig(localeFor(decimalComma), QTime(12, 0, 0)) {}
};

// What recording must never produce, whatever the frame: a row without a
// number, a chart value that is not finite.
struct RowCheck {
    int rowsBefore;
    std::size_t pointsBefore;

    explicit RowCheck(const Road &road)
        : rowsBefore(road.table.rowCount()), pointsBefore(road.chart.points.size())
    {
    }

    void newRows(const Road &road, QString &failure) const
    {
        for (int r = rowsBefore; r < road.table.rowCount() && failure.isEmpty(); ++r) {
            if (!road.table.row(r).No)
                failure = QStringLiteral("recorded row %1 has no No").arg(r);
        }
        for (std::size_t p = pointsBefore; p < road.chart.points.size() && failure.isEmpty(); ++p) {
            if (!std::isfinite(road.chart.points[p]))
                failure = QStringLiteral("chart point %1 is not finite").arg(p);
        }
    }
};

QString rowText(const MeasurementTable &table, int r)
{
    QStringList cells;
    for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
        const QVariant v = table.field(r, f);
        cells << (v.isNull() ? QStringLiteral("<null>") : v.toString());
    }
    return cells.join(QLatin1Char('|')) + (table.isLogged(r) ? QStringLiteral("|logged") : QString());
}

} // namespace

namespace FuzzDrivers {

QString serialStream(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::uint8_t settings = data[0];
    Road road(settings & 0x10);
    road.log.setRepeatSet(settings & 1);
    road.log.setRecordSI(settings & 2);
    static const int limits[] = {1, 2, 10, 10000000};
    road.log.setMaxRecords(limits[(settings >> 2) & 3]);

    QStringList frames;
    QString failure;
    SerialFrameAssembly assembly;
    assembly.setFrameHandler([&](const QString &hex) {
        frames << hex;
        const RowCheck check(road);
        road.session.frame(hex);
        check.newRows(road, failure);
    });
    assembly.setErrorHandler([](const QString &) {});

    QByteArray whole;
    std::size_t pos = 1;
    while (pos < size && failure.isEmpty()) {
        const std::size_t length = std::min<std::size_t>(data[pos] + 1u, size - pos - 1);
        ++pos;
        const auto *chunk = reinterpret_cast<const char *>(data + pos);
        whole.append(chunk, qsizetype(length));
        if (length > 0)
            assembly.receive(chunk, int(length));
        pos += length;
        if (assembly.PendingHex().size() > SerialFrameAssembly::PendingHexLimit)
            return QStringLiteral("PendingHex grew to %1").arg(assembly.PendingHex().size());
        if (assembly.FrameHex().size() > 26)
            return QStringLiteral("FrameHex holds %1 characters").arg(assembly.FrameHex().size());
        const RowCheck check(road);
        road.timer3.fire(); // a sampling tick after every chunk
        check.newRows(road, failure);
    }
    if (!failure.isEmpty())
        return failure;
    if (road.table.rowCount() != road.log.RecordedRows())
        return QStringLiteral("%1 rows but RecordedRows %2")
            .arg(road.table.rowCount())
            .arg(road.log.RecordedRows());
    if (road.log.RecordedRows() > road.log.MaxRecords())
        return QStringLiteral("%1 rows beyond the limit %2")
            .arg(road.log.RecordedRows())
            .arg(road.log.MaxRecords());

    // The same bytes in one chunk give the same frames.
    QStringList once;
    SerialFrameAssembly single;
    single.setFrameHandler([&](const QString &hex) { once << hex; });
    single.receive(whole.constData(), int(whole.size()));
    if (once != frames)
        return QStringLiteral("chunking changed the frames: %1 against %2")
            .arg(frames.size())
            .arg(once.size());
    return {};
}

QString usbReports(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    Road road(data[0] & 0x10);
    road.log.setRepeatSet(data[0] & 1);
    QString failure;
    UsbReportUnpacker unpacker;
    QString frameHex;
    unpacker.setFrameHexSink([&](const QString &hex) { frameHex = hex; });
    unpacker.setDecoder([&] {
        const RowCheck check(road);
        road.session.frame(frameHex);
        check.newRows(road, failure);
    });
    unpacker.setErrorSink([](const QString &) {});
    int historyLines = 0;
    QString lastHistory;
    unpacker.setHistorySink([&](const QString &line) {
        ++historyLines;
        lastHistory = line;
    });
    std::size_t pos = 1;
    while (pos + 2 <= size && failure.isEmpty()) {
        const quint8 reportId = data[pos];
        const std::size_t length = std::min<std::size_t>(data[pos + 1], size - pos - 2);
        pos += 2;
        const int before = historyLines;
        unpacker.handleReport(UsbReportUnpacker::Variant::Morvane, reportId, data + pos, quint16(length));
        if (historyLines > before && lastHistory.size() != 6 + 3 * int(length))
            return QStringLiteral("history line of %1 characters for %2 bytes")
                .arg(lastHistory.size())
                .arg(length);
        pos += length;
        if (unpacker.UsbHexBuffer().size() > UsbReportUnpacker::UsbHexBufferLimit)
            return QStringLiteral("UsbHexBuffer grew to %1").arg(unpacker.UsbHexBuffer().size());
        if (frameHex.size() > UsbReportUnpacker::UsbHexBufferLimit)
            return QStringLiteral("FrameHex holds %1 characters").arg(frameHex.size());
    }
    return failure;
}

QString hidReportDescriptor(const std::uint8_t *data, std::size_t size)
{
    const QByteArray descriptor(reinterpret_cast<const char *>(data), qsizetype(size));
    const HidReportLayout layout = parseReportDescriptor(descriptor);
    if (layout.inputReportLength < 0 || layout.inputReportLength > 0x10000)
        return QStringLiteral("input report length %1").arg(layout.inputReportLength);
    return {};
}

QString limitAndPageSizeTexts(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    Road road(data[0] & 1);
    const QStringList texts = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1))
                                  .split(QLatin1Char('\n'));
    const QChar separator = road.locale.userDecimalSeparator().at(0);

    // Typing goes through the key filters, as in the edits.
    auto typed = [](const QString &text, auto accept) {
        QString kept;
        for (QChar c : text)
            if (accept(c))
                kept += c;
        return kept;
    };
    const QString high = texts.value(0);
    const QString low = texts.value(1);
    road.limits.T1HIChange(typed(high, [&](QChar c) { return road.limits.T1HIKeyPress(c); }));
    road.limits.T1HIChange(high); // pasted
    road.limits.T1LOChange(low);
    road.timer1.fire();
    road.timer4.fire();
    for (LimitJudge::Field f : {LimitJudge::High, LimitJudge::Low}) {
        const QString accepted = road.limits.lastAcceptedText(f);
        const double v = LimitJudge::toNumber(accepted, separator);
        if (!LimitJudge::isNumber(accepted, separator))
            return QStringLiteral("accepted limit '%1' is not a number").arg(accepted);
        if (std::isnan(v))
            return QStringLiteral("accepted limit '%1' converts to NaN").arg(accepted);
        if (road.limits.text(f) != accepted)
            return QStringLiteral("field shows '%1', accepted '%2'").arg(road.limits.text(f), accepted);
    }

    const double hi = LimitJudge::toNumber(road.limits.text(LimitJudge::High), separator);
    const double lo = LimitJudge::toNumber(road.limits.text(LimitJudge::Low), separator);
    for (int i = 3; i < texts.size(); ++i) {
        Reading reading;
        reading.ValueText = texts[i];
        road.limits.judge(reading);
        const double v = LimitJudge::toNumber(texts[i], separator);
        const bool pass = LimitJudge::isNumber(texts[i], separator) && lo <= v && v <= hi;
        if (road.limits.verdict() != (pass ? LimitJudge::Verdict::Pass : LimitJudge::Verdict::Fail))
            return QStringLiteral("'%1' judged wrongly between %2 and %3").arg(texts[i]).arg(lo).arg(hi);
        if (reading.JudgeText != (pass ? QStringLiteral("pass") : QStringLiteral("Fail")))
            return QStringLiteral("JudgeText '%1' for '%2'").arg(reading.JudgeText, texts[i]);
    }

    PageSizeInput pageSize(road.pager, road.timer1);
    QString pageError;
    pageSize.onError = [&](const QString &message) { pageError = message; };
    const QString pageText = texts.value(2);
    pageSize.MaxrecordChange(typed(pageText, &MeasurementLog::RecordSITimeKeyPress));
    road.timer1.fire();
    pageError.clear();
    pageSize.MaxrecordChange(pageText);
    road.timer1.fire();
    int n = 0;
    const bool isInteger = tryStrToInt(pageText, n);
    if (isInteger == !pageError.isEmpty())
        return QStringLiteral("page size '%1': error '%2'").arg(pageText, pageError);
    if (road.pager.PageSize() < 1)
        return QStringLiteral("page size %1 after '%2'").arg(road.pager.PageSize()).arg(pageText);
    if (isInteger && road.pager.PageSize() != std::max(n, 1))
        return QStringLiteral("page size %1 after '%2'").arg(road.pager.PageSize()).arg(pageText);
    for (int i = 0; i < 50; ++i)
        road.pager.AddPoint(i);
    road.pager.First();
    road.pager.Next();
    road.pager.Last();
    if (road.pager.CurrentPage() < 1 || road.pager.CurrentPage() > std::max(road.pager.PageCount(), 1))
        return QStringLiteral("page %1 of %2").arg(road.pager.CurrentPage()).arg(road.pager.PageCount());

    QString interval = texts.value(2);
    road.log.RecordSITimeChange(interval);
    if (road.timer3.interval() < 1000)
        return QStringLiteral("sampling period %1 ms after '%2'").arg(road.timer3.interval()).arg(interval);
    return {};
}

QString tableText(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    MeasurementTable loaded;
    if (!TableTextFile::parse(input, loaded))
        return {};
    QBuffer first;
    first.open(QIODevice::WriteOnly);
    if (!TableTextFile::write(first, loaded, loaded.rowCount()))
        return QStringLiteral("a loaded table could not be written");
    MeasurementTable again;
    const FileResult reread = TableTextFile::parse(first.data(), again);
    if (!reread)
        return QStringLiteral("a saved table does not load: %1").arg(reread.reason);
    if (again.rowCount() != loaded.rowCount())
        return QStringLiteral("%1 rows saved, %2 loaded back").arg(loaded.rowCount()).arg(again.rowCount());
    QBuffer second;
    second.open(QIODevice::WriteOnly);
    TableTextFile::write(second, again, again.rowCount());
    if (second.data() != first.data())
        return QStringLiteral("saving the loaded-back table gives another text");
    return {};
}

QString xmlPacket(const std::uint8_t *data, std::size_t size)
{
    QBuffer in;
    in.setData(reinterpret_cast<const char *>(data), qsizetype(size));
    in.open(QIODevice::ReadOnly);
    MeasurementTable loaded;
    if (!TableXmlPacket::read(in, loaded))
        return {};
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!TableXmlPacket::write(out, loaded, loaded.rowCount()))
        return QStringLiteral("a loaded packet could not be written");
    out.close();
    out.open(QIODevice::ReadOnly);
    MeasurementTable again;
    const FileResult reread = TableXmlPacket::read(out, again);
    if (!reread)
        return QStringLiteral("a saved packet does not load: %1").arg(reread.reason);
    if (again.rowCount() != loaded.rowCount())
        return QStringLiteral("%1 rows saved, %2 loaded back").arg(loaded.rowCount()).arg(again.rowCount());
    for (int r = 0; r < loaded.rowCount(); ++r)
        if (rowText(loaded, r) != rowText(again, r))
            return QStringLiteral("row %1: %2 became %3").arg(r).arg(rowText(loaded, r), rowText(again, r));
    return {};
}

QString replayFile(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const LinkRecording recording = LinkRecording::parse(input);
    if (recording.kind == LinkRecording::Kind::SerialBytes) {
        if (!recording.reports.isEmpty())
            return QStringLiteral("serial bytes with reports beside them");
        return recording.serialBytes == input ? QString()
                                              : QStringLiteral("serial bytes differ from the file");
    }
    if (!recording.serialBytes.isEmpty())
        return QStringLiteral("a report file with serial bytes beside it");
    QByteArray written;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < recording.reports.size(); ++i) {
        const QByteArray report = recording.reports.at(i);
        if (report.isEmpty() || report.size() > LinkRecording::MaxReportBytes)
            return QStringLiteral("report %1 has %2 bytes").arg(i).arg(report.size());
        bytes += report.size();
        written += LinkRecording::reportLine(report) + '\n';
    }
    // Two digits and a blank or line end a byte, the last line's end aside.
    if (3 * bytes > input.size() + 1)
        return QStringLiteral("%1 report bytes from %2 bytes of text").arg(bytes).arg(input.size());
    const LinkRecording again = LinkRecording::parse(written);
    if (again.kind != LinkRecording::Kind::Reports || again.reports != recording.reports)
        return QStringLiteral("written report lines parse to other reports");
    return {};
}

} // namespace FuzzDrivers
