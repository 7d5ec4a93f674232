#pragma once

#include "error_report.h"
#include "link/serial/serial_frame_assembly.h"
#include "meter/meter_decoder.h"
#include "pending_views.h"
#include "record/chart_model.h"
#include "record/measurement_table.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class CircleShape;
class ClickablePanel;
class DialogService;
class HidPlatform;
class LcdPanel;
class LocaleService;
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class RecordGrid;
class JournalDisk;
class LimitJudge;
class MeasurementLog;
class MeasurementTableModel;
class PageSizeInput;
class SessionJournal;
class TableFileActions;
class TChartControl;
class TSerialPortDriver;
class TrendChart;
class UsbConnection;
class WindowTimer;

// Check boxes of the window definition that pick model-specific behaviour.
// They are not shown; this build is the one with IFMorvane on.
struct ModelSwitches {
    bool IFMorvane = true;
    bool IFVostra = false;
    bool IFSemvo = false;
    bool IFOstrel = false;
};

// Makes the window's timers; tests hand out timers they fire themselves.
using TimerFactory =
    std::function<std::unique_ptr<WindowTimer>(const QString &name, int intervalMs, bool enabled)>;

// What the window needs from the system, so tests can stand in for it.
struct WindowServices {
    DialogService &dialogs;
    LocaleService &locale;
    bool native64 = true;            // caption suffix
    std::function<void()> terminate; // tells the application to end
    ModelSwitches switches = ModelSwitches{};
    TimerFactory makeTimer = {};                   // default: timers of the event loop
    std::shared_ptr<HidPlatform> hidPlatform = {}; // default: the system's HID layer
    QString journalFolder = {};                    // folder of the session journal; empty: no journal
    JournalDisk *journalDisk = nullptr;            // the journal's file calls; null: the system's
};

// The main window: owns every part of the program and wires them together.
class TFCOMM : public QMainWindow {
    Q_OBJECT

public:
    explicit TFCOMM(const WindowServices &services, QWidget *parent = nullptr);
    ~TFCOMM() override;

    // A link delivered a frame: decode it, reporting a frame that does not
    // convert through the general error report.
    void frameReceived(const QString &frameHex);

    // The decoder, run on FrameHex.
    void LcdDisplayMorvane();

    // Connection control.
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    void COMConClick();
    void ConTimerTimer();
    void USBConClick();

    // Recording, judgement and the chart.
    void RecordNewClick();
    void ShowSeries(int Index);
    void btFillClick();
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    void TbFdClick();
    void TbSxClick();

    // Table files, the chart picture and the report.
    void saveasClick();
    void SpeedButton2Click();
    void BtSaveClick();
    void BtPrintClick();

    const MeterDecoder &decoder() const { return m_decoder; }
    const ChartModel &chartModel() const { return m_chart; }
    const MeasurementLog &measurementLog() const { return *m_log; }
    const LimitJudge &limitJudge() const { return *m_limits; }
    ErrorReport &errorReport() { return m_errors; }
    const SessionJournal *sessionJournal() const { return m_journal.get(); }

    // Rows an earlier session left unsaved in the journal: asks once whether to load them.
    void offerJournalRecovery();
    QString systeminfomation() const { return m_systeminfomation; }
    UsbConnection &usb() { return *m_usb; }

    QString FrameHex;
    std::unique_ptr<TSerialPortDriver> COMM2;
    SerialFrameAssembly ComFrames; // the serial receive handler's line assembly
    std::unique_ptr<WindowTimer> ConTimer;
    int WatchdogTicks = 0;               // ConTimer ticks since the last decoded frame, 0..2
    std::unique_ptr<WindowTimer> Timer1; // delayed check of the high limit
    std::unique_ptr<WindowTimer> Timer2; // delayed page size
    std::unique_ptr<WindowTimer> Timer3; // sampling interval
    std::unique_ptr<WindowTimer> Timer4; // delayed check of the low limit
    MeasurementTable cds1;
    std::unique_ptr<TChartControl> Pager;

