#include "meter/lcd_state.h"
#include "ui/lcd_panel.h"
#include "ui/segment_font.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QTest>

#include <initializer_list>
#include <random>

using E = LcdElement;

namespace {

bool isDark(QRgb c)
{
    return qGray(c) < 128;
}

int darkPixels(const QImage &image, const QRegion &region)
{
    int count = 0;
    for (const QRect &r : region.intersected(image.rect())) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x)
                count += isDark(image.pixel(x, y));
        }
    }
    return count;
}

QRect boxOf(E e)
{
    const LcdElementInfo &info = lcdElementInfo(e);
    return QRect(info.left, info.top, info.width, info.height);
}

bool isDigit(E e)
{
    return lcdElementInfo(e).kind == LcdElementInfo::Digit;
}

QString digitText(const LcdState &s, E e)
{
    return s.digits[static_cast<int>(e) - static_cast<int>(E::LcdDa)];
}

// An element that puts ink on the panel: visible, and for a digit place with text.
bool draws(const LcdState &s, E e)
{
    return s.isVisible(e) && (!isDigit(e) || !digitText(s, e).isEmpty());
}

LcdState stateWith(std::initializer_list<E> shown, std::array<QString, 4> digits)
{
    LcdState s;
    for (E e : shown)
        s.setVisible(e, true);
    s.digits = digits;
    return s;
}

QImage render(const LcdState &state)
{
    LcdPanel panel;
    panel.setState(state);
    QImage image(panel.size(), QImage::Format_RGB32);
    image.fill(Qt::red);
    panel.render(&image);
    return image;
}

// A glyph drawn alone on a white canvas, its box placed away from the edges.
QImage renderText(const QString &text, const QRectF &box, qreal charHeight)
{
    QImage image(int(box.right()) + 40, int(box.bottom()) + 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    drawSegmentText(p, box, charHeight, text);
    return image;
}

class CountingPanel : public LcdPanel {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        LcdPanel::paintEvent(event);
    }
};

} // namespace

Q_DECLARE_METATYPE(LcdState)

class TestLcdPanel : public QObject {
    Q_OBJECT

private slots:
    void startsWithStartUpState();
    void inkOnlyWhereElementsShow_data();
    void inkOnlyWhereElementsShow();
    void panelBackgroundAndEdge();
    void digitSegments_data();
    void digitSegments();
    void labelsStayInTheirBoxes_data();
    void labelsStayInTheirBoxes();
    void symbolsDifferFromEachOther();
    void unicodeMapping_data();
    void unicodeMapping();
    void repaintsOnlyOnChange();
    void partialRepaintsMatchAFullOne();
    void copiedDigitPlacesMatchAFreshDrawing_data();
    void copiedDigitPlacesMatchAFreshDrawing();
};

void TestLcdPanel::startsWithStartUpState()
{
    LcdPanel panel;
    QCOMPARE(panel.size(), QSize(302, 162));
    QVERIFY(panel.state() == LcdState::startUp());
}

void TestLcdPanel::inkOnlyWhereElementsShow_data()
{
    QTest::addColumn<LcdState>("state");
    const std::array<QString, 4> d8888 = {"8", "8", "8", "8"};

    QTest::newRow("start-up: sign and 3 9 9 9") << LcdState::startUp();
    QTest::newRow("overload 0L, point after D2, blank places 1 and 4") << stateWith(
        {E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdP2, E::LcdAuto, E::LCDk, E::LCDohm, E::LCDsend},
        {"", "0", "@", ""});
    QTest::newRow("AC and DC in the same place") << stateWith(
        {E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdAC, E::LcdDc1, E::Lcdm, E::LcdV, E::LCDsend}, d8888);
    QTest::newRow("kilohertz, percent, hold, battery")
        << stateWith({E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdP1, E::LCDk, E::LCDHz, E::LCDBF,
                      E::LCDHold, E::LCDBATT, E::LCDREL, E::Labmax, E::Labmin},
                     {"1", "2", "3", "4"});
    QTest::newRow("diode, continuity, degrees")
        << stateWith({E::LcdFH, E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LcdP3, E::LCDDI, E::LCDFm, E::LcdV,
                      E::LCDCS, E::LCDFS},
                     {"0", "5", "6", "7"});
    QTest::newRow("micro, nano, mega, farad, ampere")
        << stateWith({E::LcdDa, E::LcdDb, E::LcdDc, E::LcdDd, E::LCDu, E::LCDn, E::LCDM1, E::LCDF, E::LCDA},
                     {"9", "-", "@", "1"});
    LcdState all;
    all.visible.set();
    all.digits = d8888;
    QTest::newRow("every element") << all;
}

