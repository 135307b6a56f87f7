#include "app/mainform.h"

#include "app/resulttext.h"
#include "app/typedlength.h"
#include "ui/help.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "ui/diapass.h"
#include "ui/guarded.h"
#include "ui/keymarks.h"
#include "ui/uiplatform.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

TFormMain *FormMain = nullptr;

TFormMain::TFormMain(QWidget *parent) : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("  утилиты"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(554, 377);

    Panel4 = new QWidget(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(224, 0, 329, 41);

    Login = new QLineEdit(Panel4);
    Login->setObjectName(QStringLiteral("Login"));
    Login->setGeometry(8, 10, 129, 21);
    Login->setValidator(new TypedLengthValidator(16, Login));

    Password = new QLineEdit(Panel4);
    Password->setObjectName(QStringLiteral("Password"));
    Password->setGeometry(144, 10, 89, 21);
    Password->setMaxLength(16);
    Password->setEchoMode(QLineEdit::Password);
    // A star for each character, whatever mask the platform's style uses.
    Password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    Password->installEventFilter(this);
    new KeyboardMarks(Password);

    BitBtnGO = new QPushButton(QStringLiteral("старт"), Panel4);
    BitBtnGO->setObjectName(QStringLiteral("BitBtnGO"));
    BitBtnGO->setGeometry(244, 7, 75, 27);

    // In the free corner left of the strip, above the tabs.
    LabelGrace = new QLabel(this);
    LabelGrace->setObjectName(QStringLiteral("LabelGrace"));
    LabelGrace->setGeometry(8, 2, 212, 42);
    LabelGrace->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LabelGrace->setWordWrap(true);
    LabelGrace->setFont(platform::uiFont(10));
    QPalette warning = LabelGrace->palette();
    warning.setColor(QPalette::WindowText, QColor(160, 0, 0));
    LabelGrace->setPalette(warning);
    LabelGrace->hide();

    Label1 = new QLabel(QStringLiteral("для входа в систему введите пароль"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(128, 144, 305, 65);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);
    Label1->setEnabled(false);
    QFont prompt = Label1->font();
    prompt.setBold(true);
    prompt.setPixelSize(24);
    Label1->setFont(prompt);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 48, 553, 329);
    TabSheetBC = new QWidget;
    TabSheetBC->setObjectName(QStringLiteral("TabSheetBC"));
    TabSheetIM = new QWidget;
    TabSheetIM->setObjectName(QStringLiteral("TabSheetIM"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheetBC, QStringLiteral("печать штрих-кодов"));
    PageControl1->addTab(TabSheetIM, QStringLiteral("импорт данных"));
    PageControl1->addTab(TabSheet1, QStringLiteral("первый запуск"));
    PageControl1->hide();
    TabSheetBC->installEventFilter(this);

    setTabOrder(Login, Password);
    setTabOrder(Password, BitBtnGO);

    IBDatabase1 = &m_session.connection();
    IBDatabase1->sqlDialect = 3;
    IBDatabase1->loginPrompt = false;
    IBTransaction1 = &m_session.defaultTransaction();

    connect(BitBtnGO, &QPushButton::clicked, this, &TFormMain::BitBtnGOClick);

    buildBarcodeTab();
    buildImportTab();
    buildFirstRunTab();
    // Enter presses the button that has the focus, as Space does, so that
    // the day's work goes from the keyboard alone.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);
    // F1 opens the staff's guide, here and over the dialogs.
    new HelpKey(this);
    FormCreate();
}

TFormMain::~TFormMain()
{
    if (FormMain == this)
        FormMain = nullptr;
}

void TFormMain::FormCreate()
{
    IBQXXMAIN = &m_session.scratch();

    // Qt paints widgets double-buffered already.
    BazaPath = databaseLocation(QCoreApplication::applicationDirPath());

    Login->setText(fromCp1251(ReadRegistryText(HKEY_CURRENT_USER, kSettingsKey, "last login")));
    PageControl1->setCurrentWidget(TabSheetBC);
}

void TFormMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Restored from minimised: the window system shows it again, which is
    // no showing of the form; the focus and the fields stay as they were.
    if (event->spontaneous())
        return;
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            QRect frame = platform::outerFrame(this);
            frame.moveCenter(area.center());
            // On a screen too small for the whole frame (a large scale on a
            // laptop) the title bar stays on it, so the window can be moved.
            frame.moveTop(qMax(frame.top(), area.top()));
            frame.moveLeft(qMax(frame.left(), area.left()));
            move(frame.topLeft());
        }
        // The window manager frames the window a moment after it shows and
        // says nothing when it has; until then the frame is the client area,
        // and a title bar added above may leave the screen. On a busy
        // machine it may frame late or place the window again after, so the
        // title bar is watched for the first five seconds.
        auto *framed = new QTimer(this);
        framed->setInterval(50);
        connect(framed, &QTimer::timeout, this, [this, framed, ticks = 0]() mutable {
            if (frameGeometry() != geometry())
                keepTitleBarOnScreen();
            if (++ticks >= 100)
                framed->deleteLater();
        });
        framed->start();
    }
    FormShow();
    FormResize();
}

