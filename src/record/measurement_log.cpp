#include "measurement_log.h"

#include "chart_control.h"
#include "measurement_table.h"
#include "meter/conversion.h"
#include "meter/locale_service.h"
#include "meter/meter_decoder.h"
#include "time_formats.h"
#include "window_timer.h"

#include <cmath>
#include <limits>

const RecordLimitItem MeasurementLog::RecordLimits[6] = {
    {"1000", 1000},   {"5000", 5000},     {"10000", 10000},
    {"50000", 50000}, {"100000", 100000}, {"limitless", MeasurementTable::MaxRows},
};

MeasurementLog::MeasurementLog(MeterDecoder &decoder, MeasurementTable &table, TChartControl &pager,
                               WindowTimer &timer3, const LocaleService &locale, Clock clock)
    : m_decoder(decoder), m_table(&table), m_pager(&pager), m_timer3(timer3), m_locale(locale),
      m_clock(std::move(clock))
{
    m_timer3.setOnTimeout([this] { Timer3Timer(); });
}

MeasurementLog::MeasurementLog(MeterDecoder &decoder, WindowTimer &timer3, const LocaleService &locale,
                               Clock clock)
    : m_decoder(decoder), m_table(nullptr), m_pager(nullptr), m_timer3(timer3), m_locale(locale),
      m_clock(std::move(clock))
{
    m_timer3.setOnTimeout([this] { Timer3Timer(); });
}

void MeasurementLog::handOff()
{
    if (m_recordSI) {
        m_timer3.setEnabled(true);
    } else {
        m_timer3.setEnabled(false);
        INDataToTable();
    }
}

QString MeasurementLog::readingKey() const
{
    // The verdict and the number are left out: a new verdict alone is a repeat.
    const Reading &r = m_decoder.reading();
    return r.ValueText + r.FunctionText + r.UnitText + r.RangeText;
}

int MeasurementLog::barPositionFor(double number)
{
    const double magnitude = std::trunc(std::fabs(number));
    if (std::isnan(magnitude))
        return 0;
    // Beyond the bar's maximum the bar is full anyway.
    return magnitude >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(magnitude);
}

void MeasurementLog::recordRow(bool timedRoad)
{
    const Reading &r = m_decoder.reading();
    m_lastRecordKey = readingKey();
    ++m_recordedRows;

    const QLocale locale = m_locale.userLocale();
    const QTime now = m_clock();
    TableRow row;
    row.No = m_recordNo;
    row.Time = timedRoad ? longTimeText(now, locale) : directTimeText(now, locale);
    row.DcAc = r.FunctionText;
    row.Value = r.ValueText;
    row.Unit = r.UnitText;
    row.Auto = r.JudgeText;

    m_barPosition = barPositionFor(r.Number);
    if (onBarPosition)
        onBarPosition(m_barPosition);
    if (onRowRecorded)
        onRowRecorded(row);
    if (!m_table)
        return;
    const int index = m_table->appendRow(row);
    if (onRowPosted)
        onRowPosted(index);
    m_pager->AddPoint(r.Number);
    if (onPageShown)
        onPageShown(m_pager->CurrentPage());
}

void MeasurementLog::INDataToTable()
{
    if (m_recordedRows >= m_maxRecords || m_recordSI)
        return;
    if (m_repeatSet || readingKey() != m_lastRecordKey)
        recordRow(false);
    ++m_recordNo;
}

void MeasurementLog::Timer3Timer()
{
    if (m_recordedRows >= m_maxRecords || !m_decoder.newReading())
        return;
    if (m_recordSI) {
        if (m_repeatSet || readingKey() != m_lastRecordKey)
            recordRow(true);
        ++m_recordNo;
    }
    m_decoder.clearNewReading();
}

void MeasurementLog::RecordNewClick()
{
    if (m_pager) {
        m_pager->Clear();
        if (onPageShown)
            onPageShown(m_pager->CurrentPage());
    }
    if (m_table && !m_table->isEmpty())
        m_table->clear();
    m_recordNo = 1;
    m_recordedRows = 0;
}

void MeasurementLog::RecordSITimeChange(const QString &text)
{
    int seconds = 0;
    if (!tryStrToInt(text, seconds) || seconds < 0)
        return;
    if (seconds == 0) {
        seconds = 1;
        if (onIntervalTextCorrected)
            onIntervalTextCorrected(QStringLiteral("1"));
    }
    // The timer takes at most 2^31 - 1 ms (about 24.8 days): longer waits get that.
    constexpr int maxSeconds = std::numeric_limits<int>::max() / 1000;
    m_timer3.setInterval((seconds > maxSeconds ? maxSeconds : seconds) * 1000);
}

bool MeasurementLog::RecordSITimeKeyPress(QChar key)
{
    return (key >= QLatin1Char('0') && key <= QLatin1Char('9')) || key == QChar(8);
}
