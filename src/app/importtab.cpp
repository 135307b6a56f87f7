// The import tab of the main window: choosing the file and the mode, the
// import run and the check with their counters, rate and stop picture, and
// the list of rejected lines after them.

#include "app/mainform.h"

#include "app/resulttext.h"
#include "base/errors.h"
#include "db/dataset.h"
#include "db/refusals.h"
#include "firstrun/wipe.h"
#include "import/importrun.h"
#include "import/journal.h"
#include "ui/formYN.h"
#include "ui/guarded.h"
#include "ui/rejectedlines.h"
#include "ui/uiplatform.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <limits>

namespace {

QLabel *counterLabel(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(left, top, width, 16);
    return label;
}

// Paints at once whatever has changed since the last paint, without
// dispatching queued messages. Once per record this replaces a repaint of the
// whole window, which cost more than the record's own statements.
void paintChanges(QWidget *window)
{
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
}

ImportMode modeOf(const QRadioButton *catalogue)
{
    return catalogue->isChecked() ? ImportMode::Catalogue : ImportMode::Readers;
}

// How often a run lets the window take its pending events: often enough
// to stay painted and to hear Esc, seldom enough to cost the run nothing.
constexpr qint64 kEventsEveryMs = 100;
constexpr int kEventsAtMostMs = 50;

} // namespace

