#include "pagescan.h"

#include "base/platform.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "labels/labeldata.h"
#include "labels/labelsettings.h"
#include "labels/sheetproducts.h"
#include "report/bandreport.h"
#include "report/code39.h"
#include "report/labelcheck.h"
#include "report/prnbarcod.h"
#include "report/symbols.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>
#include <zint.h>

namespace {

constexpr qint32 maxInt = std::numeric_limits<qint32>::max();
constexpr qreal labelHeight = 18.256;
constexpr qreal columnStep = 48.5 + 2;
// Labels on one sheet: four columns of fifteen.
constexpr int kLabelsPerSheet = 60;

bool nearRect(const QRectF &a, const QRectF &b)
{
    constexpr qreal tolerance = 1e-6;
    return qAbs(a.x() - b.x()) < tolerance && qAbs(a.y() - b.y()) < tolerance && qAbs(a.width() - b.width()) < tolerance
        && qAbs(a.height() - b.height()) < tolerance;
}

// zint's bars for text in its own module units, quiet zone included.
QList<QPair<int, int>> zintBars(const QByteArray &text)
{
    QList<QPair<int, int>> bars;
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(), &ZBarcode_Delete);
    symbol->symbology = BARCODE_CODE39;
    symbol->show_hrt = 0;
    symbol->output_options |= BARCODE_QUIET_ZONES;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char *>(text.constData()), int(text.size()))
            >= ZINT_ERROR
        || ZBarcode_Buffer_Vector(symbol.get(), 0) >= ZINT_ERROR)
        return bars;
    float unit = 0;
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next) {
        if (unit == 0 || rect->width < unit)
            unit = rect->width;
    }
    for (const zint_vector_rect *rect = symbol->vector->rectangles; rect; rect = rect->next)
        bars.append({int(std::lround(rect->x / unit)), int(std::lround(rect->width / unit))});
    return bars;
}

// The mod 43 check character of Code 39 text, from the standard's values.
char mod43(const QByteArray &text)
{
    static const QByteArray values("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%");
    int sum = 0;
    for (char c : text)
        sum += int(values.indexOf(c));
    return values[sum % 43];
}

// What zbar reads from text's symbol: Codabar with its start and stop
// characters, Code 39's check character not taken off.
QString zbarText(Symbology symbology, const QString &text)
{
    switch (symbology) {
    case Symbology::Code39Mod43:
        return text + QLatin1Char(mod43(text.toLatin1()));
    case Symbology::Codabar:
        return QLatin1Char('A') + text + QLatin1Char('A');
    default:
        return text;
    }
}

// Where a line crosses the scan from one point to another on a page
// painted at dpi: the middle of the dark pixels met, in millimetres along
// the scan from its start; -1 when none is met.
qreal lineAcross(const QImage &image, qreal dpi, const QPointF &fromMm, const QPointF &toMm)
{
    const qreal dots = dpi / 25.4;
    const QPointF step = toMm - fromMm;
    const qreal length = std::hypot(step.x(), step.y());
    const int samples = int(length * dots) + 1;
    qreal first = -1;
    qreal last = -1;
    for (int i = 0; i <= samples; ++i) {
        const QPointF at = (fromMm + step * (qreal(i) / samples)) * dots;
        const QPoint pixel(int(at.x()), int(at.y()));
        if (!image.rect().contains(pixel) || qGray(image.pixel(pixel)) >= 128)
            continue;
        const qreal along = length * i / samples;
        if (first < 0)
            first = along;
        last = along;
    }
    return first < 0 ? -1 : (first + last) / 2;
}

// A PDF without the moment it was made at, and so without the table of
// object offsets, which moves with the moment's length in another time zone.
QByteArray timelessPdf(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    const qsizetype offsets = bytes.lastIndexOf("\nxref\n");
    if (offsets >= 0)
        bytes.truncate(offsets + 1);
    static const QRegularExpression moment(QStringLiteral("\\(D:[^)]*\\)"));
    return QString::fromLatin1(bytes).replace(moment, QStringLiteral("(D:0)")).toLatin1();
}

// A product of the installed catalogue, read once.
std::optional<SheetProduct> catalogueProduct(const QString &id)
{
    static const QList<SheetProduct> products = readSheetProducts(sheetCatalogueFolder());
    for (const SheetProduct &product : products) {
        if (product.id() == id)
            return product;
    }
    return std::nullopt;
}

} // namespace

// The label sheet without a window: its layout, captions, bars, painting,
// PDF and kept settings.
class TestPrnBarcod : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void defaultSheetPdfUnchanged();
    void layout_data();
    void layout();
    void productLayout_data();
    void productLayout();
    void productRefused_data();
    void productRefused();
    void numberListInCells();
    void captions_data();
    void captions();
    void rangeEndingAtMaximum_data();
    void rangeEndingAtMaximum();
    void pagesNumberedFromOneEveryRun();
    void symbol_data();
    void symbol();
    void metrics_data();
    void metrics();
    void scansAtPrinterResolution_data();
    void scansAtPrinterResolution();
    void symbolModules_data();
    void symbolModules();
    void labelFault_data();
    void labelFault();
    void checkRefusals_data();
    void checkRefusals();
    void checkListsFailingLabels();
    void negativeNumberPrintsFrameAndMarkOnly();
    void markHeld_data();
    void markHeld();
    void paintedAtTrueSize_data();
    void paintedAtTrueSize();
    void footerOnOneLineOnEveryPage();
    void exportPdf();
    void settingsRead_data();
    void settingsRead();
    void settingsWrittenAlone();
    void alignmentSheetOutlines_data();
    void alignmentSheetOutlines();

private:
    ReportLayout layOut(qint32 start, qint32 end, const QString &mark = QStringLiteral("A-1"));

    TFormBC *m_form = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_registry;
};

void TestPrnBarcod::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    platform::registryFolder = [this] { return m_registry.path(); };
    QFile::remove(registryFileName("Software\\Tovi\\Vesko Mika"));
    m_form = new TFormBC;
    FormBC = m_form;
}

void TestPrnBarcod::cleanup()
{
    FormBC = nullptr;
    delete m_form;
    m_form = nullptr;
}

ReportLayout TestPrnBarcod::layOut(qint32 start, qint32 end, const QString &mark)
{
    m_form->CurrentNumber = start;
    m_form->LastNumber = end;
    m_form->QRLabelME->setCaption(mark);
    return m_form->QuickRep1->layOut();
}

