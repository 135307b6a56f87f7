#include "modal.h"
#include "pagescan.h"

#include "base/platform.h"
#include "base/settings.h"
#include "labels/labelsettings.h"
#include "report/bandreport.h"
#include "report/prnbarcod.h"
#include "report/symbols.h"
#include "ui/formYN.h"
#include "ui/labelpreview.h"
#include "ui/pageview.h"
#include "ui/sheetcells.h"
#include "ui/uiplatform.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

constexpr qreal labelHeight = 18.256;
constexpr qreal columnStep = 48.5 + 2;
// Labels on one sheet: four columns of fifteen.
constexpr int kLabelsPerSheet = 60;

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

} // namespace

// The label sheet's preview window and the print: its commands, its
// settings, its shortcuts and its reach on small screens, and the pages a
// print makes.
class TestLabelPreview : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void printRunsTheReportAgain();
    void previewSavesPdf_data();
    void previewSavesPdf();
    void previewControlsReachThePdf();
    void previewShortcuts_data();
    void previewShortcuts();
    void previewCommandsReachable_data();
    void previewCommandsReachable();
    void longPreviewShownAtOnce();
    void alignmentSheetFromThePreview();
    void labelsCheckedBeforePdf_data();
    void labelsCheckedBeforePdf();

private:
    TFormBC *m_form = nullptr;
    std::unique_ptr<QTemporaryDir> m_dir;
    QTemporaryDir m_registry;
    decltype(platform::saveFileName) m_saveFileName;
    decltype(platform::showError) m_showError;
};

void TestLabelPreview::init()
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

void TestLabelPreview::cleanup()
{
    FormBC = nullptr;
    delete m_form;
    m_form = nullptr;
    platform::saveFileName = m_saveFileName;
    platform::showError = m_showError;
}

// Printing from the preview is one more run of the same job: the same
// labels, the pages numbered from one.
void TestLabelPreview::printRunsTheReportAgain()
{
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 61;
    const ReportLayout first = m_form->QuickRep1->layOut();
    const QString fileName = m_dir->filePath(QStringLiteral("printed.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printReport(m_form->QuickRep1, &printer);
    QCOMPARE(pdfPages(fileName), 2);
    const QStringList text = pdfLines(fileName);
    QVERIFY(text.contains(QStringLiteral("страница№1")));
    QVERIFY(text.contains(QStringLiteral("0000000001")));
    QVERIFY(text.contains(QStringLiteral("0000000061")));

    const ReportLayout again = m_form->QuickRep1->layOut();
    QCOMPARE(footers(again), footers(first));
    QCOMPARE(barcodes(again), barcodes(first));
    QCOMPARE(m_form->CurrentNumber, 1);
}

void TestLabelPreview::previewSavesPdf_data()
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

void TestLabelPreview::previewSavesPdf()
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
    previewReport(m_form->QuickRep1);

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

void TestLabelPreview::previewControlsReachThePdf()
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
    previewReport(m_form->QuickRep1);

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

void TestLabelPreview::previewShortcuts_data()
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

void TestLabelPreview::previewShortcuts()
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
    previewReport(m_form->QuickRep1);
    QVERIFY(pressed);
    QCOMPARE(effects, QStringList{effect});
    QVERIFY(!m_form->QuickRep1->alignmentSheet());
}

void TestLabelPreview::previewCommandsReachable_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QSize>("screen");
    QTest::newRow("2x on 1366x768") << QStringLiteral("2") << QSize(1366, 768);
    QTest::newRow("1.5x on 1366x768") << QStringLiteral("1.5") << QSize(1366, 768);
    QTest::newRow("1x on 1024x600") << QStringLiteral("1") << QSize(1024, 600);
}

void TestLabelPreview::previewCommandsReachable()
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
        QList<QWidget *> carriers{preview->SpinStart, preview->PictureCells, preview->SpinOffsetX,
                                  preview->SpinOffsetY};
        for (QToolButton *button : preview->findChildren<QToolButton *>()) {
            if (preview->actions().contains(button->defaultAction()))
                carriers.append(button);
        }
        if (carriers.size() != 4 + preview->actions().size())
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
    previewReport(m_form->QuickRep1);
    QCOMPARE(answer.count(), 1);
    QCOMPARE(outside, QStringList());
    QCOMPARE(reached.value(0), QStringLiteral("ButtonPrint"));
    // Jobs, the sheet's settings with its picture, the view, the pages,
    // the stock, closing.
    QCOMPARE(commands.size(), 3 + 4 + 4 + 1 + 1 + 1);
    for (const QString &command : std::as_const(commands))
        QVERIFY2(reached.contains(command), qPrintable(command));
}

