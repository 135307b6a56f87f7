#include "modal.h"

#include "base/text1251.h"
#include "ui/diapass.h"
#include "ui/uiplatform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestDiaPass : public QObject {
    Q_OBJECT

private slots:
    void init();
    void equalEntriesConfirm_data();
    void equalEntriesConfirm();
    void mismatchKeepsDialogOpen();
    void secondShowingKeepsEntries();
    void closeBoxAfterErrorGivesNothing();
    void fieldsTakeSixteenCharacters();
    void keyboardMarksFollowTheFocus();

private:
    // Shows the dialog modally; the action runs inside it.
    void show(const std::function<void(TFormDiaPass *)> &action);

    TFormDiaPass *m_dialog = nullptr;
};

void TestDiaPass::init()
{
    delete m_dialog;
    m_dialog = new TFormDiaPass;
    NewPass = "untouched";
}

void TestDiaPass::show(const std::function<void(TFormDiaPass *)> &action)
{
    NewPass.clear();
    ModalAnswerer answerer([&](QWidget *) {
        QVERIFY(QTest::qWaitForWindowActive(m_dialog));
        action(m_dialog);
        if (m_dialog->isVisible())
            m_dialog->close();
    });
    m_dialog->exec();
    QCOMPARE(answerer.count(), 1);
}

void TestDiaPass::equalEntriesConfirm_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("escapeIn");
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("button") << QStringLiteral("Пароль1") << QString() << false;
    QTest::newRow("enter") << QStringLiteral("with'quote") << QString() << true;
    QTest::newRow("both empty") << QString() << QString() << false;
    QTest::newRow("escape in Edit1, then the button") << QStringLiteral("esc1") << QStringLiteral("Edit1") << false;
    QTest::newRow("escape in Edit2, then enter") << QStringLiteral("esc2") << QStringLiteral("Edit2") << true;
    QTest::newRow("escape on the button, then enter") << QStringLiteral("esc3") << QStringLiteral("BitBtnOK") << true;
    QTest::newRow("escape, both empty") << QString() << QStringLiteral("FormDiaPass") << false;
}

void TestDiaPass::equalEntriesConfirm()
{
    QFETCH(QString, entry);
    QFETCH(QString, escapeIn);
    QFETCH(bool, byEnter);
    bool closedByOk = false;
    bool openAfterEscape = true;
    show([&](TFormDiaPass *d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("   Введите пароль"));
        QCOMPARE(d->focusWidget(), d->Edit1);
        // Typed as text: the test's key simulation knows only ASCII.
        d->Edit1->setText(entry);
        d->Edit2->setText(entry);
        if (!escapeIn.isEmpty()) {
            // Only the close box closes the dialog; Esc gives no answer at all.
            auto *target = d->objectName() == escapeIn ? d : d->findChild<QWidget *>(escapeIn);
            QVERIFY(target);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Escape);
            openAfterEscape
                = d->isVisible() && NewPass.isEmpty() && d->windowTitle() == QStringLiteral("   Введите пароль");
        }
        if (byEnter)
            QTest::keyClick(d->Edit2, Qt::Key_Return);
        else
            QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
        closedByOk = !d->isVisible();
    });
    QVERIFY(openAfterEscape);
    QVERIFY(closedByOk);
    QCOMPARE(fromCp1251(NewPass), entry);
}

void TestDiaPass::mismatchKeepsDialogOpen()
{
    show([](TFormDiaPass *d) {
        QTest::keyClicks(d->Edit1, QStringLiteral("abc"));
        QTest::keyClick(d->Edit1, Qt::Key_Return);
        QVERIFY(d->isVisible());
        QCOMPARE(d->windowTitle(), QStringLiteral("Ошибка, повторите ввод."));
        QCOMPARE(d->focusWidget(), d->Edit1);
        QCOMPARE(d->Edit1->selectedText(), QStringLiteral("abc"));
        QTest::keyClicks(d->Edit2, QStringLiteral("abd"));
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
        QVERIFY(d->isVisible());
        QCOMPARE(d->windowTitle(), QStringLiteral("Ошибка, повторите ввод."));
        d->Edit2->setText(QStringLiteral("abc"));
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
        QVERIFY(!d->isVisible());
    });
    QCOMPARE(NewPass, QByteArray("abc"));
}