void TFormMain::buildImportTab()
{
    RadioCA = new QRadioButton(QStringLiteral("каталог"), TabSheetIM);
    RadioCA->setObjectName(QStringLiteral("RadioCA"));
    RadioCA->setGeometry(16, 16, 145, 17);
    RadioCA->setChecked(true);

    RadioKA = new QRadioButton(QStringLiteral("картотека читателей"), TabSheetIM);
    RadioKA->setObjectName(QStringLiteral("RadioKA"));
    RadioKA->setGeometry(16, 32, 145, 17);

    BitBtnF = new QPushButton(TabSheetIM);
    BitBtnF->setObjectName(QStringLiteral("BitBtnF"));
    BitBtnF->setGeometry(16, 64, 25, 25);
    BitBtnF->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

    EditF = new QLineEdit(TabSheetIM);
    EditF->setObjectName(QStringLiteral("EditF"));
    EditF->setGeometry(48, 66, 401, 21);
    // A path has no length limit.
    EditF->setMaxLength(std::numeric_limits<int>::max());

    CheckCL = new QCheckBox(QStringLiteral("очистить таблицу перед импортированием данных"), TabSheetIM);
    CheckCL->setObjectName(QStringLiteral("CheckCL"));
    CheckCL->setGeometry(16, 104, 353, 17);

    BitBtnIM = new QPushButton(QStringLiteral("импорт"), TabSheetIM);
    BitBtnIM->setObjectName(QStringLiteral("BitBtnIM"));
    BitBtnIM->setGeometry(16, 136, 145, 25);

    BitBtnCheck = new QPushButton(QStringLiteral("проверить"), TabSheetIM);
    BitBtnCheck->setObjectName(QStringLiteral("BitBtnCheck"));
    BitBtnCheck->setGeometry(168, 136, 145, 25);

    // In the corner right of the tick and the buttons, a table a line.
    LabelClearCounts = new ResultText(TabSheetIM);
    LabelClearCounts->setObjectName(QStringLiteral("LabelClearCounts"));
    LabelClearCounts->setGeometry(400, 92, 136, 88);
    LabelClearCounts->setFont(platform::uiFont(10));

    ImageX = new QLabel(TabSheetIM);
    ImageX->setObjectName(QStringLiteral("ImageX"));
    ImageX->setGeometry(352, 120, 40, 40);
    ImageX->setAttribute(Qt::WA_TranslucentBackground);
    ImageX->setPixmap(QPixmap(QStringLiteral(":/formyn/skull_red.png")));
    ImageX->hide();

    LabelCC = new QLabel(TabSheetIM);
    LabelCC->setObjectName(QStringLiteral("LabelCC"));
    LabelCC->setGeometry(200, 8, 337, 24);
    LabelCC->setAlignment(Qt::AlignCenter);
    QFont phase = platform::uiFont(19);
    phase.setBold(true);
    LabelCC->setFont(phase);
    QPalette grey = LabelCC->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    LabelCC->setPalette(grey);

    // In the free strip under the phase; shown from the first run on.
    ProgressImport = new QProgressBar(TabSheetIM);
    ProgressImport->setObjectName(QStringLiteral("ProgressImport"));
    ProgressImport->setGeometry(200, 38, 337, 18);
    ProgressImport->setFont(platform::uiFont(10));
    ProgressImport->hide();

    LabelTT = counterLabel(TabSheetIM, "LabelTT", QStringLiteral("всего записей:"), 16, 184, 180);
    LabelTC = counterLabel(TabSheetIM, "LabelTC", QStringLiteral("уже обработано:"), 16, 200, 180);
    LabelTE = counterLabel(TabSheetIM, "LabelTE", QStringLiteral("из них ошибок:"), 16, 216, 180);
    // Beside the counters: the file's encoding and line ends, the rate, and
    // the rejected lines once a run has some; below them a check's findings.
    LabelFormat = counterLabel(TabSheetIM, "LabelFormat", QString(), 200, 184, 340);
    LabelRate = counterLabel(TabSheetIM, "LabelRate", QString(), 200, 200, 340);
    BitBtnRejected = new QPushButton(QStringLiteral("список отвергнутых строк…"), TabSheetIM);
    BitBtnRejected->setObjectName(QStringLiteral("BitBtnRejected"));
    BitBtnRejected->setGeometry(200, 215, 185, 20);
    BitBtnRejected->hide();
    LabelCheck = new ResultText(TabSheetIM);
    LabelCheck->setObjectName(QStringLiteral("LabelCheck"));
    LabelCheck->setGeometry(16, 238, 520, 58);

    connect(BitBtnF, &QPushButton::clicked, this, &TFormMain::BitBtnFClick);
    connect(RadioCA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(RadioKA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(CheckCL, &QCheckBox::toggled, this, &TFormMain::CheckCLClick);
    connect(BitBtnIM, &QPushButton::clicked, this, &TFormMain::BitBtnIMClick);
    connect(BitBtnCheck, &QPushButton::clicked, this, &TFormMain::BitBtnCheckClick);
    connect(BitBtnRejected, &QPushButton::clicked, this, &TFormMain::BitBtnRejectedClick);
}

void TFormMain::BitBtnFClick()
{
    const QString path = platform::openFileName(this, QStringLiteral("*.csv; *.txt (*.csv *.txt)"));
    if (!path.isEmpty())
        EditF->setText(path);
    CheckCL->setChecked(false);
}

void TFormMain::RadioCAClick()
{
    CheckCL->setChecked(false);
}

void TFormMain::CheckCLClick()
{
    LabelClearCounts->clear();
    LabelClearCounts->setToolTip(QString());
    if (!CheckCL->isChecked())
        return;
    const QList<QByteArray> tables = emptiedTables(clearingStatements(modeOf(RadioCA)));
    try {
        QList<qint64> counts;
        runReattaching(IBDatabase1, [&] { counts = countRows(m_session, tables); });
        LabelClearCounts->setText(QStringLiteral("будет удалено строк:\n")
                                  + rowCountsText(tables, counts, QStringLiteral("\n")));
    } catch (const AppError &e) {
        // Only an aid: the clearing itself may still be wanted.
        LabelClearCounts->setText(QStringLiteral("не удалось сосчитать строки, которые будут удалены"));
        LabelClearCounts->setToolTip(e.text());
    }
}

namespace {

// The import tab as the run's observer: the phase painted as it changes,
// the counters and the rate a few times a second (a paint costs more than
// a record), the window's pending events taken as often, and after every
// record Esc and the stop picture heard.
class TabObserver : public ImportObserver {
public:
    TabObserver(TFormMain *form, TFormMain::RunState &run) : m_form(form), m_run(run) {}

    void phaseChanged(ImportPhase phase, qint32 total) override
    {
        m_form->LabelCC->setText(phaseCaption(phase));
        switch (phase) {
        case ImportPhase::Reading:
            // The file is open: what the last run left beside the counters goes.
            m_form->LabelFormat->clear();
            m_form->LabelRate->clear();
            m_form->LabelCheck->clear();
            m_form->BitBtnRejected->hide();
            m_form->ProgressImport->hide();
            break;
        case ImportPhase::Counting:
        case ImportPhase::Clearing:
            break;
        case ImportPhase::Importing:
        case ImportPhase::Checking:
            m_form->ImageX->show();
            m_form->LabelTT->setText(QStringLiteral("всего записей: ") + QString::number(total));
            m_form->ProgressImport->setRange(0, total);
            m_form->ProgressImport->setValue(0);
            m_form->ProgressImport->show();
            break;
        }
        m_form->repaint();
    }

    void formatFound(const FileFormat &format) override { m_form->LabelFormat->setText(formatDescription(format)); }

    void recordDone(qint32, qint32 processed, qint32 errors) override
    {
        m_processed = processed;
        m_errors = errors;
        // At the first record, then a few times a second.
        if (m_painted.isValid() && m_painted.elapsed() < kEventsEveryMs)
            return;
        showCounters();
        QCoreApplication::processEvents(QEventLoop::AllEvents, kEventsAtMostMs);
        m_painted.start();
    }

    void rateChanged(double perSecond, qint64 secondsLeft) override
    {
        // A few times a second at most, so painted at once.
        m_form->LabelRate->setText(rateDescription(perSecond, secondsLeft));
        paintChanges(m_form);
    }

    bool stopWanted() override
    {
        if (m_run.closeWanted)
            return true;
        const bool escape = std::exchange(m_run.escapePressed, false);
        return escape || pointerOnPicture();
    }

    bool stopConfirmed() override
    {
        if (m_run.closeWanted)
            return true;
        // The question comes after the record's counters are shown.
        showCounters();
        const bool stop = AskYesNo(QStringLiteral("прервать обработку?"), m_form);
        // What the question covered is painted again at once.
        m_form->repaint();
        return stop || m_run.closeWanted;
    }

    // The counters as the run last told them, painted now.
    void showCounters()
    {
        if (m_processed < 0)
            return;
        m_form->LabelTC->setText(QStringLiteral("уже обработано: ") + QString::number(m_processed));
        m_form->LabelTE->setText(QStringLiteral("из них ошибок: ") + QString::number(m_errors));
        m_form->ProgressImport->setValue(m_processed);
        paintChanges(m_form);
    }

private:
    bool pointerOnPicture() const
    {
        const QLabel *image = m_form->ImageX;
        const QPoint pointer = image->mapFromGlobal(QCursor::pos());
        return pointer.x() > 0 && pointer.x() < image->width() && pointer.y() > 0 && pointer.y() < image->height();
    }

    TFormMain *m_form;
    TFormMain::RunState &m_run;
    QElapsedTimer m_painted;
    qint32 m_processed = -1;
    qint32 m_errors = 0;
};

// Asks with "да" as the button Enter presses.
bool askYesFirst(const QString &question, QWidget *owner)
{
    if (!FormYesNo)
        new TFormYesNo(owner);
    const char before = std::exchange(FormYesNo->DefaultButton, 'y');
    const auto restore = qScopeGuard([before] { FormYesNo->DefaultButton = before; });
    return AskYesNo(question, owner);
}

} // namespace

void TFormMain::BitBtnIMClick()
{
    runImportFile(false);
}

void TFormMain::BitBtnCheckClick()
{
    runImportFile(true);
}

void TFormMain::runImportFile(bool checkOnly)
{
    guarded(this, [&] {
        beginRun();
        const auto ended = qScopeGuard([this] { endRun(); });
        TabObserver observer(this, m_run);
        ImportRequest request{EditF->text(), modeOf(RadioCA), CheckCL->isChecked(), checkOnly};
        // An import of this file cut short before may go on where it
        // ended; a clearing would take away what it stored.
        if (!checkOnly && !request.clear && !request.fileName.isEmpty()) {
            ResumePoint resume;
            runReattaching(IBDatabase1, [&] {
                resume = resumePoint(m_session.connection(), request.fileName, request.mode);
            });
            if (resume.state == ResumePoint::State::Resumable
                && askYesFirst(QStringLiteral("продолжить со строки %1?").arg(resume.line), this))
                request.fromLine = resume.line;
        }
        auto report = std::make_shared<ImportReport>();
        // The counters as the run left them, however it ended.
        const auto counted = qScopeGuard([&] { observer.showCounters(); });
        // Offered however the run ends, an error included: the lines
        // rejected before it are as good as any.
        const auto offerRejected = qScopeGuard([&] {
            if (report->rejected.isEmpty())
                return;
            m_lastImport = report;
            BitBtnRejected->show();
        });
        // A refusal that ended the run says where to go on, as a stop does.
        const auto refused = qScopeGuard([&] {
            if (report->failedLine > 0)
                LabelCheck->setText(errorSummary(*report));
        });
        // Begun afresh when the server turned out restarted before the
        // run had stored anything.
        ImportOutcome outcome = ImportOutcome::NotOpened;
        runReattaching(IBDatabase1, [&] { outcome = runImport(m_session, request, observer, *report); });
        if (outcome == ImportOutcome::NotOpened)
            return;
        LabelCC->setText(outcomeCaption(outcome, checkOnly));
        ImageX->hide();
        QStringList said;
        if (outcome == ImportOutcome::Stopped)
            said += stopSummary(*report, checkOnly);
        // A check changes nothing, clearing included: the tick stays for
        // the import that follows it.
        if (checkOnly)
            said += checkSummary(*report, request.mode, request.clear);
        else
            CheckCL->setChecked(false);
        LabelCheck->setText(said.join(u'\n'));
    });
}

void TFormMain::beginRun()
{
    m_run = RunState();
    m_run.running = true;
    m_run.focus = focusWidget();
    const QList<QWidget *> controls{BitBtnIM, BitBtnCheck, RadioCA, RadioKA,  BitBtnF, EditF,
                                    CheckCL,  BitBtnGO,    Login,   Password, BitBtn1, PageControl1->tabBar()};
    for (QWidget *control : controls) {
        if (control->isEnabled()) {
            control->setEnabled(false);
            m_run.disabled.append(control);
        }
    }
    // Keys typed meanwhile go nowhere but to Esc's question.
    qApp->installEventFilter(this);
}

void TFormMain::endRun()
{
    // Whatever came while the run went is taken now, while the controls
    // still refuse it.
    QGuiApplication::sync();
    QCoreApplication::processEvents();
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget> &control : std::as_const(m_run.disabled)) {
        if (control)
            control->setEnabled(true);
    }
    if (m_run.focus && m_run.focus->isVisible())
        m_run.focus->setFocus();
    const bool close = m_run.closeWanted;
    m_run = RunState();
    // After the handler that ran the run has returned.
    if (close)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TFormMain::BitBtnRejectedClick()
{
    guarded(this, [&] {
        if (!m_lastImport)
            return;
        TFormRejected list(m_lastImport->rejected, m_lastImport->fileName, this);
        list.exec();
    });
}

qint32 TFormMain::store2baza(const QByteArray &text)
{
    return storeRecord(m_session, text, modeOf(RadioCA));
}
