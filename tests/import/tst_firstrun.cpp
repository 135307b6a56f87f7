#include "modal.h"
#include "signedin.h"

#include "app/mainform.h"
#include "auth/autent.h"
#include "dialogs/uiplatform.h"
#include "dialogs/formYN.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

namespace {

const QList<QByteArray> kWiped = {"catalog", "udkop", "izdatelstvo", "mnogotom", "comment", "sbornik", "complect",
                                  "newbooks", "spisanie", "spisanieitems", "readers", "zakaz", "ruki"};
const QList<QByteArray> kGenerators = {
    "nncatalog",  "aacatalog",  "nnudkop",    "nnizdatelstvo", "ssizdatelstvo", "nnmnogotom",      "ssmnogotom",
    "nncomment",  "sscomment",  "nnsbornik",  "sssbornik",     "nncomplect",    "rrcomplect",      "ddcomplect",
    "nnnewbooks", "nnspisanie", "llspisanie", "nnspisanieitems", "nnreaders",   "ooreaders",       "nnzakaz",
    "nnruki"};

} // namespace

class TestFirstRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void yesEmptiesTheWorkingTables();
    void noChangesNothing();
    void failedStatementChangesNothing();

private:
    // Puts a row into every working table and moves every generator on.
    void fill();
    void clickWipe(bool yes);
    QByteArray count(const QByteArray &table) { return m_reader->value("select count(*) from " + table); }
    QByteArray nextValue(const QByteArray &generator)
    {
        return m_reader->value("select gen_id(" + generator + ",1) from rdb$database");
    }

    TestDb m_db;
    std::unique_ptr<TFormMain> m_form;
    std::unique_ptr<DbReader> m_reader;
    QStringList m_errors;
};

void TestFirstRun::initTestCase()
{
    platform::showError = [this](QWidget *, const QString &text) { m_errors.append(text); };
}

void TestFirstRun::init()
{
    m_errors.clear();
    m_form = signedInMainForm(m_db);
    QVERIFY(m_form);
    m_reader = std::make_unique<DbReader>(m_form->BazaPath);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    fill();
}

void TestFirstRun::cleanup()
{
    m_reader.reset();
    m_form.reset();
}

void TestFirstRun::fill()
{
    for (const QByteArray &table : kWiped)
        m_reader->exec("insert into " + table + " (num) values (" + QByteArray::number(kWiped.indexOf(table) + 1) + ")");
    for (const QByteArray &generator : kGenerators)
        m_reader->exec("set generator " + generator + " to 41");
}

void TestFirstRun::clickWipe(bool yes)
{
    ModalAnswerer answer([yes](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        QCOMPARE(ask->LabelTXT->text(),
                 QStringLiteral("удалить всё из базы, кроме справочников?"));
        QTest::mouseClick(yes ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->BitBtn1, Qt::LeftButton);
    QCOMPARE(answer.count(), 1);
}

void TestFirstRun::yesEmptiesTheWorkingTables()
{
    clickWipe(true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    for (const QByteArray &table : kWiped)
        QVERIFY2(count(table) == "0", table.constData());
    for (const QByteArray &generator : kGenerators)
        QVERIFY2(nextValue(generator) == "1", generator.constData());
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("выполнено"));
    QVERIFY(m_form->ImageW->isHidden());
    // What the program keeps: the accounts, the register and its generator,
    // and the reference tables it never names.
    QCOMPARE(count("users"), QByteArray("4"));
    QCOMPARE(count("barcodes"), QByteArray("3"));
    QCOMPARE(count("otdely"), QByteArray("2"));
    QCOMPARE(nextValue("nnbarcodes"), QByteArray("4"));
    // A second run on the empty tables succeeds too.
    clickWipe(true);
    QVERIFY(m_errors.isEmpty());
}

void TestFirstRun::noChangesNothing()
{
    m_form->LabelST->setText(QStringLiteral("прежнее"));
    clickWipe(false);
    for (const QByteArray &table : kWiped)
        QVERIFY2(count(table) == "1", table.constData());
    QCOMPARE(nextValue("nncatalog"), QByteArray("42"));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("прежнее"));
    QVERIFY(m_form->ImageW->isHidden());
}

void TestFirstRun::failedStatementChangesNothing()
{
    m_reader->exec("drop table comment");
    clickWipe(true);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QLatin1String("COMMENT")), qPrintable(m_errors[0]));
    // The statements before "delete from comment" are undone with it.
    for (const QByteArray &table : kWiped) {
        if (table != "comment")
            QVERIFY2(count(table) == "1", table.constData());
    }
    QCOMPARE(nextValue("nncatalog"), QByteArray("42"));
    QCOMPARE(nextValue("ssmnogotom"), QByteArray("42"));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("..."));
    QVERIFY(!m_form->ImageW->isHidden());

    // Once repaired, a new run goes through the whole list.
    m_reader->exec("create table comment (num integer not null primary key)");
    m_reader->exec("grant delete on comment to " + builtInUserName());
    m_errors.clear();
    clickWipe(true);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(count("readers"), QByteArray("0"));
    QCOMPARE(nextValue("nnruki"), QByteArray("1"));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("выполнено"));
}

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