void TestPrnBarcod::layout_data()
{
    QTest::addColumn<qint32>("start");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<int>("startPosition");
    QTest::addColumn<QList<int>>("perPage");

    QTest::newRow("one label") << 5 << 5 << 1 << QList<int>{1};
    QTest::newRow("one full page") << 1 << 60 << 1 << QList<int>{60};
    QTest::newRow("one over a page") << 1 << 61 << 1 << QList<int>{60, 1};
    QTest::newRow("three pages") << 100 << 249 << 1 << QList<int>{60, 60, 30};
    QTest::newRow("empty range") << 10 << 9 << 1 << QList<int>{0};
    QTest::newRow("sheet used down to 16") << 1 << 50 << 17 << QList<int>{44, 6};
    QTest::newRow("first column used") << 1 << 45 << 16 << QList<int>{45};
    QTest::newRow("only the last label free") << 1 << 2 << 60 << QList<int>{1, 1};
    QTest::newRow("start past the sheet") << 7 << 7 << 99 << QList<int>{1};
    QTest::newRow("start below one") << 1 << 61 << -3 << QList<int>{60, 1};
    QTest::newRow("empty range from 30") << 10 << 9 << 30 << QList<int>{0};
}

void TestPrnBarcod::layout()
{
    QFETCH(qint32, start);
    QFETCH(qint32, end);
    QFETCH(int, startPosition);
    QFETCH(QList<int>, perPage);

    m_form->QuickRep1->setStartPosition(startPosition);
    const ReportLayout pages = layOut(start, end);
    QCOMPARE(pages.size(), perPage.size());
    // The places before the start stay blank on the first page only.
    const int skipped = qBound(1, startPosition, 60) - 1;
    qint32 number = start;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QCOMPARE(pages[p].number, int(p + 1));
        const QList<PlacedBand> labels = bandsOf(pages[p], ReportBand::Detail);
        QCOMPARE(labels.size(), perPage[p]);
        for (qsizetype k = 0; k < labels.size(); ++k, ++number) {
            const int place = int(k) + (p == 0 ? skipped : 0);
            const int column = place / 15;
            const int row = place % 15;
            QCOMPARE(labels[k].column, column);
            QCOMPARE(labels[k].row, row);
            QVERIFY2(
                nearRect(labels[k].rect, QRectF(5 + column * columnStep, 5 + row * labelHeight, 48.5, labelHeight)),
                qPrintable(QStringLiteral("label %1").arg(number)));
            QCOMPARE(labels[k].caption(QStringLiteral("QRLabelBC")), QString::fromLatin1(ZeroPad(number, 10)));
            QCOMPARE(labels[k].caption(QStringLiteral("QRLabelME")), QStringLiteral("A-1"));
        }
        const QList<PlacedBand> footer = bandsOf(pages[p], ReportBand::PageFooter);
        QCOMPARE(footer.size(), 1);
        QCOMPARE(footer[0].caption(QStringLiteral("QRLabelSN")), QStringLiteral("страница № %1").arg(p + 1));
        QVERIFY(nearRect(footer[0].rect, QRectF(5, 297 - 5 - 6.615, 200, 6.615)));
    }
    QCOMPARE(number, qMax(start, end + 1));
    // The report hands the range back as it was given.
    QCOMPARE(m_form->CurrentNumber, start);
    QCOMPARE(m_form->LastNumber, end);
}

void TestPrnBarcod::productLayout_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QList<int>>("grid");       // columns, rows
    QTest::addColumn<QList<qreal>>("geometry"); // x0, y0, dx, dy, width, height in mm
    QTest::addColumn<bool>("footer");

    // As the catalogue's files give them.
    QTest::newRow("4 x 16") << QStringLiteral("Igepa EA-483x169") << QList<int>{4, 16}
                            << QList<qreal>{8.4, 13.3, 48.3, 16.9, 48.3, 16.9} << true;
    QTest::newRow("3 x 8, in points") << QStringLiteral("Herma 4614") << QList<int>{3, 8}
                                      << QList<qreal>{5.7, 13.0, 66.0, 33.8, 66.0, 33.8} << true;
    QTest::newRow("2 x 7, no room below for the page number")
        << QStringLiteral("Igepa EA-1050x410") << QList<int>{2, 7} << QList<qreal>{0, 5, 105, 41, 105, 41} << false;
}

void TestPrnBarcod::productLayout()
{
    QFETCH(QString, product);
    QFETCH(QList<int>, grid);
    QFETCH(QList<qreal>, geometry);
    QFETCH(bool, footer);

    if (!QDir(sheetCatalogueFolder()).exists())
        QSKIP("the catalogue of label products is not installed");
    const std::optional<SheetProduct> stock = catalogueProduct(product);
    QVERIFY(stock);
    m_form->useSheet(stock);
    const int perSheet = grid[0] * grid[1];
    QCOMPARE(m_form->QuickRep1->positionsPerPage(), perSheet);
    m_form->QuickRep1->setStartPosition(3);
    const ReportLayout pages = layOut(1, perSheet + 1);
    QCOMPARE(pages.size(), 2);
    constexpr qreal tolerance = 0.2;
    const QList<PlacedBand> labels = bandsOf(pages[0], ReportBand::Detail);
    QCOMPARE(labels.size(), perSheet - 2);
    for (qsizetype k = 0; k < labels.size(); ++k) {
        // Down the first column, then the next; the first two places used.
        const int place = int(k) + 2;
        const int column = place / grid[1];
        const int row = place % grid[1];
        const QRectF expected(geometry[0] + column * geometry[2], geometry[1] + row * geometry[3], geometry[4],
                              geometry[5]);
        const QRectF &got = labels[k].rect;
        QVERIFY2(qAbs(got.x() - expected.x()) <= tolerance && qAbs(got.y() - expected.y()) <= tolerance
                     && qAbs(got.width() - expected.width()) <= tolerance
                     && qAbs(got.height() - expected.height()) <= tolerance,
                 qPrintable(QStringLiteral("place %1").arg(place + 1)));
        QCOMPARE(labels[k].caption(QStringLiteral("QRLabelBC")), QString::fromLatin1(ZeroPad(qint32(k + 1), 10)));
    }
    QCOMPARE(bandsOf(pages[1], ReportBand::Detail).size(), 3);
    QCOMPARE(footers(pages).size(), footer ? 2 : 0);

    // Nothing painted outside the labels but the page number, and each
    // label's bars inside its own cell, not across a neighbour's edge.
    constexpr qreal dpi = 150;
    const QImage sheet = m_form->QuickRep1->pageImage(pages[0], dpi);
    QImage outside = sheet;
    QPainter blank(&outside);
    for (const QRectF &cell : m_form->QuickRep1->cells())
        blank.fillRect(toPixels(cell, dpi), Qt::white);
    for (const PlacedBand &band : bandsOf(pages[0], ReportBand::PageFooter))
        blank.fillRect(toPixels(band.rect, dpi), Qt::white);
    blank.end();
    QVERIFY(!anyDark(outside, outside.rect()));
    for (const PlacedBand &label : labels)
        QVERIFY(anyDark(sheet,
                        toPixels(label.labelRect(QStringLiteral("QRLabelBC")), dpi)
                            .intersected(toPixels(label.rect.adjusted(0.5, 0.5, -0.5, -0.5), dpi))));
}