void TestLabelPreview::longPreviewShownAtOnce()
{
    // 300 pages: shown without a progress window, painted only as looked
    // at, with a few pages' pictures kept whatever the count.
    bool progressShown = false;
    int pageCount = 0;
    int kept = 0;
    ModalAnswerer answer([&](QWidget *modal) {
        if (qobject_cast<QProgressDialog *>(modal))
            progressShown = true;
        if (auto *preview = qobject_cast<TFormPreview *>(modal)) {
            pageCount = preview->PreviewPages->pageCount();
            for (int page = 1; page <= pageCount; page += 7) {
                preview->PreviewPages->setCurrentPage(page);
                preview->PreviewPages->viewport()->grab();
            }
            kept = preview->PreviewPages->keptPictures();
            QVERIFY(preview->LabelPage->text().startsWith(QStringLiteral("страница ")));
        }
        modal->close();
    });
    m_form->CurrentNumber = 1;
    m_form->LastNumber = 18000;
    m_form->QRLabelME->setCaption(QStringLiteral("A-1"));
    previewReport(m_form->QuickRep1);
    QVERIFY(!progressShown);
    QCOMPARE(pageCount, 300);
    QVERIFY2(kept >= 1 && kept <= 6, qPrintable(QString::number(kept)));
    QCOMPARE(m_form->CurrentNumber, 1);
    QCOMPARE(m_form->LastNumber, 18000);
}

void TestLabelPreview::alignmentSheetFromThePreview()
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
    previewReport(m_form->QuickRep1);

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

void TestLabelPreview::labelsCheckedBeforePdf_data()
{
    QTest::addColumn<qint32>("start");
    QTest::addColumn<QString>("answer"); // to the question; empty: none asked
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("state");

    QTest::newRow("every label reads") << 1 << QString() << true
                                       << QStringLiteral("штрих-код Codabar, 300 точек на дюйм; проверено 3 наклеек, "
                                                         "ошибок 0");
    const QString failed = QStringLiteral("штрих-код Codabar, 300 точек на дюйм; проверено 3 наклеек, ошибок 1: стр. "
                                          "1, столбец 1, ряд 1: штрих-код не читается");
    // A label for a number below zero carries no bars.
    QTest::newRow("Enter keeps it back") << -1 << QStringLiteral("enter") << false << failed;
    QTest::newRow("yes saves it all the same") << -1 << QStringLiteral("yes") << true << failed;
}

// The check runs while the preview is shown, says how it stands and
// which labels fail, and a save asks before putting those on paper.
void TestLabelPreview::labelsCheckedBeforePdf()
{
    QFETCH(qint32, start);
    QFETCH(QString, answer);
    QFETCH(bool, written);
    QFETCH(QString, state);

    const QString fileName = m_dir->filePath(QStringLiteral("checked.pdf"));
    platform::saveFileName = [&](QWidget *, const QString &, const QString &) { return fileName; };
    QString shown;
    QString asked;
    ModalAnswerer answerer([&](QWidget *modal) {
        if (auto *ask = qobject_cast<TFormYesNo *>(modal)) {
            asked = ask->LabelTXT->text();
            if (answer == QLatin1String("yes"))
                QTest::mouseClick(ask->BitBtnDa, Qt::LeftButton);
            else
                QTest::keyClick(ask->focusWidget(), Qt::Key_Return);
            return;
        }
        auto *preview = qobject_cast<TFormPreview *>(modal);
        QVERIFY(preview);
        QTimer::singleShot(0, preview, [&, preview] {
            // Shown first, the check goes on behind it.
            QTRY_VERIFY_WITH_TIMEOUT(preview->LabelCheckState->text().contains(QStringLiteral("проверено")), 10000);
            shown = preview->LabelCheckState->text();
            preview->ActionSavePdf->trigger();
            preview->close();
        });
    });
    m_form->QRLabelBC->setSymbology(Symbology::Codabar);
    m_form->CurrentNumber = start;
    m_form->LastNumber = start + 2;
    previewReport(m_form->QuickRep1);

    QCOMPARE(shown, state);
    QCOMPARE(asked.isEmpty(), answer.isEmpty());
    if (!answer.isEmpty())
        QVERIFY2(asked.startsWith(QStringLiteral("Не все наклейки прочтёт сканер: ошибок 1; первая — страница 1, "
                                                 "столбец 1, ряд 1")),
                 qPrintable(asked));
    QCOMPARE(QFile::exists(fileName), written);
}

QTEST_MAIN(TestLabelPreview)
#include "tst_labelpreview.moc"
