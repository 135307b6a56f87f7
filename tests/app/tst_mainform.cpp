#include "modal.h"
#include "signedin.h"

#include "app/application.h"
#include "app/mainform.h"
#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "db/dataset.h"
#include "db/dberror.h"
#include "db/utilites.h"
#include "ui/formYN.h"
#include "ui/help.h"
#include "ui/uiplatform.h"
#include "ui/xkb.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

#include <memory>

// The main window itself: the sign-in strip and the prompt, from a window
// that starts signed out.
class TestMainForm : public WindowTest {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsSignedOut();
    void focusFollowsLastLogin_data();
    void focusFollowsLastLogin();
    void longStoredNameShownWhole();
    void resizePlacesStripAndPrompt();
    void signInAndOut();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void refusedSignInKeepsName_data();
    void refusedSignInKeepsName();
    void enterWhileSignedInChecksAgain();
    void databaseErrorShownAndStateKept();
    void closingSignedInClosesConnection();
    void applicationHandlerShowsEscapedError();
    void restoringFromMinimisedIsNoShowing();
    void passwordMarksWhileFocused_data();
    void passwordMarksWhileFocused();
    void keyboardUnknownOffscreen();
    void layoutOfGroup_data();
    void layoutOfGroup();
    void graceSignInSaid_data();
    void graceSignInSaid();
    void f1OpensTheGuide_data();
    void f1OpensTheGuide();

private:
    void writeLastLogin(const QVariant &value);

    // The platform's own, put back after each test.
    const decltype(platform::capsLockOn) m_capsLockOn = platform::capsLockOn;
    const decltype(platform::keyboardLayout) m_keyboardLayout = platform::keyboardLayout;
};

void TestMainForm::init()
{
    // The last user name is read as the window is made.
    QFile::remove(registryFileName("Software\\Tovi\\Vesko Mika"));
    WindowTest::init();
}

void TestMainForm::cleanup()
{
    WindowTest::cleanup();
    platform::capsLockOn = m_capsLockOn;
    platform::keyboardLayout = m_keyboardLayout;
}

void TestMainForm::writeLastLogin(const QVariant &value)
{
    QSettings store(registryFileName("Software\\Tovi\\Vesko Mika"), QSettings::IniFormat);
    store.setValue(QStringLiteral("last login"), value);
}

void TestMainForm::startsSignedOut()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("  утилиты"));
    QCOMPARE(m_form->size(), QSize(554, 377));
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetBC);
    QVERIFY(!m_form->IBDatabase1->connected());
    QVERIFY(m_form->BazaPath.endsWith(QLatin1String("/vesko.mika.baza"))
            || m_form->BazaPath.endsWith(QLatin1String(".fdb")));
    TFormMain fresh;
    QCOMPARE(fresh.BazaPath, QCoreApplication::applicationDirPath() + QStringLiteral("/vesko.mika.baza"));
    QCOMPARE(fresh.IBQXXMAIN->objectName(), QStringLiteral("IBQXXMAIN"));
}

void TestMainForm::focusFollowsLastLogin_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("focus");
    QTest::newRow("none") << QVariant() << QString() << QStringLiteral("Login");
    QTest::newRow("a name") << QVariant(QStringLiteral("иванова")) << QStringLiteral("иванова")
                            << QStringLiteral("Password");
    QTest::newRow("256 bytes") << QVariant(QByteArray(256, 'n')) << QString(256, u'n') << QStringLiteral("Password");
    QTest::newRow("257 bytes") << QVariant(QByteArray(257, 'n')) << QString() << QStringLiteral("Login");
}

void TestMainForm::focusFollowsLastLogin()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, login);
    QFETCH(QString, focus);
    if (stored.isValid())
        writeLastLogin(stored);
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(form.Login->text(), login);
    QVERIFY(form.focusWidget());
    QCOMPARE(form.focusWidget()->objectName(), focus);
}