void TestPrnBarcod::productRefused_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QByteArray>("symbology");

    QTest::newRow("17.8 mm wide at 300 dpi") << QStringLiteral("Avery L4730") << 300.0 << true << QByteArray("code39");
    QTest::newRow("17.8 mm wide at 600 dpi") << QStringLiteral("Avery L4730") << 600.0 << false << QByteArray("code39");
    QTest::newRow("35.6 mm wide at 200 dpi") << QStringLiteral("Avery L4732") << 200.0 << false << QByteArray("code39");
    QTest::newRow("48.3 mm wide at 300 dpi")
        << QStringLiteral("Igepa EA-483x169") << 300.0 << false << QByteArray("code39");
    // Code 128's digits in pairs, and Codabar's shorter characters, fit
    // where Code 39's do not.
    QTest::newRow("35.6 mm wide at 200 dpi, Code 128")
        << QStringLiteral("Avery L4732") << 200.0 << false << QByteArray("code128");
    QTest::newRow("17.8 mm wide at 300 dpi, Code 128")
        << QStringLiteral("Avery L4730") << 300.0 << false << QByteArray("code128");
    QTest::newRow("17.8 mm wide at 300 dpi, Codabar")
        << QStringLiteral("Avery L4730") << 300.0 << false << QByteArray("codabar");
}

void TestPrnBarcod::productRefused()
{
    QFETCH(QString, product);
    QFETCH(qreal, dpi);
    QFETCH(bool, refused);
    QFETCH(QByteArray, symbology);

    if (!QDir(sheetCatalogueFolder()).exists())
        QSKIP("the catalogue of label products is not installed");
    const std::optional<SheetProduct> stock = catalogueProduct(product);
    QVERIFY(stock);
    const Symbology chosen = symbologyNamed(symbology).value();
    const QString reason = sheetRefusal(stock->labelMm, dpi, stock->id(), chosen);
    QCOMPARE(!reason.isEmpty(), refused);
    if (refused) {
        QVERIFY2(reason.contains(product) && reason.contains(QString::number(qRound(dpi))), qPrintable(reason));
        return;
    }
    // Accepted: drawn at that resolution, the narrowest bar is a whole dot.
    const qreal box = 47.096 * stock->labelMm.width() / 48.5 * dpi / 25.4;
    if (chosen == Symbology::Code39) {
        QVERIFY(code39Metrics(code39Symbol("2147483647"), box, dpi).narrow >= 1);
        return;
    }
    const QList<QRectF> bars = symbolBars(chosen, QRectF(0, 0, box, 100), "2147483647", dpi);
    QVERIFY(!bars.isEmpty());
    for (const QRectF &bar : bars)
        QVERIFY2(bar.width() >= 1 - 1e-9, qPrintable(QString::number(bar.width())));
}

void TestPrnBarcod::numberListInCells()
{
    // Five labels reprinted on the free places 13 to 17, as listed, with
    // the range's own walk left as it was.
    const QList<qint32> numbers{907, 15, 2147483647, 0, 15};
    m_form->setNumberList(numbers);
    m_form->QuickRep1->setStartPosition(13);
    const ReportLayout pages = layOut(1, 1000, QStringLiteral("повтор"));
    QCOMPARE(pages.size(), 1);
    const QList<PlacedBand> labels = bandsOf(pages[0], ReportBand::Detail);
    QCOMPARE(labels.size(), 5);
    for (qsizetype k = 0; k < labels.size(); ++k) {
        QCOMPARE(labels[k].column * 15 + labels[k].row + 1, int(13 + k));
        QCOMPARE(labels[k].caption(QStringLiteral("QRLabelBC")), QString::fromLatin1(ZeroPad(numbers[k], 10)));
        QCOMPARE(labels[k].caption(QStringLiteral("QRLabelME")), QStringLiteral("повтор"));
    }
    QCOMPARE(m_form->CurrentNumber, 1);
    // The same list again in a second run: a print after the preview.
    QCOMPARE(barcodes(m_form->QuickRep1->layOut()), barcodes(pages));
}

void TestPrnBarcod::captions_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("barcode");
    QTest::addColumn<QString>("digits");

    // clang-format off
    QTest::newRow("seven") << 7 << "0000000007" << "0 0 0 0 0 0 0 0 0 7";
    QTest::newRow("1234") << 1234 << "0000001234" << "0 0 0 0 0 0 1 2 3 4";
    QTest::newRow("zero") << 0 << "0000000000" << "0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("ten digits") << maxInt << "2147483647" << "2 1 4 7 4 8 3 6 4 7";
    QTest::newRow("negative") << -1 << "" << "";
    // clang-format on
}

void TestPrnBarcod::captions()
{
    QFETCH(qint32, number);
    QFETCH(QString, barcode);
    QFETCH(QString, digits);

    const ReportLayout pages = layOut(number, number, QStringLiteral("фонд 2"));
    QCOMPARE(pages.size(), 1);
    const QList<PlacedBand> labels = bandsOf(pages[0], ReportBand::Detail);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels[0].caption(QStringLiteral("QRLabelBC")), barcode);
    QCOMPARE(labels[0].caption(QStringLiteral("QRLabelBCC")), digits);
    QCOMPARE(labels[0].caption(QStringLiteral("QRLabelME")), QStringLiteral("фонд 2"));
    QCOMPARE(footers(pages), QStringList{QStringLiteral("страница № 1")});
}

void TestPrnBarcod::rangeEndingAtMaximum_data()
{
    QTest::addColumn<qint32>("start");

    QTest::newRow("last five") << maxInt - 4;
    QTest::newRow("largest alone") << maxInt;
    QTest::newRow("across a page") << maxInt - 60;
}

void TestPrnBarcod::rangeEndingAtMaximum()
{
    QFETCH(qint32, start);

    for (int run = 0; run < 2; ++run) {
        const QStringList printed = barcodes(layOut(start, maxInt));
        QCOMPARE(printed.size(), qsizetype(qint64(maxInt) - start + 1));
        QCOMPARE(printed.first(), QString::fromLatin1(ZeroPad(start, 10)));
        QCOMPARE(printed.last(), QStringLiteral("2147483647"));
    }
}

void TestPrnBarcod::pagesNumberedFromOneEveryRun()
{
    const ReportLayout first = layOut(1, 61);
    const QStringList expected{QStringLiteral("страница № 1"), QStringLiteral("страница № 2")};
    QCOMPARE(footers(first), expected);
    // A PDF is one more run of the same range.
    const QString fileName = m_dir->filePath(QStringLiteral("again.pdf"));
    QVERIFY(m_form->QuickRep1->exportPdf(fileName));
    QCOMPARE(pdfPages(fileName), 2);

    const ReportLayout again = m_form->QuickRep1->layOut();
    QCOMPARE(footers(again), expected);
    QCOMPARE(barcodes(again), barcodes(first));
    QCOMPARE(PageCounter, 2);
}

