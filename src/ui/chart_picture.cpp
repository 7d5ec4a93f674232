#include "chart_picture.h"

#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QWidget>

FileResult saveBmp(const QImage &image, const QString &fileName)
{
    return saveFileSafely(fileName, [&](QIODevice &out) {
        QImageWriter writer(&out, "bmp");
        return writer.write(image);
    });
}

FileResult saveChartPicture(QWidget &chart, const QString &fileName)
{
    // Exactly the widget's size in pixels, whatever the screen's scale.
    QImage image(chart.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    chart.render(&image);
    return saveBmp(image, fileName);
}
