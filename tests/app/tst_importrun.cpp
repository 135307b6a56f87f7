#include "modal.h"
#include "signedin.h"

#include "app/mainform.h"
#include "app/quitsignals.h"
#include "app/resulttext.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "import/journal.h"
#include "ui/diapass.h"
#include "ui/formYN.h"
#include "ui/rejectedlines.h"
#include "ui/uiplatform.h"

#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

#include <csignal>

using Rows = QList<QByteArray>;

namespace {

// Notes the text of a label each time it is painted, and hands it on.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(QLabel *label, std::function<void(const QString &)> onPaint = {})
        : m_label(label), m_onPaint(std::move(onPaint))
    {
        label->installEventFilter(this);
    }
    QStringList painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint) {
            painted += m_label->text();
            if (m_onPaint)
                m_onPaint(m_label->text());
        }
        return false;
    }

private:
    QLabel *m_label;
    std::function<void(const QString &)> m_onPaint;
};

// What a label showed in turn: each text once, however often painted.
QStringList inTurn(QStringList painted)
{
    painted.erase(std::unique(painted.begin(), painted.end()), painted.end());
    return painted;
}

} // namespace

class TestImportRun : public SignedInWindowTest {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void workedExampleStoresTwoRows();
    void apostrophesStoredAsInTheFile_data();
    void apostrophesStoredAsInTheFile();
    void cyrillicStoredAsTheFileBytes_data();
    void cyrillicStoredAsTheFileBytes();
    void clearingTouchesOnlyTheChosenMode_data();
    void clearingTouchesOnlyTheChosenMode();
    void choosingFileOrModeUnticksClearing_data();
    void choosingFileOrModeUnticksClearing();
    void errorEndsTheRun_data();
    void errorEndsTheRun();
    void countersPaintedDuringTheRun();
    void stopQuestion_data();
    void stopQuestion();
    void unopenedFileRunsNothing();
    void refusedFileSaid();
    void examplesImportCleanly_data();
    void examplesImportCleanly();
    void encodingAndLineEndsShown_data();
    void encodingAndLineEndsShown();
    void rejectedLinesOffered();
    void checkChangesNothing();
    void rateShown();
    void inputDuringARunNotActedOn_data();
    void inputDuringARunNotActedOn();
    void signOutLeavesNothingForTheNext();
    void signalStopsTheRunAndClosesTheWindow();
    void goingOnOffered_data();
    void goingOnOffered();

private:
    QString writeFile(const QByteArray &bytes);
    void run(const QString &path, bool catalogue, bool clear = false);
    void runBytes(const QByteArray &bytes, bool catalogue, bool clear = false);
    // The three counters as shown.
    QStringList counters() const { return {m_form->LabelTT->text(), m_form->LabelTC->text(), m_form->LabelTE->text()}; }
    static QStringList shown(int total, int processed, int errors);

    QTemporaryDir m_files;
    int m_fileCount = 0;
};

void TestImportRun::initTestCase()
{
    SignedInWindowTest::initTestCase();
    QVERIFY(m_files.isValid());
    journalFolder = [this] { return m_files.filePath(QStringLiteral("journals")); };
    platform::openFileName = [](QWidget *, const QString &) -> QString {
        qFatal("a file dialog was opened");
        return QString();
    };
}

void TestImportRun::init()
{
    QCursor::setPos(0, 0);
    SignedInWindowTest::init();
    QVERIFY(m_form);
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
}

