#include "dbdump.h"
#include "modal.h"
#include "signedin.h"

#include "app/mainform.h"
#include "app/resulttext.h"
#include "auth/autent.h"
#include "base/platform.h"
#include "base/settings.h"
#include "firstrun/backup.h"
#include "firstrun/names.h"
#include "ui/formYN.h"
#include "ui/uiplatform.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <memory>

namespace {

const QList<QByteArray> kWiped = {"catalog",  "udkop",    "izdatelstvo",   "mnogotom", "comment", "sbornik", "complect",
                                  "newbooks", "spisanie", "spisanieitems", "readers",  "zakaz",   "ruki"};
const QList<QByteArray> kGenerators
    = {"nncatalog",  "aacatalog",  "nnudkop",    "nnizdatelstvo", "ssizdatelstvo", "nnmnogotom",
       "ssmnogotom", "nncomment",  "sscomment",  "nnsbornik",     "sssbornik",     "nncomplect",
       "rrcomplect", "ddcomplect", "nnnewbooks", "nnspisanie",    "llspisanie",    "nnspisanieitems",
       "nnreaders",  "ooreaders",  "nnzakaz",    "nnruki"};

// The rows a result shows for each of the tables, found by the names the
// staff know them by, read from its text as seen: "каталог 1 201,
// индексы УДК 1" or a table of the same.
QMap<QByteArray, qint64> shownCounts(const ResultText *shown, const QList<QByteArray> &tables)
{
    QTextDocument document;
    document.setHtml(shown->text());
    const QString text = document.toPlainText().simplified();
    QMap<QByteArray, qint64> counts;
    for (const QByteArray &table : tables) {
        const QRegularExpression count(QRegularExpression::escape(tableTitle(table))
                                       + QStringLiteral(" ([0-9]+(?: [0-9]{3})*)(?![0-9])"));
        const QRegularExpressionMatch match = count.match(text);
        if (match.hasMatch())
            counts.insert(table, match.captured(1).remove(u' ').toLongLong());
    }
    return counts;
}

QMap<QByteArray, qint64> everyTable(const QList<QByteArray> &tables, qint64 rows)
{
    QMap<QByteArray, qint64> counts;
    for (const QByteArray &table : tables)
        counts.insert(table, rows);
    return counts;
}

// Calls back once, when a label is first painted with a text that starts
// with the given one.
class OnPainted : public QObject {
public:
    OnPainted(QLabel *label, const QString &start, std::function<void()> action)
        : m_label(label), m_start(start), m_action(std::move(action))
    {
        label->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint && m_action && m_label->text().startsWith(m_start))
            std::exchange(m_action, {})();
        return false;
    }

private:
    QLabel *m_label;
    QString m_start;
    std::function<void()> m_action;
};

// A click as the window system would deliver it later, queued.
void postClick(QWidget *widget, QPoint at)
{
    const QPointF global = widget->mapToGlobal(QPointF(at));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(widget,
                                    new QMouseEvent(type, QPointF(at), global, Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
    }
}

} // namespace

class TestFirstRun : public SignedInWindowTest {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void yesEmptiesTheWorkingTables();
    void noChangesNothing();
    void failedWipeSaid();
    void backupComesFirstAndRestores();
    void failedBackupSaid();
    void rowsCountedBeforeAndAfterTheWipe();
    void rowsCountedBeforeClearing_data();
    void rowsCountedBeforeClearing();
    void inputDuringTheWipeNotActedOn_data();
    void inputDuringTheWipeNotActedOn();

private:
    // Puts a row into every working table and moves every generator on.
    void fill();
    void clickWipe(bool yes);
    QByteArray count(const QByteArray &table) { return m_reader->value("select count(*) from " + table); }
    QByteArray nextValue(const QByteArray &generator)
    {
        return m_reader->value("select gen_id(" + generator + ",1) from rdb$database");
    }

    // The program's own backups of the signed-in database in folder.
    QStringList ownBackups(const QString &folder) const;

    QTemporaryDir m_files;
    std::unique_ptr<DbReader> m_reader;
};

void TestFirstRun::init()
{
    QFile::remove(userSettingsFile());
    platform::now = [] { return QDateTime::currentDateTime(); };
    SignedInWindowTest::init();
    QVERIFY(m_form);
    m_reader = std::make_unique<DbReader>(m_form->BazaPath);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    fill();
}

void TestFirstRun::cleanup()
{
    m_reader.reset();
    SignedInWindowTest::cleanup();
}