void TestPrnBarcod::symbol_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("elements");
    QTest::addColumn<int>("wide");

    // Nine elements a character, three of them wide, start and stop
    // included, and a narrow space between characters.
    QTest::newRow("ten digits") << QByteArray("0000001234") << 12 * 10 - 1 << 36;
    QTest::newRow("one digit") << QByteArray("7") << 3 * 10 - 1 << 9;
    QTest::newRow("every character") << QByteArray("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%") << 45 * 10 - 1 << 135;
    QTest::newRow("empty") << QByteArray() << 0 << 0;
    QTest::newRow("not encodable") << QByteArray("a\x01") << 0 << 0;
    QTest::newRow("star inside") << QByteArray("12*34") << 0 << 0;
}

void TestPrnBarcod::symbol()
{
    QFETCH(QByteArray, text);
    QFETCH(int, elements);
    QFETCH(int, wide);

    const Code39Symbol symbol = code39Symbol(text);
    QCOMPARE(symbol.wide.size(), elements);
    QCOMPARE(symbol.wideCount(), wide);
    if (elements == 0)
        return;
    // The same bars as zint draws at its ratio of 2, in its module units.
    QList<QPair<int, int>> ours;
    int x = 10;
    for (qsizetype i = 0; i < symbol.wide.size(); ++i) {
        const int width = symbol.wide[i] ? 2 : 1;
        if (i % 2 == 0)
            ours.append({x, width});
        x += width;
    }
    QCOMPARE(ours, zintBars(text));
}

void TestPrnBarcod::metrics_data()
{
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<qreal>("narrow");
    QTest::addColumn<qreal>("wide");

    // The bar code box of a label, 47.096 mm, for ten digits.
    QTest::newRow("200 dpi label printer") << 200.0 << 1.0 << 3.0;
    QTest::newRow("300 dpi") << 300.0 << 2.0 << 6.0;
    QTest::newRow("600 dpi, whole 300 dpi dots") << 600.0 << 4.0 << 12.0;
    QTest::newRow("1200 dpi PDF, whole 300 dpi dots") << 1200.0 << 8.0 << 24.0;
    QTest::newRow("400 dpi") << 400.0 << 3.0 << 9.0;
    QTest::newRow("screen, fractions") << 96.0 << 0.0 << 0.0;
}

void TestPrnBarcod::metrics()
{
    QFETCH(qreal, dpi);
    QFETCH(qreal, narrow);
    QFETCH(qreal, wide);

    const QByteArray text("2147483647");
    const qreal available = 47.096 * dpi / 25.4;
    const Code39Metrics metrics = code39Metrics(code39Symbol(text), available, dpi);
    if (narrow > 0) {
        QCOMPARE(metrics.narrow, narrow);
        QCOMPARE(metrics.wide, wide);
    } else {
        QVERIFY(metrics.narrow > 0 && metrics.narrow < 1);
    }
    QVERIFY2(metrics.wide / metrics.narrow >= 2.5 && metrics.wide / metrics.narrow <= 3,
             qPrintable(QString::number(metrics.wide / metrics.narrow)));
    QCOMPARE(metrics.quiet, 10 * metrics.narrow);
    QVERIFY(metrics.barsWidth + 2 * metrics.quiet <= available);

    // Placed in a label's box: every edge on a whole pixel where the widths
    // are whole, and a quiet zone of ten narrow elements left on both sides.
    const QRectF box(12.3 * dpi / 25.4, 5.7 * dpi / 25.4, available, 12.435 * dpi / 25.4);
    const QList<QRectF> bars = code39Bars(box, text, dpi);
    QCOMPARE(bars.size(), qsizetype(12 * 5));
    QVERIFY(bars.first().left() - box.left() >= metrics.quiet - 1);
    QVERIFY(box.right() - bars.last().right() >= metrics.quiet - 1);
    QCOMPARE(bars.last().right() - bars.first().left(), metrics.barsWidth);
    for (const QRectF &bar : bars) {
        QVERIFY(bar.width() == metrics.narrow || bar.width() == metrics.wide);
        if (narrow > 0) {
            QCOMPARE(bar.left(), std::floor(bar.left()));
            QCOMPARE(bar.top(), std::floor(bar.top()));
        }
    }
}

void TestPrnBarcod::scansAtPrinterResolution_data()
{
    QTest::addColumn<qint32>("start");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<QByteArray>("symbology");
    QTest::addColumn<QString>("product");

    QTest::newRow("first sheet at 300 dpi") << 1 << 60 << 300.0 << QByteArray("code39") << QString();
    QTest::newRow("top of the range at 300 dpi") << maxInt - 47 << maxInt << 300.0 << QByteArray("code39") << QString();
    QTest::newRow("mixed digits at 600 dpi") << 1234567880 << 1234567899 << 600.0 << QByteArray("code39") << QString();
    QTest::newRow("first sheet at 200 dpi") << 1 << 60 << 200.0 << QByteArray("code39") << QString();
    QTest::newRow("top of the range at 200 dpi") << maxInt - 59 << maxInt << 200.0 << QByteArray("code39") << QString();
    QTest::newRow("top of the range at 600 dpi") << maxInt - 59 << maxInt << 600.0 << QByteArray("code39") << QString();
    QTest::newRow("mod 43 at 300 dpi") << 1 << 60 << 300.0 << QByteArray("code39mod43") << QString();
    QTest::newRow("mod 43 at 200 dpi") << maxInt - 59 << maxInt << 200.0 << QByteArray("code39mod43") << QString();
    QTest::newRow("Code 128 at 300 dpi") << 1 << 60 << 300.0 << QByteArray("code128") << QString();
    QTest::newRow("Code 128 at 200 dpi") << maxInt - 59 << maxInt << 200.0 << QByteArray("code128") << QString();
    QTest::newRow("Code 128 at 600 dpi") << 1234567880 << 1234567899 << 600.0 << QByteArray("code128") << QString();
    QTest::newRow("Codabar at 300 dpi") << 1 << 60 << 300.0 << QByteArray("codabar") << QString();
    QTest::newRow("Codabar at 200 dpi") << maxInt - 59 << maxInt << 200.0 << QByteArray("codabar") << QString();
    QTest::newRow("4 x 16 stock at 300 dpi")
        << 1 << 64 << 300.0 << QByteArray("code39") << QStringLiteral("Igepa EA-483x169");
    QTest::newRow("3 x 8 stock, lengths in points, Code 128 at 300 dpi")
        << maxInt - 23 << maxInt << 300.0 << QByteArray("code128") << QStringLiteral("Herma 4614");
    QTest::newRow("2 x 7 stock, Codabar at 200 dpi")
        << 1234567 << 1234580 << 200.0 << QByteArray("codabar") << QStringLiteral("Rayfilm 0810");
}

