#include "ui/reprintdialog.h"

#include "labels/reprintlist.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

TFormReprint::TFormReprint(const QString &mark, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormReprint"));
    setWindowTitle(QStringLiteral("перепечатать наклейки"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(QStringLiteral("номера наклеек, по одному в строке: наберите, вставьте или считайте "
                                           "сканером; Ctrl+Enter — к просмотру. Диапазон не регистрируется."),
                            this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    EditNumbers = new QPlainTextEdit(this);
    EditNumbers->setObjectName(QStringLiteral("EditNumbers"));
    EditNumbers->setTabChangesFocus(true);
    layout->addWidget(EditNumbers, 1);
    auto *form = new QFormLayout;
    EditMark = new QLineEdit(mark, this);
    EditMark->setObjectName(QStringLiteral("EditMark"));
    form->addRow(QStringLiteral("метка:"), EditMark);
    layout->addLayout(form);
    LabelProblems = new QLabel(this);
    LabelProblems->setObjectName(QStringLiteral("LabelProblems"));
    LabelProblems->setWordWrap(true);
    LabelProblems->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelProblems->setStyleSheet(QStringLiteral("color: #b00000"));
    layout->addWidget(LabelProblems);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("к просмотру"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("отмена"));
    // Enter from a scanner ends a line, not the dialog.
    buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    buttons->button(QDialogButtonBox::Ok)->setDefault(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormReprint::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // The keyboard's way to the preview, since Enter ends a line.
    auto *toPreview = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), this);
    connect(toPreview, &QShortcut::activated, this, &TFormReprint::accept);
    auto *toPreviewKeypad = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), this);
    connect(toPreviewKeypad, &QShortcut::activated, this, &TFormReprint::accept);
    buttons->button(QDialogButtonBox::Ok)->setToolTip(QStringLiteral("Ctrl+Enter"));
    resize(420, 420);
}

void TFormReprint::accept()
{
    const ReprintList list = readReprintList(EditNumbers->toPlainText());
    if (!list.problems.isEmpty()) {
        LabelProblems->setText(QStringLiteral("Не напечатано ничего, исправьте строки:\n") + list.problems.join(u'\n'));
        return;
    }
    if (list.numbers.isEmpty()) {
        LabelProblems->setText(QStringLiteral("Нет ни одного номера."));
        return;
    }
    Numbers = list.numbers;
    QDialog::accept();
}