void TFormMain::keepTitleBarOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const QPoint shift(qMax(0, area.left() - frame.left()), qMax(0, area.top() - frame.top()));
    if (!shift.isNull())
        move(pos() + shift);
}

void TFormMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TFormMain::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // The frame size is only known once the window manager has framed us.
    FormResize();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // A run stops after its record, unasked, and the window closes then:
    // the connection is the run's until it returns.
    if (m_run.running) {
        m_run.closeWanted = true;
        if (auto *question = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            question->reject();
        event->ignore();
        return;
    }
    guarded(this, [&] { FormClose(); });
    event->accept();
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // Filtering the whole application while a run goes: no key reaches the
    // window but Esc, which asks the stop question after the record.
    if (m_run.running && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        const auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                m_run.escapePressed = true;
            return true;
        }
    }
    if (watched == Password && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            PasswordKeyDown(key);
            return true;
        }
    } else if (watched == TabSheetBC && event->type() == QEvent::Show && !event->spontaneous()) {
        TabSheetBCShow();
    } else if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) && DBGridBC
               && watched == DBGridBC->viewport() && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFormMain::FormShow()
{
    if (Login->text().isEmpty())
        Login->setFocus();
    else
        Password->setFocus();
}

void TFormMain::FormResize()
{
    Panel4->move(width() - Panel4->width(), Panel4->y());
    // Centred on the outer frame, not the client area, so the prompt sits
    // where users have always seen it.
    const QSize outer = platform::outerFrame(this).size();
    Label1->move((outer.width() - Label1->width()) / 2, (outer.height() - Label1->height()) / 2);
}

void TFormMain::FormClose()
{
    if (!IBDatabase1->connected())
        return;
    try {
        IBDatabase1->close();
    } catch (...) {
        IBDatabase1->forceClose();
        throw;
    }
    IBDatabase1->forceClose();
}

void TFormMain::BitBtnGOClick()
{
    guarded(this, [&] {
        if (BitBtnGO->text() == QStringLiteral("стоп"))
            DoLogoff();
        else
            DoLogon();
    });
}

void TFormMain::PasswordKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        guarded(this, [&] { DoLogon(); });
}

void TFormMain::DoLogon()
{
    const QByteArray password = toCp1251(Password->text());
    const QByteArray user = toCp1251(Login->text());
    SignInOutcome outcome;
    try {
        // A new password is asked for through the password dialog.
        outcome = ConnectUser(m_session, {BazaPath, user, password}, showPasswordDialog);
    } catch (const AttachError &) {
        // Not opened, or opened by an account without its rights and
        // closed again: signed out either way.
        DoLogoff();
        throw;
    }
    if (outcome.accepted) {
        BitBtnGO->setText(QStringLiteral("стоп"));
        // Each sign-in opens on the first tab; one again over an open
        // connection leaves the window as it is.
        if (PageControl1->isHidden())
            PageControl1->setCurrentWidget(TabSheetBC);
        PageControl1->show();
        LabelGrace->setText(outcome.grace ? graceSignInText(outcome) : QString());
        LabelGrace->setVisible(outcome.grace);
        if (PageControl1->currentWidget() == TabSheet1)
            showWipeCounts();
        if (CheckCL->isChecked())
            CheckCLClick();
    } else {
        DoLogoff();
    }
}

void TFormMain::DoLogoff()
{
    BitBtnGO->setText(QStringLiteral("старт"));
    Password->clear();
    PageControl1->hide();
    LabelGrace->hide();
    forgetResults();
    IBDatabase1->close();
}

void TFormMain::forgetResults()
{
    // Counts read under one account are not shown to the next.
    LabelWipeCounts->clear();
    LabelClearCounts->clear();
    // The import tab as it was at start: the last run's findings and its
    // rejected lines (readers' names and addresses among them) go.
    EditF->clear();
    RadioCA->setChecked(true);
    CheckCL->setChecked(false);
    LabelCC->clear();
    LabelTT->setText(QStringLiteral("всего записей:"));
    LabelTC->setText(QStringLiteral("уже обработано:"));
    LabelTE->setText(QStringLiteral("из них ошибок:"));
    LabelFormat->clear();
    LabelRate->clear();
    LabelCheck->clear();
    ProgressImport->reset();
    ProgressImport->hide();
    BitBtnRejected->hide();
    m_lastImport.reset();
    // The first-run tab: the wipe's outcome and where its backup went.
    LabelST->setText(QStringLiteral("..."));
    LabelBackup->clear();
    if (FormDiaPass)
        FormDiaPass->clearFields();
}
