// The first-run tab of the main window: wiping the working tables.

#include "app/mainform.h"

#include "db/guarded.h"
#include "db/utilites.h"
#include "dialogs/formYN.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace {

// Every working table emptied and its generators set back, in this order.
constexpr const char *kResetList[] = {
    "delete from catalog",
    "set generator nncatalog to 0",
    "set generator aacatalog to 0",
    "delete from udkop",
    "set generator nnudkop to 0",
    "delete from izdatelstvo",
    "set generator nnizdatelstvo to 0",
    "set generator ssizdatelstvo to 0",
    "delete from mnogotom",
    "set generator nnmnogotom to 0",
    "set generator ssmnogotom to 0",
    "delete from comment",
    "set generator nncomment to 0",
    "set generator sscomment to 0",
    "delete from sbornik",
    "set generator nnsbornik to 0",
    "set generator sssbornik to 0",
    "delete from complect",
    "set generator nncomplect to 0",
    "set generator rrcomplect to 0",
    "set generator ddcomplect to 0",
    "delete from newbooks",
    "set generator nnnewbooks to 0",
    "delete from spisanie",
    "set generator nnspisanie to 0",
    "set generator llspisanie to 0",
    "delete from spisanieitems",
    "set generator nnspisanieitems to 0",
    "delete from readers",
    "set generator nnreaders to 0",
    "set generator ooreaders to 0",
    "delete from zakaz",
    "set generator nnzakaz to 0",
    "delete from ruki",
    "set generator nnruki to 0",
};

} // namespace

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

    connect(BitBtn1, &QPushButton::clicked, this, &TFormMain::BitBtn1Click);
}

void TFormMain::BitBtn1Click()
{
    guarded(this, [&] {
        if (!AskYesNo(QStringLiteral("удалить всё из базы, кроме справочников?"), this))
            return;
        LabelST->setText(QStringLiteral("..."));
        ImageW->show();
        QCoreApplication::processEvents();
        ExecAllOrNothing(kResetList);
        LabelST->setText(QStringLiteral("выполнено"));
        ImageW->hide();
    });
}
