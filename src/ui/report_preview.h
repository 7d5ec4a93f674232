#pragma once

#include <QAbstractScrollArea>
#include <QDialog>
#include <QPrinter>

class PagedDocument;
class QAction;
class QLabel;

// One page of a document at a zoom, drawn afresh at every paint: a table of
// ten million rows (270,271 pages) costs the page on screen and nothing more.
class PageView : public QAbstractScrollArea {
    Q_OBJECT

public:
    enum class Zoom { WholePage, ActualSize, PageWidth };

    explicit PageView(const PagedDocument &document, QWidget *parent = nullptr);

    int page() const { return m_page; }
    void setPage(int page); // kept inside the document
    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    // Screen pixels per pixel of the page at its actual size.
    qreal scale() const;
    // Where the page's paper lies in the viewport.
    QRect paperRect() const;

    // Pages drawn since the view was made (tests: nothing is drawn ahead).
    int pagesDrawn() const { return m_pagesDrawn; }

signals:
    void pageChanged(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QSizeF paperSize() const; // at actual size, in pixels of the viewport
    void updateScrollBars();

    const PagedDocument &m_document;
    int m_page = 0;
    Zoom m_zoom = Zoom::WholePage;
    int m_pagesDrawn = 0;
};

// The print preview: the report's pages one at a time with zoom (whole page,
// 100 %, page width), first, previous, next and last page, printer set-up,
// print and Close. Printing streams the pages to the printer with a
// progress box that can stop it.
class ReportPreview : public QDialog {
    Q_OBJECT

public:
    explicit ReportPreview(const PagedDocument &document, QWidget *parent = nullptr);

    PageView *view() const { return m_view; }
    QString pageText() const;

    // Prints every page to the printer; false when stopped or failed.
    bool printTo(QPrinter &printer);

private:
    void showPageNumber();
    void print();
    void pageSetup();

    const PagedDocument &m_document;
    PageView *m_view;
    QLabel *m_pageLabel;
    QAction *m_first, *m_previous, *m_next, *m_last;
    QPrinter m_printer{QPrinter::HighResolution};
};
