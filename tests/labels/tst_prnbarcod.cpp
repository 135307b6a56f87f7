#include "modal.h"
#include "pagescan.h"

#include "db/platform.h"
#include "db/utilites.h"
#include "dialogs/uiplatform.h"
#include "labels/bandreport.h"
#include "labels/code39.h"
#include "labels/labeldata.h"
#include "labels/labelpreview.h"
#include "labels/labelsettings.h"
#include "labels/prnbarcod.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <limits>
#include <memory>
#include <zint.h>

namespace {

constexpr qint32 maxInt = std::numeric_limits<qint32>::max();
constexpr qreal labelHeight = 18.256;
constexpr qreal columnStep = 48.5 + 2;

bool nearRect(const QRectF &a, const QRectF &b)
{
    constexpr qreal tolerance = 1e-6;
    return qAbs(a.x() - b.x()) < tolerance && qAbs(a.y() - b.y()) < tolerance && qAbs(a.width() - b.width()) < tolerance
        && qAbs(a.height() - b.height()) < tolerance;
}

QList<PlacedBand> bandsOf(const ReportPage &page, ReportBand::Kind kind)
{
    QList<PlacedBand> found;
    for (const PlacedBand &band : page.bands) {
        if (band.band->kind() == kind)
            found.append(band);
    }
    return found;
}

QStringList footers(const ReportLayout &pages)
{
    QStringList texts;
    for (const ReportPage &page : pages) {
        for (const PlacedBand &band : bandsOf(page, ReportBand::PageFooter))
            texts.append(band.caption(QStringLiteral("QRLabelSN")));
    }
    return texts;
}

QStringList barcodes(const ReportLayout &pages)
{
    QStringList texts;
    for (const ReportPage &page : pages) {
        for (const PlacedBand &band : bandsOf(page, ReportBand::Detail))
            texts.append(band.caption(QStringLiteral("QRLabelBC")));
    }
    return texts;
}

int pdfPages(const QString &fileName)
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
QStringList pdfLines(const QString &fileName)
{
    QString text = runTool(QStringLiteral("pdftotext"), {fileName, QStringLiteral("-")});
    text.remove(QLatin1Char(' '));
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Calls action on the first modal window that appears.
void whenModal(const std::function<void(QWidget *)> &action)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
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

} // namespace

class TestPrnBarcod : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
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
    void negativeNumberPrintsFrameAndMarkOnly();
    void markHeld_data();
    void markHeld();
    void paintedAtTrueSize_data();
    void paintedAtTrueSize();
    void footerOnOneLineOnEveryPage();
    void exportPdf();
    void previewSavesPdf_data();
    void previewSavesPdf();
    void settingsRead_data();
    void settingsRead();
    void settingsWrittenAlone();
    void previewControlsReachThePdf();
    void previewShortcuts_data();
    void previewShortcuts();
    void previewCommandsReachable_data();
    void previewCommandsReachable();
    void longPreviewCanBeStopped();
    void alignmentSheetOutlines_data();
    void alignmentSheetOutlines();
    void alignmentSheetFromThePreview();

private:
    ReportLayout layOut(qint32 start, qint32 end, const QString &mark = QStringLiteral("A-1"));

    TFormBC *m_form = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_registry;
    decltype(platform::saveFileName) m_saveFileName;
    decltype(platform::showError) m_showError;
};

void TestPrnBarcod::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_saveFileName = platform::saveFileName;
    m_showError = platform::showError;
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
    platform::saveFileName = m_saveFileName;
    platform::showError = m_showError;
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

    // Printing from the preview is one more run of the same job.
    const QString fileName = m_dir->filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    m_form->QuickRep1->print(&printer);
    QCOMPARE(pdfPages(fileName), 2);
    const QStringList text = pdfLines(fileName);
    QVERIFY(text.contains(QStringLiteral("страница№1")));
    QVERIFY(text.contains(QStringLiteral("0000000001")));
    QVERIFY(text.contains(QStringLiteral("0000000061")));

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

    QTest::newRow("first sheet at 300 dpi") << 1 << 60 << 300.0;
    QTest::newRow("top of the range at 300 dpi") << maxInt - 47 << maxInt << 300.0;
    QTest::newRow("mixed digits at 600 dpi") << 1234567880 << 1234567899 << 600.0;
    QTest::newRow("first sheet at 200 dpi") << 1 << 60 << 200.0;
    QTest::newRow("top of the range at 200 dpi") << maxInt - 59 << maxInt << 200.0;
    QTest::newRow("top of the range at 600 dpi") << maxInt - 59 << maxInt << 600.0;
}

