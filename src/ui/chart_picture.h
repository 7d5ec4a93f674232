#pragma once

#include "record/safe_file.h"

class QImage;
class QWidget;

// The chart as the user sees it, at its current size (normal or enlarged),
// written as a BMP file whatever the name's extension; the old file stays
// when the write fails.
FileResult saveChartPicture(QWidget &chart, const QString &fileName);
FileResult saveBmp(const QImage &image, const QString &fileName);
