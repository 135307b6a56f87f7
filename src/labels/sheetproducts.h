#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

// Label stock as its makers describe it, read from the catalogue of label
// products that the system's label data package installs (XML, one file a
// maker). Only rectangular labels are offered: the sheet's content is a
// rectangle.

struct SheetProduct {
    QString brand;
    QString part;
    QString description;
    // The paper's name in the catalogue ("A4", "US-Letter"), and its size.
    QString paper;
    QSizeF paperMm;
    QSizeF labelMm;
    // The labels' places on the paper, column by column, each from top to
    // bottom: the order a run fills them in.
    QList<QRectF> cells;
    int columns = 0;
    int rows = 0;

    // "Igepa EA-483x169": what the picker shows and the settings keep.
    QString id() const { return brand + QLatin1Char(' ') + part; }
};

// Where the catalogue is installed.
QString sheetCatalogueFolder();

// A length as the catalogue writes it ("48.3mm", "1in", "72pt", "0.5cm";
// a bare number is points) in millimetres; nothing when it is not one.
std::optional<qreal> catalogueLength(const QString &text);

// Every rectangular product of the catalogue's files in folder, sorted by
// id; empty when the folder is missing. A file or product that does not
// read is passed over.
QList<SheetProduct> readSheetProducts(const QString &folder);

// The products on paper of this size, within a millimetre either way.
QList<SheetProduct> productsForPaper(const QList<SheetProduct> &products, const QSizeF &paperMm);

// The products whose maker, code or description holds every word of text.
QList<SheetProduct> matchingProducts(const QList<SheetProduct> &products, const QString &text);