void TestPrnBarcod::scansAtPrinterResolution()
{
    QFETCH(qint32, start);
    QFETCH(qint32, end);
    QFETCH(qreal, dpi);

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
        expected.append(label.caption(QStringLiteral("QRLabelBC")));
    }
    QCOMPARE(expected.size(), qsizetype(end - start + 1));

    const QString decoded
        = runTool(QStringLiteral("zbarimg"), QStringList{QStringLiteral("--raw"), QStringLiteral("-q")} + files);
    QCOMPARE(decoded.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
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

void TestPrnBarcod::previewSavesPdf_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("errorShown");

    // clang-format off
    QTest::newRow("name without suffix") << "sheet" << "sheet.pdf" << false;
    QTest::newRow("name with suffix") << "labels.pdf" << "labels.pdf" << false;
    QTest::newRow("cancelled") << "" << "" << false;
    QTest::newRow("folder missing") << "missing/sheet.pdf" << "" << true;
    // clang-format on
}

void TestPrnBarcod::previewSavesPdf()
{
    QFETCH(QString, answer);
    QFETCH(QString, written);
    QFETCH(bool, errorShown);

    bool askedOverPreview = false;
    platform::saveFileName = [&](QWidget *parent, const QString &, const QString &) {
        askedOverPreview = qobject_cast<TFormPreview *>(parent) != nullptr;
        return answer.isEmpty() ? QString() : m_dir->filePath(answer);
    };
    QString error;
    platform::showError = [&](QWidget *, const QString &text) { error = text; };

    bool saved = false;
    whenModal([&](QWidget *modal) {
        auto *preview = qobject_cast<TFormPreview *>(modal);
        if (preview) {
            if (QAction *save = preview->findChild<QAction *>(QStringLiteral("ActionSavePdf"))) {
                QCOMPARE(save->text(), QStringLiteral("сохранить в PDF"));
                save->trigger();
                saved = true;
            }
        }
        modal->close();
    });
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 61;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    m_form->QuickRep1->Preview();

    QVERIFY(saved);
    QVERIFY(askedOverPreview);
    QCOMPARE(!error.isEmpty(), errorShown);
    QCOMPARE(m_form->CurrentNumber, 1);
    if (written.isEmpty()) {
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
        return;
    }
    const QString fileName = m_dir->filePath(written);
    QCOMPARE(pdfPages(fileName), 2);
    // The preview ran the report before the save did; the save starts afresh.
    const QStringList text = pdfLines(fileName);
    QVERIFY(text.contains(QStringLiteral("страница№1")));
    QVERIFY(text.contains(QStringLiteral("страница№2")));
    QVERIFY(!text.contains(QStringLiteral("страница№3")));
    QVERIFY(text.contains(QStringLiteral("0000000001")));
    QVERIFY(text.contains(QStringLiteral("0000000061")));
    QVERIFY(!text.contains(QStringLiteral("0000000062")));
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

void TestPrnBarcod::previewControlsReachThePdf()
{
    const QString fileName = m_dir->filePath(QStringLiteral("used.pdf"));
    platform::saveFileName = [&](QWidget *, const QString &, const QString &) { return fileName; };
    QString place;
    whenModal([&](QWidget *modal) {
        auto *start = modal->findChild<QSpinBox *>(QStringLiteral("SpinStart"));
        auto *offsetX = modal->findChild<QDoubleSpinBox *>(QStringLiteral("SpinOffsetX"));
        auto *offsetY = modal->findChild<QDoubleSpinBox *>(QStringLiteral("SpinOffsetY"));
        QAction *save = modal->findChild<QAction *>(QStringLiteral("ActionSavePdf"));
        if (start && offsetX && offsetY && save) {
            QCOMPARE(start->maximum(), 60);
            start->setValue(18);
            place = modal->findChild<QLabel *>(QStringLiteral("LabelStartPlace"))->text();
            offsetX->setValue(2.5);
            offsetY->setValue(-1.0);
            save->trigger();
        }
        modal->close();
    });
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 2;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    m_form->QuickRep1->Preview();

    QCOMPARE(place, QStringLiteral("(столбец 2, ряд 3)"));
    // The offset is kept for the user.
    QCOMPARE(readLabelSettings().offsetMm, QPointF(2.5, -1.0));
    // Labels 1 and 2 in places 18 and 19: the second column, rows 3 and 4,
    // moved 2.5 mm right and 1 mm up.
    const QString raster = m_dir->filePath(QStringLiteral("used"));
    runTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
             fileName, raster});
    const QImage sheet(raster + QStringLiteral(".png"));
    QVERIFY(!sheet.isNull());
    constexpr qreal dpi = 300;
    const QRectF third(5 + columnStep + 2.5, 5 + 2 * labelHeight - 1.0, 48.5, labelHeight);
    QVERIFY(anyDark(sheet, toPixels(QRectF(third.left() - 0.1, third.center().y(), 0.2, 0.2), dpi)));
    QVERIFY(anyDark(sheet, toPixels(QRectF(third.center().x(), third.top() - 0.1, 0.2, 0.2), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(0, 0, 210, third.top() - 0.3), dpi)));
    QVERIFY(!anyDark(sheet, toPixels(QRectF(0, 0, third.left() - 0.3, 280), dpi)));
    const QStringList decoded
        = runTool(QStringLiteral("zbarimg"),
                  {QStringLiteral("--raw"), QStringLiteral("-q"), raster + QStringLiteral(".png")})
              .split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(decoded.size(), 2);
}

