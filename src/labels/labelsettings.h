#pragma once

#include <QPointF>
#include <QString>

// What the label sheet keeps per user between runs: the printer's alignment
// and the printer and paper source of the last print. These are the only
// values the program writes to the user's settings file.
struct LabelSettings {
    QPointF offsetMm;
    QString printerName;
    // The printer's input slot ("Tray2"); empty for the printer's own choice.
    QString paperSource;
};

// Reads the values from the settings file, under its "labels" group; a
// missing or unreadable value reads as zero or empty, an offset beyond
// ±10 mm as the nearest limit.
LabelSettings readLabelSettings();
void writeLabelOffset(const QPointF &offsetMm);
void writeLabelPrinter(const QString &printerName, const QString &paperSource);
