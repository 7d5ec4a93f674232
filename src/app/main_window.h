#pragma once

#include "error_report.h"
#include "link/serial/serial_frame_assembly.h"
#include "link/usb/usb_adapter.h"
#include "pending_views.h"
#include "session/meter_session.h"

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
class MeasurementTableModel;
class PageSizeInput;
class TableFileActions;
class TSerialPortDriver;
class TrendChart;
class UsbConnection;
class WindowTimer;

// Makes the window's and its session's timers; tests hand out timers they fire themselves.
using TimerFactory = MeterSession::TimerFactory;

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

// The main window: the widgets' side of a meter session. It shows what the
// session tells and hands the user's actions to it.
//
// Its controls keep the names of the window definition; control<T>(name)
// finds them by these names:
//   Panel5         top bar                       Panel4       limit panel
//   BtCOM1..BtCOM4 port panels, one shown        T1_HI        "Set High Limit:" label
//   COMCon         COM connection button         T1HI         high limit field
//   USBCon         USB connection button         T1_Value     "Measure Value:" label
//   BitBtn1        Quit button                   T1VALUE      measured value field
//   Panel1         LCD panel                     T1_LO        "Set Low Limit:" label
//   PBar2          bar graph                     T1LO         low limit field
//   Panel2         recording strip               Shape1       verdict circle
//   RepeatSet      Repeat check box              judge        verdict caption
//   RecordSI       timed recording check box     CONok        link alive picture
//   RecordSITime   sampling interval field       CONokN       link silent picture
//   RecordNew      new table button              Panel3       chart strip
//   OpenDataFiles  open table button             BtFill       Fill check box
//   saveas         save table button             Maxrecord    page size field
//   BtPrint        print report button           BtSave       save chart picture button
//   DBGrid1        grid of recorded rows         BtFirst      first page button
//   Chtshow        trend chart                   BTPrevious   previous page button
//   RecordMenu     menu "Record"                 Bt10         page number button
//   N10001         record limit 1000             BtNext       next page button
//   N50001         record limit 5000             BTlast       last page button
//   N100001        record limit 10000            TbFd         chart enlarge button
//   N500001        record limit 50000            TbSx         chart restore button
//   N1000001       record limit 100000
//   limitess       no record limit
class TFCOMM : public QMainWindow, private SessionListener {
    Q_OBJECT

    // First: the fields below refer into the session.
    WindowServices m_services;
    ErrorReport m_errors;
    MeterSession m_session;

public:
    explicit TFCOMM(const WindowServices &services, QWidget *parent = nullptr);
    ~TFCOMM() override;

    // A frame from outside the links: decoded, anything it throws reported
    // through the general error report.
    void frameReceived(const QString &frameHex);

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

    const MeterDecoder &decoder() const { return m_session.decoder(); }
    const ChartModel &chartModel() const { return m_session.chart(); }
    const MeasurementLog &measurementLog() const { return m_session.log(); }
    const LimitJudge &limitJudge() const { return m_session.limits(); }
    ErrorReport &errorReport() { return m_errors; }
    const SessionJournal *sessionJournal() const { return m_session.journal(); }
    MeterSession &session() { return m_session; }

    // Rows an earlier session left unsaved in the journal: asks once whether to load them.
    void offerJournalRecovery();
    QString systeminfomation() const { return m_systeminfomation; }
    UsbConnection &usb() { return *m_usb; }

    // A control by its name in the table above; null for another name or type.
    template <class T> T *control(const char *name) const
    {
        return findChild<T *>(QString::fromLatin1(name));
    }

    // The COM road. A replacement (an in-process port) takes over the window's receive handler.
    TSerialPortDriver &serialPort() { return *COMM2; }
    void setSerialPort(std::unique_ptr<TSerialPortDriver> driver);
    // ConTimer ticks since the last decoded frame, 0..2.
    int watchdogTicks() const { return WatchdogTicks; }

private:
    // Where the layout builds the chart strip and where Restore puts it back. They differ by design: the
    // restored strip sits 6 px right and 8 px up, over the limit panel's lower edge.
    static constexpr QPoint ChartStripBuilt{306, 149};
    static constexpr QPoint ChartStripRestored{312, 141};

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
    void beginBatch() { ++m_batchDepth; }
    void endBatch();
    void viewsChanged();
    void refreshViews();
    void selectPort(int index);
    void showComControls(bool show);
    void FormCreate();
    void BitBtn1Click();
    void showEvent(QShowEvent *event) override;

    // What the session tells of every frame.
    void frameBegins() override;
    void frameEnds(bool decoded) override;
    void limitTextChanged(LimitJudge::Field field, const QString &text) override;
    void frameArrived() override;
    void measurementKindChanged() override;
    void judged(const Reading &reading, LimitJudge::Verdict verdict) override;
    void barMaximumChanged(int maximum) override;
    void barPosition(int position) override;
    void rowPosted(int row) override;
    void pageShown(int page) override;
    void intervalTextCorrected(const QString &text) override;
    void decodeFailed(const QString &message) override;

    static MeterSession::Options sessionOptions(TFCOMM &w, const WindowServices &services);
    void journalProtectionChanged(bool protecting, const QString &message);

    std::unique_ptr<TSerialPortDriver> COMM2;
    SerialFrameAssembly ComFrames; // the serial receive handler's line assembly
    std::unique_ptr<WindowTimer> ConTimer;
    int WatchdogTicks = 0;               // ConTimer ticks since the last decoded frame, 0..2
    std::unique_ptr<WindowTimer> Timer2; // delayed page size
    MeasurementTable &cds1;
    TChartControl *const Pager;

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

    // Menu "Record": the record limits.
    QMenu *RecordMenu = nullptr;
    QAction *N10001 = nullptr;
    QAction *N50001 = nullptr;
    QAction *N100001 = nullptr;
    QAction *N500001 = nullptr;
    QAction *N1000001 = nullptr;
    QAction *limitess = nullptr;

    QString m_systeminfomation;
    std::unique_ptr<MeasurementTableModel> m_gridModel;
    std::unique_ptr<PageSizeInput> m_pageSize;
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