    // Top bar.
    QFrame *Panel5 = nullptr;
    ClickablePanel *BtCOM1 = nullptr;
    ClickablePanel *BtCOM2 = nullptr;
    ClickablePanel *BtCOM3 = nullptr;
    ClickablePanel *BtCOM4 = nullptr;
    QPushButton *COMCon = nullptr;
    QPushButton *USBCon = nullptr;
    QPushButton *BitBtn1 = nullptr;

    // LCD panel and bar graph.
    LcdPanel *Panel1 = nullptr;
    QProgressBar *PBar2 = nullptr;

    // Recording strip and grid.
    QFrame *Panel2 = nullptr;
    QCheckBox *RepeatSet = nullptr;
    QCheckBox *RecordSI = nullptr;
    QLineEdit *RecordSITime = nullptr;
    QToolButton *RecordNew = nullptr;
    QToolButton *OpenDataFiles = nullptr;
    QToolButton *saveas = nullptr;
    QToolButton *BtPrint = nullptr;
    RecordGrid *DBGrid1 = nullptr;

    // Limit panel.
    QFrame *Panel4 = nullptr;
    QLabel *T1_HI = nullptr;
    QLineEdit *T1HI = nullptr;
    QLabel *T1_Value = nullptr;
    QLineEdit *T1VALUE = nullptr;
    QLabel *T1_LO = nullptr;
    QLineEdit *T1LO = nullptr;
    CircleShape *Shape1 = nullptr;
    QLabel *judge = nullptr;
    QLabel *CONok = nullptr;
    QLabel *CONokN = nullptr;

    // Chart strip and chart.
    QFrame *Panel3 = nullptr;
    QCheckBox *BtFill = nullptr;
    QLineEdit *Maxrecord = nullptr;
    QToolButton *BtSave = nullptr;
    QToolButton *BtFirst = nullptr;
    QToolButton *BTPrevious = nullptr;
    QPushButton *Bt10 = nullptr;
    QToolButton *BtNext = nullptr;
    QToolButton *BTlast = nullptr;
    QToolButton *TbFd = nullptr;
    QToolButton *TbSx = nullptr;
    TrendChart *Chtshow = nullptr;

    // Menu "Record".
    QMenu *RecordMenu = nullptr;
    QAction *N10001 = nullptr;
    QAction *N50001 = nullptr;
    QAction *N100001 = nullptr;
    QAction *N500001 = nullptr;
    QAction *N1000001 = nullptr;
    QAction *limitess = nullptr;

private:
    void createLayout();
    void createTopBar(QWidget *client);
    void createRecordStrip(QWidget *client);
    void createLimitPanel(QWidget *client);
    void createChartStrip(QWidget *client);
    void createMenu();
    void createComponents();
    void wireRecording();
    void showVerdict();
    void showPage(int page);

    // Frames decoded inside a batch share one refresh of the widgets at its
    // end; outside any batch a change shows at once.
    class FrameBatch;
    void viewsChanged();
    void refreshViews();
    void selectPort(int index);
    void FormCreate();
    void BitBtn1Click();
    void showEvent(QShowEvent *event) override;

    // The decoder's calls into the rest of the program.
    class Hooks;
    friend class Hooks;
    void frameArrived();
    void normaliseLimitSeparators();
    void measurementKindChanged();
    void judgeReading();
    void barMaximumChanged(int maximum);
    void handOff();

    WindowServices m_services;
    ErrorReport m_errors;
    ChartModel m_chart;
    MeterDecoder m_decoder;
    std::unique_ptr<DecoderHooks> m_hooks;
    QString m_systeminfomation;
    std::unique_ptr<MeasurementTableModel> m_gridModel;
    std::unique_ptr<LimitJudge> m_limits;
    std::unique_ptr<MeasurementLog> m_log;
    std::unique_ptr<PageSizeInput> m_pageSize;
    std::unique_ptr<WindowTimer> JournalTimer; // flushes the session journal
    std::unique_ptr<SessionJournal> m_journal;
    PendingViews m_pending;
    int m_batchDepth = 0;
    QColor m_verdictColour;
    QRect SavedChartBounds; // set by the first Enlarge
    bool m_centred = false;
    std::unique_ptr<TableFileActions> m_tableFiles;
    // Reset first in the destructor: the reader of the cable stops and the claimed devices are destroyed
    // while everything they write to still exists.
    std::unique_ptr<UsbConnection> m_usb;
};
