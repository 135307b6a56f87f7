#pragma once

#include "report/bandreport.h"

#include <QDialog>
#include <QPrinter>

class BandReport;
class LabelCheck;
class QAction;
class QDoubleSpinBox;
class QLabel;
class LabelPageView;
class QSpinBox;
class SheetCellsPicture;

// The label sheet's preview window: the pages as they will print, the
// sheet's own settings (the first free label, the printer's offset, the
// test sheet) and the print and PDF commands. Every command sits on a
// button that Tab reaches and Space or Enter presses, in rows that wrap to
// the window's width, so that none hides at a large scale or on a small
// screen; print, PDF and the test sheet have shortcuts too.
class TFormPreview : public QDialog {
    Q_OBJECT
public:
    // Shows the report's pages, sized to the screen it opens on. The report
    // draws every page the window asks for, and takes back its test sheet
    // when the window goes.
    explicit TFormPreview(BandReport *report, QWidget *parent = nullptr);
    ~TFormPreview() override;

    // In screen order, which is also the order Tab takes.
    QAction *ActionPrint;
    QAction *ActionSavePdf;
    QAction *ActionAlignmentSheet;
    QSpinBox *SpinStart;
    QLabel *LabelStartPlace;
    SheetCellsPicture *PictureCells;
    QLabel *LabelFreeCells;
    QDoubleSpinBox *SpinOffsetX;
    QDoubleSpinBox *SpinOffsetY;
    QAction *ActionSheet;
    QLabel *LabelSheet;
    QAction *ActionZoomOut;
    QAction *ActionZoomIn;
    QAction *ActionFitWidth;
    QAction *ActionFitPage;
    QAction *ActionPriorPage;
    QLabel *LabelPage;
    QAction *ActionNextPage;
    QAction *ActionClose;
    // The symbology and how the check of every label stands.
    QLabel *LabelCheckState;
    LabelPageView *PreviewPages;

    void ActionPrintClick();
    void ActionSavePdfClick();
    void ActionAlignmentSheetClick(bool on);
    void SpinStartChange(int position);
    void SpinOffsetChange();
    void PictureCellsChange();
    void ActionSheetClick();

private:
    // Lays the pages out again and shows them; the first time, a range too
    // long for one job raises AppError.
    void updatePreview(bool first = false);
    // The places of the sheet on the picture, the free ones of the last
    // sheet offered when kept.
    void showSheet();
    void showCells();
    // The printer's resolution for the bar code's check, 300 dpi for a file.
    qreal printerDpi() const;
    // The page shown and the pages there are, on LabelPage.
    void showPage();
    // The column and row of the first free label, on LabelStartPlace.
    void showStartPlace();
    // Checks the job's labels afresh, read at the preview printer's
    // resolution (300 dpi for PDF), while the window is shown.
    void startCheck();
    ReportLayout jobPages() const;
    void showCheck();
    // Every label checked at dpi; true when all read as they should or the
    // user, told which do not, still wants them on paper.
    bool labelsApproved(qreal dpi);

    BandReport *m_report;
    QPrinter m_printer;
    LabelCheck *m_check;
};

// Shows the report's pages in the preview window, as one job of the
// report, and returns when the window is closed. A range too long for one
// job is refused before the window opens.
void previewReport(BandReport *report, QWidget *parent = nullptr);

// Prints the report on printer as one job: its labels, or its alignment
// sheet.
void printReport(BandReport *report, QPrinter *printer);
