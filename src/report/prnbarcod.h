#pragma once

#include "labels/symbology.h"

#include "labels/sheetproducts.h"

#include <QList>
#include <QObject>

class BandReport;
class ReportBand;
class ReportLabel;
class SymbolLabel;

// Host of the label sheet report: an A4 sheet of labels four across, one per
// number of a range. Created once at start-up and never shown, so it needs
// no window of its own.
class TFormBC : public QObject {
    Q_OBJECT
public:
    explicit TFormBC(QObject *parent = nullptr);

    BandReport *QuickRep1;
    ReportBand *QRSubDetail1;
    SymbolLabel *QRLabelBC;
    ReportLabel *QRLabelME;
    ReportLabel *QRLabelBCC;
    ReportBand *PageFooterBand1;
    ReportLabel *QRLabelSN;

    // The range to print; the caller sets both (start not above end) before a
    // preview, print or export, and finds them unchanged after it.
    qint32 CurrentNumber = 0;
    qint32 LastNumber = 0;

    void QuickRep1BeforePrint(BandReport *Sender, bool &PrintReport);
    void QRSubDetail1NeedData(QObject *Sender, bool &MoreData);
    void PageFooterBand1BeforePrint(ReportBand *Sender, bool &PrintBand);

    // Before a preview from the barcode tab: the alignment and printer kept
    // for this user, and a fresh sheet from its first label.
    void readSettings();

    // Prints these numbers, in this order, instead of the range; empty:
    // the range again.
    void setNumberList(const QList<qint32> &numbers);
    const QList<qint32> &numberList() const { return m_numbers; }

    // The labels go on this product's stock (useSheet).
    void useSheet(const std::optional<SheetProduct> &product);

private:
    void QuickRep1StartJob();
    void QuickRep1EndJob();

    qint32 m_rangeStart = 0;
    bool m_lastSetUp = false;
    QList<qint32> m_numbers;
    qsizetype m_nextInList = 0;
};

// The labels go on this product's stock, in proportion; nothing: the
// sheet as designed, A4 four across. The report keeps the product's id.
void useSheet(BandReport *report, const std::optional<SheetProduct> &product);

// The installed catalogue's products, read once.
const QList<SheetProduct> &catalogueProducts();

// The designed sheet's label, in millimetres.
QSizeF designedLabelMm();

// Why labels of this size cannot carry a bar code that scans when printed
// at dpi: its narrowest bar would be less than one of the printer's dots,
// with the quiet zones and all ten digits in the symbology; empty when they
// can.
QString sheetRefusal(const QSizeF &labelMm, qreal dpi, const QString &productName,
                     Symbology symbology = Symbology::Code39);

extern TFormBC *FormBC;

// Pages started in the current run of the report.
extern qint32 PageCounter;