void TestMainForm::longStoredNameShownWhole()
{
    writeLastLogin(QStringLiteral("a-rather-long-user-name"));
    TFormMain form;
    QCOMPARE(form.Login->text(), QStringLiteral("a-rather-long-user-name"));
    form.Login->clear();
    QTest::keyClicks(form.Login, QString(20, u'x'));
    QCOMPARE(form.Login->text(), QString(16, u'x'));
}

void TestMainForm::resizePlacesStripAndPrompt()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(m_form->Panel4->x(), 554 - 329);
    const QSize outer = m_form->frameGeometry().size();
    QCOMPARE(m_form->Label1->pos(), QPoint((outer.width() - 305) / 2, (outer.height() - 65) / 2));
}

void TestMainForm::signInAndOut()
{
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("стоп"));
    QVERIFY(m_form->PageControl1->isVisible());
    QVERIFY(m_form->IBDatabase1->connected());
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QVERIFY(!m_form->IBDatabase1->connected());
    QCOMPARE(m_form->Login->text(), QStringLiteral("admin"));
    QVERIFY(m_form->Password->text().isEmpty());
    QVERIFY(m_errors.isEmpty());
}

void TestMainForm::enterPressesTheFocusedButton_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("the strip's button signs out") << QStringLiteral("BitBtnGO");
    QTest::newRow("the folder button opens the file dialog") << QStringLiteral("BitBtnF");
    QTest::newRow("the check runs") << QStringLiteral("BitBtnCheck");
}

void TestMainForm::enterPressesTheFocusedButton()
{
    QFETCH(QString, button);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("catalog.csv"));
    QFile export_(file);
    QVERIFY(export_.open(QIODevice::WriteOnly));
    export_.write("1;A\r\n");
    export_.close();
    int dialogs = 0;
    const auto openFileName = platform::openFileName;
    platform::openFileName = [&](QWidget *, const QString &) {
        ++dialogs;
        return QString();
    };
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    m_form->EditF->setText(file);
    auto *pressed = m_form->findChild<QPushButton *>(button);
    QVERIFY(pressed);
    pressed->setFocus();
    QTest::keyClick(pressed, Qt::Key_Return);
    platform::openFileName = openFileName;
    if (button == QLatin1String("BitBtnGO"))
        QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    else if (button == QLatin1String("BitBtnF"))
        QCOMPARE(dialogs, 1);
    else
        QCOMPARE(m_form->LabelCC->text(), QStringLiteral("проверка завершена"));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void TestMainForm::refusedSignInKeepsName_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("missingFile");
    // Run on the database first, as its administrator.
    QTest::addColumn<QByteArray>("setup");
    // The one message shown, DB standing for the database; empty: none.
    QTest::addColumn<QString>("says");
    QTest::newRow("unknown user") << QStringLiteral("nobody") << QStringLiteral("admin") << false << QByteArray()
                                  << QString();
    QTest::newRow("wrong password") << QStringLiteral("admin") << QStringLiteral("nimda") << false << QByteArray()
                                    << QString();
    QTest::newRow("blocked") << QStringLiteral("sidorov") << QStringLiteral("blok") << false << QByteArray()
                             << QString();
    QTest::newRow("both empty") << QString() << QString() << false << QByteArray() << QString();
    // A database that cannot be opened is said, never passed off as a
    // wrong password.
    QTest::newRow("missing database") << QStringLiteral("admin") << QStringLiteral("admin") << true << QByteArray()
                                      << QStringLiteral("«DB»");
    QTest::newRow("account without its rights")
        << QStringLiteral("admin") << QStringLiteral("admin") << false
        << QByteArray("revoke all on all from " + builtInUserName()) << QStringLiteral("«utilities-db grant DB»");
}