QString TestImportRun::writeFile(const QByteArray &bytes)
{
    const QString path = m_files.filePath(QStringLiteral("import%1.csv").arg(++m_fileCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestImportRun::run(const QString &path, bool catalogue, bool clear)
{
    QTest::mouseClick(catalogue ? m_form->RadioCA : m_form->RadioKA, Qt::LeftButton);
    m_form->EditF->setText(path);
    m_form->CheckCL->setChecked(clear);
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
}

void TestImportRun::runBytes(const QByteArray &bytes, bool catalogue, bool clear)
{
    run(writeFile(bytes), catalogue, clear);
}

QStringList TestImportRun::shown(int total, int processed, int errors)
{
    return {QStringLiteral("всего записей: %1").arg(total), QStringLiteral("уже обработано: %1").arg(processed),
            QStringLiteral("из них ошибок: %1").arg(errors)};
}

void TestImportRun::workedExampleStoresTwoRows()
{
    runBytes("12345;Ivanov;Title;Place;Press;1985;5-0000-0;1000;200 p.;kn;ab;f1;12,50\r\n", true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(rows("select num,catalog,mnt,barcod,autor,title,izdata2,isbn,tirazh,objem,vid,otdel,fond,cost,uchet "
                  "from catalog"),
             Rows{"1|e|m|0000012345|Ivanov|Title|1985|5-0000-0|1000|200 p.|kn|ab|f1|1250|k"});
    QCOMPARE(rows("select num,barcod,izd,mesto from izdatelstvo"), Rows{"1|0000012345|Press|Place"});
    QCOMPARE(counters(), shown(1, 1, 0));
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
    QVERIFY(!m_form->ImageX->isVisible());
}

void TestImportRun::apostrophesStoredAsInTheFile_data()
{
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("inside") << QByteArray("O'Brien") << QByteArray("O'Brien");
    QTest::newRow("pair inside") << QByteArray("It''s") << QByteArray("It''s");
    QTest::newRow("enclosing apostrophes kept") << QByteArray("'quoted'") << QByteArray("'quoted'");
    QTest::newRow("enclosing double quotes dropped") << QByteArray("\"quoted\"") << QByteArray("quoted");
    QTest::newRow("lone apostrophe") << QByteArray("'") << QByteArray("'");
    QTest::newRow("cut through a pair") << QByteArray(249, 'a') + "'b" << QByteArray(249, 'a') + "'";
}

void TestImportRun::apostrophesStoredAsInTheFile()
{
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, stored);
    runBytes("1;" + title + ";" + title, true);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(counters(), shown(1, 1, 0));
    QCOMPARE(rows("select autor, title from catalog"), Rows{stored + '|' + stored});
}

void TestImportRun::cyrillicStoredAsTheFileBytes_data()
{
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<QString>("text");
    QTest::newRow("catalogue") << true << QStringLiteral("Пушкин А. С.;Евгений Онегин");
    QTest::newRow("readers") << false << QStringLiteral("Фёдорова;Ёлка");
    QTest::newRow("whole alphabet") << false
                                    << QStringLiteral(
                                           "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ;абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    QTest::newRow("signs of the code page") << true << QStringLiteral("№ «ёлка» — §1;Їжак і ґанок ў");
}

void TestImportRun::cyrillicStoredAsTheFileBytes()
{
    QFETCH(bool, catalogue);
    QFETCH(QString, text);
    const QByteArray bytes = toCp1251(text);
    runBytes("3;" + bytes + "\r\n", catalogue);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    const Rows stored = rows(catalogue ? "select autor, title from catalog" : "select lname, fname from readers");
    QCOMPARE(stored, Rows{QByteArray(bytes).replace(';', '|')});
}

void TestImportRun::clearingTouchesOnlyTheChosenMode_data()
{
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<Rows>("after");

    // Each table is seeded with one row whose key is 50; a row reads
    // "table|rows|largest key|generator".
    QTest::newRow("catalogue cleared") << true << true
                                       << Rows{"catalog|1|1|1",      "izdatelstvo|1|1|1",   "sbornik|0|<null>|0",
                                               "comment|0|<null>|0", "mnogotom|0|<null>|0", "udkop|0|<null>|0",
                                               "readers|1|50|50",    "ruki|1|50|50",        "zakaz|1|50|50"};
    QTest::newRow("readers cleared") << false << true
                                     << Rows{"catalog|1|50|50", "izdatelstvo|1|50|50", "sbornik|1|50|50",
                                             "comment|1|50|50", "mnogotom|1|50|50",    "udkop|1|50|50",
                                             "readers|1|1|1",   "ruki|0|<null>|0",     "zakaz|0|<null>|0"};
    QTest::newRow("catalogue not ticked")
        << true << false
        << Rows{"catalog|2|51|51", "izdatelstvo|2|51|51", "sbornik|1|50|50", "comment|1|50|50", "mnogotom|1|50|50",
                "udkop|1|50|50",   "readers|1|50|50",     "ruki|1|50|50",    "zakaz|1|50|50"};
}

void TestImportRun::clearingTouchesOnlyTheChosenMode()
{
    QFETCH(bool, catalogue);
    QFETCH(bool, clear);
    QFETCH(Rows, after);
    const QList<QByteArray> tables{"catalog", "izdatelstvo", "sbornik", "comment", "mnogotom",
                                   "udkop",   "readers",     "ruki",    "zakaz"};
    for (const QByteArray &table : tables) {
        exec("set generator nn" + table + " to 49");
        exec("insert into " + table + " (num) values (gen_id(nn" + table + ",1))");
    }
    runBytes(catalogue ? "7;A;T;Place;Press\r\n" : "7;Ivanov\r\n", catalogue, clear);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    Rows state;
    for (const QByteArray &table : tables) {
        state += table + '|'
            + DbReader(m_form->BazaPath).value("select count(*), max(num), gen_id(nn" + table + ",0) from " + table);
    }
    QCOMPARE(state, after);
    QVERIFY(!m_form->CheckCL->isChecked());
    // Accounts and ranges are never cleared.
    QCOMPARE(rows("select count(*) from users"), Rows{"4"});
    QCOMPARE(rows("select count(*) from barcodes"), Rows{"3"});
}

void TestImportRun::choosingFileOrModeUnticksClearing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<bool>("catalogue");
    QTest::newRow("file chosen") << QStringLiteral("file") << QStringLiteral("chosen") << true;
    QTest::newRow("file dialog cancelled") << QStringLiteral("file") << QString() << true;
    QTest::newRow("reader mode clicked") << QStringLiteral("readers") << QString() << false;
    QTest::newRow("catalogue mode clicked again") << QStringLiteral("catalogue") << QString() << true;
}

void TestImportRun::choosingFileOrModeUnticksClearing()
{
    QFETCH(QString, action);
    QFETCH(QString, picked);
    QFETCH(bool, catalogue);
    exec("insert into catalog (num, barcod) values (90, 'old')");
    exec("insert into readers (num, nomer) values (90, 90)");
    const QString typed = writeFile("5;A\r\n");
    const QString chosen = picked.isEmpty() ? QString() : writeFile("6;B\r\n");

    const auto dialog = platform::openFileName;
    QStringList filters;
    platform::openFileName = [&](QWidget *, const QString &filter) {
        filters += filter;
        return chosen;
    };
    m_form->EditF->setText(typed);
    m_form->CheckCL->setChecked(true);
    if (action == QStringLiteral("file"))
        QTest::mouseClick(m_form->BitBtnF, Qt::LeftButton);
    else
        QTest::mouseClick(action == QStringLiteral("readers") ? m_form->RadioKA : m_form->RadioCA, Qt::LeftButton);
    platform::openFileName = dialog;

    QVERIFY(!m_form->CheckCL->isChecked());
    QCOMPARE(m_form->RadioCA->isChecked(), catalogue);
    QCOMPARE(filters,
             action == QStringLiteral("file") ? QStringList{QStringLiteral("*.csv; *.txt (*.csv *.txt)")}
                                              : QStringList{});
    QCOMPARE(m_form->EditF->text(), chosen.isEmpty() ? typed : chosen);

    // The run that follows clears nothing.
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(m_form->LabelTC->text(), QStringLiteral("уже обработано: 1"));
    QCOMPARE(rows("select barcod from catalog where num = 90"), Rows{"old"});
    QCOMPARE(rows("select nomer from readers where num = 90"), Rows{"90"});
}

void TestImportRun::errorEndsTheRun_data()
{
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<Rows>("setup");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<bool>("pictureShown");
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<Rows>("stored");
    QTest::addColumn<QString>("message");
    // Where to go on, as the tab says it; empty when nothing was stored.
    QTest::addColumn<QString>("goOn");

    const QStringList untouched{QStringLiteral("всего записей:"), QStringLiteral("уже обработано:"),
                                QStringLiteral("из них ошибок:")};
    QTest::newRow("publisher row refused")
        << true << true << Rows{"alter table izdatelstvo drop mesto"}
        << QByteArray("1;A;T\r\nx\r\n2;B;T;Place;Press\r\n3;C;T\r\n") << QStringLiteral("импортирование данных")
        << shown(4, 2, 1) << true << QByteArray("select barcod from catalog order by num") << Rows{"0000000001"}
        << QStringLiteral("Строка 3 файла: база данных не приняла запись, поле «место издания».")
        << QStringLiteral("сохранено записей: 1; запись со строки 3 файла не сохранена, продолжить можно с неё");
    QTest::newRow("reader number too large for the column")
        << false << false << Rows{} << QByteArray("1;a\r\n;\r\n99999999999;b\r\n4;d")
        << QStringLiteral("импортирование данных") << shown(4, 2, 1) << true
        << QByteArray("select nomer from readers order by num") << Rows{"1"}
        << QStringLiteral("Строка 3 файла: база данных не приняла запись.\nЗапись: «99999999999;b»\n"
                          "Сохранено записей: 1; запись со строки 3 файла не сохранена, продолжить можно с неё.\n\n"
                          "arithmetic exception, numeric overflow")
        << QStringLiteral("сохранено записей: 1; запись со строки 3 файла не сохранена, продолжить можно с неё");
    QTest::newRow("clearing refused") << false << true
                                      << Rows{"insert into readers (num, nomer) values (1, 1)", "drop table zakaz"}
                                      << QByteArray("1;a\r\n") << QStringLiteral("чистка таблицы") << untouched << false
                                      << QByteArray("select count(*) from readers") << Rows{"1"}
                                      << QStringLiteral("ZAKAZ") << QString();
}

void TestImportRun::errorEndsTheRun()
{
    QFETCH(bool, catalogue);
    QFETCH(bool, clear);
    QFETCH(Rows, setup);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, phase);
    QFETCH(QStringList, labels);
    QFETCH(bool, pictureShown);
    QFETCH(QByteArray, select);
    QFETCH(Rows, stored);
    QFETCH(QString, message);
    QFETCH(QString, goOn);
    for (const QByteArray &statement : setup)
        exec(statement);
    runBytes(bytes, catalogue, clear);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(message, Qt::CaseInsensitive), qPrintable(m_errors[0]));
    QCOMPARE(m_form->LabelCheck->text(), goOn);
    QCOMPARE(m_form->LabelCC->text(), phase);
    QCOMPARE(counters(), labels);
    QCOMPARE(m_form->ImageX->isVisible(), pictureShown);
    QCOMPARE(m_form->CheckCL->isChecked(), clear);
    QCOMPARE(rows(select), stored);
}

void TestImportRun::countersPaintedDuringTheRun()
{
    QTest::mouseClick(m_form->RadioKA, Qt::LeftButton);
    QByteArray bytes;
    for (int i = 1; i <= 2000; ++i)
        bytes += i == 2 ? QByteArray("x\r\n") : QByteArray::number(i) + ";a\r\n";
    m_form->EditF->setText(writeFile(bytes));
    m_form->CheckCL->setChecked(true);
    QCoreApplication::processEvents();
    PaintWatcher processed(m_form->LabelTC);
    PaintWatcher phase(m_form->LabelCC);
    QElapsedTimer run;
    run.start();
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
    const qint64 elapsed = run.elapsed();
    QCOMPARE(m_form->LabelTE->text(), QStringLiteral("из них ошибок: 1"));
    // Painted inside the run, each phase at once, the counters at the first
    // record, then at most every tenth of a second, and as the run ends.
    const QStringList counters = inTurn(processed.painted);
    QCOMPARE(counters.mid(0, 2), (QStringList{QStringLiteral("уже обработано:"), QStringLiteral("уже обработано: 1")}));
    QCOMPARE(counters.back(), QStringLiteral("уже обработано: 2000"));
    QVERIFY2(counters.size() <= 3 + elapsed / 100, qPrintable(counters.join(u',')));
    QCOMPARE(inTurn(phase.painted),
             (QStringList{QStringLiteral("читаю файл в буфер"), QStringLiteral("считаю записи"),
                          QStringLiteral("чистка таблицы"), QStringLiteral("импортирование данных"),
                          QStringLiteral("операция завершена")}));
}

void TestImportRun::stopQuestion_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<bool>("escape");
    QTest::addColumn<int>("yesAt");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("processed");
    QTest::addColumn<QString>("said");

    const QString done = QStringLiteral("операция завершена");
    const QString stopped = QStringLiteral("прервано пользователем");
    const QString stoppedAt
        = QStringLiteral("сохранено записей: %1; остановлено на строке %1 файла; продолжить можно со строки %2");
    QTest::newRow("no to every question") << QPoint(20, 20) << false << 0 << 3 << done << 3 << QString();
    QTest::newRow("yes at the first record")
        << QPoint(20, 20) << false << 1 << 1 << stopped << 1 << stoppedAt.arg(1).arg(2);
    QTest::newRow("yes at the second record")
        << QPoint(1, 1) << false << 2 << 2 << stopped << 2 << stoppedAt.arg(2).arg(3);
    QTest::newRow("yes after the last record")
        << QPoint(39, 39) << false << 3 << 3 << stopped << 3
        << QStringLiteral("сохранено записей: 3; остановлено на строке 3 файла, последней: обработаны все записи");
    QTest::newRow("on the left edge") << QPoint(0, 20) << false << 1 << 0 << done << 3 << QString();
    QTest::newRow("on the top edge") << QPoint(20, 0) << false << 1 << 0 << done << 3 << QString();
    QTest::newRow("on the right edge") << QPoint(40, 20) << false << 1 << 0 << done << 3 << QString();
    QTest::newRow("on the bottom edge") << QPoint(20, 40) << false << 1 << 0 << done << 3 << QString();
    // Esc during the first record asks once, after it.
    QTest::newRow("Esc, yes") << QPoint(-5, -5) << true << 1 << 1 << stopped << 1 << stoppedAt.arg(1).arg(2);
    QTest::newRow("Esc, no") << QPoint(-5, -5) << true << 0 << 1 << done << 3 << QString();
}

