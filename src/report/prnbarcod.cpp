#include "report/prnbarcod.h"

#include "labels/labeldata.h"
#include "labels/labelsettings.h"
#include "labels/usedcells.h"
#include "report/bandreport.h"
#include "report/symbols.h"

#include <QLocale>

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
    // The stock last chosen for this printer, while the catalogue has it.
    const QString sheetId = readSheetChoice(settings.printerName);
    std::optional<SheetProduct> product;
    for (const SheetProduct &candidate : catalogueProducts()) {
        if (!sheetId.isEmpty() && candidate.id() == sheetId)
            product = candidate;
    }
    useSheet(product);
    QuickRep1->setUsedPositions({});
    QuickRep1->setStartPosition(1);
}

void TFormBC::setNumberList(const QList<qint32> &numbers)
{
    m_numbers = numbers;
}

void TFormBC::useSheet(const std::optional<SheetProduct> &product)
{
    ::useSheet(QuickRep1, product);
}

void useSheet(BandReport *report, const std::optional<SheetProduct> &product)
{
    report->setSheetId(product ? product->id() : QString());
    if (!product) {
        report->setPage(QPageSize(QPageSize::A4), QMarginsF(5, 5, 5, 5));
        report->setCells({}, QSizeF());
        return;
    }
    report->setPage(QPageSize(product->paperMm, QPageSize::Millimeter, product->paper, QPageSize::FuzzyMatch),
                    QMarginsF(5, 5, 5, 5));
    report->setCells(product->cells, designedLabelMm());
}

const QList<SheetProduct> &catalogueProducts()
{
    static const QList<SheetProduct> products = readSheetProducts(sheetCatalogueFolder());
    return products;
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
    m_nextInList = 0;
}

void TFormBC::QRSubDetail1NeedData(QObject *, bool &MoreData)
{
    // The walk stops on the last number instead of stepping past it, which
    // would overflow when it is the largest 32-bit value.
    if (!m_numbers.isEmpty()) {
        MoreData = m_nextInList < m_numbers.size();
        const LabelTexts texts = labelTexts(MoreData ? m_numbers[m_nextInList++] : -1);
        QRLabelBC->setCaption(QString::fromLatin1(texts.barcode));
        QRLabelBCC->setCaption(texts.digits);
        return;
    }
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

QSizeF designedLabelMm()
{
    return QSizeF(48.5, 18.256);
}

QString sheetRefusal(const QSizeF &labelMm, qreal dpi, const QString &productName, Symbology symbology)
{
    // The bar code's box, in proportion as the sheet draws it.
    constexpr qreal designedBoxMm = 47.096;
    const qreal boxMm = designedBoxMm * labelMm.width() / designedLabelMm().width();
    // The narrowest that scans: one dot a narrow bar (or a module), three a
    // wide one, and quiet zones of ten narrow bars.
    qreal neededDots = 0;
    if (symbology == Symbology::Code39) {
        const Code39Symbol symbol = code39Symbol("0000000000");
        if (code39Metrics(symbol, boxMm * dpi / 25.4, dpi).narrow >= 1)
            return QString();
        neededDots = symbol.narrowCount() + 20 + 3 * symbol.wideCount();
    } else {
        neededDots = 20;
        for (int modules : symbolModules(symbology, "2147483647"))
            neededDots += twoWidth(symbology) && modules > 1 ? 3 : modules;
        if (neededDots <= boxMm * dpi / 25.4)
            return QString();
    }
    const qreal neededMm = neededDots * 25.4 / dpi;
    const QLocale russian(QLocale::Russian);
    return QStringLiteral("Наклейки «%1» малы для штрих-кода: при %2 точках на дюйм штрих-код из десяти цифр "
                          "с полями занимает %3 мм в ширину, а на наклейке для него %4 мм.")
        .arg(productName)
        .arg(qRound(dpi))
        .arg(russian.toString(neededMm, 'f', 1), russian.toString(boxMm, 'f', 1));
}