void TestMainForm::refusedSignInKeepsName()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, missingFile);
    QFETCH(QByteArray, setup);
    QFETCH(QString, says);
    if (!setup.isEmpty())
        DbReader(m_form->BazaPath).exec(setup);
    if (missingFile)
        m_form->BazaPath += QStringLiteral(".gone");
    m_form->show();
    m_form->Login->setText(user);
    QTest::keyClicks(m_form->Password, password);
    QTest::keyClick(m_form->Password, Qt::Key_Return);
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QCOMPARE(m_form->Login->text(), user);
    QVERIFY(m_form->Password->text().isEmpty());
    QVERIFY(!m_form->IBDatabase1->connected());
    QCOMPARE(m_errors.size(), says.isEmpty() ? 0 : 1);
    if (!says.isEmpty())
        QVERIFY2(m_errors[0].contains(says.replace(QStringLiteral("DB"), m_form->BazaPath)), qPrintable(m_errors[0]));
}

void TestMainForm::enterWhileSignedInChecksAgain()
{
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY(m_form->PageControl1->isVisible());
    // Same password again: still signed in.
    m_form->Password->setText(QStringLiteral("admin"));
    QTest::keyClick(m_form->Password, Qt::Key_Return);
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("стоп"));
    QVERIFY(m_form->PageControl1->isVisible());
    // The account changed meanwhile: the next Enter signs off.
    DbReader(m_form->BazaPath).exec("update users set xmass = 'changed' where xuser = 'admin'");
    m_form->Password->setText(QStringLiteral("admin"));
    QTest::keyClick(m_form->Password, Qt::Key_Return);
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QVERIFY(!m_form->IBDatabase1->connected());
}

void TestMainForm::databaseErrorShownAndStateKept()
{
    DbReader(m_form->BazaPath).exec("alter table users drop xmass");
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QLatin1String("xmass"), Qt::CaseInsensitive), qPrintable(m_errors[0]));
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("старт"));
    QVERIFY(m_form->PageControl1->isHidden());
    QVERIFY(m_form->IBDatabase1->connected());
}

void TestMainForm::closingSignedInClosesConnection()
{
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY(m_form->IBDatabase1->connected());
    SqlText = "select * from barcodes";
    OpenScratchSelect(m_form->IBQXXMAIN);
    QVERIFY(m_form->close());
    QVERIFY(!m_form->IBDatabase1->connected());
    QVERIFY(m_errors.isEmpty());
}

namespace {
class Thrower : public QObject {
protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw DbError(QStringLiteral("отказ базы"));
        return QObject::event(event);
    }
};
} // namespace

void TestMainForm::applicationHandlerShowsEscapedError()
{
    Thrower thrower;
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::instance()->notify(&thrower, &event));
    QCOMPARE(m_errors, QStringList{QStringLiteral("отказ базы")});
}

void TestMainForm::restoringFromMinimisedIsNoShowing()
{
    m_form->show();
    signIn(QStringLiteral("admin"), QStringLiteral("admin"));
    QVERIFY(m_form->PageControl1->isVisible());
    // The third range picked, a new start typed over it, the mark field
    // in use, when the window goes down.
    m_form->IBQueryBC->moveTo(2);
    m_form->EditS->setText(QStringLiteral("777"));
    m_form->EditME->setFocus();
    m_form->showMinimized();
    QCoreApplication::processEvents();
    m_form->showNormal();
    QCoreApplication::processEvents();
    QCOMPARE(m_form->EditS->text(), QStringLiteral("777"));
    QCOMPARE(m_form->EditP->text(), QStringLiteral("5003"));
    QCOMPARE(m_form->IBQueryBC->recNo(), 2);
    QCOMPARE(m_form->focusWidget(), m_form->EditME);
}

void TestMainForm::passwordMarksWhileFocused_data()
{
    QTest::addColumn<bool>("caps");
    QTest::addColumn<QString>("layout");
    QTest::newRow("Caps Lock on, Russian") << true << QStringLiteral("RU");
    QTest::newRow("Caps Lock off, English") << false << QStringLiteral("EN");
    QTest::newRow("Caps Lock on, layout unknown") << true << QString();
    QTest::newRow("nothing to say") << false << QString();
}

