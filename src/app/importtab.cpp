// The import tab of the main window: choosing the file and the mode, the
// import run and the check with their counters, rate and stop picture, and
// the list of rejected lines after them.

#include "app/mainform.h"

#include "app/rejectedlines.h"
#include "db/errors.h"
#include "dialogs/formYN.h"
#include "dialogs/guarded.h"
#include "dialogs/uiplatform.h"
#include "import/importrun.h"
#include "import/wipe.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>

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

    BitBtnCH = new QPushButton(QStringLiteral("проверить"), TabSheetIM);
    BitBtnCH->setObjectName(QStringLiteral("BitBtnCH"));
    BitBtnCH->setGeometry(168, 136, 145, 25);

    // Before the stop picture, which covers it while a run goes.
    LabelDL = new QLabel(TabSheetIM);
    LabelDL->setObjectName(QStringLiteral("LabelDL"));
    LabelDL->setGeometry(36, 121, 500, 14);
    LabelDL->setFont(platform::uiFont(10));

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

    LabelTT = counterLabel(TabSheetIM, "LabelTT", QStringLiteral("всего записей:"), 16, 184, 180);
    LabelTC = counterLabel(TabSheetIM, "LabelTC", QStringLiteral("уже обработано:"), 16, 200, 180);
    LabelTE = counterLabel(TabSheetIM, "LabelTE", QStringLiteral("из них ошибок:"), 16, 216, 180);
    // Beside the counters: the file's encoding and line ends, the rate, and
    // the rejected lines once a run has some; below them a check's findings.
    LabelFT = counterLabel(TabSheetIM, "LabelFT", QString(), 200, 184, 340);
    LabelSP = counterLabel(TabSheetIM, "LabelSP", QString(), 200, 200, 340);
    BitBtnER = new QPushButton(QStringLiteral("список отвергнутых строк…"), TabSheetIM);
    BitBtnER->setObjectName(QStringLiteral("BitBtnER"));
    BitBtnER->setGeometry(200, 215, 185, 20);
    BitBtnER->hide();
    LabelCH = new QLabel(TabSheetIM);
    LabelCH->setObjectName(QStringLiteral("LabelCH"));
    LabelCH->setGeometry(16, 238, 520, 58);
    LabelCH->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelCH->setWordWrap(true);

    connect(BitBtnF, &QPushButton::clicked, this, &TFormMain::BitBtnFClick);
    connect(RadioCA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(RadioKA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(CheckCL, &QCheckBox::toggled, this, &TFormMain::CheckCLClick);
    connect(BitBtnIM, &QPushButton::clicked, this, &TFormMain::BitBtnIMClick);
    connect(BitBtnCH, &QPushButton::clicked, this, &TFormMain::BitBtnCHClick);
    connect(BitBtnER, &QPushButton::clicked, this, &TFormMain::BitBtnERClick);
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
    LabelDL->clear();
    LabelDL->setToolTip(QString());
    if (!CheckCL->isChecked())
        return;
    const QList<QByteArray> tables = emptiedTables(clearingStatements(modeOf(RadioCA)));
    try {
        LabelDL->setText(QStringLiteral("будет удалено строк: ") + rowCountsText(tables, countRows(tables)));
    } catch (const AppError &e) {
        // Only an aid: the clearing itself may still be wanted.
        LabelDL->setText(QStringLiteral("не удалось сосчитать строки, которые будут удалены"));
        LabelDL->setToolTip(e.text());
    }
}

namespace {

// The import tab as the run's observer: the phase and the counters painted
// as they change, the rate a few times a second, and the stop picture
// polled after every record.
class TabObserver : public ImportObserver {
public:
    explicit TabObserver(TFormMain *form) : m_form(form) {}

    void phaseChanged(ImportPhase phase, qint32 total) override
    {
        m_form->LabelCC->setText(phaseCaption(phase));
        switch (phase) {
        case ImportPhase::Reading:
            // The file is open: what the last run left beside the counters goes.
            m_form->LabelFT->clear();
            m_form->LabelSP->clear();
            m_form->LabelCH->clear();
            m_form->BitBtnER->hide();
            break;
        case ImportPhase::Counting:
        case ImportPhase::Clearing:
            break;
        case ImportPhase::Importing:
        case ImportPhase::Checking:
            m_form->ImageX->show();
            m_form->LabelTT->setText(QStringLiteral("всего записей: ") + QString::number(total));
            break;
        }
        m_form->repaint();
    }

    void formatFound(const FileFormat &format) override { m_form->LabelFT->setText(formatDescription(format)); }

    void recordDone(qint32, qint32 processed, qint32 errors) override
    {
        m_form->LabelTC->setText(QStringLiteral("уже обработано: ") + QString::number(processed));
        m_form->LabelTE->setText(QStringLiteral("из них ошибок: ") + QString::number(errors));
        paintChanges(m_form);
    }

    void rateChanged(double perSecond, qint64 secondsLeft) override
    {
        m_form->LabelSP->setText(rateDescription(perSecond, secondsLeft));
        paintChanges(m_form);
    }

    bool stopWanted() override
    {
        const QLabel *image = m_form->ImageX;
        const QPoint pointer = image->mapFromGlobal(QCursor::pos());
        if (pointer.x() <= 0 || pointer.x() >= image->width() || pointer.y() <= 0 || pointer.y() >= image->height())
            return false;
        const bool stop = AskYesNo(QStringLiteral("прервать обработку?"), m_form);
        // What the question covered is painted again at once.
        m_form->repaint();
        return stop;
    }

private:
    TFormMain *m_form;
};

} // namespace

void TFormMain::BitBtnIMClick()
{
    runImportFile(false);
}

void TFormMain::BitBtnCHClick()
{
    runImportFile(true);
}

void TFormMain::runImportFile(bool checkOnly)
{
    guarded(this, [&] {
        TabObserver observer(this);
        const ImportRequest request{EditF->text(), modeOf(RadioCA), CheckCL->isChecked(), checkOnly};
        auto report = std::make_shared<ImportReport>();
        // Offered however the run ends, an error included: the lines
        // rejected before it are as good as any.
        const auto offerRejected = qScopeGuard([&] {
            if (report->rejected.isEmpty())
                return;
            m_lastImport = report;
            BitBtnER->show();
        });
        const ImportOutcome outcome = runImport(request, observer, *report);
        if (outcome == ImportOutcome::NotOpened)
            return;
        LabelCC->setText(outcomeCaption(outcome, checkOnly));
        ImageX->hide();
        // A check changes nothing, clearing included: the tick stays for
        // the import that follows it.
        if (checkOnly)
            LabelCH->setText(checkSummary(*report, request.mode, request.clear).join(u'\n'));
        else
            CheckCL->setChecked(false);
    });
}

void TFormMain::BitBtnERClick()
{
    guarded(this, [&] {
        if (!m_lastImport)
            return;
        TFormRejected list(m_lastImport->rejected, this);
        list.exec();
    });
}

qint32 TFormMain::store2baza(const QByteArray &text)
{
    return storeRecord(text, modeOf(RadioCA));
}
