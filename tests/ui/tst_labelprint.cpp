// The label sheet through the real print path: the preview's print command,
// Qt's print dialog, a CUPS scheduler and a PDF printer queue, and the sheet
// that comes out scanned and measured.

#include "modal.h"
#include "pagescan.h"
#include "privatecups.h"

#include "base/platform.h"
#include "base/settings.h"
#include "labels/labelsettings.h"
#include "labels/sheetproducts.h"
#include "labels/usedcells.h"
#include "report/bandreport.h"
#include "report/code39.h"
#include "report/prnbarcod.h"
#include "ui/labelpreview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPrintDialog>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <cmath>

namespace {

constexpr qreal scanDpi = 300;
constexpr qreal printerDpi = 1200;

// The printed bars inside a window (pixels): their left and right edges from
// the rows of window, and their top edge; an empty rectangle if none.
QRectF measuredBars(const QImage &image, const QRect &window, const QRect &topWindow)
{
    int left = INT_MAX;
    int right = -1;
    for (int y = window.top(); y <= window.bottom(); ++y) {
        for (int x = window.left(); x <= window.right(); ++x) {
            if (dark(image, x, y)) {
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    if (right < 0)
        return QRectF();
    int top = -1;
    for (int y = topWindow.top(); y <= topWindow.bottom() && top < 0; ++y) {
        for (int x = left; x <= right; ++x) {
            if (dark(image, x, y)) {
                top = y;
                break;
            }
        }
    }
    const qreal mm = 25.4 / scanDpi;
    return QRectF(left * mm, top * mm, (right + 1 - left) * mm, 1);
}

} // namespace

class TestLabelPrint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void printedThroughCups_data();
    void printedThroughCups();

private:
    PrivateCups m_cups;
    QTemporaryDir m_registry;
    std::unique_ptr<TFormBC> m_form;
    int m_printed = 0;
};

void TestLabelPrint::initTestCase()
{
    platform::registryFolder = [this] { return m_registry.path(); };
    QString error;
    QVERIFY2(m_cups.start(&error), qPrintable(error));
    qInfo("cupsd on %s, %s", qPrintable(m_cups.server()),
          m_cups.userNamespace() ? "root in a user namespace (nobody outside)" : "real root in a mount namespace");
}

void TestLabelPrint::cleanupTestCase()
{
    m_cups.stop();
}

void TestLabelPrint::init()
{
    QFile::remove(registryFileName("Software\\Tovi\\Vesko Mika"));
    m_form = std::make_unique<TFormBC>();
    FormBC = m_form.get();
}

void TestLabelPrint::cleanup()
{
    FormBC = nullptr;
    m_form.reset();
}

void TestLabelPrint::printedThroughCups_data()
{
    QTest::addColumn<qint32>("start");
    QTest::addColumn<qint32>("end");
    QTest::addColumn<int>("startPosition");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<QString>("savedPrinter");
    QTest::addColumn<QString>("savedSource");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("product");

    QTest::newRow("two pages on the default queue")
        << 1 << 64 << 1 << QPointF() << QString() << QString() << 2 << QString();
    QTest::newRow("used sheet, shifted, tray 2 kept")
        << 7000 << 7049 << 17 << QPointF(1.5, -2.0) << QStringLiteral("sheets") << QStringLiteral("Tray2") << 2
        << QString();
    QTest::newRow("last label free, shifted left and down")
        << 90 << 91 << 60 << QPointF(-2.5, 3.1) << QStringLiteral("sheets") << QString() << 2 << QString();
    QTest::newRow("printer gone, its tray dropped")
        << 5 << 5 << 1 << QPointF() << QStringLiteral("retired") << QStringLiteral("Manual") << 1 << QString();
    QTest::newRow("4 x 16 stock, its free labels offered next time")
        << 300 << 349 << 1 << QPointF() << QString() << QString() << 1 << QStringLiteral("Igepa EA-483x169");
}

void TestLabelPrint::printedThroughCups()
{
    QFETCH(qint32, start);
    QFETCH(qint32, end);
    QFETCH(int, startPosition);
    QFETCH(QPointF, offset);
    QFETCH(QString, savedPrinter);
    QFETCH(QString, savedSource);
    QFETCH(int, pages);
    QFETCH(QString, product);

    if (!product.isEmpty() && !QDir(sheetCatalogueFolder()).exists())
        QSKIP("the catalogue of label products is not installed");
    writeSheetChoice(savedPrinter, product);
    writeLabelOffset(offset);
    writeLabelPrinter(savedPrinter, savedSource);
    m_form->CurrentNumber = start;
    m_form->LastNumber = end;
    m_form->QRLabelME->setCaption(QStringLiteral("фонд"));
    m_form->readSettings();
    QCOMPARE(m_form->QuickRep1->sheetId(), product);

    // As the user does it: the first free label in the preview, Ctrl+P,
    // and the print dialog's print button.
    const QString expectedPrinter = savedPrinter == QLatin1String("sheets") ? savedPrinter : QStringLiteral("labels");
    QString offeredPrinter;
    bool printed = false;
    ModalAnswerer answer([&](QWidget *modal) {
        if (auto *preview = qobject_cast<TFormPreview *>(modal)) {
            // The next preview is the next answerer's.
            if (printed)
                return;
            preview->SpinStart->setValue(startPosition);
            // Its print dialog is modal too: answered once this returns.
            QTimer::singleShot(0, preview,
                               [preview] { QTest::keyClick(preview->focusWidget(), Qt::Key_P, Qt::ControlModifier); });
        } else if (auto *dialog = qobject_cast<QPrintDialog *>(modal)) {
            if (auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers")))
                offeredPrinter = printers->currentText();
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
            printed = true;
        } else {
            modal->close();
        }
    });
    previewReport(m_form->QuickRep1);
    QVERIFY(printed);
    QCOMPARE(offeredPrinter, expectedPrinter);

    QString error;
    const QStringList output = m_cups.waitForOutput(++m_printed, &error);
    QVERIFY2(!output.isEmpty(), qPrintable(error));
    const QString pdf = output.last();

    // The printer and tray used are kept for next time; a tray the printer
    // was not chosen again with is not sent.
    const LabelSettings kept = readLabelSettings();
    QCOMPARE(kept.printerName, expectedPrinter);
    const QString usedSource = savedPrinter == expectedPrinter ? savedSource : QString();
    QCOMPARE(kept.paperSource, usedSource);
    QCOMPARE(kept.offsetMm, offset);
    const QString options = m_cups.jobOptions(m_printed);
    QVERIFY(options.contains(QLatin1String("job-uuid=")));
    QVERIFY2(usedSource.isEmpty() ? !options.contains(QLatin1String("InputSlot"))
                                  : options.contains(QStringLiteral("InputSlot=") + usedSource),
             qPrintable(options));

    const QString info = runTool(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QStringLiteral("Pages:           %1\n").arg(pages)), qPrintable(info));

    // The layout the print was made from, page by page.
    m_form->QuickRep1->setStartPosition(startPosition);
    const ReportLayout layout = m_form->QuickRep1->layOut();
    QCOMPARE(layout.size(), qsizetype(pages));
    const QString raster = QFileInfo(pdf).absolutePath() + QStringLiteral("/page");
    runTool(
        QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(scanDpi), QStringLiteral("-gray"), QStringLiteral("-png"), pdf, raster});
    int labels = 0;
    for (qsizetype p = 0; p < layout.size(); ++p) {
        const QImage image(QStringLiteral("%1-%2.png").arg(raster).arg(p + 1));
        QVERIFY(!image.isNull());
        QStringList expected;
        QStringList crops;
        for (const PlacedBand &band : layout[p].bands) {
            if (band.band->kind() != ReportBand::Detail)
                continue;
            const QString number = band.caption(QStringLiteral("QRLabelBC"));
            const QRectF box = band.labelRect(QStringLiteral("QRLabelBC"));
            // Where the bars belong: laid out at the printer's resolution,
            // then moved by the offset.
            const qreal toPrinter = printerDpi / 25.4;
            const QList<QRectF> bars = code39Bars(
                QRectF(box.x() * toPrinter, box.y() * toPrinter, box.width() * toPrinter, box.height() * toPrinter),
                number.toLatin1(), printerDpi);
            const QRectF place(bars.first().left() / toPrinter + offset.x(),
                               bars.first().top() / toPrinter + offset.y(),
                               (bars.last().right() - bars.first().left()) / toPrinter, 1);
            const QRectF shifted = box.translated(offset);
            const QRectF found = measuredBars(
                image, toPixels(QRectF(shifted.left() - 0.3, shifted.top() + 1, shifted.width() + 0.6, 8), scanDpi),
                toPixels(QRectF(shifted.left(), shifted.top() - 0.4, shifted.width(), 2), scanDpi));
            const QString where = QStringLiteral("page %1, %2: placed %3,%4 w %5, printed %6,%7 w %8")
                                      .arg(p + 1)
                                      .arg(number)
                                      .arg(place.left())
                                      .arg(place.top())
                                      .arg(place.width())
                                      .arg(found.left())
                                      .arg(found.top())
                                      .arg(found.width());
            QVERIFY2(!found.isEmpty(), qPrintable(where));
            QVERIFY2(qAbs(found.left() - place.left()) <= 0.5, qPrintable(where));
            QVERIFY2(qAbs(found.right() - place.right()) <= 0.5, qPrintable(where));
            QVERIFY2(qAbs(found.top() - place.top()) <= 0.5, qPrintable(where));

            const QString crop = QStringLiteral("%1-%2-%3.png").arg(raster).arg(p + 1).arg(number);
            QVERIFY(
                image.copy(toPixels(band.rect.translated(offset).adjusted(-0.3, -0.3, 0.3, 0.3), scanDpi)).save(crop));
            crops.append(crop);
            expected.append(number);
            ++labels;
        }
        // Every label scans back to its number.
        if (!crops.isEmpty()) {
            const QString decoded = runTool(QStringLiteral("zbarimg"),
                                            QStringList{QStringLiteral("--raw"), QStringLiteral("-q")} + crops);
            QCOMPARE(decoded.split(u'\n', Qt::SkipEmptyParts), expected);
        }
        // The used places before the start are left alone.
        if (p == 0) {
            for (int place = 0; place < startPosition - 1; ++place) {
                const QRectF used(5 + (place / 15) * 50.5, 5 + (place % 15) * 18.256, 48.5, 18.256);
                QVERIFY2(!anyDark(image, toPixels(used.translated(offset).adjusted(0.6, 0.6, -0.6, -0.6), scanDpi)),
                         qPrintable(QStringLiteral("place %1 printed on").arg(place + 1)));
            }
        }
    }
    QCOMPARE(labels, end - start + 1);

    // What the last sheet left free is kept for this printer and stock,
    // and the next preview starts there.
    if (product.isEmpty())
        return;
    QList<int> free;
    for (int place = 51; place <= 64; ++place)
        free.append(place);
    QCOMPARE(readFreeCells(expectedPrinter, product), free);
    writeLabelPrinter(expectedPrinter, QString());
    writeSheetChoice(expectedPrinter, product);
    m_form->readSettings();
    int offeredStart = 0;
    QString note;
    ModalAnswerer again([&](QWidget *modal) {
        if (auto *preview = qobject_cast<TFormPreview *>(modal)) {
            offeredStart = preview->SpinStart->value();
            note = preview->LabelFreeCells->text();
        }
        modal->close();
    });
    previewReport(m_form->QuickRep1);
    QCOMPARE(offeredStart, 51);
    QCOMPARE(note, QStringLiteral("свободно 14 наклеек на последнем листе"));
}

QTEST_MAIN(TestLabelPrint)
#include "tst_labelprint.moc"
