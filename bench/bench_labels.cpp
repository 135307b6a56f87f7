#include "report/bandreport.h"
#include "report/prnbarcod.h"

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

// Renders a range of 10,000 labels (167 pages) to PDF and prints the wall
// time and the peak resident memory of the process; then lays out the
// largest range a preview takes (2,000 pages) and paints its first page, as
// the preview does before its progress can show.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

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

    form.CurrentNumber = 1;
    form.LastNumber = 120000;
    timer.restart();
    const ReportLayout pages = form.QuickRep1->layOut();
    const qint64 laidOut = timer.elapsed();
    const QImage first = form.QuickRep1->pageImage(pages.first(), 96);
    const qint64 painted = timer.elapsed();
    getrusage(RUSAGE_SELF, &usage);
    std::printf("largest range: %lld pages laid out in %.3f s, first page painted on screen by %.3f s\n",
                static_cast<long long>(pages.size()), laidOut / 1000.0, painted / 1000.0);
    std::printf("peak memory after it: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return first.isNull() ? 1 : 0;
}