void TestImportRun::stopQuestion()
{
    QFETCH(QPoint, pointer);
    QFETCH(bool, escape);
    QFETCH(int, yesAt);
    QFETCH(int, questions);
    QFETCH(QString, outcome);
    QFETCH(int, processed);
    QFETCH(QString, said);
    QCursor::setPos(m_form->ImageX->mapToGlobal(pointer));
    QCOMPARE(m_form->ImageX->mapFromGlobal(QCursor::pos()), pointer);

    QStringList asked;
    ModalAnswerer answerer([&](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        asked.append(ask->LabelTXT->text());
        QTest::mouseClick(asked.size() == yesAt ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    // Pressed while the run takes the window's events the first time.
    bool pressed = false;
    if (escape) {
        QTimer::singleShot(0, m_form.get(), [&] {
            pressed = m_form->runInProgress();
            QTest::keyClick(m_form.get(), Qt::Key_Escape);
        });
    }
    runBytes("1;a\r\n2;b\r\n3;c\r\n", false);
    QCOMPARE(pressed, escape);
    QCOMPARE(answerer.count(), questions);
    QCOMPARE(asked, QStringList(questions, QStringLiteral("прервать обработку?")));
    QCOMPARE(m_form->LabelCC->text(), outcome);
    QCOMPARE(counters(), shown(3, processed, 0));
    QCOMPARE(m_form->ProgressImport->value(), processed);
    QCOMPARE(m_form->ProgressImport->maximum(), 3);
    QCOMPARE(m_form->LabelCheck->text(), said);
    QCOMPARE(rows("select count(*) from readers"), Rows{QByteArray::number(processed)});
    QVERIFY(!m_form->ImageX->isVisible());
    QVERIFY(m_errors.isEmpty());
}

// A file the run cannot have: the click does nothing, no message, no
// label touched, nothing run.
void TestImportRun::unopenedFileRunsNothing()
{
    exec("insert into catalog (num, barcod) values (90, 'old')");
    run(m_files.filePath(QStringLiteral("gone.csv")), true, true);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(m_form->LabelCC->text(), QString());
    QVERIFY(!m_form->ImageX->isVisible());
    QVERIFY(m_form->CheckCL->isChecked());
    QCOMPARE(rows("select barcod from catalog"), Rows{"old"});
}

// Which files the run refuses is its unit's; here, that the tab says so
// and runs nothing.
void TestImportRun::refusedFileSaid()
{
    exec("insert into catalog (num, barcod) values (90, 'old')");
    run(m_files.path(), true, true);
    QCOMPARE(m_errors,
             QStringList{QStringLiteral("«%1» — папка, а не обычный файл; импортировать можно только обычный файл.")
                             .arg(m_files.path())});
    QCOMPARE(m_form->LabelCC->text(), QString());
    QVERIFY(m_form->CheckCL->isChecked());
    QCOMPARE(rows("select barcod from catalog"), Rows{"old"});
}

void TestImportRun::examplesImportCleanly_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("catalogue");
    QTest::addColumn<int>("records");
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<QString>("format");

    const QString cp1251CrLf = QStringLiteral("кодировка Windows-1251, концы строк: CR LF");
    QTest::newRow("catalogue") << QStringLiteral("catalog.csv") << true << 10
                               << QByteArray("select count(*) from catalog") << 10 << cp1251CrLf;
    QTest::newRow("publishers") << QStringLiteral("catalog.csv") << true << 10
                                << QByteArray("select count(*) from izdatelstvo") << 9 << cp1251CrLf;
    QTest::newRow("readers") << QStringLiteral("readers.csv") << false << 8
                             << QByteArray("select count(*) from readers") << 8 << cp1251CrLf;
    QTest::newRow("UTF-8 catalogue") << QStringLiteral("catalog-utf8.csv") << true << 6
                                     << QByteArray("select sum(cost) from catalog") << 125000 + 350 + 1250 + 45
                                     << QStringLiteral("кодировка UTF-8, концы строк: CR LF");
    QTest::newRow("UTF-8 catalogue's publishers")
        << QStringLiteral("catalog-utf8.csv") << true << 6 << QByteArray("select count(*) from izdatelstvo") << 6
        << QStringLiteral("кодировка UTF-8, концы строк: CR LF");
    QTest::newRow("LF readers") << QStringLiteral("readers-lf.csv") << false << 5
                                << QByteArray("select count(*) from readers") << 5
                                << QStringLiteral("кодировка Windows-1251, концы строк: LF");
}

void TestImportRun::examplesImportCleanly()
{
    QFETCH(QString, file);
    QFETCH(bool, catalogue);
    QFETCH(int, records);
    QFETCH(QByteArray, select);
    QFETCH(int, rowCount);
    QFETCH(QString, format);
    run(QDir(QStringLiteral(EXAMPLES_DIR)).filePath(file), catalogue);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(counters(), shown(records, records, 0));
    QCOMPARE(m_form->LabelFormat->text(), format);
    QCOMPARE(rows(select), Rows{QByteArray::number(rowCount)});
}

void TestImportRun::encodingAndLineEndsShown_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("total");

    const QString text = QStringLiteral("1;Фёдорова;Ёлка\r\n2;Пушкин;«Онегин» № 1\r\n");
    QTest::newRow("Windows-1251, CR LF") << toCp1251(text)
                                         << QStringLiteral("кодировка Windows-1251, концы строк: CR LF") << 2;
    QTest::newRow("UTF-8, CR LF") << text.toUtf8() << QStringLiteral("кодировка UTF-8, концы строк: CR LF") << 2;
    QTest::newRow("UTF-8 with its mark, LF") << "\xEF\xBB\xBF" + QString(text).remove(u'\r').toUtf8()
                                             << QStringLiteral("кодировка UTF-8 с меткой BOM, концы строк: LF") << 2;
    QTest::newRow("Windows-1251, CR") << toCp1251(QString(text).remove(u'\n'))
                                      << QStringLiteral("кодировка Windows-1251, концы строк: CR") << 2;
}

void TestImportRun::encodingAndLineEndsShown()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, format);
    QFETCH(int, total);
    runBytes(bytes, false);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(m_form->LabelFormat->text(), format);
    QCOMPARE(counters(), shown(total, total, 0));
    // Whatever the file's encoding, the database holds the same letters.
    QCOMPARE(rows("select nomer, lname, fname from readers order by num"),
             (Rows{"1|" + toCp1251(QStringLiteral("Фёдорова|Ёлка")),
                   "2|" + toCp1251(QStringLiteral("Пушкин|«Онегин» № 1"))}));
}