void TestPrnBarcod::previewShortcuts_data()
{
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<QString>("effect");
    QTest::newRow("Ctrl+P: the print dialog") << QKeyCombination(Qt::CTRL, Qt::Key_P) << QStringLiteral("print dialog");
    QTest::newRow("Ctrl+S: a PDF file name asked")
        << QKeyCombination(Qt::CTRL, Qt::Key_S) << QStringLiteral("file name");
    QTest::newRow("Ctrl+T: the test sheet") << QKeyCombination(Qt::CTRL, Qt::Key_T) << QStringLiteral("test sheet");
    QTest::newRow("Enter: the print dialog") << QKeyCombination(Qt::Key_Return) << QStringLiteral("print dialog");
    QTest::newRow("Esc: closed") << QKeyCombination(Qt::Key_Escape) << QStringLiteral("closed");
}

void TestPrnBarcod::previewShortcuts()
{
    QFETCH(QKeyCombination, key);
    QFETCH(QString, effect);
    QStringList effects;
    platform::saveFileName = [&](QWidget *, const QString &, const QString &) {
        effects << QStringLiteral("file name");
        return QString();
    };
    bool pressed = false;
    ModalAnswerer answer([&](QWidget *modal) {
        auto *preview = qobject_cast<TFormPreview *>(modal);
        if (!preview) {
            if (qobject_cast<QPrintDialog *>(modal))
                effects << QStringLiteral("print dialog");
            modal->close();
            return;
        }
        // Back from the print dialog: the key was pressed already.
        if (pressed)
            return;
        pressed = true;
        // Pressed where the preview puts the focus; a dialog the key opens
        // is answered before this returns.
        QTimer::singleShot(0, preview, [&, preview] {
            QTest::keyClick(preview->focusWidget(), key.key(), key.keyboardModifiers());
            if (preview->ActionAlignmentSheet->isChecked() && !preview->SpinStart->isEnabled())
                effects << QStringLiteral("test sheet");
            if (preview->isVisible())
                preview->close();
            else
                effects << QStringLiteral("closed");
        });
    });
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 2;
    m_form->QuickRep1->Preview();
    QVERIFY(pressed);
    QCOMPARE(effects, QStringList{effect});
    QVERIFY(!m_form->QuickRep1->alignmentSheet());
}

void TestPrnBarcod::previewCommandsReachable_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QSize>("screen");
    QTest::newRow("2x on 1366x768") << QStringLiteral("2") << QSize(1366, 768);
    QTest::newRow("1.5x on 1366x768") << QStringLiteral("1.5") << QSize(1366, 768);
    QTest::newRow("1x on 1024x600") << QStringLiteral("1") << QSize(1024, 600);
}