void TestMainForm::passwordMarksWhileFocused()
{
    QFETCH(bool, caps);
    QFETCH(QString, layout);
    bool capsNow = caps;
    QString layoutNow = layout;
    platform::capsLockOn = [&] { return capsNow; };
    platform::keyboardLayout = [&] { return layoutNow; };
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    auto *capsMark = m_form->Password->findChild<QLabel *>(QStringLiteral("PasswordCaps"));
    auto *layoutMark = m_form->Password->findChild<QLabel *>(QStringLiteral("PasswordLayout"));
    QVERIFY(capsMark && layoutMark);

    m_form->Login->setFocus();
    QVERIFY(!capsMark->isVisible() && !layoutMark->isVisible());
    m_form->Password->setFocus();
    QCOMPARE(capsMark->isVisible(), caps);
    QCOMPARE(layoutMark->isVisible(), !layout.isEmpty());
    QCOMPARE(layoutMark->text(), layout);
    // Inside the field, at its right end, clear of the typed stars.
    const QRect field = m_form->Password->rect();
    for (const QLabel *mark : {capsMark, layoutMark}) {
        if (mark->isVisible()) {
            QVERIFY(field.contains(mark->geometry()));
            QVERIFY(mark->x() >= field.width() - m_form->Password->textMargins().right());
        }
    }
    QCOMPARE(m_form->Password->textMargins().right() > 0, caps || !layout.isEmpty());

    // Caps Lock pressed and the layout switched while typing.
    capsNow = !caps;
    layoutNow = QStringLiteral("DE");
    QTest::keyClick(m_form->Password, Qt::Key_X);
    QCOMPARE(capsMark->isVisible(), !caps);
    QCOMPARE(layoutMark->text(), QStringLiteral("DE"));
    // ... or in another window: the next look a moment later sees it.
    capsNow = caps;
    QTRY_COMPARE_WITH_TIMEOUT(capsMark->isVisible(), caps, 2000);

    // Gone with the focus, and the field's whole width back.
    m_form->Login->setFocus();
    QVERIFY(!capsMark->isVisible() && !layoutMark->isVisible());
    QCOMPARE(m_form->Password->textMargins().right(), 0);
}

void TestMainForm::keyboardUnknownOffscreen()
{
    // No keyboard behind the offscreen platform: nothing is claimed.
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    QCOMPARE(platform::capsLockOn(), false);
    QCOMPARE(platform::keyboardLayout(), QString());
    QVERIFY(!xkbCapsLock().has_value());
    QCOMPARE(xkbLayout(), QString());
}

void TestMainForm::layoutOfGroup_data()
{
    QTest::addColumn<QString>("symbols");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("layout");
    QTest::newRow("us,ru: first") << "pc+us+ru:2+inet(evdev)" << 0 << "EN";
    QTest::newRow("us,ru: second") << "pc+us+ru:2+inet(evdev)" << 1 << "RU";
    QTest::newRow("variant and switch option")
        << "pc+us+ru(winkeys):2+inet(evdev)+group(alt_shift_toggle)" << 1 << "RU";
    QTest::newRow("ru first") << "pc+ru+us:2+inet(evdev)" << 0 << "RU";
    QTest::newRow("British, Ukrainian") << "pc+gb+ua:2+inet(evdev)" << 1 << "UA";
    QTest::newRow("one layout") << "pc+de+inet(evdev)" << 0 << "DE";
    QTest::newRow("no such group") << "pc+de+inet(evdev)" << 1 << "";
    QTest::newRow("empty description") << "" << 0 << "";
}

void TestMainForm::layoutOfGroup()
{
    QFETCH(QString, symbols);
    QFETCH(int, group);
    QFETCH(QString, layout);
    QCOMPARE(::layoutOfGroup(symbols, group), layout);
}

void TestMainForm::graceSignInSaid_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("explogins");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("said");
    // clang-format off
    QTest::newRow("password not expired") << "admin" << "admin" << QByteArray() << true << QString();
    QTest::newRow("expired, renewal dismissed")
        << "ivanova" << "kniga" << QByteArray("6") << true
        << QStringLiteral("Пароль действовал до 01.01.2020. Без смены пароля осталось входов: 4.");
    QTest::newRow("the last grace sign-in")
        << "ivanova" << "kniga" << QByteArray("2") << true
        << QStringLiteral("Пароль действовал до 01.01.2020. Это последний вход без смены пароля.");
    // Refused as written: not a word.
    QTest::newRow("blocked by the dismissal") << "ivanova" << "kniga" << QByteArray("1") << false << QString();
    // clang-format on
}

