#include "ui/pageview.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

namespace {

constexpr int kGap = 12;
// Pictures kept: the pages in view and a few around them.
constexpr int kKept = 6;

} // namespace

LabelPageView::LabelPageView(const BandReport *report, QWidget *parent) : QAbstractScrollArea(parent), m_report(report)
{
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void LabelPageView::setPages(const ReportLayout &pages)
{
    m_pages = pages;
    m_pictures.clear();
    m_recent.clear();
    updateBars();
    viewport()->update();
    emit pageChanged();
}

QSize LabelPageView::pageSize() const
{
    const QSizeF paper = m_report->paperSize();
    return QSize(qRound(paper.width() * m_zoom), qRound(paper.height() * m_zoom));
}

int LabelPageView::currentPage() const
{
    if (m_pages.isEmpty())
        return 0;
    const int step = pageSize().height() + kGap;
    const int middle = verticalScrollBar()->value() + viewport()->height() / 2;
    return qBound(1, middle / qMax(1, step) + 1, pageCount());
}

void LabelPageView::setCurrentPage(int page)
{
    if (m_pages.isEmpty())
        return;
    page = qBound(1, page, pageCount());
    verticalScrollBar()->setValue((page - 1) * (pageSize().height() + kGap));
    emit pageChanged();
}

void LabelPageView::setZoom(qreal zoom, Fit fit)
{
    const int page = currentPage();
    m_zoom = qBound(0.5, zoom, 20.0);
    m_fit = fit;
    m_pictures.clear();
    m_recent.clear();
    updateBars();
    setCurrentPage(page);
    viewport()->update();
}

void LabelPageView::zoomIn()
{
    setZoom(m_zoom * 1.25, Fit::None);
}

void LabelPageView::zoomOut()
{
    setZoom(m_zoom / 1.25, Fit::None);
}

void LabelPageView::fitToWidth()
{
    setZoom((viewport()->width() - 2 * kGap) / m_report->paperSize().width(), Fit::Width);
}

void LabelPageView::fitInView()
{
    const QSizeF paper = m_report->paperSize();
    setZoom(qMin((viewport()->width() - 2 * kGap) / paper.width(), (viewport()->height() - 2 * kGap) / paper.height()),
            Fit::Page);
}

void LabelPageView::updateBars()
{
    const QSize page = pageSize();
    const int height = int(m_pages.size()) * (page.height() + kGap) + kGap;
    verticalScrollBar()->setRange(0, qMax(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(qMax(1, page.height() / 20));
    horizontalScrollBar()->setRange(0, qMax(0, page.width() + 2 * kGap - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void LabelPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fit == Fit::Width)
        fitToWidth();
    else if (m_fit == Fit::Page)
        fitInView();
    else
        updateBars();
}

void LabelPageView::scrollContentsBy(int dx, int dy)
{
    QAbstractScrollArea::scrollContentsBy(dx, dy);
    viewport()->update();
    emit pageChanged();
}

void LabelPageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    if (m_pages.isEmpty())
        return;
    const QSize page = pageSize();
    const int step = page.height() + kGap;
    const int top = verticalScrollBar()->value();
    const int left = qMax(kGap, (viewport()->width() - page.width()) / 2) - horizontalScrollBar()->value();
    const int first = qMax(0, (top - kGap) / step);
    const int last = qMin(pageCount() - 1, (top + viewport()->height()) / step);
    // The picture at the screen's own resolution, in device pixels.
    const qreal ratio = devicePixelRatioF();
    const qreal dpi = m_zoom * 25.4 * ratio;
    for (int index = first; index <= last; ++index) {
        if (!m_pictures.contains(index)) {
            QImage picture = m_report->pageImage(m_pages[index], dpi);
            picture.setDevicePixelRatio(ratio);
            m_pictures.insert(index, picture);
            m_recent.append(index);
            while (m_recent.size() > kKept)
                m_pictures.remove(m_recent.takeFirst());
        }
        const QRect place(QPoint(left, kGap + index * step - top), page);
        painter.fillRect(place.translated(3, 3), palette().shadow());
        painter.drawImage(place, m_pictures.value(index));
    }
}
