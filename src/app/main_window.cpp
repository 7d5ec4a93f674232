#include "main_window.h"

#include "link/serial/serial_port_driver.h"
#include "meter/locale_service.h"
#include "platform_info.h"
#include "record/page_size_input.h"
#include "record/session_journal.h"
#include "record/window_timer.h"
#include "table_file_actions.h"
#include "ui/accessible_views.h"
#include "ui/dialog_service.h"
#include "ui/lcd_panel.h"
#include "ui/measurement_table_model.h"
#include "ui/record_grid.h"
#include "ui/trend_chart.h"
#include "ui/verdict_colour.h"
#include "ui/widgets.h"
#include "usb_connection.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace {

const QColor kInfoBackground(255, 255, 225); // the system's tooltip colour

void setBackground(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette pal = widget->palette();
    pal.setColor(role, colour);
    widget->setPalette(pal);
}

} // namespace

class TFCOMM::FrameBatch {
public:
    explicit FrameBatch(TFCOMM &w) : m_w(w) { m_w.beginBatch(); }
    ~FrameBatch() { m_w.endBatch(); }
    FrameBatch(const FrameBatch &) = delete;
    FrameBatch &operator=(const FrameBatch &) = delete;

private:
    TFCOMM &m_w;
};

TFCOMM::TFCOMM(const WindowServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_errors(services.dialogs),
      m_session(services.locale, sessionOptions(*this, services)), cds1(m_session.table()),
      Pager(&m_session.pager())
{
    setObjectName(QStringLiteral("FCOMM"));
    installAccessibleViews();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    if (!m_services.makeTimer)
        m_services.makeTimer = [](const QString &, int intervalMs, bool enabled) {
            return std::make_unique<QtWindowTimer>(intervalMs, enabled);
        };
    createLayout();
    createComponents();
    m_session.addListener(this);
    FormCreate();
}

MeterSession::Options TFCOMM::sessionOptions(TFCOMM &w, const WindowServices &services)
{
    MeterSession::Options options;
    options.makeTimer = services.makeTimer;
    options.journalFolder = services.journalFolder;
    options.journalDisk = services.journalDisk;
    options.onJournalProtection = [&w](bool protecting, const QString &message) {
        w.journalProtectionChanged(protecting, message);
    };
    return options;
}

// Queued: a box must not open inside a flush, nor before the window shows.
void TFCOMM::journalProtectionChanged(bool protecting, const QString &message)
{
    QMetaObject::invokeMethod(
        this,
        [this, protecting, message] {
            if (protecting)
                m_services.dialogs.showInformation(QStringLiteral("Information"), message);
            else
                m_errors.report(message);
        },
        Qt::QueuedConnection);
}

TFCOMM::~TFCOMM()
{
    // The cable's reader stops first: a report it hands over meanwhile still finds every part it writes to.
    m_usb.reset();
    // The chart detaches from the session's chart when it dies; child widgets would
    // otherwise die after the window's members.
    delete Chtshow;
    Chtshow = nullptr;
}

// The components of the window definition, before the start-up handler.
void TFCOMM::createComponents()
{
    COMM2 = std::make_unique<TSerialPortDriver>();
    COMM2->setComPort(TSerialPortDriver::pnCOM1);
    COMM2->setComPortSpeed(TSerialPortDriver::br2400);
    COMM2->setComPortPollingDelay(100);

    ConTimer = m_services.makeTimer(QStringLiteral("ConTimer"), 100, true);
    Timer2 = m_services.makeTimer(QStringLiteral("Timer2"), 1000, true);
    ConTimer->setOnTimeout([this] { m_errors.guard([this] { ConTimerTimer(); }); });

    auto on = [this](auto *sender, auto signal, void (TFCOMM::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { m_errors.guard([this, handler] { (this->*handler)(); }); });
    };
    on(BitBtn1, &QPushButton::clicked, &TFCOMM::BitBtn1Click);

    // Each port panel advances the selection to the next port.
    on(BtCOM1, &ClickablePanel::clicked, &TFCOMM::COM21Click);
    on(BtCOM2, &ClickablePanel::clicked, &TFCOMM::COM31Click);
    on(BtCOM3, &ClickablePanel::clicked, &TFCOMM::COM41Click);
    on(BtCOM4, &ClickablePanel::clicked, &TFCOMM::COM11Click);
    for (ClickablePanel *panel : {BtCOM1, BtCOM2, BtCOM3, BtCOM4})
        panel->setToolTipSource([this] {
            const QString device = COMM2->DeviceName(COMM2->ComPort());
            return device.isEmpty() ? QStringLiteral("no serial device") : device;
        });
    // Not `clicked`: an accessibility "Toggle" flips the button without it.
    // The program never sets this button's state itself.
    on(COMCon, &QPushButton::toggled, &TFCOMM::COMConClick);
    on(USBCon, &QPushButton::toggled, &TFCOMM::USBConClick);

    // A frame the decoder cannot convert ends only that frame.
    ComFrames.setFrameHandler([this](const QString &hex) { m_session.frame(hex); });
    ComFrames.setErrorHandler([this](const QString &message) {
        refreshViews(); // the box shows over what the frames before it left
        m_errors.report(message);
    });

    on(RecordNew, &QToolButton::clicked, &TFCOMM::RecordNewClick);
    on(BtFill, &QCheckBox::clicked, &TFCOMM::btFillClick);
    on(RepeatSet, &QCheckBox::clicked, &TFCOMM::btFillClick); // only re-applies the Fill choice
    on(BtFirst, &QToolButton::clicked, &TFCOMM::BtFirstClick);
    on(BTPrevious, &QToolButton::clicked, &TFCOMM::BTPreviousClick);
    on(BtNext, &QToolButton::clicked, &TFCOMM::BtNextClick);
    on(BTlast, &QToolButton::clicked, &TFCOMM::BTlastClick);
    on(TbFd, &QToolButton::clicked, &TFCOMM::TbFdClick);
    on(TbSx, &QToolButton::clicked, &TFCOMM::TbSxClick);

    m_tableFiles = std::make_unique<TableFileActions>(cds1, m_services.dialogs, m_errors);
    m_tableFiles->onCurrentRow = [this](int row) {
        const QModelIndex index = m_gridModel->index(row, 0);
        DBGrid1->setCurrentIndex(index);
        DBGrid1->scrollTo(index);
    };
    m_tableFiles->onTableSaved = [this](int rows) { m_session.markSaved(rows); };
    on(saveas, &QToolButton::clicked, &TFCOMM::saveasClick);
    on(OpenDataFiles, &QToolButton::clicked, &TFCOMM::SpeedButton2Click);
    on(BtSave, &QToolButton::clicked, &TFCOMM::BtSaveClick);
    on(BtPrint, &QToolButton::clicked, &TFCOMM::BtPrintClick);
    // HidCtl with the adapter handling: lists the HID devices and selects the cable.
    UsbWindowSide side{*USBCon, [this](bool show) { showComControls(show); },
                       [this](const QString &message) { m_errors.report(message); }};
    m_usb = std::make_unique<UsbConnection>(std::move(side), m_session, m_services.dialogs,
                                            m_services.hidPlatform, m_services.switches);
}

void TFCOMM::FormCreate()
{
    Chtshow->setPageNumbers([this] { return std::pair(Pager->CurrentPage(), Pager->PageCount()); });
    m_systeminfomation = m_services.locale.systemDecimalSeparator();
    // ScaleCount 4000, its value axis and the unmatched unit "113" come with the decoder.
    m_gridModel = std::make_unique<MeasurementTableModel>(cds1);
    DBGrid1->setModel(m_gridModel.get());
    for (int c = 0; c < MeasurementTableModel::ColumnCount; ++c)
        DBGrid1->setColumnWidth(c, MeasurementTableModel::columnWidth(c));
    ShowSeries(0);
    ShowSeries(BtFill->isChecked() ? 0 : 1);
    m_pageSize = std::make_unique<PageSizeInput>(*Pager, *Timer2);
    wireRecording();
    if (m_services.switches.IFMorvane) {
        COMM2->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, int size) {
            const FrameBatch batch(*this);
            ComFrames.RECEIVE_COM_Data(sender, data, size);
        });
        setWindowTitle(QStringLiteral("Halvern Interface Program Ver " HALVERN_VERSION));
    }
    Chtshow->refresh();
    setWindowTitle(windowTitle() + captionSuffix(m_services.native64));
}

