#include "report_preview.h"

#include "ui/paged_document.h"

#include <QActionGroup>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QProgressDialog>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kGap = 12; // pixels of grey around the paper

} // namespace

PageView::PageView(const PagedDocument &document, QWidget *parent)
    : QAbstractScrollArea(parent), m_document(document)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Report page"));
}

void PageView::setPage(int page)
{
    page = std::clamp(page, 0, std::max(0, m_document.pageCount() - 1));
    if (page == m_page)
        return;
    m_page = page;
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit pageChanged(page);
}

void PageView::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    updateScrollBars();
    viewport()->update();
}

QSizeF PageView::paperSize() const
{
    const QSizeF mm = m_document.pageLayout().fullRect(QPageLayout::Millimeter).size();
    const qreal perMm = viewport()->logicalDpiX() / 25.4;
    return mm * perMm;
}

qreal PageView::scale() const
{
    const QSizeF paper = paperSize();
    const qreal width = std::max(1, viewport()->width() - 2 * kGap) / paper.width();
    switch (m_zoom) {
    case Zoom::ActualSize:
        return 1;
    case Zoom::PageWidth:
        return width;
    case Zoom::WholePage:
        break;
    }
    return std::min(width, std::max(1, viewport()->height() - 2 * kGap) / paper.height());
}

QRect PageView::paperRect() const
{
    const QSizeF paper = paperSize() * scale();
    const QSize size(int(std::lround(paper.width())), int(std::lround(paper.height())));
    // Centred while it fits, scrolled where it does not.
    const int left = size.width() + 2 * kGap <= viewport()->width() ? (viewport()->width() - size.width()) / 2
                                                                    : kGap - horizontalScrollBar()->value();
    const int top = size.height() + 2 * kGap <= viewport()->height()
                        ? (viewport()->height() - size.height()) / 2
                        : kGap - verticalScrollBar()->value();
    return QRect(QPoint(left, top), size);
}

void PageView::updateScrollBars()
{
    const QRect paper = paperRect();
    horizontalScrollBar()->setRange(0, std::max(0, paper.width() + 2 * kGap - viewport()->width()));
    verticalScrollBar()->setRange(0, std::max(0, paper.height() + 2 * kGap - viewport()->height()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

void PageView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QRect paper = paperRect();
    p.fillRect(paper, Qt::white);
    if (m_document.pageCount() == 0)
        return;
    p.setClipRect(paper);
    p.translate(paper.topLeft());
    p.scale(scale(), scale());
    const qreal perMm = viewport()->logicalDpiX() / 25.4;
    const QRectF printable = m_document.pageLayout().paintRect(QPageLayout::Millimeter);
    p.translate(printable.left() * perMm, printable.top() * perMm);
    m_document.paintPage(p, m_page);
    ++m_pagesDrawn;
}

void PageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PageView::scrollContentsBy(int, int)
{
    viewport()->update();
}

ReportPreview::ReportPreview(const PagedDocument &document, QWidget *parent)
    : QDialog(parent), m_document(document), m_view(new PageView(document, this)),
      m_pageLabel(new QLabel(this))
{
    auto *bar = new QToolBar(this);
    auto *zooms = new QActionGroup(this);
    const std::pair<const char *, PageView::Zoom> zoomActions[] = {
        {"Whole page", PageView::Zoom::WholePage},
        {"100 %", PageView::Zoom::ActualSize},
        {"Page width", PageView::Zoom::PageWidth},
    };
    for (const auto &[text, zoom] : zoomActions) {
        QAction *action = bar->addAction(QString::fromLatin1(text));
        action->setCheckable(true);
        action->setChecked(zoom == m_view->zoom());
        zooms->addAction(action);
        connect(action, &QAction::triggered, this, [this, zoom = zoom] { m_view->setZoom(zoom); });
    }
    bar->addSeparator();
    m_first = bar->addAction(QStringLiteral("First"), this, [this] { m_view->setPage(0); });
    m_previous =
        bar->addAction(QStringLiteral("Previous"), this, [this] { m_view->setPage(m_view->page() - 1); });
    bar->addWidget(m_pageLabel);
    m_next = bar->addAction(QStringLiteral("Next"), this, [this] { m_view->setPage(m_view->page() + 1); });
    m_last =
        bar->addAction(QStringLiteral("Last"), this, [this] { m_view->setPage(m_document.pageCount() - 1); });
    m_first->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Home));
    m_previous->setShortcut(QKeySequence(Qt::Key_PageUp));
    m_next->setShortcut(QKeySequence(Qt::Key_PageDown));
    m_last->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_End));
    bar->addSeparator();
    bar->addAction(QStringLiteral("Page setup"), this, &ReportPreview::pageSetup);
    bar->addAction(QStringLiteral("Print"), this, &ReportPreview::print);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_view, 1);
    layout->addSpacing(6);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(6, 0, 6, 0);
    buttonRow->addWidget(buttons);
    layout->addLayout(buttonRow);
    connect(m_view, &PageView::pageChanged, this, &ReportPreview::showPageNumber);
    showPageNumber();
    resize(720, 860);
    m_view->setFocus();
}

QString ReportPreview::pageText() const
{
    return m_pageLabel->text();
}

void ReportPreview::showPageNumber()
{
    const int pages = m_document.pageCount();
    const int page = m_view->page();
    m_pageLabel->setText(pages == 0 ? QStringLiteral("  no pages  ")
                                    : QStringLiteral("  %1 of %2  ").arg(page + 1).arg(pages));
    m_first->setEnabled(page > 0);
    m_previous->setEnabled(page > 0);
    m_next->setEnabled(page + 1 < pages);
    m_last->setEnabled(page + 1 < pages);
    // A screen reader on the page hears which page it is.
    m_view->setAccessibleDescription(m_pageLabel->text().trimmed());
}

void ReportPreview::pageSetup()
{
    QPageSetupDialog dialog(&m_printer, this);
    dialog.exec();
}

void ReportPreview::print()
{
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    printTo(m_printer);
}

bool ReportPreview::printTo(QPrinter &printer)
{
    const int pages = m_document.pageCount();
    QProgressDialog progress(QStringLiteral("Printing ..."), QStringLiteral("Cancel"), 0, pages, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500); // milliseconds: a short report prints without it
    const bool done = m_document.print(printer, [&](int page) {
        progress.setValue(page + 1);
        return !progress.wasCanceled();
    });
    if (!done && progress.wasCanceled())
        printer.abort();
    return done;
}