void TestMainForm::graceSignInSaid()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, explogins);
    QFETCH(bool, accepted);
    QFETCH(QString, said);
    if (!explogins.isEmpty())
        DbReader(m_form->BazaPath).exec("update users set explogins = " + explogins + " where xuser = 'ivanova'");
    m_form->show();
    // The renewal is dismissed with the dialog's close box.
    ModalAnswerer dismiss([](QWidget *dialog) { dialog->close(); });
    signIn(user, password);
    QCOMPARE(dismiss.count(), explogins.isEmpty() ? 0 : 1);
    QCOMPARE(m_form->PageControl1->isVisible(), accepted);
    QCOMPARE(m_form->LabelGrace->isVisible(), !said.isEmpty());
    if (!said.isEmpty())
        QCOMPARE(m_form->LabelGrace->text(), said);
    QVERIFY(m_errors.isEmpty());
    // Beside the strip, over nothing else.
    QVERIFY(!m_form->LabelGrace->geometry().intersects(m_form->Panel4->geometry()));
    QVERIFY(!m_form->LabelGrace->geometry().intersects(m_form->PageControl1->geometry()));
    // Signing off takes it away.
    if (accepted) {
        QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
        QVERIFY(!m_form->LabelGrace->isVisible());
    }
}

void TestMainForm::f1OpensTheGuide_data()
{
    QTest::addColumn<bool>("overQuestion");
    QTest::newRow("in the main window") << false;
    // A modal question would leave a guide beside it out of reach.
    QTest::newRow("over a question") << true;
}

void TestMainForm::f1OpensTheGuide()
{
    QFETCH(bool, overQuestion);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QPointer<TFormHelp> help;
    QPointer<QWidget> over = m_form.get();
    if (overQuestion) {
        ModalAnswerer answer([&](QWidget *dialog) {
            over = dialog;
            QTest::keyClick(dialog->focusWidget(), Qt::Key_F1);
            help = dialog->findChild<TFormHelp *>();
            QVERIFY(help && help->isVisible());
            QTest::mouseClick(qobject_cast<TFormYesNo *>(dialog)->BitBtnNet, Qt::LeftButton);
        });
        QVERIFY(!AskYesNo(QStringLiteral("удалить?"), m_form.get()));
        QCOMPARE(answer.count(), 1);
    } else {
        QTest::keyClick(m_form->Login, Qt::Key_F1);
        help = m_form->findChild<TFormHelp *>();
    }
    QVERIFY(help);
    QCOMPARE(help->parentWidget(), over);
    const QTextDocument *guide = help->BrowserHelp->document();
    // The guide's first heading, and its pictures drawn from the program.
    QTextBlock heading = guide->begin();
    while (heading.isValid() && heading.blockFormat().headingLevel() != 1)
        heading = heading.next();
    QVERIFY(heading.isValid());
    QCOMPARE(heading.text(), QStringLiteral("Утилиты абонемента: рабочий день"));
    int pictures = 0;
    for (QTextBlock block = guide->begin(); block.isValid(); block = block.next()) {
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextCharFormat format = piece.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            const QVariant image = guide->resource(QTextDocument::ImageResource, QUrl(name));
            QVERIFY2(image.canConvert<QImage>() && !image.value<QImage>().isNull(), qPrintable(name));
            ++pictures;
        }
    }
    QVERIFY(pictures > 10);
    // A second F1 brings the same guide forward.
    if (!overQuestion) {
        QTest::keyClick(m_form->Password, Qt::Key_F1);
        QCOMPARE(m_form->findChildren<TFormHelp *>().size(), 1);
    }
}

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    TestMainForm test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mainform.moc"
