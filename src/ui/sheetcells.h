#pragma once

#include <QList>
#include <QRectF>
#include <QWidget>

// A small picture of the sheet's labels, each used or free: a click, or
// the arrows and Space, turns one over.
class SheetCellsPicture : public QWidget {
    Q_OBJECT
public:
    explicit SheetCellsPicture(QWidget *parent);

    // The places in millimetres on paper of this size, in the order the
    // labels fill them.
    void setSheet(const QList<QRectF> &cellsMm, const QSizeF &paperMm);
    // Counted from 1.
    QList<int> usedPositions() const;
    void setUsedPositions(const QList<int> &positions);
    int cursor() const { return m_cursor + 1; }

    QSize sizeHint() const override;

signals:
    void usedChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRectF cellRect(int index) const;
    void toggle(int index);

    QList<QRectF> m_cells;
    QSizeF m_paper;
    QList<bool> m_used;
    int m_cursor = 0;
};
