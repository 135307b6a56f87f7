// The first-run tab of the main window: wiping the working tables.

#include "app/mainform.h"

#include "dialogs/guarded.h"
#include "import/wipe.h"
#include "dialogs/formYN.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>


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
        runWipe();
        LabelST->setText(QStringLiteral("выполнено"));
        ImageW->hide();
    });
}