// Every label read by zbar from the painted sheet, and by the program's
// own check (zxing) as it reads before printing.
void TestPrnBarcod::scansAtPrinterResolution()
{
    QFETCH(qint32, start);
    QFETCH(qint32, end);
    QFETCH(qreal, dpi);
    QFETCH(QByteArray, symbology);
    QFETCH(QString, product);

    if (!product.isEmpty()) {
        const std::optional<SheetProduct> stock = catalogueProduct(product);
        if (!QDir(sheetCatalogueFolder()).exists())
            QSKIP("the catalogue of label products is not installed");
        QVERIFY(stock);
        m_form->useSheet(stock);
    }
    const Symbology chosen = symbologyNamed(symbology).value();
    m_form->QRLabelBC->setSymbology(chosen);
    const ReportLayout pages = layOut(start, end, QStringLiteral("абонемент"));
    QCOMPARE(pages.size(), 1);
    const QImage sheet = m_form->QuickRep1->pageImage(pages[0], dpi);
    QStringList files;
    QStringList expected;
    for (const PlacedBand &label : bandsOf(pages[0], ReportBand::Detail)) {
        // The whole label, frame included, as a scanner sees it.
        const QString file = m_dir->filePath(QStringLiteral("label%1.png").arg(files.size()));
        QVERIFY(sheet.copy(toPixels(label.rect, dpi)).save(file));
        files.append(file);
        expected.append(zbarText(chosen, label.caption(QStringLiteral("QRLabelBC"))));
    }
    QCOMPARE(expected.size(), qsizetype(end - start + 1));

    const QString decoded
        = runTool(QStringLiteral("zbarimg"), QStringList{QStringLiteral("--raw"), QStringLiteral("-q")} + files);
    QCOMPARE(decoded.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);

    LabelCheck check;
    check.start(pages, dpi);
    check.finish();
    QCOMPARE(check.checked(), expected.size());
    QCOMPARE(check.symbology(), chosen);
    QVERIFY2(check.faults().isEmpty(), qPrintable(check.summary()));
    QCOMPARE(check.summary(), QStringLiteral("проверено %1 наклеек, ошибок 0").arg(expected.size()));
}

void TestPrnBarcod::symbolModules_data()
{
    QTest::addColumn<QByteArray>("symbology");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("bars");
    QTest::addColumn<int>("modules");

    // Twelve characters of five bars, at zint's ratio of 2: 12 × 13 + 11 gaps.
    QTest::newRow("Code 39") << QByteArray("code39") << QByteArray("0000001234") << 60 << 155;
    QTest::newRow("Code 39 with its check character")
        << QByteArray("code39mod43") << QByteArray("0000001234") << 65 << 168;
    // Start C, five pairs and the check character of three bars, the stop
    // of four: subset B would take ten characters for the digits.
    QTest::newRow("Code 128, subset C") << QByteArray("code128") << QByteArray("0000001234") << 25 << 90;
    QTest::newRow("Code 128, the largest number") << QByteArray("code128") << QByteArray("2147483647") << 25 << 90;
    // Twelve characters of seven elements, A, the ten digits, A: two wide
    // in a digit, three in A, and eleven gaps.
    QTest::newRow("Codabar") << QByteArray("codabar") << QByteArray("0000001234") << 48 << 12 * 7 + 26 + 11;
    QTest::newRow("Codabar refuses letters") << QByteArray("codabar") << QByteArray("12B4") << 0 << 0;
    QTest::newRow("nothing to encode") << QByteArray("code128") << QByteArray() << 0 << 0;
    QTest::newRow("mod 43 refuses the star") << QByteArray("code39mod43") << QByteArray("12*4") << 0 << 0;
}

void TestPrnBarcod::symbolModules()
{
    QFETCH(QByteArray, symbology);
    QFETCH(QByteArray, text);
    QFETCH(int, bars);
    QFETCH(int, modules);

    const Symbology chosen = symbologyNamed(symbology).value();
    const QList<int> elements = ::symbolModules(chosen, text);
    QCOMPARE((elements.size() + 1) / 2, bars);
    int total = 0;
    for (int width : elements) {
        QVERIFY(width >= 1 && width <= (twoWidth(chosen) ? 2 : 4));
        total += width;
    }
    QCOMPARE(total, modules);
    // zint's check character is the one the standard's values give.
    if (chosen == Symbology::Code39Mod43)
        QCOMPARE(elements, ::symbolModules(Symbology::Code39, text + mod43(text)));
}

void TestPrnBarcod::labelFault_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("narrow");
    QTest::addColumn<qreal>("quietLeft");
    QTest::addColumn<qreal>("quietRight");
    QTest::addColumn<QString>("fault");

    const QString number = QStringLiteral("0000001234");
    QTest::newRow("sound") << number << 1.0 << 10.0 << 10.0 << QString();
    QTest::newRow("nothing read") << QString() << 0.0 << 0.0 << 0.0 << QStringLiteral("штрих-код не читается");
    QTest::newRow("another number") << QStringLiteral("0000001284") << 2.0 << 12.0 << 12.0
                                    << QStringLiteral("читается как 0000001284");
    QTest::newRow("narrow bar under a dot")
        << number << 0.9 << 12.0 << 12.0 << QStringLiteral("узкий штрих тоньше точки принтера");
    QTest::newRow("left quiet zone short")
        << number << 2.0 << 9.5 << 12.0 << QStringLiteral("свободное поле по краям уже десяти узких штрихов");
    QTest::newRow("right quiet zone short")
        << number << 2.0 << 12.0 << 9.9 << QStringLiteral("свободное поле по краям уже десяти узких штрихов");
}

void TestPrnBarcod::labelFault()
{
    QFETCH(QString, text);
    QFETCH(qreal, narrow);
    QFETCH(qreal, quietLeft);
    QFETCH(qreal, quietRight);
    QFETCH(QString, fault);
    QCOMPARE(::labelFault(LabelReading{text, narrow, quietLeft, quietRight}, QStringLiteral("0000001234")), fault);
}

void TestPrnBarcod::checkRefusals_data()
{
    QTest::addColumn<QByteArray>("symbology");
    QTest::addColumn<qreal>("dpi");
    // What is done to the label's picture before it is read: a bar run
    // into its neighbours, or a mark this many narrow elements left of
    // the bars.
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("fault");

    QTest::newRow("sound at 300 dpi") << QByteArray("code39") << 300.0 << QString() << QString();
    QTest::newRow("sound Codabar at 200 dpi") << QByteArray("codabar") << 200.0 << QString() << QString();
    QTest::newRow("sound Code 128 at 60 dpi") << QByteArray("code128") << 60.0 << QString() << QString();
    QTest::newRow("a bar painted over") << QByteArray("code39") << 300.0 << QStringLiteral("bar")
                                        << QStringLiteral("штрих-код не читается");
    QTest::newRow("a Code 128 bar painted over")
        << QByteArray("code128") << 300.0 << QStringLiteral("bar") << QStringLiteral("штрих-код не читается");
    QTest::newRow("a mark in the quiet zone") << QByteArray("code39") << 300.0 << QStringLiteral("quiet 8")
                                              << QStringLiteral("свободное поле по краям уже десяти узких штрихов");
    QTest::newRow("a mark in Codabar's quiet zone")
        << QByteArray("codabar") << 600.0 << QStringLiteral("quiet 9")
        << QStringLiteral("свободное поле по краям уже десяти узких штрихов");
    QTest::newRow("a mark just outside the quiet zone")
        << QByteArray("code128") << 300.0 << QStringLiteral("quiet 10.5") << QString();
    // Too narrow a label for the printer: elements of a fraction of a dot,
    // some lost, some merged.
    QTest::newRow("Code 39 at 100 dpi") << QByteArray("code39") << 100.0 << QString()
                                        << QStringLiteral("штрих-код не читается");
    QTest::newRow("Codabar at 80 dpi") << QByteArray("codabar") << 80.0 << QString()
                                       << QStringLiteral("штрих-код не читается");
}