void TestLcdPanel::inkOnlyWhereElementsShow()
{
    QFETCH(LcdState, state);
    const QImage image = render(state);
    const QRect inside = image.rect().adjusted(1, 1, -1, -1); // the sunken edge is dark

    QRegion drawn;
    for (int i = 0; i < LcdElementCount; ++i) {
        const E e = static_cast<E>(i);
        if (!draws(state, e))
            continue;
        drawn += boxOf(e);
        QVERIFY2(darkPixels(image, boxOf(e)) > 0, lcdElementInfo(e).name);
    }
    QCOMPARE(darkPixels(image, QRegion(inside).subtracted(drawn)), 0);
}

void TestLcdPanel::panelBackgroundAndEdge()
{
    LcdState nothing;
    const QImage image = render(nothing);
    QCOMPARE(darkPixels(image, image.rect().adjusted(1, 1, -1, -1)), 0);
    QCOMPARE(image.pixel(150, 80), qRgb(255, 255, 255));
    // Sunken: the top-left edge is darker than the bottom-right one.
    QVERIFY(qGray(image.pixel(0, 80)) < qGray(image.pixel(301, 80)));
    QVERIFY(qGray(image.pixel(150, 0)) < qGray(image.pixel(150, 161)));
}

void TestLcdPanel::digitSegments_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lit"); // segments a..g that must be dark

    QTest::newRow("0") << "0"
                       << "abcdef";
    QTest::newRow("1 lights only two") << "1"
                                       << "bc";
    QTest::newRow("2") << "2"
                       << "abdeg";
    QTest::newRow("3") << "3"
                       << "abcdg";
    QTest::newRow("4") << "4"
                       << "bcfg";
    QTest::newRow("5") << "5"
                       << "acdfg";
    QTest::newRow("6") << "6"
                       << "acdefg";
    QTest::newRow("7") << "7"
                       << "abc";
    QTest::newRow("8 lights all") << "8"
                                  << "abcdefg";
    QTest::newRow("9") << "9"
                       << "abcdfg";
    QTest::newRow("@ is the segment L") << "@"
                                        << "def";
    QTest::newRow("minus is the middle segment") << "-"
                                                 << "g";
    QTest::newRow("empty place") << ""
                                 << "";
}

void TestLcdPanel::digitSegments()
{
    QFETCH(QString, text);
    QFETCH(QString, lit);
    const LcdElementInfo &place = lcdElementInfo(E::LcdDb);
    const QRectF box(place.left, place.top, place.width, place.height);
    const QImage image = renderText(text, box, place.charHeight);

    for (int s = 0; s < 7; ++s) {
        const QChar name(u'a' + s);
        const QPoint centre = segmentCentre(box, place.charHeight, s).toPoint();
        QVERIFY2(box.contains(centre), qPrintable(QStringLiteral("segment %1 outside the place").arg(name)));
        QVERIFY2(isDark(image.pixel(centre)) == lit.contains(name),
                 qPrintable(QStringLiteral("segment %1 of \"%2\"").arg(name).arg(text)));
    }
}

void TestLcdPanel::labelsStayInTheirBoxes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRectF>("box");
    QTest::addColumn<int>("charHeight");

    // Every label and the digits at the sizes the panel uses them.
    for (int i = 0; i < LcdElementCount; ++i) {
        const LcdElementInfo &info = lcdElementInfo(static_cast<E>(i));
        const QRectF box(20, 20, info.width, info.height);
        if (info.kind == LcdElementInfo::SegmentLabel)
            QTest::newRow(info.name) << QString::fromLatin1(info.text) << box << info.charHeight;
    }
    const LcdElementInfo &digit = lcdElementInfo(E::LcdDd);
    for (const char *text : {"8", "@", "0"})
        QTest::addRow("digit %s", text)
            << QString::fromLatin1(text) << QRectF(20, 20, digit.width, digit.height) << digit.charHeight;
    QTest::newRow("a text wider than its box is squeezed")
        << QStringLiteral("Auto range") << QRectF(20, 20, 50, 17) << 16;
}

void TestLcdPanel::labelsStayInTheirBoxes()
{
    QFETCH(QString, text);
    QFETCH(QRectF, box);
    QFETCH(int, charHeight);
    const QImage image = renderText(text, box, charHeight);
    const QRect pixels = box.toRect();
    QVERIFY(darkPixels(image, pixels) > 0);
    QCOMPARE(darkPixels(image, QRegion(image.rect()).subtracted(pixels)), 0);
}

void TestLcdPanel::symbolsDifferFromEachOther()
{
    // Guards against symbols falling back to one placeholder shape.
    const QString symbols = QStringLiteral("*#?+)&\"$@-X");
    const QRectF box(10, 10, 60, 60);
    QList<QImage> images;
    for (QChar c : symbols)
        images << renderText(QString(c), box, 40);
    for (int i = 0; i < images.size(); ++i) {
        for (int j = i + 1; j < images.size(); ++j)
            QVERIFY2(images[i] != images[j], qPrintable(QString(symbols[i]) + symbols[j]));
    }
}