void TestImportRun::rejectedLinesOffered()
{
    const QByteArray bytes = QStringLiteral("1;Иванов\nx;без номера\n3;Smith ✓\n4;Петров\n").toUtf8();
    runBytes(bytes, false);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(counters(), shown(4, 4, 2));
    QVERIFY(m_form->BitBtnRejected->isVisible());

    const QString saved = m_files.filePath(QStringLiteral("rejected.csv"));
    // A clock that stands still, so that the name proposed can be told.
    const auto clock = platform::now;
    const QDateTime when(QDate(2024, 5, 20), QTime(14, 3));
    platform::now = [when] { return when; };
    const auto dialog = platform::saveFileName;
    QString proposed;
    platform::saveFileName = [&](QWidget *, const QString &, const QString &offered) {
        proposed = offered;
        return saved;
    };
    QStringList listed;
    ModalAnswerer answerer([&](QWidget *modal) {
        auto *list = qobject_cast<TFormRejected *>(modal);
        QVERIFY(list);
        const QAbstractItemModel *model = list->GridRJ->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells += model->index(row, column).data().toString();
            listed += cells.join(u'|');
        }
        QTest::mouseClick(list->BitBtnSV, Qt::LeftButton);
        QTest::mouseClick(list->BitBtnOK, Qt::LeftButton);
    });
    QTest::mouseClick(m_form->BitBtnRejected, Qt::LeftButton);
    platform::saveFileName = dialog;
    platform::now = clock;
    QCOMPARE(answerer.count(), 1);
    // Beside the input, named as the database tool names it.
    QCOMPARE(proposed, rejectedLinesFileName(m_form->EditF->text(), when));
    QCOMPARE(listed,
             (QStringList{QStringLiteral("2|первое поле — не число: «x»|x;без номера"),
                          QStringLiteral("3|символ «✓» (U+2713), которого нет в Windows-1251|3;Smith ?")}));
    // Saved in the import's own format: Windows-1251, CR LF.
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), toCp1251(QStringLiteral("x;без номера\r\n3;Smith ?\r\n")));
    QCOMPARE(file.permissions(), kRejectedLinesPermissions);
    QVERIFY(m_errors.isEmpty());

    // A run with nothing rejected offers nothing.
    runBytes("5;a\r\n", false);
    QVERIFY(!m_form->BitBtnRejected->isVisible());

    // A run that a database error ends still offers the lines before it.
    exec("alter table readers add constraint never check (nomer <> 9)");
    runBytes("x\r\n9;b\r\n10;c", false);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].startsWith(QStringLiteral("Строка 2 файла: база данных не приняла запись.\nЗапись: «9;b»")),
             qPrintable(m_errors[0]));
    QVERIFY(m_form->BitBtnRejected->isVisible());
}

