#pragma once

#include "report/bandreport.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Reading printed pages back in the label tests: the bands of a laid-out
// page, the tools that turn PDF into text and pixels, and the pixels of a
// rectangle given in millimetres.

// A tool's standard output; empty when it did not finish in two minutes.
inline QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline QRect toPixels(const QRectF &mm, qreal dpi)
{
    const qreal scale = dpi / 25.4;
    return QRectF(mm.x() * scale, mm.y() * scale, mm.width() * scale, mm.height() * scale).toAlignedRect();
}

// A pixel of the image (outside it: none) that would print dark.
inline bool dark(const QImage &image, int x, int y)
{
    return image.rect().contains(x, y) && qGray(image.pixel(x, y)) < 128;
}

inline bool anyDark(const QImage &image, const QRect &rect)
{
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (dark(image, x, y))
                return true;
        }
    }
    return false;
}

inline QList<PlacedBand> bandsOf(const ReportPage &page, ReportBand::Kind kind)
{
    QList<PlacedBand> found;
    for (const PlacedBand &band : page.bands) {
        if (band.band->kind() == kind)
            found.append(band);
    }
    return found;
}

inline QStringList footers(const ReportLayout &pages)
{
    QStringList texts;
    for (const ReportPage &page : pages) {
        for (const PlacedBand &band : bandsOf(page, ReportBand::PageFooter))
            texts.append(band.caption(QStringLiteral("QRLabelSN")));
    }
    return texts;
}

inline QStringList barcodes(const ReportLayout &pages)
{
    QStringList texts;
    for (const ReportPage &page : pages) {
        for (const PlacedBand &band : bandsOf(page, ReportBand::Detail))
            texts.append(band.caption(QStringLiteral("QRLabelBC")));
    }
    return texts;
}

inline int pdfPages(const QString &fileName)
{
    const QString info = runTool(QStringLiteral("pdfinfo"), {fileName});
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("Pages:")))
            return line.mid(6).trimmed().toInt();
    }
    return -1;
}

// The text lines of a PDF without blanks: the extractor drops the narrow
// ones between the digits of the digits line.
inline QStringList pdfLines(const QString &fileName)
{
    QString text = runTool(QStringLiteral("pdftotext"), {fileName, QStringLiteral("-")});
    text.remove(QLatin1Char(' '));
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}
