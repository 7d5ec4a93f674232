#include "main_window.h"

#include "dialog_service.h"
#include "link/serial/serial_port_driver.h"
#include "meter/lcd_panel.h"
#include "meter/locale_service.h"
#include "pictures.h"
#include "platform_info.h"
#include "record/window_timer.h"
#include "widgets.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QToolButton>

namespace {

const QColor kButtonFace(240, 240, 240);
const QColor kSilver(192, 192, 192);
const QColor kInfoBackground(255, 255, 225); // the system's tooltip colour

QFont pixelFont(const char *family, int pixelSize, bool bold)
{
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QToolButton *glyphButton(QWidget *parent, QStyle::StandardPixmap glyph, const QString &hint,
                         const QRect &geometry)
{
    auto *button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setToolTip(hint);
    button->setGeometry(geometry);
    return button;
}

QLabel *label(QWidget *parent, const QString &text, const QFont &f, const QPoint &at)
{
    auto *l = new QLabel(text, parent);
    l->setFont(f);
    l->adjustSize();
    l->move(at);
    return l;
}

QLineEdit *edit(QWidget *parent, const QString &text, const QFont &f, const QRect &geometry)
{
    auto *e = new QLineEdit(text, parent);
    e->setFont(f);
    e->setGeometry(geometry);
    return e;
}

} // namespace

TFCOMM::TFCOMM(const WindowServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_errors(services.dialogs),
      m_decoder(services.locale, m_chart.valueAxis)
{
    setObjectName(QStringLiteral("FCOMM"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(pixelFont("MS Sans Serif", 11, true));
    if (!m_services.makeTimer)
        m_services.makeTimer = [](const QString &, int intervalMs, bool enabled) {
            return std::make_unique<QtWindowTimer>(intervalMs, enabled);
        };
    createLayout();
    createComponents();
    m_decoder.setHooks(this);
    FormCreate();
}

TFCOMM::~TFCOMM() = default;

void TFCOMM::createComponents()
{
    COMM2 = std::make_unique<TSerialPortDriver>();
    COMM2->setComPort(TSerialPortDriver::pnCOM1);
    COMM2->setComPortSpeed(TSerialPortDriver::br2400);
    COMM2->setComPortPollingDelay(100);

    ConTimer = m_services.makeTimer(QStringLiteral("ConTimer"), 100, true);
    ConTimer->setOnTimeout([this] { m_errors.guard([this] { ConTimerTimer(); }); });

    // Each port panel advances the selection to the next port.
    connect(BtCOM1, &ClickablePanel::clicked, this, [this] { m_errors.guard([this] { COM21Click(); }); });
    connect(BtCOM2, &ClickablePanel::clicked, this, [this] { m_errors.guard([this] { COM31Click(); }); });
    connect(BtCOM3, &ClickablePanel::clicked, this, [this] { m_errors.guard([this] { COM41Click(); }); });
    connect(BtCOM4, &ClickablePanel::clicked, this, [this] { m_errors.guard([this] { COM11Click(); }); });
    for (ClickablePanel *panel : {BtCOM1, BtCOM2, BtCOM3, BtCOM4})
        panel->setToolTipSource([this] {
            const QString device = COMM2->DeviceName(COMM2->ComPort());
            return device.isEmpty() ? QStringLiteral("no serial device") : device;
        });
    connect(COMCon, &QPushButton::clicked, this, [this] { m_errors.guard([this] { COMConClick(); }); });

    // A frame the decoder cannot convert ends only that frame.
    ComFrames.setFrameHandler([this](const QString &hex) {
        FrameHex = hex;
        LcdDisplayMorvane();
    });
    ComFrames.setErrorHandler([this](const QString &message) { m_errors.report(message); });
}

void TFCOMM::createLayout()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(663, 509);
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, kButtonFace);
    client->setPalette(pal);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize); // not resizable

    createTopBar(client);

    Panel1 = new LcdPanel(client);
    Panel1->setGeometry(5, 36, 302, 162);

    PBar2 = new QProgressBar(client);
    PBar2->setGeometry(5, 197, 302, 17);
    PBar2->setTextVisible(false);
    PBar2->setRange(0, 60);
    PBar2->setValue(30);

    createRecordStrip(client);

    DBGrid1 = new QTableView(client);
    DBGrid1->setGeometry(4, 264, 303, 241);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setFont(pixelFont("Arial", 12, false));
    DBGrid1->horizontalHeader()->setFont(pixelFont("MS Sans Serif", 11, false));
    DBGrid1->verticalHeader()->hide();

    createLimitPanel(client);
    createChartStrip(client);

    auto *chart = new QFrame(client);
    chart->setGeometry(309, 189, 350, 316);
    chart->setAutoFillBackground(true);
    chart->setPalette(QPalette(Qt::white));
    Chtshow = chart;
    Panel3->raise(); // the strip overlaps the chart's top edge

    createMenu();

    // The window definition's names, for finding controls by name.
    const std::pair<QWidget *, const char *> named[] = {
        {Panel5, "Panel5"},       {BtCOM1, "BtCOM1"},
        {BtCOM2, "BtCOM2"},       {BtCOM3, "BtCOM3"},
        {BtCOM4, "BtCOM4"},       {COMCon, "COMCon"},
        {USBCon, "USBCon"},       {BitBtn1, "BitBtn1"},
        {Panel1, "Panel1"},       {PBar2, "PBar2"},
        {Panel2, "Panel2"},       {RepeatSet, "RepeatSet"},
        {RecordSI, "RecordSI"},   {RecordSITime, "RecordSITime"},
        {RecordNew, "RecordNew"}, {OpenDataFiles, "OpenDataFiles"},
        {saveas, "saveas"},       {BtPrint, "BtPrint"},
        {DBGrid1, "DBGrid1"},     {Panel4, "Panel4"},
        {T1_HI, "T1_HI"},         {T1HI, "T1HI"},
        {T1_Value, "T1_Value"},   {T1VALUE, "T1VALUE"},
        {T1_LO, "T1_LO"},         {T1LO, "T1LO"},
        {Shape1, "Shape1"},       {judge, "judge"},
        {CONok, "CONok"},         {CONokN, "CONokN"},
        {Panel3, "Panel3"},       {BtFill, "BtFill"},
        {Maxrecord, "Maxrecord"}, {BtSave, "BtSave"},
        {BtFirst, "BtFirst"},     {BTPrevious, "BTPrevious"},
        {Bt10, "Bt10"},           {BtNext, "BtNext"},
        {BTlast, "BTlast"},       {TbFd, "TbFd"},
        {TbSx, "TbSx"},           {Chtshow, "Chtshow"},
    };
    for (const auto &[widget, name] : named)
        widget->setObjectName(QString::fromLatin1(name));
}

void TFCOMM::createTopBar(QWidget *client)
{
    Panel5 = new QFrame(client);
    Panel5->setGeometry(0, 0, 663, 32);
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Raised);