void TestFirstRun::fill()
{
    for (const QByteArray &table : kWiped)
        m_reader->exec("insert into " + table + " (num) values (" + QByteArray::number(kWiped.indexOf(table) + 1)
                       + ")");
    for (const QByteArray &generator : kGenerators)
        m_reader->exec("set generator " + generator + " to 41");
}

QStringList TestFirstRun::ownBackups(const QString &folder) const
{
    QStringList own;
    const QString database = QFileInfo(m_form->BazaPath).fileName();
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::System))
        if (programBackupTime(name, database).isValid())
            own.append(name);
    return own;
}

void TestFirstRun::clickWipe(bool yes)
{
    ModalAnswerer answer([yes](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        QCOMPARE(ask->LabelTXT->text(), QStringLiteral("удалить всё из базы, кроме справочников?"));
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

void TestFirstRun::failedWipeSaid()
{
    // The window's connection, which has counted the table, lets go of it
    // first: the engine drops no table another attachment has in use.
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    m_reader->exec("drop table comment");
    m_form->Login->setText(QStringLiteral("admin"));
    m_form->Password->setText(QStringLiteral("admin"));
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QVERIFY(m_form->PageControl1->isVisible());
    // Signed in afresh on the first tab: the first-run tab counts as it opens.
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetBC);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    // A count that fails is no error box: it only says so on the tab.
    QCOMPARE(m_form->LabelWipeCounts->text(), QStringLiteral("не удалось сосчитать строки таблиц"));
    QVERIFY(m_errors.isEmpty());
    // Left from an earlier wipe: the run sets it back to "..." as it starts.
    m_form->LabelST->setText(QStringLiteral("выполнено"));
    clickWipe(true);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QLatin1String("COMMENT")), qPrintable(m_errors[0]));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("..."));
    QVERIFY(!m_form->ImageW->isHidden());
    QCOMPARE(m_form->LabelWipeCounts->text(), QStringLiteral("не удалось сосчитать строки таблиц"));
}

void TestFirstRun::backupComesFirstAndRestores()
{
    fillEveryTable(*m_reader);
    const QByteArray before = dumpDatabase(m_form->BazaPath);
    clickWipe(true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("выполнено"));
    QVERIFY(dumpDatabase(m_form->BazaPath) != before);

    // The tab names the backup, which lies beside the database.
    const QString prefix = QStringLiteral("резервная копия: ");
    const QString shown = m_form->LabelBackup->text();
    QVERIFY2(shown.startsWith(prefix), qPrintable(shown));
    const QString backup = shown.mid(prefix.size());
    QCOMPARE(QFileInfo(backup).path(), QFileInfo(m_form->BazaPath).path());
    QCOMPARE(ownBackups(QFileInfo(backup).path()), QStringList{QFileInfo(backup).fileName()});

    const QString restored = m_files.filePath(QStringLiteral("restored.fdb"));
    QByteArray output;
    QCOMPARE(runDbTool({QStringLiteral("restore"), backup, restored}, &output), 0);
    QCOMPARE(dumpDatabase(restored), before);
    // The program works on the restored database as it did before.
    const auto again = signedInMainForm(restored);
    QVERIFY(again);
    QCOMPARE(again->IBQueryBC->recordCount(), 4);
}

void TestFirstRun::rowsCountedBeforeAndAfterTheWipe()
{
    // Opened before fill(): the tab counted the empty tables.
    QCOMPARE(shownCounts(m_form->LabelWipeCounts, kWiped), everyTable(kWiped, 0));
    // More than a thousand, to see the digits grouped.
    m_reader->exec("execute block as declare i integer = 100; begin while (i < 1300) do begin "
                   "insert into catalog (num) values (:i); i = i + 1; end end");
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetBC);
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    QMap<QByteArray, qint64> before = everyTable(kWiped, 1);
    before["catalog"] = 1201;
    QCOMPARE(shownCounts(m_form->LabelWipeCounts, kWiped), before);
    QVERIFY2(m_form->LabelWipeCounts->text().contains(QString::fromUtf8("1\u00a0201")),
             qPrintable(m_form->LabelWipeCounts->text()));

    clickWipe(true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(shownCounts(m_form->LabelWipeCounts, kWiped), everyTable(kWiped, 0));
}

void TestFirstRun::rowsCountedBeforeClearing_data()
{
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<QString>("shown");
    QTest::newRow("catalogue") << true
                               << QString::fromUtf8("будет удалено строк:\nкаталог 1\u00a0001\nиздательства 1\n"
                                                    "сборники 1\nпримечания к книгам 1\nмноготомные издания 1\n"
                                                    "индексы УДК 1");
    QTest::newRow("readers") << false << QStringLiteral("будет удалено строк:\nчитатели 1\nкниги на руках 1\nзаказы 1");
}

