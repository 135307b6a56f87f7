#pragma once

#include "db/session.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class DbQueryModel;
struct ImportReport;
class QAction;
class QCheckBox;
class QRadioButton;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QProgressBar;
class ResultText;
class QStyleOptionViewItem;
class QTableView;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

// The main window: the sign-in strip, the prompt and the three task tabs.
class TFormMain : public QWidget {
    Q_OBJECT

public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    QWidget *Panel4;
    QLineEdit *Login;
    QLineEdit *Password;
    QPushButton *BitBtnGO;
    // Left of the strip while signed in: what a grace sign-in left.
    QLabel *LabelGrace;
    QLabel *Label1;
    QTabWidget *PageControl1;
    QWidget *TabSheetBC;
    QWidget *TabSheetIM;
    QWidget *TabSheet1;

    // The barcode tab.
    QFrame *PanelBL;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QPushButton *BitBtnPrn;
    // Beside the print button: what a print of the fields' range takes.
    QLabel *LabelSheets;
    QLineEdit *EditS;
    QLineEdit *EditP;
    QLineEdit *EditME;
    // Under the mark: that the mark is wider than its place on the label.
    QLabel *LabelMECut;
    QPushButton *BitBtnAdd;
    QTableView *DBGridBC = nullptr;
    QMenu *PopupBC;
    QAction *N1;
    QAction *ActionReprint;
    // Lists every two registered ranges that share a number.
    QAction *ActionOverlaps;

    // The import tab.
    QRadioButton *RadioCA;
    QRadioButton *RadioKA;
    QPushButton *BitBtnF;
    QLineEdit *EditF;
    QCheckBox *CheckCL;
    // Beside the tick: the rows the clearing would delete, table by table.
    ResultText *LabelClearCounts;
    QPushButton *BitBtnIM;
    QPushButton *BitBtnCheck;
    QLabel *ImageX;
    QLabel *LabelCC;
    // Under the phase: records read of the total.
    QProgressBar *ProgressImport;
    QLabel *LabelTT;
    QLabel *LabelTC;
    QLabel *LabelTE;
    QLabel *LabelFormat;
    QLabel *LabelRate;
    QPushButton *BitBtnRejected;
    // A check's findings, or where a stopped run ended.
    ResultText *LabelCheck;

    // The first-run tab.
    QLabel *Label5;
    QPushButton *BitBtn1;
    QLabel *ImageW;
    QLabel *LabelST;
    // The backup made before the wipe: its file, or that there is none.
    QLabel *LabelBackup;
    // The rows of each table the wipe empties, as they stand now.
    ResultText *LabelWipeCounts;

    // The parts of the window's session: the connection, its default
    // transaction, and the scratch query of the generator reads and the
    // account lookup.
    DbConnection *IBDatabase1;
    DbTransaction *IBTransaction1;
    DbQuery *IBQXXMAIN = nullptr;
    DbQuery *IBQueryBC;
    DbQueryModel *DataSourceBC;

    // Where the database is ("Baza"): the "database" setting, else the
    // program's folder + "vesko.mika.baza".
    QString BazaPath;

    void FormCreate();
    void FormShow();
    void FormResize();
    void FormClose();
    void BitBtnGOClick();
    void PasswordKeyDown(int key);
    void TabSheetBCShow();

    // Reloads the barcode list ("select barcodes").
    void SelectBC();
    // Fits the grid's mark column to the width the other two leave.
    void dfx();
    void IBQueryBCAfterScroll(DbQuery *DataSet);
    void BitBtnAddClick();
    void N1Click();
    void ActionOverlapsClick();
    void BitBtnPrnClick();
    void ActionReprintClick();
    void DBGridBCDrawColumnCell(QPainter *painter, QStyleOptionViewItem &option);

    void BitBtnFClick();
    void RadioCAClick();
    void CheckCLClick();
    void BitBtnIMClick();
    void BitBtnCheckClick();
    void BitBtnRejectedClick();
    // Stores one import record "to the base": 0, or -1 when rejected.
    qint32 store2baza(const QByteArray &text);

    void BitBtn1Click();
    // Counts the rows of the tables the wipe empties, for LabelWipeCounts.
    void showWipeCounts();
    void paintWipeCounts(const QList<qint64> &counts);
    void paintWipeCountFailure(const QString &why);

    // One sign-in attempt, and the way back to the signed-out state.
    void DoLogon();
    void DoLogoff();

    // What a run shares with the window while it goes.
    struct RunState {
        bool running = false;
        // Esc was pressed: the stop question is asked after the record.
        bool escapePressed = false;
        // The window is to close: the run stops after the record, unasked.
        bool closeWanted = false;
        QPointer<QWidget> focus;
        QList<QPointer<QWidget>> disabled;
    };
    // An import, a check or a wipe is running: it owns the window.
    bool runInProgress() const { return m_run.running; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildBarcodeTab();
    void buildImportTab();
    void buildFirstRunTab();
    void runImportFile(bool checkOnly);
    // The controls that would start, change or leave a run are disabled
    // for its length; input that came meanwhile is consumed before they
    // are enabled again, so that nothing of it is acted on later.
    void beginRun();
    void endRun();
    // What one person's work left on the tabs, gone before the next.
    void forgetResults();
    // Moves the window down or right as far as its frame is off the screen.
    void keepTitleBarOnScreen();
    // Fills LabelSheets from the start and end fields.
    void showSheetSummary();
    // Counts the fields' numbers already on catalogue books, for LabelSheets.
    void countInCatalog();
    // Shows LabelMECut when the mark field's text is cut on the label.
    void showMarkFit();

    // The open database, whose parts the fields above name.
    DbSession m_session;
    bool m_placed = false;
    // The catalogue is counted a moment after the typing stops, not per key:
    // the count reads the whole table.
    QTimer *m_inCatalogTimer = nullptr;
    // The last count, and the start and end texts it was made for.
    qint64 m_inCatalog = -1;
    QString m_inCatalogFor;
    RunState m_run;
    // What the last import or check found, for its list of rejected lines.
    std::shared_ptr<const ImportReport> m_lastImport;
};

extern TFormMain *FormMain;
