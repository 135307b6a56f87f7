#include "labels/sheetproducts.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace {

// A product as read, before an equivalent takes its geometry.
struct ProductEntry {
    SheetProduct product;
    QString equivalent;
    bool rectangular = false;
};

QString attribute(const QXmlStreamReader &xml, const char *name)
{
    return xml.attributes().value(QLatin1String(name)).toString();
}

qreal lengthOr(const QXmlStreamReader &xml, const char *name, qreal fallback)
{
    return catalogueLength(attribute(xml, name)).value_or(fallback);
}

QHash<QString, QSizeF> readPaperSizes(const QString &folder)
{
    QHash<QString, QSizeF> sizes;
    QFile file(QDir(folder).filePath(QStringLiteral("paper-sizes.xml")));
    if (!file.open(QIODevice::ReadOnly))
        return sizes;
    QXmlStreamReader xml(&file);
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == QLatin1String("Paper-size")) {
            const auto width = catalogueLength(attribute(xml, "width"));
            const auto height = catalogueLength(attribute(xml, "height"));
            if (width && height)
                sizes.insert(attribute(xml, "id"), QSizeF(*width, *height));
        }
        if (!xml.isStartElement())
            xml.readNext();
    }
    return sizes;
}

// The cells of one label element's layouts, column by column.
void finishCells(SheetProduct &product, const QList<QRectF> &cells)
{
    QList<QRectF> sorted = cells;
    // Columns are told apart to a tenth of a millimetre.
    const auto tenths = [](qreal mm) { return qRound64(mm * 10); };
    std::sort(sorted.begin(), sorted.end(), [&](const QRectF &a, const QRectF &b) {
        if (tenths(a.x()) != tenths(b.x()))
            return tenths(a.x()) < tenths(b.x());
        return a.y() < b.y();
    });
    product.cells = sorted;
    product.columns = 0;
    product.rows = 0;
    int inColumn = 0;
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        if (i == 0 || tenths(sorted[i].x()) != tenths(sorted[i - 1].x())) {
            ++product.columns;
            inColumn = 0;
        }
        product.rows = qMax(product.rows, ++inColumn);
    }
}

void readFile(const QString &fileName, const QHash<QString, QSizeF> &papers, QList<ProductEntry> &entries)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QXmlStreamReader xml(&file);
    ProductEntry *entry = nullptr;
    QList<QRectF> cells;
    bool inRectangle = false;
    bool firstLabel = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QStringView name = xml.name();
            if (name == QLatin1String("Template")) {
                entries.append(ProductEntry());
                entry = &entries.last();
                SheetProduct &product = entry->product;
                product.brand = attribute(xml, "brand");
                product.part = attribute(xml, "part");
                product.description = attribute(xml, "_description");
                if (product.description.isEmpty())
                    product.description = attribute(xml, "description");
                product.paper = attribute(xml, "size");
                if (papers.contains(product.paper))
                    product.paperMm = papers.value(product.paper);
                else
                    product.paperMm = QSizeF(lengthOr(xml, "width", 0), lengthOr(xml, "height", 0));
                entry->equivalent = attribute(xml, "equiv");
                cells.clear();
                firstLabel = true;
            } else if (entry && name.startsWith(QLatin1String("Label-"))) {
                // A product with labels of several shapes keeps its first.
                inRectangle = firstLabel && name == QLatin1String("Label-rectangle");
                entry->rectangular = inRectangle;
                firstLabel = false;
                if (inRectangle)
                    entry->product.labelMm = QSizeF(lengthOr(xml, "width", 0), lengthOr(xml, "height", 0));
            } else if (entry && inRectangle && name == QLatin1String("Layout")) {
                const int nx = attribute(xml, "nx").toInt();
                const int ny = attribute(xml, "ny").toInt();
                const qreal x0 = lengthOr(xml, "x0", 0);
                const qreal y0 = lengthOr(xml, "y0", 0);
                const qreal dx = lengthOr(xml, "dx", 0);
                const qreal dy = lengthOr(xml, "dy", 0);
                for (int i = 0; i < nx; ++i) {
                    for (int j = 0; j < ny; ++j)
                        cells.append(QRectF(QPointF(x0 + i * dx, y0 + j * dy), entry->product.labelMm));
                }
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == QLatin1String("Label-rectangle"))
                inRectangle = false;
            else if (xml.name() == QLatin1String("Template") && entry) {
                finishCells(entry->product, cells);
                entry = nullptr;
            }
        }
    }
    // A file cut short keeps what was read whole before the fault.
    if (entry)
        entries.removeLast();
}

} // namespace

