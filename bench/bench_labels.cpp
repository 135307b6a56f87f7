#include "report/bandreport.h"
#include "report/labelcheck.h"
#include "report/prnbarcod.h"
#include "report/symbols.h"
#include "ui/labelpreview.h"
#include "ui/pageview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

// Renders a range of 10,000 labels (167 pages) to PDF and prints the wall
// time and the peak resident memory of the process; the same with every
// label read back first at 300 dpi, as the preview does before a PDF, and
// the cost of that check per label in each symbology; then opens the
// preview window on the largest range it takes (2,000 pages) and times it
// to its first page painted, and pages through all of it, with the peak
// memory after each.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString fileName = dir.filePath(QStringLiteral("labels.pdf"));

    TFormBC form;
    form.CurrentNumber = 1;
    form.LastNumber = 10000;
    form.QRLabelME->setCaption(QStringLiteral("абонемент, фонд 2"));

    QElapsedTimer timer;
    timer.start();
    const bool written = form.QuickRep1->exportPdf(fileName);
    const qint64 elapsed = timer.elapsed();
    if (!written) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(fileName));
        return 1;
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("labels: 10000, pages: %d\n", PageCounter);
    std::printf("wall time: %.3f s\n", elapsed / 1000.0);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    std::printf("pdf size: %.1f MB\n", QFileInfo(fileName).size() / 1048576.0);

    // Every label checked, then written: what a save from the preview costs.
    timer.restart();
    LabelCheck check;
    form.QuickRep1->asJob([&] {
        check.start(form.QuickRep1->run(), 300);
        check.finish();
    });
    const qint64 checked = timer.elapsed();
    if (!form.QuickRep1->exportPdf(fileName) || !check.faults().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(check.summary()));
        return 1;
    }
    const qint64 checkedAndWritten = timer.elapsed();
    std::printf("checked at 300 dpi and written: %.3f s (the check %.3f s, %.3f ms a label)\n",
                checkedAndWritten / 1000.0, checked / 1000.0, double(checked) / check.checked());

    for (Symbology symbology : allSymbologies()) {
        form.QRLabelBC->setSymbology(symbology);
        for (qreal dpi : {300.0, 600.0}) {
            form.CurrentNumber = 1;
            form.LastNumber = 2000;
            timer.restart();
            form.QuickRep1->asJob([&] {
                check.start(form.QuickRep1->run(), dpi);
                check.finish();
            });
            const qint64 cost = timer.elapsed();
            std::printf("check, %s at %.0f dpi: %.3f ms a label, %lld failed\n", symbologyName(symbology).constData(),
                        dpi, double(cost) / check.checked(), static_cast<long long>(check.faults().size()));
        }
    }
    form.QRLabelBC->setSymbology(Symbology::Code39);

    form.CurrentNumber = 1;
    form.LastNumber = 120000;
    timer.restart();
    int pageCount = 0;
    form.QuickRep1->asJob([&] {
        TFormPreview preview(form.QuickRep1);
        preview.show();
        QApplication::processEvents();
        const QImage first = preview.PreviewPages->viewport()->grab().toImage();
        const qint64 painted = timer.elapsed();
        pageCount = preview.PreviewPages->pageCount();
        getrusage(RUSAGE_SELF, &usage);
        std::printf("largest range: %d pages, the preview's first page painted by %.3f s\n", pageCount,
                    painted / 1000.0);
        std::printf("peak memory after it: %.1f MB\n", usage.ru_maxrss / 1024.0);
        // Every page looked at in turn, as one paging through would.
        timer.restart();
        for (int page = 1; page <= pageCount; ++page) {
            preview.PreviewPages->setCurrentPage(page);
            preview.PreviewPages->viewport()->grab();
        }
        getrusage(RUSAGE_SELF, &usage);
        std::printf("all pages looked at in %.1f s, peak memory after: %.1f MB\n", timer.elapsed() / 1000.0,
                    usage.ru_maxrss / 1024.0);
        if (first.isNull())
            pageCount = 0;
    });
    return pageCount == 2000 ? 0 : 1;
}
