// The first-run tab of the main window: wiping the working tables.

#include "app/mainform.h"

#include "app/resulttext.h"
#include "base/errors.h"
#include "firstrun/names.h"
#include "firstrun/wipe.h"
#include "ui/adminlogin.h"
#include "ui/formYN.h"
#include "ui/guarded.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>

void TFormMain::buildFirstRunTab()
{
    Label5 = new QLabel(QStringLiteral("очистка базы перед началом работы"), TabSheet1);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->move(16, 16);
    Label5->adjustSize();

    BitBtn1 = new QPushButton(QStringLiteral("удалить всё, кроме справичников"), TabSheet1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(16, 40, 225, 25);

    ImageW = new QLabel(TabSheet1);
    ImageW->setObjectName(QStringLiteral("ImageW"));
    ImageW->setGeometry(280, 24, 120, 40);
    ImageW->setAttribute(Qt::WA_TranslucentBackground);
    ImageW->setPixmap(QPixmap(QStringLiteral(":/app/wait.png")));
    ImageW->hide();

    LabelST = new QLabel(QStringLiteral("..."), TabSheet1);
    LabelST->setObjectName(QStringLiteral("LabelST"));
    LabelST->setGeometry(16, 80, 300, 20);
    QFont bold = LabelST->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    LabelST->setFont(bold);

    LabelBackup = new QLabel(TabSheet1);
    LabelBackup->setObjectName(QStringLiteral("LabelBackup"));
    LabelBackup->setGeometry(16, 108, 520, 48);
    LabelBackup->setWordWrap(true);
    LabelBackup->setTextInteractionFlags(Qt::TextSelectableByMouse);

    LabelWipeCounts = new ResultText(TabSheet1);
    LabelWipeCounts->setObjectName(QStringLiteral("LabelWipeCounts"));
    LabelWipeCounts->setGeometry(16, 164, 520, 130);

    connect(BitBtn1, &QPushButton::clicked, this, &TFormMain::BitBtn1Click);
    // Counted afresh each time the tab is opened: other desks work on too.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == TabSheet1 && PageControl1->isVisible())
            showWipeCounts();
    });
}

void TFormMain::showWipeCounts()
{
    try {
        paintWipeCounts(wipeCounts(m_session));
    } catch (const AppError &e) {
        paintWipeCountFailure(e.text());
    }
}

void TFormMain::paintWipeCounts(const QList<qint64> &counts)
{
    LabelWipeCounts->setToolTip(QString());
    const QList<QByteArray> tables = wipedTables();
    // Two columns of table and rows, read down.
    constexpr int kRows = 7;
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QString html = QStringLiteral("строк в таблицах:<table cellspacing=0 cellpadding=1>");
    for (int row = 0; row < kRows; ++row) {
        html += QStringLiteral("<tr>");
        for (qsizetype i = row; i < tables.size(); i += kRows) {
            html += QStringLiteral("<td>%1</td><td align=right style='padding-left:8px; padding-right:24px'>%2</td>")
                        .arg(tableTitle(tables[i]).toHtmlEscaped(), russian.toString(counts.value(i)));
        }
        html += QStringLiteral("</tr>");
    }
    LabelWipeCounts->setText(html + QStringLiteral("</table>"));
}

void TFormMain::paintWipeCountFailure(const QString &why)
{
    // Only an aid: the wipe does not depend on it.
    LabelWipeCounts->setText(QStringLiteral("не удалось сосчитать строки таблиц"));
    LabelWipeCounts->setToolTip(why);
}

namespace {

// The first-run tab as the wipe's observer: the phase and the backup said
// as they come, drawn at once without taking input in the middle of the
// task, and the counts after it.
class WipeTabObserver : public WipeObserver {
public:
    explicit WipeTabObserver(TFormMain *form) : m_form(form) {}

    void phaseChanged(WipePhase phase) override
    {
        switch (phase) {
        case WipePhase::BackingUp:
            m_form->LabelST->setText(QStringLiteral("резервная копия..."));
            m_form->LabelBackup->clear();
            m_form->ImageW->show();
            QCoreApplication::processEvents();
            break;
        case WipePhase::Wiping:
        case WipePhase::Counting:
            break;
        }
    }

    void backedUp(const Backup &backup) override
    {
        m_form->LabelBackup->setText(
            (backup.onServer ? QStringLiteral("резервная копия на сервере: ") : QStringLiteral("резервная копия: "))
            + backup.file);
        m_form->LabelST->setText(QStringLiteral("..."));
        m_form->LabelBackup->repaint();
        m_form->LabelST->repaint();
    }

    void notBackedUp(bool declined) override
    {
        m_form->LabelST->setText(QStringLiteral("база не очищена"));
        m_form->LabelBackup->setText(
            declined ? QStringLiteral("резервная копия не создана: администратор базы данных не указан")
                     : QStringLiteral("резервная копия не создана"));
        m_form->ImageW->hide();
    }

    void counted(const QList<qint64> &counts) override { m_form->paintWipeCounts(counts); }
    void countFailed(const AppError &error) override { m_form->paintWipeCountFailure(error.text()); }

private:
    TFormMain *m_form;
};

} // namespace

void TFormMain::BitBtn1Click()
{
    guarded(this, [&] {
        if (!AskYesNo(QStringLiteral("удалить всё из базы, кроме справочников?"), this))
            return;
        // The wipe owns the window as an import run does: a click meanwhile
        // must not start a second wipe, or sign out, once this one ends.
        beginRun();
        const auto ended = qScopeGuard([this] { endRun(); });
        const auto askAdministrator = [this] {
            return ::askAdministrator(QStringLiteral("Резервную копию базы на сервере перед очисткой делает "
                                                     "администратор базы данных. Его имя и пароль не сохраняются."),
                                      this);
        };
        WipeTabObserver observer(this);
        if (!runWipe(m_session, askAdministrator, observer))
            return;
        LabelST->setText(QStringLiteral("выполнено"));
        ImageW->hide();
    });
}
