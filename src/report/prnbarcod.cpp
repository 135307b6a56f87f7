#include "report/prnbarcod.h"

#include "labels/labeldata.h"
#include "labels/labelsettings.h"
#include "report/bandreport.h"
#include "report/symbols.h"

TFormBC *FormBC = nullptr;
qint32 PageCounter = 0;

TFormBC::TFormBC(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("FormBC"));

    QuickRep1 = new BandReport(QStringLiteral("QuickRep1"), this);
    QuickRep1->setPage(QPageSize(QPageSize::A4), QMarginsF(5, 5, 5, 5));
    QuickRep1->setColumns(4, 2);

    QRSubDetail1 = new ReportBand(QStringLiteral("QRSubDetail1"), QuickRep1, ReportBand::Detail, 18.256);
    QRSubDetail1->setFramed(true);

    // Drawn in this order: the digits line covers the foot of the bar code box.
    QRLabelBC = new SymbolLabel(QStringLiteral("QRLabelBC"), QRSubDetail1, QRectF(0.529, 0.794, 47.096, 12.435));
    QRLabelBC->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QRLabelBC->setCaption(QStringLiteral("1234567890"));

    QRLabelME = new ReportLabel(QStringLiteral("QRLabelME"), QRSubDetail1, QRectF(0.529, 13.758, 47.096, 3.969));
    QRLabelME->setFont(reportFont(8));
    QRLabelME->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QRLabelME->setCaption(QStringLiteral("метка на наклейке"));

    QRLabelBCC = new ReportLabel(QStringLiteral("QRLabelBCC"), QRSubDetail1, QRectF(0.529, 10.848, 47.096, 2.910));
    QRLabelBCC->setFont(reportFont(6));
    QRLabelBCC->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QRLabelBCC->setCaption(QStringLiteral("код штрих-кода"));

    PageFooterBand1 = new ReportBand(QStringLiteral("PageFooterBand1"), QuickRep1, ReportBand::PageFooter, 6.615);

    QRLabelSN = new ReportLabel(QStringLiteral("QRLabelSN"), PageFooterBand1, QRectF(0, 0.529, 17.727, 4.498));
    QRLabelSN->setFont(reportFont(8, true));
    QRLabelSN->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QRLabelSN->setAutoSize(true);
    QRLabelSN->setCaption(QStringLiteral("страница №"));

    QuickRep1->onBeforePrint
        = [this](BandReport *sender, bool &printReport) { QuickRep1BeforePrint(sender, printReport); };
    QRSubDetail1->onNeedData = [this](QObject *sender, bool &moreData) { QRSubDetail1NeedData(sender, moreData); };
    PageFooterBand1->onBeforePrint
        = [this](ReportBand *sender, bool &printBand) { PageFooterBand1BeforePrint(sender, printBand); };
    connect(QuickRep1, &BandReport::jobStarted, this, &TFormBC::QuickRep1StartJob);
    connect(QuickRep1, &BandReport::jobFinished, this, &TFormBC::QuickRep1EndJob);
    connect(QuickRep1, &BandReport::offsetChanged, this, [](const QPointF &offset) { writeLabelOffset(offset); });
    connect(QuickRep1, &BandReport::printerChosen, this,
            [](const QString &printer, const QString &source) { writeLabelPrinter(printer, source); });
}

void TFormBC::readSettings()
{
    const LabelSettings settings = readLabelSettings();
    QuickRep1->setOffset(settings.offsetMm);
    QuickRep1->setPrinterChoice(settings.printerName, settings.paperSource);
    QuickRep1->setStartPosition(1);
}

void TFormBC::QuickRep1StartJob()
{
    m_rangeStart = CurrentNumber;
}

// Left at the range start, so that printing the same range again needs no
// new set-up.
void TFormBC::QuickRep1EndJob()
{
    CurrentNumber = m_rangeStart;
}

void TFormBC::QuickRep1BeforePrint(BandReport *, bool &)
{
    // The preview runs the report again for every print, each from the start.
    PageCounter = 0;
    CurrentNumber = m_rangeStart;
    m_lastSetUp = false;
}

void TFormBC::QRSubDetail1NeedData(QObject *, bool &MoreData)
{
    // The walk stops on the last number instead of stepping past it, which
    // would overflow when it is the largest 32-bit value.
    if (m_lastSetUp) {
        MoreData = false;
        return;
    }
    const LabelStep step = stepLabels(CurrentNumber, LastNumber, m_lastSetUp);
    const LabelTexts texts = labelTexts(step.number);
    QRLabelBC->setCaption(QString::fromLatin1(texts.barcode));
    QRLabelBCC->setCaption(texts.digits);
    MoreData = step.printed;
}

void TFormBC::PageFooterBand1BeforePrint(ReportBand *, bool &)
{
    ++PageCounter;
    QRLabelSN->setCaption(QStringLiteral("страница № ") + QString::number(PageCounter));
}
