#include "ui/sheetcells.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

SheetCellsPicture::SheetCellsPicture(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PictureCells"));
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(QStringLiteral("наклейки последнего листа: щелчок или пробел отмечает наклейку занятой или "
                              "свободной, стрелки выбирают наклейку"));
}

void SheetCellsPicture::setSheet(const QList<QRectF> &cellsMm, const QSizeF &paperMm)
{
    m_cells = cellsMm;
    m_paper = paperMm;
    m_used = QList<bool>(m_cells.size(), false);
    m_cursor = 0;
    updateGeometry();
    update();
}

QList<int> SheetCellsPicture::usedPositions() const
{
    QList<int> used;
    for (qsizetype i = 0; i < m_used.size(); ++i) {
        if (m_used[i])
            used.append(int(i) + 1);
    }
    return used;
}

void SheetCellsPicture::setUsedPositions(const QList<int> &positions)
{
    m_used.fill(false);
    for (int position : positions) {
        if (position >= 1 && position <= m_used.size())
            m_used[position - 1] = true;
    }
    update();
}

QSize SheetCellsPicture::sizeHint() const
{
    // A sheet's shape, as tall as a row of commands takes twice.
    const int height = 2 * fontMetrics().height() + 8;
    const qreal ratio = m_paper.height() > 0 ? m_paper.width() / m_paper.height() : 0.7;
    return QSize(qMax(16, qRound(height * ratio)), height);
}

QRectF SheetCellsPicture::cellRect(int index) const
{
    if (m_paper.isEmpty())
        return QRectF();
    const qreal sx = (width() - 1) / m_paper.width();
    const qreal sy = (height() - 1) / m_paper.height();
    const QRectF &mm = m_cells[index];
    return QRectF(mm.x() * sx, mm.y() * sy, mm.width() * sx, mm.height() * sy);
}

void SheetCellsPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect().adjusted(0, 0, -1, -1), Qt::white);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    for (int i = 0; i < m_cells.size(); ++i)
        painter.fillRect(cellRect(i).adjusted(0.5, 0.5, -0.5, -0.5),
                         m_used[i] ? QColor(150, 150, 150) : QColor(160, 220, 160));
    if (hasFocus() && !m_cells.isEmpty()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawRect(cellRect(m_cursor));
    }
}

void SheetCellsPicture::toggle(int index)
{
    if (index < 0 || index >= m_used.size())
        return;
    m_cursor = index;
    m_used[index] = !m_used[index];
    update();
    emit usedChanged();
}

void SheetCellsPicture::mousePressEvent(QMouseEvent *event)
{
    for (int i = 0; i < m_cells.size(); ++i) {
        if (cellRect(i).contains(event->position())) {
            toggle(i);
            return;
        }
    }
}

void SheetCellsPicture::keyPressEvent(QKeyEvent *event)
{
    if (m_cells.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Up and down within the order, left and right to the nearest place
    // of the next column.
    const QPointF at = m_cells[m_cursor].center();
    auto nearestAcross = [&](int direction) {
        int best = m_cursor;
        qreal bestDistance = 1e9;
        for (int i = 0; i < m_cells.size(); ++i) {
            const QPointF c = m_cells[i].center();
            if ((c.x() - at.x()) * direction <= 0.5)
                continue;
            const qreal distance = qAbs(c.x() - at.x()) * 4 + qAbs(c.y() - at.y());
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return best;
    };
    switch (event->key()) {
    case Qt::Key_Up:
        m_cursor = qMax(0, m_cursor - 1);
        break;
    case Qt::Key_Down:
        m_cursor = qMin(int(m_cells.size()) - 1, m_cursor + 1);
        break;
    case Qt::Key_Left:
        m_cursor = nearestAcross(-1);
        break;
    case Qt::Key_Right:
        m_cursor = nearestAcross(1);
        break;
    case Qt::Key_Space:
        toggle(m_cursor);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    update();
}