void TestImportRun::checkChangesNothing()
{
    exec("insert into catalog (num, barcod) values (gen_id(nncatalog, 1), '0000000002')");
    QTest::mouseClick(m_form->RadioCA, Qt::LeftButton);
    m_form->EditF->setText(writeFile("1;A;T;Place;Press\r\n2;" + QByteArray(251, 'a') + "\r\n-3;x\r\n"));
    m_form->CheckCL->setChecked(true);
    PaintWatcher phase(m_form->LabelCC);
    QTest::mouseClick(m_form->BitBtnCheck, Qt::LeftButton);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(inTurn(phase.painted),
             (QStringList{QStringLiteral("читаю файл в буфер"), QStringLiteral("считаю записи"),
                          QStringLiteral("проверка записей"), QStringLiteral("проверка завершена")}));
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("проверка завершена"));
    QCOMPARE(counters(), shown(3, 3, 1));
    QCOMPARE(m_form->LabelCheck->text(),
             QStringLiteral("будет сохранено записей: 2, отвергнуто: 1\n"
                            "будут обрезаны: поле 2 «автор» (250 зн.) — 1\n"
                            "уже есть в каталоге: 1 (0000000002) — очистка перед импортом их уберёт"));
    QVERIFY(m_form->BitBtnRejected->isVisible());
    QVERIFY(!m_form->ImageX->isVisible());
    // The tick stays for the import the check was for.
    QVERIFY(m_form->CheckCL->isChecked());

    // The real run that follows clears and stores; the check's words go.
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
    QCOMPARE(rows("select barcod from catalog order by num"), (Rows{"0000000001", "0000000002"}));
    QCOMPARE(m_form->LabelCheck->text(), QString());
}