void TestPrnBarcod::checkRefusals()
{
    QFETCH(QByteArray, symbology);
    QFETCH(qreal, dpi);
    QFETCH(QString, damage);
    QFETCH(QString, fault);

    const QByteArray number("0000001234");
    m_form->QRLabelBC->setSymbology(symbologyNamed(symbology).value());
    const ReportLayout pages = layOut(1234, 1234);
    const PlacedBand label = bandsOf(pages[0], ReportBand::Detail).value(0);
    QImage image = labelImage(label, dpi);
    QVERIFY(!image.isNull());

    if (!damage.isEmpty()) {
        const LabelReading sound = readLabelImage(image, m_form->QRLabelBC->symbology());
        QCOMPARE(::labelFault(sound, QString::fromLatin1(number)), QString());
        // The bars as painted, in the picture's pixels.
        const qreal scale = dpi / 25.4;
        const QRectF box = label.labelRect(QStringLiteral("QRLabelBC"));
        const QPointF origin(qRound(box.left() * scale), std::ceil(box.top() * scale));
        const QList<QRectF> bars = symbolBars(m_form->QRLabelBC->symbology(),
                                              QRectF(box.topLeft() * scale, box.size() * scale), number, dpi);
        QVERIFY(bars.size() > 10);
        QPainter painter(&image);
        if (damage == QLatin1String("bar")) {
            // The third bar run into the second and the fourth.
            painter.fillRect(QRectF(bars[1].left() - origin.x(), 0, bars[3].right() - bars[1].left(), image.height()),
                             Qt::black);
        } else {
            const qreal narrow = sound.narrowDots * damage.section(u' ', 1).toDouble();
            painter.fillRect(QRectF(std::floor(bars.first().left() - origin.x() - narrow) - 1, 0, 1, image.height()),
                             Qt::black);
        }
    }
    const LabelReading reading = readLabelImage(image, m_form->QRLabelBC->symbology());
    QCOMPARE(::labelFault(reading, QString::fromLatin1(number)), fault);
}

