#include "main_window.h"

#include "record/measurement_log.h"
#include "ui/lcd_panel.h"
#include "ui/pictures.h"
#include "ui/record_grid.h"
#include "ui/trend_chart.h"
#include "ui/widgets.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QToolButton>

// The fixed layout of the window: every control at its place with its texts.
// Behaviour is wired in main_window.cpp.

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
    button->setAccessibleName(hint); // it shows no text to name it by
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

void TFCOMM::createLayout()
{
    setFont(pixelFont("MS Sans Serif", 11, true));
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
    Panel1->setAccessibleName(QStringLiteral("Meter display"));

    PBar2 = new ReplayingProgressBar(client);
    PBar2->setGeometry(5, 197, 302, 17);
    PBar2->setTextVisible(false);
    PBar2->setRange(0, 60);
    PBar2->setValue(30);

    createRecordStrip(client);

    DBGrid1 = new RecordGrid(client);
    DBGrid1->setGeometry(4, 264, 303, 241);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setFont(pixelFont("Arial", 12, false));
    DBGrid1->horizontalHeader()->setFont(pixelFont("MS Sans Serif", 11, false));
    DBGrid1->setRowHeight(18);
    DBGrid1->setAccessibleName(QStringLiteral("Recorded readings"));
    DBGrid1->setGrowingColumn(0); // record numbers up to 10,000,000 show whole
    DBGrid1->horizontalHeader()->setStyleSheet(QStringLiteral("QHeaderView::section { padding: 0px 1px; }"));

    createLimitPanel(client);
    createChartStrip(client);

    Chtshow = new TrendChart(m_session.chart(), client);
    Chtshow->setGeometry(309, 189, 350, 316);
    Chtshow->setAccessibleName(QStringLiteral("Trend chart"));
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
}

void TFCOMM::createRecordStrip(QWidget *client)
{
    Panel2 = new QFrame(client);
    Panel2->setGeometry(4, 216, 305, 41);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);

    RepeatSet = new QCheckBox(QStringLiteral("Repeat"), Panel2);
    RepeatSet->setToolTip(QStringLiteral("Repeage Record")); // sic: the original's hint
    RepeatSet->setChecked(true);
    RepeatSet->setGeometry(6, 2, 90, 18);

    // The edit sits over the blanks of the caption; "'S" is the original's unit mark.
    RecordSI = new QCheckBox(QStringLiteral("Sampling Interval           'S"), Panel2);
    RecordSI->setGeometry(6, 20, 172, 18);
    const QFontMetrics metrics = RecordSI->fontMetrics();
    const int blanksAt = 6 + 20 + metrics.horizontalAdvance(QStringLiteral("Sampling Interval "));
    const int blanksWidth = metrics.horizontalAdvance(QStringLiteral("          "));
    RecordSITime = edit(Panel2, QStringLiteral("1"), font(), QRect(blanksAt, 20, blanksWidth, 18));

    // "Close Data" is the original's hint for New.
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
    // Its text changes with every reading; its frame need not be drawn anew with it.
    auto *valueStyle = new PanelCopyingStyle;
    valueStyle->setParent(this);
    T1VALUE->setStyle(valueStyle);
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
    Panel3->setGeometry(QRect(ChartStripBuilt, QSize(353, 41)));
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
    // Lower-case "last" as the original shows it.
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
    RecordMenu->setObjectName(QStringLiteral("RecordMenu"));
    auto *group = new QActionGroup(this);
    const std::pair<QAction **, const char *> items[] = {
        {&N10001, "N10001"},   {&N50001, "N50001"},     {&N100001, "N100001"},
        {&N500001, "N500001"}, {&N1000001, "N1000001"}, {&limitess, "limitess"},
    };
    for (int i = 0; i < 6; ++i) {
        QAction *a = RecordMenu->addAction(QString::fromLatin1(MeasurementLog::RecordLimits[i].caption));
        a->setObjectName(QString::fromLatin1(items[i].second));
        a->setCheckable(true);
        group->addAction(a);
        *items[i].first = a;
    }
    N100001->setChecked(true);
}