void TestImportRun::rateShown()
{
    // A clock that moves 100 ms at every reading: the rate is shown while
    // the run goes and once more at its end.
    qint64 clock = 0;
    const auto steady = platform::steadyMs;
    platform::steadyMs = [&] { return clock += 100; };
    PaintWatcher rate(m_form->LabelRate);
    QByteArray bytes;
    for (int i = 1; i <= 6; ++i)
        bytes += QByteArray::number(i) + ";x\r\n";
    runBytes(bytes, false);
    platform::steadyMs = steady;
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QVERIFY(rate.painted.contains(QStringLiteral("10 зап./с")));
    QCOMPARE(m_form->LabelRate->text(), QStringLiteral("9 зап./с, осталось 0:00"));
}

void TestImportRun::inputDuringARunNotActedOn_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("records");

    // A click or a key that comes while the run goes. Posted as the first
    // record is shown, it is taken by the run's own pass over the window's
    // events; posted as the last one is (in a run too short for another
    // pass), just before the controls come back.
    QTest::newRow("импорт again, as the first record is shown") << QStringLiteral("BitBtnIM") << 0 << 300;
    QTest::newRow("импорт again, as the last record is shown") << QStringLiteral("BitBtnIM") << 0 << 3;
    QTest::newRow("Space on импорт") << QStringLiteral("BitBtnIM") << int(Qt::Key_Space) << 3;
    QTest::newRow("Enter on импорт") << QStringLiteral("BitBtnIM") << int(Qt::Key_Return) << 3;
    QTest::newRow("проверить") << QStringLiteral("BitBtnCheck") << 0 << 3;
    QTest::newRow("стоп in the strip, a long run") << QStringLiteral("BitBtnGO") << 0 << 300;
    QTest::newRow("стоп in the strip") << QStringLiteral("BitBtnGO") << 0 << 3;
    // A password that no longer matches: Enter taken would sign out.
    QTest::newRow("Enter in the password") << QStringLiteral("Password") << int(Qt::Key_Return) << 3;
    QTest::newRow("the first tab") << QStringLiteral("tab") << 0 << 3;
    QTest::newRow("Ctrl+Tab") << QStringLiteral("TabSheetIM") << int(Qt::Key_Tab) << 3;
    QTest::newRow("reader mode") << QStringLiteral("RadioKA") << 0 << 3;
    QTest::newRow("the clearing tick") << QStringLiteral("CheckCL") << 0 << 3;
    QTest::newRow("the folder button") << QStringLiteral("BitBtnF") << 0 << 3;
}