    ClickablePanel **panels[] = {&BtCOM1, &BtCOM2, &BtCOM3, &BtCOM4};
    for (int i = 0; i < 4; ++i) {
        auto *p = new ClickablePanel(QStringLiteral("COM %1").arg(i + 1), Panel5);
        p->setGeometry(5, 3, 61, 24);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setAlignment(Qt::AlignCenter);
        p->setFont(pixelFont("Arial", 16, true));
        p->setAutoFillBackground(true);
        p->setPalette(QPalette(kSilver));
        p->setVisible(i == 0);
        *panels[i] = p;
    }

    COMCon = new QPushButton(QStringLiteral("COM Connection"), Panel5);
    COMCon->setCheckable(true);
    COMCon->setGeometry(76, 3, 125, 25);

    USBCon = new QPushButton(QStringLiteral("USB Connection"), Panel5);
    USBCon->setCheckable(true);
    USBCon->setGeometry(203, 3, 158, 25);

    BitBtn1 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Quit"), Panel5);
    BitBtn1->setGeometry(563, 3, 86, 25);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { m_errors.guard([this] { BitBtn1Click(); }); });
}

void TFCOMM::createRecordStrip(QWidget *client)
{
    Panel2 = new QFrame(client);
    Panel2->setGeometry(4, 216, 305, 41);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);

    RepeatSet = new QCheckBox(QStringLiteral("Repeat"), Panel2);
    RepeatSet->setToolTip(QStringLiteral("Repeage Record"));
    RepeatSet->setChecked(true);
    RepeatSet->setGeometry(6, 2, 90, 18);

    // The edit sits over the blanks of the caption.
    RecordSI = new QCheckBox(QStringLiteral("Sampling Interval           'S"), Panel2);
    RecordSI->setGeometry(6, 20, 172, 18);
    const QFontMetrics metrics = RecordSI->fontMetrics();
    const int blanksAt = 6 + 20 + metrics.horizontalAdvance(QStringLiteral("Sampling Interval "));
    const int blanksWidth = metrics.horizontalAdvance(QStringLiteral("          "));
    RecordSITime = edit(Panel2, QStringLiteral("1"), font(), QRect(blanksAt, 20, blanksWidth, 18));

    RecordNew =
        glyphButton(Panel2, QStyle::SP_FileDialogNewFolder, QStringLiteral("Close Data"), {178, 5, 30, 30});
    OpenDataFiles = glyphButton(Panel2, QStyle::SP_DialogOpenButton, QStringLiteral("Open old data files"),
                                {209, 5, 30, 30});
    saveas =
        glyphButton(Panel2, QStyle::SP_DialogSaveButton, QStringLiteral("Save data files"), {240, 5, 30, 30});
    BtPrint =
        glyphButton(Panel2, QStyle::SP_FileDialogDetailedView, QStringLiteral("Print"), {271, 5, 30, 30});
}