void TestDiaPass::secondShowingKeepsEntries()
{
    show([](TFormDiaPass *d) {
        d->Edit1->setText(QStringLiteral("keep"));
        d->Edit2->setText(QStringLiteral("keep"));
    });
    QVERIFY(NewPass.isEmpty());
    show([](TFormDiaPass *d) {
        QCOMPARE(d->Edit1->text(), QStringLiteral("keep"));
        QCOMPARE(d->Edit2->text(), QStringLiteral("keep"));
        QCOMPARE(d->Edit1->echoMode(), QLineEdit::Password);
        QCOMPARE(d->focusWidget(), d->Edit2);
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
    });
    QCOMPARE(NewPass, QByteArray("keep"));
}

void TestDiaPass::closeBoxAfterErrorGivesNothing()
{
    show([](TFormDiaPass *d) {
        d->Edit1->setText(QStringLiteral("x"));
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
        QCOMPARE(d->windowTitle(), QStringLiteral("Ошибка, повторите ввод."));
    });
    QVERIFY(NewPass.isEmpty());
    show([](TFormDiaPass *d) { QCOMPARE(d->windowTitle(), QStringLiteral("   Введите пароль")); });
}

void TestDiaPass::fieldsTakeSixteenCharacters()
{
    show([](TFormDiaPass *d) {
        QTest::keyClicks(d->Edit1, QString(20, u'a'));
        QTest::keyClicks(d->Edit2, QString(20, u'a'));
        QCOMPARE(d->Edit1->text().size(), 16);
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
    });
    QCOMPARE(NewPass, QByteArray(16, 'a'));
}

void TestDiaPass::keyboardMarksFollowTheFocus()
{
    const auto capsLockOn = platform::capsLockOn;
    const auto keyboardLayout = platform::keyboardLayout;
    platform::capsLockOn = [] { return true; };
    platform::keyboardLayout = [] { return QStringLiteral("RU"); };
    const auto shown = [](QLineEdit *field) {
        const auto *caps = field->findChild<QLabel *>(field->objectName() + QStringLiteral("Caps"));
        const auto *layout = field->findChild<QLabel *>(field->objectName() + QStringLiteral("Layout"));
        if (!caps || !layout)
            return QStringLiteral("no marks");
        return QStringLiteral("%1 %2").arg(caps->isVisible() ? caps->text() : QString(),
                                           layout->isVisible() ? layout->text() : QString());
    };
    show([&](TFormDiaPass *d) {
        QCOMPARE(shown(d->Edit1), QStringLiteral("⇪ RU"));
        QCOMPARE(shown(d->Edit2), QStringLiteral(" "));
        QTest::keyClick(d->Edit1, Qt::Key_Tab);
        QCOMPARE(d->focusWidget(), d->Edit2);
        QCOMPARE(shown(d->Edit1), QStringLiteral(" "));
        QCOMPARE(shown(d->Edit2), QStringLiteral("⇪ RU"));
        // A mismatch puts the focus back in the first field, marks and all.
        d->Edit1->setText(QStringLiteral("a"));
        QTest::mouseClick(d->BitBtnOK, Qt::LeftButton);
        QCOMPARE(shown(d->Edit1), QStringLiteral("⇪ RU"));
        QCOMPARE(shown(d->Edit2), QStringLiteral(" "));
    });
    platform::capsLockOn = capsLockOn;
    platform::keyboardLayout = keyboardLayout;
}

QTEST_MAIN(TestDiaPass)
#include "tst_diapass.moc"