void TestFirstRun::rowsCountedBeforeClearing()
{
    QFETCH(bool, catalogue);
    QFETCH(QString, shown);
    m_reader->exec("execute block as declare i integer = 100; begin while (i < 1100) do begin "
                   "insert into catalog (num) values (:i); i = i + 1; end end");
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    QTest::mouseClick(catalogue ? m_form->RadioCA : m_form->RadioKA, Qt::LeftButton);
    QVERIFY(m_form->LabelClearCounts->text().isEmpty());
    m_form->CheckCL->click();
    QCOMPARE(m_form->LabelClearCounts->text(), shown);
    // Unticked, it says nothing; ticked again, it counts again.
    m_form->CheckCL->click();
    QVERIFY(m_form->LabelClearCounts->text().isEmpty());
    m_reader->exec(catalogue ? "delete from udkop" : "delete from zakaz");
    m_form->CheckCL->click();
    QCOMPARE(m_form->LabelClearCounts->text(),
             QString(shown).replace(catalogue ? QStringLiteral("УДК 1") : QStringLiteral("заказы 1"),
                                    catalogue ? QStringLiteral("УДК 0") : QStringLiteral("заказы 0")));
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

// The wipe's refusals are its unit's; here, that the tab says them.
void TestFirstRun::failedBackupSaid()
{
    QDir().mkpath(QFileInfo(userSettingsFile()).path());
    QSettings(userSettingsFile(), QSettings::IniFormat)
        .setValue(QStringLiteral("backup folder"), m_files.filePath(QStringLiteral("nowhere")));
    clickWipe(true);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].startsWith(QStringLiteral("Резервная копия базы не создана, поэтому база не очищена")),
             qPrintable(m_errors[0]));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("база не очищена"));
    QCOMPARE(m_form->LabelBackup->text(), QStringLiteral("резервная копия не создана"));
    QVERIFY(m_form->ImageW->isHidden());
    QCOMPARE(count("catalog"), QByteArray("1"));
}

void TestFirstRun::inputDuringTheWipeNotActedOn_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("when");

    // Clicked as the backup starts, the click is taken by the wipe's own
    // pass over the window's events; as the backup is named, it waits
    // until just before the controls come back.
    const QString starts = QStringLiteral("резервная копия...");
    const QString named = QStringLiteral("резервная копия: ");
    QTest::newRow("удалить всё again, as the backup starts") << QStringLiteral("BitBtn1") << starts;
    QTest::newRow("удалить всё again, as the backup is named") << QStringLiteral("BitBtn1") << named;
    QTest::newRow("стоп in the strip") << QStringLiteral("BitBtnGO") << named;
    QTest::newRow("the first tab") << QStringLiteral("tab") << starts;
}

void TestFirstRun::inputDuringTheWipeNotActedOn()
{
    QFETCH(QString, target);
    QFETCH(QString, when);
    bool during = false;
    OnPainted clicked(when.endsWith(u'.') ? m_form->LabelST : m_form->LabelBackup, when, [&] {
        during = m_form->runInProgress() && !m_form->BitBtn1->isEnabled() && !m_form->BitBtnGO->isEnabled();
        if (target == QStringLiteral("tab")) {
            QTabBar *tabs = m_form->PageControl1->tabBar();
            postClick(tabs, tabs->tabRect(0).center());
            return;
        }
        auto *widget = m_form->findChild<QWidget *>(target);
        QVERIFY(widget);
        postClick(widget, widget->rect().center());
    });
    // A second question, were one asked, is answered no.
    int asked = 0;
    ModalAnswerer answer([&](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        QTest::mouseClick(++asked == 1 ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->BitBtn1, Qt::LeftButton);
    // Anything still queued reaches the window now, as it would once the
    // handler returns.
    QCoreApplication::processEvents();
    QVERIFY(during);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(answer.count(), 1);
    QCOMPARE(ownBackups(QFileInfo(m_form->BazaPath).path()).size(), 1);
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("выполнено"));
    QCOMPARE(count("catalog"), QByteArray("0"));
    // Still signed in, on the first-run tab, with the controls back.
    QVERIFY(m_form->PageControl1->isVisible());
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheet1);
    for (QWidget *control :
         QList<QWidget *>{m_form->BitBtn1, m_form->BitBtnGO, m_form->Password, m_form->PageControl1->tabBar()})
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(!m_form->runInProgress());
}

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