// Connects the recording, judgement and chart controls to their logic.
void TFCOMM::wireRecording()
{
    MeasurementLog &log = m_session.log();
    connect(RecordSITime, &QLineEdit::textChanged, this,
            [this, &log](const QString &text) { m_errors.guard([&] { log.RecordSITimeChange(text); }); });
    connect(RecordSI, &QCheckBox::toggled, this, [&log](bool on) { log.setRecordSI(on); });
    connect(RepeatSet, &QCheckBox::toggled, this, [&log](bool on) { log.setRepeatSet(on); });
    new KeyFilter(RecordSITime, &MeasurementLog::RecordSITimeKeyPress);
    new KeyFilter(Maxrecord, &MeasurementLog::RecordSITimeKeyPress);

    // The record-limit menu: radio checks kept by the action group.
    QAction *items[] = {N10001, N50001, N100001, N500001, N1000001, limitess};
    for (int i = 0; i < 6; ++i) {
        const int limit = MeasurementLog::RecordLimits[i].maxRecords;
        connect(items[i], &QAction::triggered, this, [&log, limit] { log.setMaxRecords(limit); });
    }

    connect(T1HI, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_session.typeLimit(LimitJudge::High, text); });
    connect(T1LO, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_session.typeLimit(LimitJudge::Low, text); });
    const LimitJudge &limits = m_session.limits();
    new KeyFilter(T1HI, [&limits](QChar key) { return limits.T1HIKeyPress(key); });
    new KeyFilter(T1LO, [&limits](QChar key) { return limits.T1LOKeyPress(key); });

    m_pageSize->onError = [this](const QString &message) { m_errors.report(message); };
    m_pageSize->onTextCorrected = [this](const QString &text) { Maxrecord->setText(text); };
    m_pageSize->onPageShown = [this](int page) { showPage(page); };
    connect(Maxrecord, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_errors.guard([&] { m_pageSize->MaxrecordChange(text); }); });
}

