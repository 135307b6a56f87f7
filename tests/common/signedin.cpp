#include "signedin.h"

#include "modal.h"

#include "base/platform.h"
#include "ui/formYN.h"
#include "ui/uiplatform.h"

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

void WindowTest::initTestCase()
{
    platform::showError = [this](QWidget *, const QString &text) { m_errors.append(text); };
    platform::registryFolder = [this] { return m_settings.path(); };
    platform::systemSettingsFolder = [this] { return m_settings.filePath(QStringLiteral("system")); };
}

void WindowTest::init()
{
    m_errors.clear();
    m_form = std::make_unique<TFormMain>();
    m_form->BazaPath = m_db.freshFile();
}

void WindowTest::cleanup()
{
    m_form.reset();
}

void WindowTest::signIn(const QString &user, const QString &password)
{
    m_form->Login->setText(user);
    m_form->Password->setText(password);
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
}

void SignedInWindowTest::init()
{
    WindowTest::init();
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY2(m_form->PageControl1->isVisible(), "the demo administrator could not sign in");
}

int WindowTest::answerQuestion(bool yes, const std::function<void()> &action)
{
    ModalAnswerer answerer([yes](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        QTest::mouseClick(yes ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    action();
    return answerer.count();
}

QList<QByteArray> WindowTest::rows(const QByteArray &select) const
{
    return DbReader(m_form->BazaPath).rows(select);
}

void WindowTest::exec(const QByteArray &statement) const
{
    DbReader(m_form->BazaPath).exec(statement);
}