QString sheetCatalogueFolder()
{
    return QStringLiteral("/usr/share/libglabels-3.0/templates");
}

std::optional<qreal> catalogueLength(const QString &text)
{
    static const QRegularExpression length(
        QStringLiteral("^\\s*([-+]?[0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?)\\s*([a-z]*)\\s*$"));
    const QRegularExpressionMatch match = length.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const qreal value = match.captured(1).toDouble();
    const QString unit = match.captured(2);
    qreal mmPerUnit = 0;
    if (unit == QLatin1String("mm"))
        mmPerUnit = 1;
    else if (unit == QLatin1String("cm"))
        mmPerUnit = 10;
    else if (unit == QLatin1String("in"))
        mmPerUnit = 25.4;
    else if (unit == QLatin1String("pc"))
        mmPerUnit = 25.4 / 6;
    else if (unit.isEmpty() || unit == QLatin1String("pt"))
        mmPerUnit = 25.4 / 72;
    if (mmPerUnit == 0 || !std::isfinite(value))
        return std::nullopt;
    return value * mmPerUnit;
}

QList<SheetProduct> readSheetProducts(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        return {};
    const QHash<QString, QSizeF> papers = readPaperSizes(folder);
    QList<ProductEntry> entries;
    for (const QString &name : dir.entryList({QStringLiteral("*-templates.xml")}, QDir::Files, QDir::Name))
        readFile(dir.filePath(name), papers, entries);

    // An equivalent is another code for the same stock of the same maker.
    QHash<QString, const ProductEntry *> byId;
    for (const ProductEntry &entry : std::as_const(entries))
        byId.insert(entry.product.id(), &entry);
    QList<SheetProduct> products;
    for (const ProductEntry &entry : std::as_const(entries)) {
        SheetProduct product = entry.product;
        bool rectangular = entry.rectangular;
        if (!entry.equivalent.isEmpty()) {
            const ProductEntry *same = byId.value(entry.product.brand + QLatin1Char(' ') + entry.equivalent);
            if (!same || !same->equivalent.isEmpty())
                continue;
            const QString brand = product.brand;
            const QString part = product.part;
            product = same->product;
            product.brand = brand;
            product.part = part;
            rectangular = same->rectangular;
        }
        const bool placed = !product.cells.isEmpty() && product.labelMm.width() > 0 && product.labelMm.height() > 0
            && product.paperMm.width() > 0 && product.paperMm.height() > 0;
        if (rectangular && placed)
            products.append(product);
    }
    std::sort(products.begin(), products.end(), [](const SheetProduct &a, const SheetProduct &b) {
        return QString::compare(a.id(), b.id(), Qt::CaseInsensitive) < 0;
    });
    return products;
}

QList<SheetProduct> productsForPaper(const QList<SheetProduct> &products, const QSizeF &paperMm)
{
    QList<SheetProduct> fitting;
    for (const SheetProduct &product : products) {
        if (qAbs(product.paperMm.width() - paperMm.width()) <= 1
            && qAbs(product.paperMm.height() - paperMm.height()) <= 1)
            fitting.append(product);
    }
    return fitting;
}

QList<SheetProduct> matchingProducts(const QList<SheetProduct> &products, const QString &text)
{
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<SheetProduct> matching;
    for (const SheetProduct &product : products) {
        const QString haystack = product.id() + QLatin1Char(' ') + product.description;
        const bool all = std::all_of(words.begin(), words.end(),
                                     [&](const QString &word) { return haystack.contains(word, Qt::CaseInsensitive); });
        if (all)
            matching.append(product);
    }
    return matching;
}