void TFCOMM::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    if (const QScreen *s = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(s->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TFCOMM::BitBtn1Click()
{
    if (!m_services.dialogs.askYesNo(QStringLiteral("Information"),
                                     QStringLiteral("Are you sure that you want to quit this application?")))
        return;
    if (m_services.terminate)
        m_services.terminate();
    close();
}

void TFCOMM::frameReceived(const QString &frameHex)
{
    m_errors.guard([&] { m_session.frame(frameHex); });
}

void TFCOMM::frameBegins()
{
    beginBatch();
    m_pending.lcd = true; // the panel shows what the decoder got to, also when it stopped early
}

void TFCOMM::frameEnds(bool)
{
    endBatch();
}

void TFCOMM::decodeFailed(const QString &message)
{
    refreshViews(); // the box shows over what the frames before it left
    m_errors.report(message);
}

void TFCOMM::endBatch()
{
    if (--m_batchDepth == 0)
        refreshViews();
}

void TFCOMM::viewsChanged()
{
    if (m_batchDepth == 0)
        refreshViews();
}

void TFCOMM::refreshViews()
{
    if (!m_pending.any())
        return;
    if (m_pending.lcd)
        Panel1->setState(m_session.decoder().lcd());
    if (m_pending.verdict)
        showVerdict();
    if (m_pending.barChanged &&
        (PBar2->maximum() != m_pending.bar.maximum || PBar2->value() != m_pending.bar.value)) {
        // The bar repaints on the spot when its value changes: joined to
        // the window's next paint instead, it costs no display round trip.
        // Enabling updates repaints it whole, so only when it changed.
        PBar2->setUpdatesEnabled(false);
        PBar2->setMaximum(m_pending.bar.maximum);
        PBar2->setValue(m_pending.bar.value);
        PBar2->setUpdatesEnabled(true);
    }
    if (m_pending.followRow >= 0 && m_pending.followRow < m_gridModel->rowCount()) {
        const QModelIndex index = m_gridModel->index(m_pending.followRow, 0);
        DBGrid1->setCurrentIndex(index);
        DBGrid1->scrollTo(index);
    }
    if (m_pending.page >= 0)
        Bt10->setText(QString::number(m_pending.page));
    m_pending.clear();
}

void TFCOMM::frameArrived()
{
    CONok->show();
    CONokN->hide();
    WatchdogTicks = 0;
}

void TFCOMM::selectPort(int index)
{
    ClickablePanel *panels[] = {BtCOM1, BtCOM2, BtCOM3, BtCOM4};
    for (int i = 0; i < 4; ++i)
        panels[i]->setVisible(i == index);
    COMM2->setComPort(static_cast<TSerialPortDriver::TComPortNumber>(index)); // ignored while open
}

void TFCOMM::showComControls(bool show)
{
    ClickablePanel *panels[] = {BtCOM1, BtCOM2, BtCOM3, BtCOM4};
    for (int i = 0; i < 4; ++i)
        panels[i]->setVisible(show && i == static_cast<int>(COMM2->ComPort()));
    COMCon->setVisible(show);
}

void TFCOMM::setSerialPort(std::unique_ptr<TSerialPortDriver> driver)
{
    driver->setOnReceiveData(COMM2->OnReceiveData());
    COMM2 = std::move(driver);
}

void TFCOMM::COM11Click()
{
    selectPort(0);
}

void TFCOMM::COM21Click()
{
    selectPort(1);
}

void TFCOMM::COM31Click()
{
    selectPort(2);
}

void TFCOMM::COM41Click()
{
    selectPort(3);
}

void TFCOMM::COMConClick()
{
    const bool down = COMCon->isChecked();
    USBCon->setVisible(!down);
    if (down)
        COMM2->OpenPort(); // a port that does not open shows only as a dark indicator
    else
        COMM2->ClosePort();
    for (ClickablePanel *panel : {BtCOM1, BtCOM2, BtCOM3, BtCOM4})
        panel->setEnabled(!down);
    COMCon->setText(down ? QStringLiteral("COM Disconnect") : QStringLiteral("COM Connection"));
}

void TFCOMM::ConTimerTimer()
{
    if (WatchdogTicks != 2) {
        ++WatchdogTicks;
        return;
    }
    m_usb->UsbLimitCheck();
    CONok->hide();
    CONokN->show();
    WatchdogTicks = 0;
}

void TFCOMM::USBConClick()
{
    m_usb->USBConClick();
}

void TFCOMM::barMaximumChanged(int maximum)
{
    m_pending.bar.setMaximum(maximum);
    m_pending.barChanged = true;
    viewsChanged();
    Chtshow->refresh(); // a new value axis shows even when nothing is recorded
}

void TFCOMM::limitTextChanged(LimitJudge::Field field, const QString &text)
{
    (field == LimitJudge::High ? T1HI : T1LO)->setText(text);
}

void TFCOMM::measurementKindChanged()
{
    ShowSeries(BtFill->isChecked() ? 0 : 1);
}

void TFCOMM::judged(const Reading &, LimitJudge::Verdict)
{
    m_pending.verdict = true;
    viewsChanged();
}

void TFCOMM::showVerdict()
{
    const LimitJudge &limits = m_session.limits();
    if (T1VALUE->text() != limits.valueText())
        T1VALUE->setText(limits.valueText());
    QColor colour = verdictColour(limits.verdict());
    if (!colour.isValid())
        colour = kInfoBackground;
    if (colour != m_verdictColour) { // a new palette repaints and re-polishes
        m_verdictColour = colour;
        setBackground(T1VALUE, QPalette::Base, colour);
        Shape1->setFillColor(colour);
        setBackground(judge, QPalette::Window, colour);
    }
    if (judge->text() != limits.judgeCaption()) {
        judge->setText(limits.judgeCaption());
        judge->adjustSize();
    }
}

void TFCOMM::barPosition(int position)
{
    m_pending.bar.setPosition(position);
    m_pending.barChanged = true;
    viewsChanged();
}

void TFCOMM::rowPosted(int row)
{
    m_pending.followRow = row;
    viewsChanged();
}

void TFCOMM::pageShown(int page)
{
    showPage(page);
}

void TFCOMM::intervalTextCorrected(const QString &text)
{
    RecordSITime->setText(text);
}

void TFCOMM::showPage(int page)
{
    m_pending.page = page;
    viewsChanged();
}

void TFCOMM::RecordNewClick()
{
    // The original asks the Quit question here too; kept word for word.
    if (!m_services.dialogs.askYesNo(QStringLiteral("Information"),
                                     QStringLiteral("Are you sure that you want to quit this application?")))
        return;
    m_session.recordNew();
}

void TFCOMM::offerJournalRecovery()
{
    SessionJournal *journal = m_session.journal();
    if (!journal || journal->recoveredRows() == 0)
        return;
    const QString question = SessionJournal::recoveryQuestion(journal->recoveredRows());
    if (m_services.dialogs.askYesNo(QStringLiteral("Information"), question))
        journal->loadRecovered(
            [this](const QString &fileName) { return m_tableFiles->LoadTableFile(fileName, cds1); });
    else if (const FileResult aside = journal->setAside(); !aside)
        m_errors.report(aside.reason);
}

void TFCOMM::ShowSeries(int Index)
{
    Chtshow->ShowSeries(Index);
}

void TFCOMM::btFillClick()
{
    ShowSeries(BtFill->isChecked() ? 0 : 1);
}

void TFCOMM::BtFirstClick()
{
    Pager->First();
    showPage(Pager->CurrentPage());
}

void TFCOMM::BTPreviousClick()
{
    Pager->Previous();
    showPage(Pager->CurrentPage());
}

void TFCOMM::BtNextClick()
{
    Pager->Next();
    showPage(Pager->CurrentPage());
}

void TFCOMM::BTlastClick()
{
    Pager->Last();
    showPage(Pager->CurrentPage());
}

// Enlarge: the chart covers the window below the tool strip.
void TFCOMM::TbFdClick()
{
    TbFd->hide();
    TbSx->show();
    SavedChartBounds = Chtshow->geometry();
    const QRect outer = frameGeometry();
    Chtshow->setGeometry(2, 28, outer.width() - 12, outer.height() - 55);
    Chtshow->raise();
    Panel3->move(2, 0);
    Panel3->raise();
    Panel2->hide();
    Panel4->hide();
    Panel5->hide();
}

void TFCOMM::TbSxClick()
{
    TbSx->hide();
    TbFd->show();
    Chtshow->setGeometry(SavedChartBounds);
    Panel3->move(ChartStripRestored);
    Panel2->show();
    Panel4->show();
    Panel5->show();
}

void TFCOMM::saveasClick()
{
    m_tableFiles->saveasClick();
}

void TFCOMM::SpeedButton2Click()
{
    m_tableFiles->SpeedButton2Click();
}

void TFCOMM::BtSaveClick()
{
    m_tableFiles->BtSaveClick(*Chtshow);
}

void TFCOMM::BtPrintClick()
{
    m_tableFiles->BtPrintClick();
    update(); // repaint the whole window once the preview has gone
}