void TFCOMM::createLimitPanel(QWidget *client)
{
    Panel4 = makeSunkenPanel(client, Qt::white);
    Panel4->setGeometry(308, 34, 351, 116);

    const QFont small = pixelFont("Arial", 11, true);
    T1_HI = label(Panel4, QStringLiteral("Set High Limit:"), small, {16, 16});
    T1HI = edit(Panel4, QStringLiteral("4000"), small, {113, 12, 57, 22});
    T1HI->setToolTip(QStringLiteral("Please enter a number here."));
    T1_Value = label(Panel4, QStringLiteral("Measure Value:"), small, {16, 52});
    T1VALUE = edit(Panel4, QStringLiteral("0"), pixelFont("Arial", 21, true), {112, 43, 81, 32});
    T1VALUE->setPalette(QPalette(kInfoBackground));
    QPalette valuePalette = T1VALUE->palette();
    valuePalette.setColor(QPalette::Base, kInfoBackground);
    T1VALUE->setPalette(valuePalette);
    T1_LO = label(Panel4, QStringLiteral("Set Low Limit:"), small, {16, 84});
    T1LO = edit(Panel4, QStringLiteral("-4000"), small, {112, 84, 57, 22});
    T1LO->setToolTip(QStringLiteral("Please enter a number here."));

    Shape1 = new CircleShape(Panel4);
    Shape1->setGeometry(192, 8, 113, 97);
    Shape1->setFillColor(kInfoBackground);

    judge = label(Panel4, QString(), pixelFont("MS Sans Serif", 24, true), {216, 40});
    judge->setAutoFillBackground(true);
    judge->setPalette(QPalette(kInfoBackground));

    CONok = new QLabel(Panel4);
    CONok->setPixmap(connectionPicture(true));
    CONok->setGeometry(310, 13, 25, 24);
    CONok->hide();
    CONokN = new QLabel(Panel4);
    CONokN->setPixmap(connectionPicture(false));
    CONokN->setGeometry(310, 13, 25, 24);
}

