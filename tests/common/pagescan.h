#pragma once

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

// Reading printed pages back in the label tests: the tools that turn PDF
// into text and pixels, and the pixels of a rectangle given in millimetres.

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