void TestImportRun::inputDuringARunNotActedOn()
{
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(int, records);
    QByteArray bytes;
    for (int i = 1; i <= records; ++i)
        bytes += QByteArray::number(i) + ";A;T;Place;Press\r\n";
    const auto post = [](QWidget *widget, QPoint at, int key) {
        if (key != 0) {
            const auto modifiers = key == Qt::Key_Tab ? Qt::ControlModifier : Qt::NoModifier;
            QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, key, modifiers));
            QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyRelease, key, modifiers));
            return;
        }
        const QPointF global = widget->mapToGlobal(QPointF(at));
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                widget,
                new QMouseEvent(type, QPointF(at), global, Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
        }
    };
    bool during = false;
    const QString when = QStringLiteral("уже обработано: %1").arg(records == 3 ? 3 : 1);
    PaintWatcher counter(m_form->LabelTC, [&](const QString &shown) {
        if (shown != when || during)
            return;
        during = m_form->runInProgress() && !m_form->BitBtnIM->isEnabled() && !m_form->BitBtnGO->isEnabled();
        if (target == QStringLiteral("tab")) {
            QTabBar *tabs = m_form->PageControl1->tabBar();
            post(tabs, tabs->tabRect(0).center(), 0);
            return;
        }
        auto *widget = m_form->findChild<QWidget *>(target);
        QVERIFY(widget);
        if (key != 0 && key != Qt::Key_Tab)
            widget->setFocus();
        post(widget, widget->rect().center(), key);
    });
    m_form->Password->setText(QStringLiteral("wrong"));
    runBytes(bytes, true);
    // Anything still queued reaches the window now, as it would once the
    // handler returns.
    QCoreApplication::processEvents();
    QVERIFY(during);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    // One run's rows, the window as the run left it, its controls back.
    QCOMPARE(rows("select count(*) from catalog"), Rows{QByteArray::number(records)});
    QCOMPARE(rows("select count(*) from izdatelstvo"), Rows{QByteArray::number(records)});
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
    QCOMPARE(m_form->BitBtnGO->text(), QStringLiteral("стоп"));
    QVERIFY(m_form->PageControl1->isVisible());
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetIM);
    QVERIFY(m_form->RadioCA->isChecked());
    QVERIFY(!m_form->CheckCL->isChecked());
    for (QWidget *control : QList<QWidget *>{m_form->BitBtnIM, m_form->BitBtnCheck, m_form->RadioCA, m_form->RadioKA,
                                             m_form->BitBtnF, m_form->EditF, m_form->CheckCL, m_form->BitBtnGO,
                                             m_form->Login, m_form->Password, m_form->PageControl1->tabBar()})
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(!m_form->runInProgress());
}

