#include "signedin.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

std::unique_ptr<TFormMain> signedInMainForm(TestDb &db)
{
    return signedInMainForm(db.freshFile());
}

std::unique_ptr<TFormMain> signedInMainForm(const QString &database)
{
    auto form = std::make_unique<TFormMain>();
    form->BazaPath = database;
    form->show();
    form->Login->setText(QStringLiteral("admin"));
    form->Password->setText(QStringLiteral("admin"));
    QTest::mouseClick(form->BitBtnGO, Qt::LeftButton);
    if (!form->PageControl1->isVisible()) {
        QTest::qFail("the demo administrator could not sign in", __FILE__, __LINE__);
        return nullptr;
    }
    return form;
}
