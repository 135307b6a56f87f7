#pragma once

#include "labels/symbology.h"

#include "labels/sheetproducts.h"

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;

// Picks the label stock: the designed sheet or a product of the catalogue
// on the printer's paper, found by maker, code or description. A product
// whose labels are too small for a bar code that scans at the printer's
// resolution is refused with the reason.
class TFormSheetPicker : public QDialog {
    Q_OBJECT
public:
    TFormSheetPicker(const QList<SheetProduct> &products, const QSizeF &paperMm, qreal dpi, Symbology symbology,
                     const QString &currentId, QWidget *parent);

    QLineEdit *EditSearch;
    QListWidget *ListSheets;
    QLabel *LabelRefusal;

    // The choice once accepted; nothing for the designed sheet.
    std::optional<SheetProduct> Picked;

    void EditSearchChange(const QString &text);
    void accept() override;

private:
    QList<SheetProduct> m_products;
    QList<SheetProduct> m_shown;
    qreal m_dpi;
    Symbology m_symbology;
};

// How the picker and the preview name a stock: "Igepa EA-483x169: 4 × 16,
// 48,3 × 16,9 мм"; nothing: the designed sheet.
QString sheetName(const std::optional<SheetProduct> &product);