void TestLcdPanel::unicodeMapping_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("plain");

    const QString ohm = QStringLiteral("\u03A9");
    QTest::newRow("no unit") << ""
                             << "";
    QTest::newRow("ohm") << "*" << ohm;
    QTest::newRow("kilo-ohm") << "k*"
                              << "k" + ohm;
    QTest::newRow("mega-ohm") << "M*"
                              << "M" + ohm;
    QTest::newRow("Celsius") << "#" << QStringLiteral("\u00B0C");
    QTest::newRow("Fahrenheit") << "?" << QStringLiteral("\u00B0F");
    QTest::newRow("micro sign") << "+" << QStringLiteral("\u00B5");
    QTest::newRow("segment L of an overload") << "0@"
                                              << "0L";
    // The meter's own "u" is a plain letter and stays one.
    for (const char *unit : {"V", "A", "F", "Hz", "%", "nV", "mV", "uV", "nA", "mA", "uA", "nF", "mF", "uF"})
        QTest::addRow("%s unchanged", unit) << QString::fromLatin1(unit) << QString::fromLatin1(unit);
}

void TestLcdPanel::unicodeMapping()
{
    QFETCH(QString, code);
    QFETCH(QString, plain);
    QCOMPARE(segmentTextToUnicode(code), plain);
}

void TestLcdPanel::repaintsOnlyOnChange()
{
    CountingPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QCoreApplication::processEvents();
    panel.paints = 0;

    panel.setState(LcdState::startUp());
    QCoreApplication::processEvents();
    QCOMPARE(panel.paints, 0);

    LcdState next = LcdState::startUp();
    next.digits[3] = QStringLiteral("8");
    panel.setState(next);
    QVERIFY(panel.state() == next);
    QTRY_VERIFY(panel.paints > 0);
}

// Only the changed elements repaint: a picture kept up to date by repainting
// just those regions must equal a fresh picture of every state.
void TestLcdPanel::partialRepaintsMatchAFullOne()
{
    std::mt19937 rng(7);
    const QStringList glyphs{"", "0", "1", "4", "7", "8", "@", "-"};
    LcdPanel panel;
    QImage kept(panel.size(), QImage::Format_RGB32);
    panel.render(&kept);
    LcdState state = panel.state();
    for (int step = 0; step < 60; ++step) {
        LcdState next = state;
        // A few elements at a time, as frames change them.
        for (int n = 0; n < 3; ++n) {
            const auto e = static_cast<E>(rng() % LcdElementCount);
            next.setVisible(e, !next.isVisible(e));
        }
        next.digits[rng() % 4] = glyphs[int(rng() % glyphs.size())];
        const QRegion changed = LcdPanel::changedRegion(state, next);
        panel.setState(next);
        panel.render(&kept, changed.boundingRect().topLeft(), changed); // the region stays where it is
        state = next;
        QVERIFY2(kept == render(state), qPrintable(QStringLiteral("step %1").arg(step)));
    }
    // Nothing changed, nothing to repaint.
    QVERIFY(LcdPanel::changedRegion(state, state).isEmpty());
}

void TestLcdPanel::copiedDigitPlacesMatchAFreshDrawing_data()
{
    QTest::addColumn<qreal>("pixelRatio");
    QTest::newRow("one device pixel a pixel") << 1.0;
    QTest::newRow("high-density display") << 2.0;
}

// A digit place is drawn once for each look and then copied; the copy must
// give the pixels a fresh drawing gives, also where a neighbour (a point,
// the AC/DC label, the sign) reaches into the place.
void TestLcdPanel::copiedDigitPlacesMatchAFreshDrawing()
{
    QFETCH(qreal, pixelRatio);
    auto draw = [pixelRatio](LcdPanel &panel) {
        QImage image((QSizeF(panel.size()) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(pixelRatio);
        image.fill(Qt::red);
        panel.render(&image);
        return image;
    };
    LcdPanel copying;
    LcdPanel fresh;
    fresh.setCopiesDigitPlaces(false);
    std::mt19937 rng(11);
    const QStringList glyphs{"", "0", "1", "3", "8", "@", "-"};
    const E neighbours[] = {E::LcdFH, E::LcdP1,  E::LcdP2,   E::LcdP3,
                            E::LcdAC, E::LcdDc1, E::LcdAuto, E::Labmax};
    LcdState state = LcdState::startUp();
    for (int step = 0; step < 80; ++step) {
        state.digits[rng() % 4] = glyphs[int(rng() % glyphs.size())];
        state.setVisible(neighbours[rng() % std::size(neighbours)], rng() % 2);
        copying.setState(state);
        fresh.setState(state);
        const QImage copied = draw(copying);
        QVERIFY2(copied == draw(fresh), qPrintable(QStringLiteral("step %1").arg(step)));
        QVERIFY2(draw(copying) == copied, qPrintable(QStringLiteral("step %1, drawn again").arg(step)));
    }
}

QTEST_MAIN(TestLcdPanel)
#include "tst_lcd_panel.moc"
