#include "ui/widgets.h"

#include <QImage>
#include <QLineEdit>
#include <QtTest>

class TestWidgets : public QObject {
    Q_OBJECT

private slots:
    void copiedPanelMatchesAFreshDrawing_data();
    void copiedPanelMatchesAFreshDrawing();
    void panelPaintInsideLeavesTheEdgeAsItWas();
    void repeatedLampPaintMatchesAFreshDrawing_data();
    void repeatedLampPaintMatchesAFreshDrawing();
    void repeatedBarPaintMatchesAFreshDrawing_data();
    void repeatedBarPaintMatchesAFreshDrawing();
};

namespace {

QImage drawn(QWidget &widget, qreal pixelRatio)
{
    QImage image((QSizeF(widget.size()) * pixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::blue);
    widget.render(&image);
    return image;
}

} // namespace

void TestWidgets::copiedPanelMatchesAFreshDrawing_data()
{
    QTest::addColumn<qreal>("pixelRatio");
    QTest::addColumn<QColor>("beneath");
    QTest::newRow("on the white limit panel") << 1.0 << QColor(Qt::white);
    QTest::newRow("on a coloured panel") << 1.0 << QColor(90, 140, 200);
    QTest::newRow("high-density display") << 2.0 << QColor(90, 140, 200);
}

// A field's panel is drawn once for each look and then copied over what lies
// beneath it; the copy must give the pixels the application's style gives.
void TestWidgets::copiedPanelMatchesAFreshDrawing()
{
    QFETCH(qreal, pixelRatio);
    QFETCH(QColor, beneath);
    PanelCopyingStyle copying;
    PanelCopyingStyle fresh;
    fresh.setCopiesPanels(false);
    auto draw = [&](QStyle &style, const QColor &base, const QString &text) {
        QWidget panel;
        panel.resize(110, 50);
        panel.setAutoFillBackground(true);
        QPalette pal = panel.palette();
        pal.setColor(QPalette::Window, beneath);
        panel.setPalette(pal);
        auto *field = new QLineEdit(text, &panel);
        field->setGeometry(12, 9, 81, 32);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(21);
        font.setBold(true);
        field->setFont(font);
        field->setStyle(&style);
        QPalette fieldPalette = field->palette();
        fieldPalette.setColor(QPalette::Base, base);
        field->setPalette(fieldPalette);
        return drawn(panel, pixelRatio);
    };
    for (const QColor &base : {QColor(255, 255, 225), QColor(Qt::red), QColor(Qt::green)}) {
        for (const QString &text : {QStringLiteral("1.234"), QStringLiteral("-0.5")}) {
            const QImage copied = draw(copying, base, text);
            QVERIFY2(copied == draw(fresh, base, text), qPrintable(base.name() + QLatin1Char(' ') + text));
            QVERIFY2(draw(copying, base, text) == copied,
                     qPrintable(base.name() + QStringLiteral(", copied again")));
        }
    }
}

// The limit panel leaves its sunken edge out of a paint inside it.
void TestWidgets::panelPaintInsideLeavesTheEdgeAsItWas()
{
    QWidget window;
    window.resize(200, 120);
    QFrame *panel = makeSunkenPanel(&window, Qt::white);
    panel->setGeometry(10, 10, 180, 100);
    const QImage whole = drawn(window, 1);
    QImage repainted = whole;
    const QRect inside(40, 30, 60, 40); // in the panel's coordinates
    panel->render(&repainted, panel->pos() + inside.topLeft(), QRegion(inside));
    QCOMPARE(repainted, whole);
    // A paint that reaches the edge still draws it.
    QImage edge = whole;
    edge.fill(Qt::blue);
    panel->render(&edge, panel->pos(), QRegion(panel->rect()));
    QCOMPARE(edge.copy(QRect(panel->pos(), panel->size())), whole.copy(QRect(panel->pos(), panel->size())));
}

void TestWidgets::repeatedLampPaintMatchesAFreshDrawing_data()
{
    QTest::addColumn<qreal>("pixelRatio");
    QTest::newRow("one device pixel a pixel") << 1.0;
    QTest::newRow("high-density display") << 2.0;
}

// The value field overlaps the lamp's edge, as on the limit panel: each new
// value repaints the field and the sliver of the lamp over it. A repaint
// over the same pixels copies the one before; the pixels must be what
// drawing the lamp gives, also when the lamp's colour or what lies beneath
// it changes.
void TestWidgets::repeatedLampPaintMatchesAFreshDrawing()
{
    QFETCH(qreal, pixelRatio);
    struct Panel {
        QWidget panel;
        QLineEdit *field = new QLineEdit(&panel);
        CircleShape *lamp = new CircleShape(&panel);
        QImage image;
        explicit Panel(bool repeats, qreal ratio)
        {
            panel.resize(320, 120);
            panel.setAutoFillBackground(true);
            field->setGeometry(112, 43, 81, 32);
            lamp->setGeometry(192, 8, 113, 97);
            lamp->setRepeatsPaints(repeats);
            image = QImage((QSizeF(panel.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::blue);
        }
        void set(const QString &value, const QColor &fill, const QColor &beneath)
        {
            field->setText(value);
            lamp->setFillColor(fill);
            QPalette pal = panel.palette();
            pal.setColor(QPalette::Window, beneath);
            panel.setPalette(pal);
        }
        const QImage &paint(const QRect &area)
        {
            panel.render(&image, area.topLeft(), QRegion(area));
            return image;
        }
    };
    Panel repeating(true, pixelRatio);
    Panel fresh(false, pixelRatio);
    const QRect whole(0, 0, 320, 120);
    const QRect field(112, 43, 81, 32);
    struct Step {
        const char *value;
        QColor fill, beneath;
        QRect area;
    };
    const Step steps[] = {
        {"1.000", QColor(255, 255, 225), Qt::white, whole},
        {"1.037", QColor(255, 255, 225), Qt::white, field},
        {"1.074", QColor(255, 255, 225), Qt::white, field},
        {"1.111", Qt::red, Qt::white, whole},
        {"1.148", Qt::red, Qt::white, field},
        {"1.185", Qt::red, Qt::white, field},
        {"1.222", Qt::red, QColor(90, 140, 200), field},
        {"1.259", Qt::red, QColor(90, 140, 200), field},
        {"1.296", Qt::green, QColor(90, 140, 200), field},
        {"1.333", Qt::green, QColor(90, 140, 200), whole},
    };
    int i = 0;
    for (const Step &step : steps) {
        repeating.set(QString::fromLatin1(step.value), step.fill, step.beneath);
        fresh.set(QString::fromLatin1(step.value), step.fill, step.beneath);
        QVERIFY2(repeating.paint(step.area) == fresh.paint(step.area),
                 qPrintable(QStringLiteral("step %1").arg(i)));
        ++i;
    }
}

void TestWidgets::repeatedBarPaintMatchesAFreshDrawing_data()
{
    repeatedLampPaintMatchesAFreshDrawing_data();
}

// The bar graph goes back to positions it showed before; those paints are
// copies, and must give what drawing the bar gives.
void TestWidgets::repeatedBarPaintMatchesAFreshDrawing()
{
    QFETCH(qreal, pixelRatio);
    struct Bar {
        QWidget window;
        ReplayingProgressBar *bar = new ReplayingProgressBar(&window);
        QImage image;
        Bar(bool repeats, qreal ratio)
        {
            window.resize(320, 30);
            window.setAutoFillBackground(true);
            bar->setGeometry(5, 6, 302, 17);
            bar->setTextVisible(false);
            bar->setRange(0, 60);
            bar->setRepeatsPaints(repeats);
            image = QImage((QSizeF(window.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::blue);
        }
        const QImage &show(int value, int maximum, const QColor &beneath)
        {
            bar->setMaximum(maximum);
            bar->setValue(value);
            QPalette pal = window.palette();
            pal.setColor(QPalette::Window, beneath);
            window.setPalette(pal);
            window.render(&image);
            return image;
        }
    };
    Bar repeating(true, pixelRatio);
    Bar fresh(false, pixelRatio);
    const struct {
        int value, maximum;
        QColor beneath;
    } steps[] = {{30, 60, Qt::lightGray}, {45, 60, Qt::lightGray}, {30, 60, Qt::lightGray},
                 {45, 60, Qt::lightGray}, {45, 90, Qt::lightGray}, {30, 60, Qt::white},
                 {0, 60, Qt::white},      {60, 60, Qt::white},     {0, 60, Qt::white}};
    int i = 0;
    for (const auto &step : steps) {
        QVERIFY2(repeating.show(step.value, step.maximum, step.beneath) ==
                     fresh.show(step.value, step.maximum, step.beneath),
                 qPrintable(QStringLiteral("step %1").arg(i)));
        ++i;
    }
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