void TFCOMM::createChartStrip(QWidget *client)
{
    Panel3 = new QFrame(client);
    Panel3->setGeometry(306, 149, 353, 41);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto *bevel = new QFrame(Panel3);
    bevel->setGeometry(4, 5, 52, 31);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    BtFill = new QCheckBox(QStringLiteral("Fill"), bevel);
    BtFill->setToolTip(QStringLiteral("Graphic Fill"));
    BtFill->setChecked(true);
    BtFill->setGeometry(5, 6, 44, 18);

    Maxrecord = edit(Panel3, QStringLiteral("100"), font(), {60, 9, 42, 22});

    BtSave = glyphButton(Panel3, QStyle::SP_DialogSaveButton, QStringLiteral("Save"), {105, 6, 28, 28});
    BtFirst = glyphButton(Panel3, QStyle::SP_MediaSkipBackward, QStringLiteral("First"), {135, 6, 28, 28});
    BTPrevious =
        glyphButton(Panel3, QStyle::SP_MediaSeekBackward, QStringLiteral("Previous"), {163, 6, 28, 28});
    Bt10 = new QPushButton(QStringLiteral("1"), Panel3);
    Bt10->setToolTip(QStringLiteral("Page No."));
    Bt10->setGeometry(191, 6, 44, 28);
    QPalette pagePalette = Bt10->palette();
    pagePalette.setColor(QPalette::ButtonText, Qt::blue);
    Bt10->setPalette(pagePalette);
    BtNext = glyphButton(Panel3, QStyle::SP_MediaSeekForward, QStringLiteral("Next"), {235, 6, 28, 28});
    BTlast = glyphButton(Panel3, QStyle::SP_MediaSkipForward, QStringLiteral("last"), {263, 6, 28, 28});
    TbFd = glyphButton(Panel3, QStyle::SP_TitleBarMaxButton, QStringLiteral("Graphic Enlarge"),
                       {318, 6, 28, 28});
    TbSx = glyphButton(Panel3, QStyle::SP_TitleBarNormalButton, QStringLiteral("Graphic Restore"),
                       {318, 6, 28, 28});
    TbSx->hide();
}

void TFCOMM::createMenu()
{
    RecordMenu = menuBar()->addMenu(QStringLiteral("Record"));
    auto *group = new QActionGroup(this);
    QAction **items[] = {&N10001, &N50001, &N100001, &N500001, &N1000001, &limitess};
    const char *captions[] = {"1000", "5000", "10000", "50000", "100000", "limitless"};
    for (int i = 0; i < 6; ++i) {
        QAction *a = RecordMenu->addAction(QString::fromLatin1(captions[i]));
        a->setCheckable(true);
        group->addAction(a);
        *items[i] = a;
    }
    N100001->setChecked(true);
}

void TFCOMM::FormCreate()
{
    m_systeminfomation = m_services.locale.systemDecimalSeparator();
    // The decoder was created with ScaleCount 4000 and no measurement kind.
    if (m_services.switches.IFMorvane) {
        COMM2->setOnReceiveData([this](TSerialPortDriver *sender, const char *data, int size) {
            ComFrames.RECEIVE_COM_Data(sender, data, size);
        });
        setWindowTitle(QStringLiteral("Halvern Interface Program Ver 3.03"));
    }
    m_chart.valueAxis.maximum = m_decoder.scaleCount();
    m_chart.valueAxis.minimum = -m_decoder.scaleCount();
    setWindowTitle(windowTitle() + captionSuffix(m_services.native64));
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
    m_errors.guard([&] {
        FrameHex = frameHex;
        LcdDisplayMorvane();
    });
}

void TFCOMM::LcdDisplayMorvane()
{
    // The panel shows what the decoder got to, also when it stopped early.
    const auto showPanel = qScopeGuard([this] { Panel1->setState(m_decoder.lcd()); });
    m_decoder.decode(FrameHex);
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
    // The USB transfer limit check joins here with the USB connection.
    CONok->hide();
    CONokN->show();
    WatchdogTicks = 0;
}

void TFCOMM::barMaximumChanged(int maximum)
{
    PBar2->setMaximum(maximum);
}
