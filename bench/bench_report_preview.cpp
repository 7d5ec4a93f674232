// The print preview of a big table: the time from Print to its first page
// on screen, the memory the preview adds while the user pages through it,
// and the time to a PDF of the first pages as printing streams them.
//
// Usage: bench_report_preview [rows...]   (default 10^5, 10^6 and 10^7 rows)
#include "record/measurement_table.h"
#include "resident_memory.h"
#include "ui/report_preview.h"
#include "ui/table_report.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QByteArray(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000, 10000000};
    QTemporaryDir dir;

    for (int rows : sizes) {
        MeasurementTable table;
        for (int i = 1; i <= rows; ++i)
            table.appendRow({i, "12:00:00", "DC", QString::number(i % 4000), "k*", "pass", std::nullopt});
        const long before = ResidentMemory::restartPeak();
        QElapsedTimer clock;
        clock.start();
        const TableReport report(table, rows);
        ReportPreview preview(report);
        preview.show();
        preview.view()->viewport()->repaint();
        const double firstPageMs = clock.nsecsElapsed() / 1e6;
        // Paging to the end and back, as a user checks the last rows.
        for (int page : {report.pageCount() - 1, report.pageCount() / 2, 0}) {
            preview.view()->setPage(page);
            preview.view()->viewport()->repaint();
        }
        const long previewKb = ResidentMemory::peakGrowthKb(before);

        // Streaming: a PDF of the first 100 pages, page by page.
        QPdfWriter pdf(dir.filePath(QStringLiteral("report.pdf")));
        clock.restart();
        report.print(pdf, [](int page) { return page < 99; });
        const double msPerPage = clock.nsecsElapsed() / 1e6 / std::min(100, report.pageCount());
        std::printf(
            "rows %9d  pages %7d  first page %7.1f ms  preview memory %6.1f MB  print %5.2f ms a page\n",
            rows, report.pageCount(), firstPageMs, previewKb / 1024.0, msPerPage);
    }
    return 0;
}
