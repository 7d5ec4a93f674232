#include "paged_document.h"

#include <QPagedPaintDevice>
#include <QPainter>

bool PagedDocument::print(QPagedPaintDevice &device, const std::function<bool(int page)> &pagePrinted) const
{
    device.setPageLayout(pageLayout());
    const int pages = pageCount();
    if (pages == 0)
        return true;
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage())
            return false;
        paintPage(painter, page);
        if (pagePrinted && !pagePrinted(page))
            return false;
    }
    return painter.end();
}