void TestPrnBarcod::previewCommandsReachable()
{
    QFETCH(QString, scale);
    QFETCH(QSize, screen);
    // The scale and the screen are fixed when a program starts: the row
    // runs again in a program of its own on such a screen.
    const QString name = QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height());
    if (QGuiApplication::primaryScreen()->name() != name || qEnvironmentVariable("QT_SCALE_FACTOR") != scale) {
        const QString config = m_dir->filePath(QStringLiteral("screen.json"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("{\"screens\": [{\"name\": \"%1\", \"x\": 0, \"y\": 0, \"width\": %2, "
                                  "\"height\": %3, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                       .arg(name)
                       .arg(screen.width())
                       .arg(screen.height())
                       .toUtf8());
        file.close();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("previewCommandsReachable:") + QString::fromUtf8(QTest::currentDataTag())});
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromUtf8(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QLatin1String("Totals: 3 passed, 0 failed")), qPrintable(output));
        return;
    }
    // Every command on a button inside the window, the window on the
    // screen, and Tab round the window from the print command reaches
    // every command that is on. Names, as the widgets go with the window.
    QStringList outside;
    QStringList reached;
    QStringList commands;
    ModalAnswerer answer([&](QWidget *modal) {
        auto *preview = qobject_cast<TFormPreview *>(modal);
        if (!preview) {
            modal->close();
            return;
        }
        if (!preview->screen()->availableGeometry().contains(preview->frameGeometry()))
            outside << QStringLiteral("the window");
        QList<QWidget *> carriers{preview->SpinStart, preview->SpinOffsetX, preview->SpinOffsetY};
        for (QToolButton *button : preview->findChildren<QToolButton *>()) {
            if (preview->actions().contains(button->defaultAction()))
                carriers.append(button);
        }
        if (carriers.size() != 3 + preview->actions().size())
            outside << QStringLiteral("a command without its button");
        for (QWidget *carrier : std::as_const(carriers)) {
            const QRect place(carrier->mapTo(preview, QPoint()), carrier->size());
            if (!carrier->isVisibleTo(preview) || !preview->rect().contains(place))
                outside << carrier->objectName();
            // The button to the page before is off on the first page.
            if (carrier->isEnabled())
                commands << carrier->objectName();
        }
        QWidget *first = preview->focusWidget();
        reached << first->objectName();
        for (int presses = 0; presses < 40; ++presses) {
            QTest::keyClick(preview->focusWidget(), Qt::Key_Tab);
            if (preview->focusWidget() == first)
                break;
            reached << preview->focusWidget()->objectName();
        }
        preview->close();
    });
    // Two pages: the next page's button is on.
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 61;
    m_form->QuickRep1->Preview();
    QCOMPARE(answer.count(), 1);
    QCOMPARE(outside, QStringList());
    QCOMPARE(reached.value(0), QStringLiteral("ButtonPrint"));
    QCOMPARE(commands.size(), 3 + 3 + 4 + 1 + 1);
    for (const QString &command : std::as_const(commands))
        QVERIFY2(reached.contains(command), qPrintable(command));
}

void TestPrnBarcod::longPreviewCanBeStopped()
{
    bool stopped = false;
    ModalAnswerer answer([&](QWidget *modal) {
        if (auto *progress = qobject_cast<QProgressDialog *>(modal)) {
            QVERIFY(progress->labelText().contains(QStringLiteral(" из 300")));
            progress->cancel();
            stopped = true;
        } else {
            modal->close();
        }
    });
    // 300 pages take some seconds to make; the preview closes when stopped.
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 18000;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    m_form->QuickRep1->Preview();
    QVERIFY(stopped);
    QCOMPARE(m_form->CurrentNumber, 1);
    QCOMPARE(m_form->LastNumber, 18000);
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

void TestPrnBarcod::alignmentSheetFromThePreview()
{
    const QString fileName = m_dir->filePath(QStringLiteral("alignment.pdf"));
    platform::saveFileName = [&](QWidget *, const QString &, const QString &) { return fileName; };
    bool startDisabled = false;
    whenModal([&](QWidget *modal) {
        auto *start = modal->findChild<QSpinBox *>(QStringLiteral("SpinStart"));
        QAction *alignment = modal->findChild<QAction *>(QStringLiteral("ActionAlignmentSheet"));
        QAction *save = modal->findChild<QAction *>(QStringLiteral("ActionSavePdf"));
        if (start && alignment && save) {
            modal->findChild<QDoubleSpinBox *>(QStringLiteral("SpinOffsetX"))->setValue(1.5);
            alignment->trigger();
            startDisabled = !start->isEnabled();
            save->trigger();
        }
        modal->close();
    });
    // A range of two pages: the sheet is one page whatever the range.
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 61;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    m_form->QuickRep1->Preview();

    QVERIFY(startDisabled);
    QCOMPARE(pdfPages(fileName), 1);
    const QStringList text = pdfLines(fileName);
    const QString all = text.join(u' ');
    QVERIFY2(all.contains(QStringLiteral("пробныйлист")), qPrintable(all));
    // Every place numbered, no label and no page footer.
    for (int place = 1; place <= kLabelsPerSheet; ++place)
        QVERIFY2(text.contains(QString::number(place)), qPrintable(QString::number(place)));
    QVERIFY(!all.contains(QStringLiteral("0000000001")));
    QVERIFY(!all.contains(QStringLiteral("страница")));
    // Saved with the offset in force, and said on the sheet.
    QVERIFY2(all.contains(QStringLiteral("вправо1,5мм")), qPrintable(all));
    // The next preview, print or export makes labels again.
    QVERIFY(!m_form->QuickRep1->alignmentSheet());
    QVERIFY(m_form->QuickRep1->exportPdf(fileName));
    QCOMPARE(pdfPages(fileName), 2);
    QCOMPARE(m_form->CurrentNumber, 1);
}

QTEST_MAIN(TestPrnBarcod)
#include "tst_prnbarcod.moc"