// The whole job read back: the failing labels by their places, in the
// status line's words.
void TestPrnBarcod::checkListsFailingLabels()
{
    m_form->QuickRep1->setStartPosition(15);
    const ReportLayout pages = layOut(-1, 2);
    LabelCheck check;
    QSignalSpy progressed(&check, &LabelCheck::progressed);
    check.start(pages, 300);
    QVERIFY(check.running());
    QVERIFY(progressed.wait(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!check.running(), 10000);
    QCOMPARE(check.checked(), 4);
    // The label for -1 has no bars; the one after it, for 0, reads.
    QCOMPARE(check.faults().size(), 1);
    QCOMPARE(check.summary(),
             QStringLiteral("проверено 4 наклеек, ошибок 1: стр. 1, столбец 1, ряд 15: штрих-код не читается"));
}

void TestPrnBarcod::negativeNumberPrintsFrameAndMarkOnly()
{
    const ReportLayout pages = layOut(-1, 0);
    const QList<PlacedBand> labels = bandsOf(pages[0], ReportBand::Detail);
    QCOMPARE(labels.size(), 2);
    constexpr qreal dpi = 300;
    const QImage sheet = m_form->QuickRep1->pageImage(pages[0], dpi);

    const PlacedBand &negative = labels[0];
    QVERIFY(!anyDark(sheet, toPixels(negative.labelRect(QStringLiteral("QRLabelBC")), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(negative.labelRect(QStringLiteral("QRLabelBCC")), dpi)));
    QVERIFY(anyDark(sheet, toPixels(negative.labelRect(QStringLiteral("QRLabelME")), dpi)));
    const QRectF band = negative.rect;
    QVERIFY(anyDark(sheet, toPixels(QRectF(band.left() - 0.1, band.center().y(), 0.2, 0.2), dpi)));
    QVERIFY(anyDark(sheet, toPixels(QRectF(band.center().x(), band.bottom() - 0.1, 0.2, 0.2), dpi)));

    // The label after it, for zero, carries its bars.
    QVERIFY(anyDark(sheet, toPixels(labels[1].labelRect(QStringLiteral("QRLabelBC")), dpi)));
}

void TestPrnBarcod::markHeld_data()
{
    QTest::addColumn<QString>("mark");
    QTest::addColumn<bool>("held");
    QTest::newRow("a word") << QStringLiteral("Абонемент") << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("27 narrow letters") << QString(27, u'i') << true;
    QTest::newRow("23 capitals") << QString(23, u'Н') << true;
    QTest::newRow("24 capitals") << QString(24, u'Н') << false;
    QTest::newRow("27 wide capitals") << QString(27, u'Ш') << false;
    QTest::newRow("27 in capitals and blanks, on two lines") << QStringLiteral("ШКОЛЬНЫЙ ФОНД ЖУРНАЛОВ МОДЫ") << false;
}

void TestPrnBarcod::markHeld()
{
    QFETCH(QString, mark);
    QFETCH(bool, held);
    const ReportLabel *label = m_form->QRLabelME;
    QCOMPARE(label->holds(mark), held);
    // Held means painted whole: the label's box paints the same as a box
    // three times as wide and tall around it, where nothing is cut.
    constexpr qreal dpi = 600;
    auto painted = [&](qreal growth) {
        QImage image(toPixels(QRectF(0, 0, 200, 30), dpi).size(), QImage::Format_RGB32);
        image.setDotsPerMeterX(qRound(dpi / 25.4 * 1000));
        image.setDotsPerMeterY(qRound(dpi / 25.4 * 1000));
        image.fill(Qt::white);
        QPainter painter(&image);
        const QSizeF size = label->geometry().size();
        const QRectF box(100 - size.width() * growth / 2, 5, size.width() * growth, size.height() * growth);
        label->paint(painter, QRectF(toPixels(box, dpi)), mark);
        return image;
    };
    QCOMPARE(painted(1) == painted(3), held);
}

void TestPrnBarcod::paintedAtTrueSize_data()
{
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<QPointF>("applied");

    QTest::newRow("no offset") << QPointF(0, 0) << QPointF(0, 0);
    QTest::newRow("right and up") << QPointF(1.5, -2.04) << QPointF(1.5, -2.0);
    QTest::newRow("left and down") << QPointF(-3.25, 0.75) << QPointF(-3.3, 0.8);
    QTest::newRow("beyond ten millimetres") << QPointF(25, -40) << QPointF(10, -10);
    QTest::newRow("not a number") << QPointF(qQNaN(), 4) << QPointF(0, 4);
}

void TestPrnBarcod::paintedAtTrueSize()
{
    QFETCH(QPointF, offset);
    QFETCH(QPointF, applied);

    m_form->QuickRep1->setOffset(offset);
    QCOMPARE(m_form->QuickRep1->offset(), applied);
    const qreal dx = applied.x();
    const qreal dy = applied.y();
    const ReportLayout pages = layOut(1, 1);
    constexpr qreal dpi = 300;
    const QImage sheet = m_form->QuickRep1->pageImage(pages[0], dpi);
    QCOMPARE(sheet.size(), QSize(2480, 3508));

    // The frame of the first label runs along the 5 mm margin, moved by the
    // offset with everything else, and nothing lies outside it.
    QVERIFY(anyDark(sheet, toPixels(QRectF(dx + 4.9, dy + 10, 0.2, 0.2), dpi)));
    QVERIFY(anyDark(sheet, toPixels(QRectF(dx + 5 + 48.5 - 0.1, dy + 10, 0.2, 0.2), dpi)));
    QVERIFY(anyDark(sheet, toPixels(QRectF(dx + 20, dy + 5 + labelHeight - 0.1, 0.2, 0.2), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(0, 0, 210, dy + 4.8), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(0, 0, dx + 4.8, 280), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(dx + 5 + 48.5 + 0.2, 0, 100, 280), dpi)));
    // The footer text sits in its band at the foot of the page.
    QVERIFY(anyDark(sheet, toPixels(QRectF(dx + 5, dy + 285.5, 18, 5), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(dx + 5, dy + 292.2, 100, 4.6 - dy), dpi)));
}

void TestPrnBarcod::footerOnOneLineOnEveryPage()
{
    // 10,000 labels: 167 pages, whose numbers end in every digit.
    const QString fileName = m_dir->filePath(QStringLiteral("run.pdf"));
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 10000;
    m_form->QRLabelME->setCaption(QStringLiteral("абонемент"));
    QVERIFY(m_form->QuickRep1->exportPdf(fileName));
    QCOMPARE(pdfPages(fileName), 167);

    const QStringList pageTexts = runTool(QStringLiteral("pdftotext"), {fileName, QStringLiteral("-")}).split(u'\f');
    QVERIFY(pageTexts.size() >= 167);
    for (int p = 0; p < 167; ++p) {
        QStringList footerLines;
        for (const QString &line : pageTexts[p].split(u'\n')) {
            if (line.contains(QStringLiteral("страница")))
                footerLines.append(line.trimmed());
        }
        QCOMPARE(footerLines, QStringList{QStringLiteral("страница № %1").arg(p + 1)});
    }

    // Every glyph of every footer inside its band and the page: the words
    // with their boxes, in points from the page's top-left corner.
    const QString boxes
        = runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), fileName, QStringLiteral("-")});
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    constexpr qreal pt = 72 / 25.4;
    int page = 0;
    int footerWords = 0;
    for (const QString &chunk : boxes.split(QStringLiteral("<page "))) {
        if (!chunk.startsWith(QStringLiteral("width")))
            continue;
        ++page;
        const QString number = QString::number(page);
        auto it = word.globalMatch(chunk);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(5) != QStringLiteral("страница") && m.captured(5) != QStringLiteral("№")
                && !(m.captured(5) == number && m.captured(2).toDouble() > 280 * pt))
                continue;
            ++footerWords;
            const QString where = QStringLiteral("page %1, %2").arg(page).arg(m.captured(5));
            QVERIFY2(m.captured(1).toDouble() >= 5 * pt - 0.5, qPrintable(where));
            QVERIFY2(m.captured(3).toDouble() <= 205 * pt, qPrintable(where));
            QVERIFY2(m.captured(2).toDouble() >= (297 - 5 - 6.615) * pt - 0.5, qPrintable(where));
            QVERIFY2(m.captured(4).toDouble() <= (297 - 5) * pt + 0.5, qPrintable(where));
        }
    }
    QCOMPARE(page, 167);
    QCOMPARE(footerWords, 3 * 167);
}

void TestPrnBarcod::exportPdf()
{
    const QString fileName = m_dir->filePath(QStringLiteral("sheet.pdf"));
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 61;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    QVERIFY(m_form->QuickRep1->exportPdf(fileName));
    QCOMPARE(pdfPages(fileName), 2);
    const QString info = runTool(QStringLiteral("pdfinfo"), {fileName});
    QVERIFY2(info.contains(QStringLiteral("(A4)")), qPrintable(info));
    const QStringList text = pdfLines(fileName);
    QVERIFY(text.contains(QStringLiteral("страница№2")));
    QVERIFY(text.contains(QStringLiteral("0000000061")));
    QVERIFY(text.contains(QStringLiteral("A-1")));

    // The file itself, printed at 300 dpi, scans: every label of page 1.
    const QString raster = m_dir->filePath(QStringLiteral("page"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), QStringLiteral("-singlefile"), fileName,
             raster});
    QStringList decoded = runTool(QStringLiteral("zbarimg"),
                                  {QStringLiteral("--raw"), QStringLiteral("-q"), raster + QStringLiteral(".png")})
                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    decoded.sort();
    QStringList expected;
    for (qint32 number = 1; number <= 60; ++number)
        expected.append(QString::fromLatin1(ZeroPad(number, 10)));
    QCOMPARE(decoded, expected);

    QVERIFY(!m_form->QuickRep1->exportPdf(m_dir->filePath(QStringLiteral("missing/sheet.pdf"))));
}

