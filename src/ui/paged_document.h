#pragma once

#include <QPageLayout>

#include <functional>

class QPagedPaintDevice;
class QPainter;

// A document of pages that are drawn when they are wanted: the preview draws
// the page on screen, printing streams one page after the other, so neither
// holds more than the page at hand whatever the page count.
class PagedDocument {
public:
    virtual ~PagedDocument() = default;

    virtual int pageCount() const = 0;
    virtual QPageLayout pageLayout() const = 0;
    // One page (from 0) onto a painter whose origin is the printable area's
    // top left, in the device's pixels.
    virtual void paintPage(QPainter &painter, int page) const = 0;

    // Sets the device to the document's layout and paints every page.
    // `pagePrinted` hears of each page done and stops the run by returning
    // false. False when stopped or when the device could not be painted on.
    bool print(QPagedPaintDevice &device, const std::function<bool(int page)> &pagePrinted = {}) const;
};
