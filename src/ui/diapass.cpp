#include "ui/diapass.h"

#include "base/text1251.h"
#include "ui/guarded.h"
#include "ui/keymarks.h"
#include "ui/uiplatform.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

QByteArray NewPass;
TFormDiaPass *FormDiaPass = nullptr;

namespace {

// The longest password the sign-in strip lets anyone type.
constexpr int kPasswordLength = 16;

QLabel *messageLabel(QWidget *parent, const char *name, int left, int top, const QColor &color)
{
    auto *label = new QLabel(QStringLiteral("срок действия Вашего пароля истёк. Введите новый пароль."), parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(left, top, 121, 64);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setFont(platform::uiFont());
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QLineEdit *passwordField(QWidget *parent, const char *name, int top)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(136, top, 137, 21);
    edit->setEchoMode(QLineEdit::Password);
    // A star for each character, whatever mask the platform's style uses.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    edit->setMaxLength(kPasswordLength);
    new KeyboardMarks(edit);
    return edit;
}

} // namespace

TFormDiaPass::TFormDiaPass(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FormDiaPass"));
    setFixedSize(349, 76);
    setModal(true);
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);

    // The white layer one pixel below and right gives the navy text a shadow.
    Label1 = messageLabel(this, "Label1", 6, 5, Qt::white);
    Label2 = messageLabel(this, "Label2", 5, 4, QColor(0, 0, 128));
    Label2->setAttribute(Qt::WA_TranslucentBackground);

    Edit1 = passwordField(this, "Edit1", 16);
    Edit2 = passwordField(this, "Edit2", 40);

    BitBtnOK = new QPushButton(this);
    BitBtnOK->setObjectName(QStringLiteral("BitBtnOK"));
    BitBtnOK->setGeometry(288, 16, 49, 46);
    BitBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtnOK->setIconSize(QSize(24, 24));
    QFont bold = BitBtnOK->font();
    bold.setBold(true);
    BitBtnOK->setFont(bold);
    // Enter is handled by the fields themselves; a default button would
    // take it a second time.
    BitBtnOK->setAutoDefault(false);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, BitBtnOK);
    Edit1->installEventFilter(this);
    Edit2->installEventFilter(this);
    connect(BitBtnOK, &QPushButton::clicked, this, &TFormDiaPass::BitBtnOKClick);
}

void TFormDiaPass::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TFormDiaPass::keyPressEvent(QKeyEvent *event)
{
    // Only the close box or the system menu closes the dialog: a stray Esc
    // would count as no new password and cost an expired account a grace
    // sign-in, or block it.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFormDiaPass::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == Edit1 || watched == Edit2) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Edit1KeyDown(key);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormDiaPass::FormShow()
{
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        const QSize outer = platform::outerFrame(this).size();
        move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
    setWindowTitle(QStringLiteral("   Введите пароль"));
    if (Edit1->text().isEmpty())
        Edit1->setFocus();
    else
        Edit2->setFocus();
}

void TFormDiaPass::Edit1KeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        BitBtnOKClick();
}

void TFormDiaPass::BitBtnOKClick()
{
    guarded(this, [&] {
        if (Edit1->text() != Edit2->text()) {
            setWindowTitle(QStringLiteral("Ошибка, повторите ввод."));
            Edit1->selectAll();
            Edit1->setFocus();
            return;
        }
        NewPass = toCp1251(Edit1->text());
        accept();
    });
}

void TFormDiaPass::clearFields()
{
    Edit1->clear();
    Edit2->clear();
    NewPass.clear();
}

QByteArray showPasswordDialog()
{
    NewPass.clear();
    if (!FormDiaPass)
        FormDiaPass = new TFormDiaPass;
    FormDiaPass->exec();
    return NewPass;
}