void TestImportRun::signOutLeavesNothingForTheNext()
{
    // Signed in as ivanova, whose expired password the dialog asks to
    // renew: two passwords typed that differ, then the dialog closed.
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    m_form->Login->setText(QStringLiteral("ivanova"));
    m_form->Password->setText(QStringLiteral("kniga"));
    TFormDiaPass *renewal = nullptr;
    ModalAnswerer dismiss([&](QWidget *dialog) {
        renewal = qobject_cast<TFormDiaPass *>(dialog);
        QVERIFY(renewal);
        QTest::keyClicks(renewal->Edit1, QStringLiteral("fresh-1"));
        QTest::keyClicks(renewal->Edit2, QStringLiteral("fresh-2"));
        dialog->close();
    });
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QCOMPARE(dismiss.count(), 1);
    QVERIFY(m_form->PageControl1->isVisible());
    QVERIFY(!renewal->Edit1->text().isEmpty());

    // A day's work: a check and an import with a reader rejected, the
    // first-run tab as a wipe leaves it.
    m_form->PageControl1->setCurrentWidget(m_form->TabSheetIM);
    QTest::mouseClick(m_form->RadioKA, Qt::LeftButton);
    m_form->EditF->setText(writeFile(toCp1251(QStringLiteral("1;Петрова;Анна;;;;ул. Садовая, 5\r\nx;Сидоров\r\n"))));
    QTest::mouseClick(m_form->BitBtnCheck, Qt::LeftButton);
    m_form->CheckCL->setChecked(true);
    QTest::mouseClick(m_form->BitBtnIM, Qt::LeftButton);
    QVERIFY(m_form->BitBtnRejected->isVisible());
    m_form->LabelST->setText(QStringLiteral("выполнено"));
    m_form->LabelBackup->setText(QStringLiteral("резервная копия: /srv/library.fdb.fbk"));
    m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
    QVERIFY(!m_form->LabelWipeCounts->text().isEmpty());

    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QVERIFY(m_form->PageControl1->isHidden());
    for (const QString &left :
         {m_form->LabelCC->text(), m_form->LabelFormat->text(), m_form->LabelRate->text(), m_form->LabelCheck->text(),
          m_form->LabelClearCounts->text(), m_form->LabelWipeCounts->text(), m_form->LabelBackup->text(),
          m_form->EditF->text(), renewal->Edit1->text(), renewal->Edit2->text()})
        QCOMPARE(left, QString());
    QCOMPARE(counters(),
             (QStringList{QStringLiteral("всего записей:"), QStringLiteral("уже обработано:"),
                          QStringLiteral("из них ошибок:")}));
    QCOMPARE(m_form->LabelST->text(), QStringLiteral("..."));
    QVERIFY(m_form->BitBtnRejected->isHidden());
    QVERIFY(m_form->ProgressImport->isHidden());
    QVERIFY(m_form->RadioCA->isChecked());
    QVERIFY(!m_form->CheckCL->isChecked());
    // The last user name stays.
    QCOMPARE(m_form->Login->text(), QStringLiteral("ivanova"));

    // The next person signs in on the first tab, with no list to open.
    m_form->Login->setText(QStringLiteral("admin"));
    m_form->Password->setText(QStringLiteral("admin"));
    QTest::mouseClick(m_form->BitBtnGO, Qt::LeftButton);
    QVERIFY(m_form->PageControl1->isVisible());
    QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetBC);
    ModalAnswerer none([](QWidget *dialog) { dialog->close(); });
    m_form->BitBtnRejectedClick();
    QCOMPARE(none.count(), 0);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void TestImportRun::signalStopsTheRunAndClosesTheWindow()
{
    // Each publisher row takes its time, so that the signal comes mid-run.
    exec("create trigger slow_publisher for izdatelstvo before insert as "
         "declare i integer = 0; begin while (i < 200000) do i = i + 1; end");
    QByteArray bytes;
    for (int i = 1; i <= 300; ++i)
        bytes += QByteArray::number(i) + ";A;T;Place;Press\r\n";
    QuitOnSignals quit(m_form.get());
    ModalAnswerer asked([](QWidget *dialog) { dialog->close(); });
    bool during = false;
    QTimer::singleShot(0, m_form.get(), [&] {
        during = m_form->runInProgress();
        ::raise(SIGTERM);
    });
    runBytes(bytes, true);
    QVERIFY(during);
    // Stopped at a record, unasked; the window closes once the run is over.
    QCOMPARE(asked.count(), 0);
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("прервано пользователем"));
    QTRY_VERIFY(!m_form->isVisible());
    QVERIFY(!m_form->IBDatabase1->connected());
    const QByteArray processed = m_form->LabelTC->text().section(u' ', -1).toLatin1();
    QVERIFY2(processed.toInt() < 300, processed.constData());
    // Every record counted is stored whole.
    QCOMPARE(rows("select count(*) from catalog"), Rows{processed});
    QCOMPARE(rows("select count(*) from izdatelstvo"), Rows{processed});
    QVERIFY(m_errors.isEmpty());
}

void TestImportRun::goingOnOffered_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<Rows>("stored");

    QTest::newRow("yes: from the line after the stop") << true << Rows{"1", "2", "3", "4"};
    QTest::newRow("no: from the first line") << false << Rows{"1", "1", "2", "3", "4"};
}

void TestImportRun::goingOnOffered()
{
    QFETCH(bool, goOn);
    QFETCH(Rows, stored);
    const QString file = writeFile("1;a\r\n2;b\r\n3;c\r\n4;d\r\n");
    // Stopped after the first record.
    QCursor::setPos(m_form->ImageX->mapToGlobal(QPoint(20, 20)));
    {
        ModalAnswerer stop(
            [](QWidget *dialog) { QTest::mouseClick(qobject_cast<TFormYesNo *>(dialog)->BitBtnDa, Qt::LeftButton); });
        run(file, false);
    }
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("прервано пользователем"));
    QCursor::setPos(0, 0);

    QStringList asked;
    bool yesFirst = false;
    ModalAnswerer answer([&](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        asked.append(ask->LabelTXT->text());
        yesFirst = ask->focusWidget() == ask->BitBtnDa;
        QTest::mouseClick(goOn ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    run(file, false);
    QCOMPARE(asked, QStringList{QStringLiteral("продолжить со строки 2?")});
    QVERIFY(yesFirst);
    QCOMPARE(m_form->LabelCC->text(), QStringLiteral("операция завершена"));
    QCOMPARE(rows("select nomer from readers order by nomer"), stored);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));

    // Nothing is offered for a file gone through whole, nor with clearing.
    ModalAnswerer none([](QWidget *dialog) { dialog->close(); });
    run(file, false, true);
    QCOMPARE(none.count(), 0);
}

QTEST_MAIN(TestImportRun)
#include "tst_importrun.moc"
