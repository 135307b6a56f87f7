#pragma once

#include "report/bandreport.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>

// The report's pages one under another, painted only as they come into
// view: a range of two thousand pages shows its first at once, and no
// more than a few pages' pictures are kept whatever the count.
class LabelPageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    LabelPageView(const BandReport *report, QWidget *parent);

    void setPages(const ReportLayout &pages);
    const ReportLayout &pages() const { return m_pages; }
    int pageCount() const { return int(m_pages.size()); }
    // From 1: the page in the middle of the view.
    int currentPage() const;
    void setCurrentPage(int page);

    void zoomIn();
    void zoomOut();
    void fitToWidth();
    void fitInView();
    // Pictures painted so far and kept, for the memory's sake.
    int keptPictures() const { return int(m_pictures.size()); }

signals:
    void pageChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class Fit { Width, Page, None };
    QSize pageSize() const;
    void updateBars();
    void setZoom(qreal zoom, Fit fit);

    const BandReport *m_report;
    ReportLayout m_pages;
    // Screen pixels per millimetre of paper.
    qreal m_zoom = 3;
    Fit m_fit = Fit::Width;
    QHash<int, QImage> m_pictures;
    QList<int> m_recent;
};