void TestPrnBarcod::defaultSheetPdfUnchanged()
{
    // The PDF writer numbers its fonts in an order that follows the
    // process's hash seed and the fonts it met before: made in a process
    // of its own, with a fixed seed.
    if (qEnvironmentVariable("QT_HASH_SEED") != QStringLiteral("0")) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_HASH_SEED"), QStringLiteral("0"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("defaultSheetPdfUnchanged")});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, child.readAll().constData());
        return;
    }
    // The sheet as it always was: three pages, byte for byte.
    const QString fileName = m_dir->filePath(QStringLiteral("default.pdf"));
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 130;
    m_form->QRLabelME->setCaption(QStringLiteral("фонд 7"));
    QVERIFY(m_form->QuickRep1->exportPdf(fileName));
    const QByteArray made = timelessPdf(fileName);
    QFile golden(QStringLiteral(TEST_DATA_DIR "/report/default-sheet.pdf"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    const QByteArray kept = golden.readAll();
    qsizetype differs = 0;
    while (differs < qMin(made.size(), kept.size()) && made[differs] == kept[differs])
        ++differs;
    QVERIFY2(made == kept,
             qPrintable(QStringLiteral("first difference at byte %1 of %2 (kept %3)")
                            .arg(differs)
                            .arg(made.size())
                            .arg(kept.size())));
}

void TestPrnBarcod::settingsRead_data()
{
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QPointF>("offset");

    QTest::newRow("missing") << QString() << QString() << QPointF(0, 0);
    // clang-format off
    QTest::newRow("tenths") << "1.5" << "-2.3" << QPointF(1.5, -2.3);
    QTest::newRow("hundredths rounded") << "0.26" << "-9.94" << QPointF(0.3, -9.9);
    QTest::newRow("beyond the range") << "25" << "-10.01" << QPointF(10, -10);
    QTest::newRow("not a number") << "abc" << "nan" << QPointF(0, 0);
    QTest::newRow("decimal comma") << "1,5" << "2" << QPointF(0, 2);
    // clang-format on
}

void TestPrnBarcod::settingsRead()
{
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QPointF, offset);

    if (!x.isNull()) {
        QSettings store(registryFileName("Software\\Tovi\\Vesko Mika"), QSettings::IniFormat);
        store.setValue(QStringLiteral("labels/offset x"), x);
        store.setValue(QStringLiteral("labels/offset y"), y);
    }
    QCOMPARE(readLabelSettings().offsetMm, offset);
    m_form->QuickRep1->setStartPosition(30);
    m_form->readSettings();
    QCOMPARE(m_form->QuickRep1->offset(), offset);
    // Every preview from the tab starts on a fresh sheet.
    QCOMPARE(m_form->QuickRep1->startPosition(), 1);
}

void TestPrnBarcod::settingsWrittenAlone()
{
    const QString fileName = registryFileName("Software\\Tovi\\Vesko Mika");
    {
        QSettings store(fileName, QSettings::IniFormat);
        store.setValue(QStringLiteral("last login"), QByteArray("\xcf\xe5\xf2\xf0"));
        store.setValue(QStringLiteral("other/key"), 7);
    }
    writeLabelOffset(QPointF(-1.2, 3.4));
    writeLabelPrinter(QStringLiteral("Склад A4"), QStringLiteral("Tray2"));
    const LabelSettings settings = readLabelSettings();
    QCOMPARE(settings.offsetMm, QPointF(-1.2, 3.4));
    QCOMPARE(settings.printerName, QStringLiteral("Склад A4"));
    QCOMPARE(settings.paperSource, QStringLiteral("Tray2"));
    // The rest of the file is left as it was.
    QCOMPARE(ReadRegistryText(HKEY_CURRENT_USER, "Software\\Tovi\\Vesko Mika", "last login"),
             QByteArray("\xcf\xe5\xf2\xf0"));
    QSettings store(fileName, QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("other/key")).toInt(), 7);
    QCOMPARE(store.allKeys().size(), 6);
    QCOMPARE(store.value(QStringLiteral("labels/offset x")).toString(), QStringLiteral("-1.2"));
    // Made readable to all by the umask, it is the user's and the group's alone once written.
    const QFileDevice::Permissions others = QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFile(fileName).permissions() & others, QFileDevice::Permissions());
    QVERIFY(QFile(fileName).permissions() & QFileDevice::WriteOwner);
}

void TestPrnBarcod::alignmentSheetOutlines_data()
{
    QTest::addColumn<QPointF>("offset");
    QTest::newRow("no offset") << QPointF(0, 0);
    QTest::newRow("right and up") << QPointF(1.5, -0.7);
    QTest::newRow("left and down") << QPointF(-2.3, 3.1);
}

void TestPrnBarcod::alignmentSheetOutlines()
{
    QFETCH(QPointF, offset);
    // The places of a full sheet of labels, as a run lays them out.
    const ReportLayout labels = layOut(1, kLabelsPerSheet);
    QCOMPARE(labels.size(), 1);
    const QList<PlacedBand> places = bandsOf(labels[0], ReportBand::Detail);
    QCOMPARE(m_form->QuickRep1->positionsPerPage(), kLabelsPerSheet);

    m_form->QuickRep1->setOffset(offset);
    const ReportPage sheet = m_form->QuickRep1->alignmentPage();
    QVERIFY(sheet.alignment);
    QCOMPARE(sheet.bands.size(), places.size());
    constexpr qreal dpi = 600;
    const QImage image = m_form->QuickRep1->pageImage(sheet, dpi);
    constexpr qreal tolerance = 0.2;
    constexpr qreal window = 0.6;
    for (qsizetype i = 0; i < places.size(); ++i) {
        QVERIFY(nearRect(sheet.bands[i].rect, places[i].rect));
        // Each edge read back from the picture, moved by the offset, across
        // a point between two ruler ticks.
        const QRectF cell = places[i].rect.translated(offset);
        const qreal midX = std::floor(places[i].rect.center().x()) + 0.5 + offset.x();
        const qreal midY = std::floor(places[i].rect.center().y()) + 0.5 + offset.y();
        const struct {
            const char *edge;
            QPointF from;
            QPointF to;
        } scans[] = {
            {"left", {cell.left() - window, midY}, {cell.left() + window, midY}},
            {"right", {cell.right() - window, midY}, {cell.right() + window, midY}},
            {"top", {midX, cell.top() - window}, {midX, cell.top() + window}},
            {"bottom", {midX, cell.bottom() - window}, {midX, cell.bottom() + window}},
        };
        for (const auto &scan : scans) {
            const qreal found = lineAcross(image, dpi, scan.from, scan.to);
            const QString where = QStringLiteral("place %1, %2 edge at %3")
                                      .arg(i + 1)
                                      .arg(QLatin1String(scan.edge))
                                      .arg(found - window);
            QVERIFY2(found >= 0 && qAbs(found - window) <= tolerance, qPrintable(where));
        }
        // Its number in the middle, and a clear band between it and the
        // outline's foot.
        QVERIFY2(anyDark(image, toPixels(QRectF(cell.center() - QPointF(3, 2), QSizeF(6, 4)), dpi)),
                 qPrintable(QStringLiteral("number %1").arg(i + 1)));
        QVERIFY(!anyDark(image, toPixels(QRectF(cell.left() + 8, cell.bottom() - 4, cell.width() - 16, 3.5), dpi)));
    }
    // The rulers: a long tick every centimetre from the paper's corner.
    QVERIFY(lineAcross(image, dpi, QPointF(99.5, 7) + offset, QPointF(100.5, 7) + offset) >= 0);
    QVERIFY(lineAcross(image, dpi, QPointF(5.5, 99.5) + offset, QPointF(5.5, 100.5) + offset) >= 0);
}

QTEST_MAIN(TestPrnBarcod)
#include "tst_prnbarcod.moc"
