#pragma once

#include <QString>
#include <QTime>

#include <functional>

class LocaleService;
class MeasurementTable;
class MeterDecoder;
class TChartControl;
class WindowTimer;
struct TableRow;

// One item of the record-limit menu.
struct RecordLimitItem {
    const char *caption;
    int maxRecords;
};

// The rules that turn decoded readings into rows of the measurement table:
// direct recording per frame or timed sampling per tick, the repeat filter,
// the record limit and New. Every recorded row also goes to the chart pager
// and the bar graph.
class MeasurementLog {
public:
    using Clock = std::function<QTime()>;

    static constexpr int StartMaxRecords = 10000;
    // The menu "Record", in menu order; "limitless" is ten million.
    static const RecordLimitItem RecordLimits[6];

    MeasurementLog(MeterDecoder &decoder, MeasurementTable &table, TChartControl &pager, WindowTimer &timer3,
                   const LocaleService &locale, Clock clock = &QTime::currentTime);
    // The same rules with no table and no chart behind them: every recorded
    // row goes to onRowRecorded alone, so memory does not grow with the rows.
    MeasurementLog(MeterDecoder &decoder, WindowTimer &timer3, const LocaleService &locale,
                   Clock clock = &QTime::currentTime);

    // The decoder's hand-off at the end of every frame: arms the sampling
    // timer (without restarting it) or records at once.
    void handOff();
    void INDataToTable();
    void Timer3Timer();
    // New, after the user confirmed: empties table and chart, resets the counters.
    void RecordNewClick();

    // Change handler of the interval edit. Not an integer or negative: the
    // period stays. "0" becomes "1" (written back through onIntervalTextCorrected).
    void RecordSITimeChange(const QString &text);
    // Key filter of the interval and page-size edits: digits and backspace.
    static bool RecordSITimeKeyPress(QChar key);

    void setRepeatSet(bool checked) { m_repeatSet = checked; }
    bool repeatSet() const { return m_repeatSet; }
    void setRecordSI(bool checked) { m_recordSI = checked; }
    bool recordSI() const { return m_recordSI; }
    void setMaxRecords(int maxRecords) { m_maxRecords = maxRecords; }
    int MaxRecords() const { return m_maxRecords; }

    int RecordNo() const { return m_recordNo; }
    int RecordedRows() const { return m_recordedRows; }
    QString LastRecordKey() const { return m_lastRecordKey; }
    int barPosition() const { return m_barPosition; }

    // The bar graph's position for a value: its magnitude, truncated.
    static int barPositionFor(double number);

    // Every recorded row, as the table receives it.
    std::function<void(const TableRow &row)> onRowRecorded;
    // What the window shows after a recorded row or New.
    std::function<void(int row)> onRowPosted; // make it the grid's current row
    std::function<void(int position)> onBarPosition;
    std::function<void(int page)> onPageShown; // caption of the page button
    std::function<void(const QString &text)> onIntervalTextCorrected;

private:
    QString readingKey() const;
    void recordRow(bool timedRoad);

    MeterDecoder &m_decoder;
    MeasurementTable *m_table; // null: rows go to onRowRecorded alone
    TChartControl *m_pager;
    WindowTimer &m_timer3;
    const LocaleService &m_locale;
    Clock m_clock;

    bool m_repeatSet = true;
    bool m_recordSI = false;
    int m_maxRecords = StartMaxRecords;
    int m_recordNo = 1;
    int m_recordedRows = 0;
    QString m_lastRecordKey;
    int m_barPosition = 0;
};
