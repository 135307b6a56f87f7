#include "modal.h"
#include "signedin.h"

#include "app/mainform.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "report/bandreport.h"
#include "report/prnbarcod.h"
#include "ui/formYN.h"
#include "ui/labelpreview.h"
#include "ui/pageview.h"
#include "ui/reprintdialog.h"
#include "ui/uiplatform.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestBarcodeTab : public SignedInWindowTest {
    Q_OBJECT

private slots:
    void showingTheTabLoadsTheList();
    void addStoresAsTyped_data();
    void addStoresAsTyped();
    void invalidInputStoresNothing_data();
    void invalidInputStoresNothing();
    void numberBeyondTheColumnsAsksNothing();
    void pickingARowFillsTheFields();
    void deleteAfterYes_data();
    void deleteAfterYes();
    void deleteAnsweredNo();
    void deleteOnEmptyListAsksNothing();
    void overlapsListed_data();
    void overlapsListed();
    void sheetSummaryFollowsTheFields();
    void printOrdersTheRange();
    void printRefuses_data();
    void printRefuses();
    void printRefusesAHugeRange();
    void reprintPrintsTheListOnly();
    void currentRowIsPaleBlue();

private:
    void add(const QString &start, const QString &end, const QString &mark);
    QList<QByteArray> stored() const;
};

// As at the desk: the fields filled, Tab from the mark to the add button,
// and Enter.
void TestBarcodeTab::add(const QString &start, const QString &end, const QString &mark)
{
    m_form->EditS->setText(start);
    m_form->EditP->setText(end);
    m_form->EditME->setText(mark);
    m_form->activateWindow();
    m_form->EditME->setFocus();
    QTest::keyClick(m_form->EditME, Qt::Key_Tab);
    QCOMPARE(m_form->focusWidget(), m_form->BitBtnAdd);
    QTest::keyClick(m_form->BitBtnAdd, Qt::Key_Return);
}

QList<QByteArray> TestBarcodeTab::stored() const
{
    return rows("select num, bs, bp, me from barcodes order by num");
}

void TestBarcodeTab::showingTheTabLoadsTheList()
{
    QCOMPARE(m_form->IBQueryBC->recordCount(), 3);
    QCOMPARE(m_form->DBGridBC->model()->rowCount(), 3);
    QCOMPARE(m_form->DBGridBC->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("метка"));
    QCOMPARE(m_form->DBGridBC->model()->index(1, 2).data().toString(), QStringLiteral("Читальный зал"));
    // The first row fills the fields.
    QCOMPARE(m_form->EditS->text(), QStringLiteral("1"));
    QCOMPARE(m_form->EditP->text(), QStringLiteral("60"));
    QCOMPARE(m_form->EditME->text(), QStringLiteral("Абонемент"));
    // The mark column takes what the other two leave of the client width,
    // which counts the row indicator, and still fits beside them.
    const QTableView *grid = m_form->DBGridBC;
    QCOMPARE(grid->columnWidth(2), grid->verticalHeader()->width() + grid->viewport()->width() - 91 - 88 - 15);
    QVERIFY(91 + 88 + grid->columnWidth(2) <= grid->viewport()->width());
}

void TestBarcodeTab::addStoresAsTyped_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("mark");
    // Books already in the catalogue, by their barcode text.
    QTest::addColumn<QByteArrayList>("catalogue");
    // The question the add asks first, "|" breaking its lines; empty: none.
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("yes");
    // What is stored; empty: nothing, and no key taken.
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<QString>("shownStart");
    // What the sheet summary counts of the stored range on catalogue books
    // once the typing has stopped; -1: no count (nothing stored, or a
    // range the print refuses).
    QTest::addColumn<qint64>("counted");
    // Whether the mark is noted as too long for the label.
    QTest::addColumn<bool>("markCut");
    const QString anyway = QStringLiteral("Всё равно добавить?");
    const QString overFirst = QStringLiteral("Пересекается с диапазоном 1 — 60 «Абонемент».|") + anyway;
    QTest::newRow("plain") << QStringLiteral("100") << QStringLiteral("199") << QStringLiteral("A-1")
                           << QByteArrayList{} << QString() << false << QByteArray("4|100|199|A-1")
                           << QStringLiteral("100") << 0LL << false;
    QTest::newRow("leading zeros") << QStringLiteral("007") << QStringLiteral("9") << QString() << QByteArrayList{}
                                   << overFirst << true << QByteArray("4|7|9|<null>") << QStringLiteral("7") << 0LL
                                   << false;
    QTest::newRow("reversed") << QStringLiteral("50") << QStringLiteral("-5") << QStringLiteral("z") << QByteArrayList{}
                              << overFirst << true << QByteArray("4|50|-5|z") << QStringLiteral("50") << -1LL << false;
    QTest::newRow("apostrophe in mark") << QStringLiteral("-5") << QStringLiteral("5") << QStringLiteral("O'Neil")
                                        << QByteArrayList{} << overFirst << true << QByteArray("4|-5|5|O'Neil")
                                        << QStringLiteral("-5") << -1LL << false;
    QTest::newRow("overlap answered no") << QStringLiteral("60") << QStringLiteral("61") << QStringLiteral("m")
                                         << QByteArrayList{} << overFirst << false << QByteArray()
                                         << QStringLiteral("60") << -1LL << false;
    QTest::newRow("repeat of a range without a mark")
        << QStringLiteral("5000") << QStringLiteral("5003") << QString() << QByteArrayList{}
        << QStringLiteral("Пересекается с диапазоном 5000 — 5003.|") + anyway << true
        << QByteArray("4|5000|5003|<null>") << QStringLiteral("5000") << 0LL << false;
    QTest::newRow("over every range, answered no")
        << QStringLiteral("6000") << QStringLiteral("0") << QString() << QByteArrayList{}
        << QStringLiteral("Пересекается с диапазоном 1 — 60 «Абонемент» (пересечений всего: 3).|") + anyway << false
        << QByteArray() << QStringLiteral("6000") << -1LL << false;
    // Labels for books already catalogued are no mistake: stored without a
    // question, and counted. One number on two books counts once; a letter,
    // an eleventh digit or a number just outside does not count.
    QTest::newRow("numbers on catalogue books")
        << QStringLiteral("100") << QStringLiteral("199") << QStringLiteral("m")
        << QByteArrayList{"0000000150",  "0000000150", "0000000199", "000000015A",
                          "00000001500", "0000000200", "0000000099"}
        << QString() << false << QByteArray("4|100|199|m") << QStringLiteral("100") << 2LL << false;
    QTest::newRow("the whole range on catalogue books")
        << QStringLiteral("7000") << QStringLiteral("7001") << QStringLiteral("m")
        << QByteArrayList{"0000007001", "0000007000"} << QString() << false << QByteArray("4|7000|7001|m")
        << QStringLiteral("7000") << 2LL << false;
    QTest::newRow("reversed, overlapping and on books: asked for the overlap alone")
        << QStringLiteral("1070") << QStringLiteral("999") << QString()
        << QByteArrayList{"0000000999", "0000001070", "0000001071"}
        << QStringLiteral("Пересекается с диапазоном 1001 — 1061 «Читальный зал».|") + anyway << true
        << QByteArray("4|1070|999|<null>") << QStringLiteral("1070") << 2LL << false;
    // Negative numbers have no barcode text: nothing to count, no print.
    QTest::newRow("negative numbers") << QStringLiteral("-20") << QStringLiteral("-1") << QString()
                                      << QByteArrayList{"-000000005", "0000000000"} << QString() << false
                                      << QByteArray("4|-20|-1|<null>") << QStringLiteral("-20") << -1LL << false;
    QTest::newRow("zero is counted") << QStringLiteral("0") << QStringLiteral("0") << QString()
                                     << QByteArrayList{"0000000000"} << QString() << false << QByteArray("4|0|0|<null>")
                                     << QStringLiteral("0") << 1LL << false;
    QTest::newRow("mark longer than the label")
        << QStringLiteral("8000") << QStringLiteral("8001") << QString(27, u'Ш') << QByteArrayList{} << QString()
        << false << QByteArray("4|8000|8001|") + toCp1251(QString(27, u'Ш')) << QStringLiteral("8000") << 0LL << true;
}

void TestBarcodeTab::addStoresAsTyped()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, mark);
    QFETCH(QByteArrayList, catalogue);
    QFETCH(QString, question);
    QFETCH(bool, yes);
    QFETCH(QByteArray, row);
    QFETCH(QString, shownStart);
    QFETCH(qint64, counted);
    QFETCH(bool, markCut);
    for (const QByteArray &barcode : catalogue)
        exec("insert into catalog (num, barcod) values (gen_id(nncatalog, 1), '" + barcode + "')");

    QString asked;
    QWidget *focused = nullptr;
    ModalAnswerer answer([&](QWidget *dialog) {
        auto *ask = qobject_cast<TFormYesNo *>(dialog);
        QVERIFY(ask);
        asked = ask->LabelTXT->text();
        focused = ask->focusWidget();
        QTest::mouseClick(yes ? ask->BitBtnDa : ask->BitBtnNet, Qt::LeftButton);
    });
    add(start, end, mark);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
    QCOMPARE(answer.count(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty()) {
        QCOMPARE(asked, question.replace(u'|', QStringLiteral("\r\n")));
        QCOMPARE(focused, FormYesNo->BitBtnNet);
    }
    if (row.isEmpty()) {
        // "нет": nothing stored, no key taken, the fields as typed.
        QCOMPARE(stored().size(), 3);
        QCOMPARE(value("select gen_id(nnbarcodes, 0) from rdb$database"), QByteArray("3"));
        QCOMPARE(m_form->EditS->text(), start);
        return;
    }
    QCOMPARE(stored().value(3), row);
    // The new range is the current row and its stored values are shown.
    QCOMPARE(m_form->IBQueryBC->field("num").asString(), QByteArray("4"));
    QCOMPARE(m_form->DBGridBC->currentIndex().row(), m_form->IBQueryBC->recNo());
    QCOMPARE(m_form->EditS->text(), shownStart);
    QCOMPARE(m_form->EditME->text(), mark);
    QCOMPARE(m_form->LabelMECut->isVisible(), markCut);
    const QString count = QStringLiteral("\nномеров в каталоге: ");
    if (counted >= 0) {
        QTRY_VERIFY2(m_form->LabelSheets->text().endsWith(count + QString::number(counted)),
                     qPrintable(m_form->LabelSheets->text()));
    } else {
        // Past the moment the count would have come.
        QTest::qWait(600);
        QCOMPARE(m_form->LabelSheets->text(), QStringLiteral("номера меньше нуля не печатаются: у них нет штрих-кода"));
    }
    QVERIFY(m_errors.isEmpty());
}

void TestBarcodeTab::invalidInputStoresNothing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::newRow("empty start") << QString() << QStringLiteral("5");
    QTest::newRow("empty end") << QStringLiteral("5") << QString();
    QTest::newRow("blank") << QStringLiteral(" 5") << QStringLiteral("6");
    QTest::newRow("letter") << QStringLiteral("5") << QStringLiteral("6a");
    QTest::newRow("point") << QStringLiteral("5.0") << QStringLiteral("6");
    QTest::newRow("lone minus") << QStringLiteral("-") << QStringLiteral("6");
}

void TestBarcodeTab::invalidInputStoresNothing()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    add(start, end, QStringLiteral("m"));
    QCOMPARE(stored().size(), 3);
    QVERIFY(m_errors.isEmpty());
    // No generator value was taken either.
    QCOMPARE(DbReader(m_form->BazaPath).value("select gen_id(nnbarcodes,0) from rdb$database"), QByteArray("3"));
}

// The fields are read as the print reads them: a number the columns cannot
// hold overlaps nothing, and the database's refusal is shown.
void TestBarcodeTab::numberBeyondTheColumnsAsksNothing()
{
    ModalAnswerer answer([](QWidget *dialog) { dialog->close(); });
    add(QStringLiteral("1"), QStringLiteral("99999999999"), QStringLiteral("m"));
    QCOMPARE(answer.count(), 0);
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(stored().size(), 3);
}

void TestBarcodeTab::pickingARowFillsTheFields()
{
    add(QStringLiteral("9000"), QStringLiteral("9001"), QString());
    m_form->DBGridBC->selectRow(1);
    QCOMPARE(m_form->EditS->text(), QStringLiteral("1001"));
    m_form->DBGridBC->selectRow(3);
    QCOMPARE(m_form->EditS->text(), QStringLiteral("9000"));
    QCOMPARE(m_form->EditME->text(), QString());
}

void TestBarcodeTab::deleteAfterYes_data()
{
    // A row right-clicked before the menu is chosen; -1 for none.
    QTest::addColumn<int>("rightClicked");
    QTest::newRow("the picked row") << -1;
    QTest::newRow("a right click on another row leaves the picked one") << 2;
}

void TestBarcodeTab::deleteAfterYes()
{
    QFETCH(int, rightClicked);
    m_form->DBGridBC->selectRow(1);
    if (rightClicked >= 0) {
        QTableView *grid = m_form->DBGridBC;
        const QRect cell = grid->visualRect(grid->model()->index(rightClicked, 0));
        QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, cell.center());
        QCOMPARE(m_form->IBQueryBC->recNo(), 1);
        QCOMPARE(grid->currentIndex().row(), 1);
    }
    QCOMPARE(answerQuestion(true, [&] { m_form->N1->trigger(); }), 1);
    QCOMPARE(stored(),
             (QList<QByteArray>{QByteArray("1|1|60|") + toCp1251(QStringLiteral("Абонемент")), "3|5000|5003|<null>"}));
    QCOMPARE(m_form->IBQueryBC->recordCount(), 2);
    QCOMPARE(m_form->EditS->text(), QStringLiteral("1"));
}

void TestBarcodeTab::deleteAnsweredNo()
{
    QCOMPARE(answerQuestion(false, [&] { m_form->N1->trigger(); }), 1);
    QCOMPARE(stored().size(), 3);
}

void TestBarcodeTab::deleteOnEmptyListAsksNothing()
{
    DbReader(m_form->BazaPath).exec("delete from barcodes");
    m_form->SelectBC();
    m_form->EditS->setText(QStringLiteral("kept"));
    ModalAnswerer any([](QWidget *dialog) { dialog->close(); });
    m_form->N1->trigger();
    QTest::qWait(50);
    QCOMPARE(any.count(), 0);
    QCOMPARE(m_form->EditS->text(), QStringLiteral("kept"));
}

void TestBarcodeTab::overlapsListed_data()
{
    // Ranges added behind the program's back: start, end, mark.
    QTest::addColumn<QByteArrayList>("added");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QStringList>("pairs");
    QTest::newRow("the demo register: none")
        << QByteArrayList{} << QStringLiteral("Диапазоны не пересекаются.") << QStringList{};
    QTest::newRow("reversed, touching, apart")
        << QByteArrayList{"70, 50, 'B'", "1061, 1061, null", "0, -5, 'neg'", "71, 1000, null", "null, 5001, 'x'"}
        << QStringLiteral("Пересекающихся пар диапазонов: 2")
        << QStringList{QStringLiteral("1 — 60 «Абонемент»   и   70 — 50 «B»"),
                       QStringLiteral("1001 — 1061 «Читальный зал»   и   1061 — 1061")};
    QTest::newRow("one range inside two others")
        << QByteArrayList{"5001, 5002, 'in'", "4990, 5010, 'around'"}
        << QStringLiteral("Пересекающихся пар диапазонов: 3")
        << QStringList{QStringLiteral("4990 — 5010 «around»   и   5000 — 5003"),
                       QStringLiteral("4990 — 5010 «around»   и   5001 — 5002 «in»"),
                       QStringLiteral("5000 — 5003   и   5001 — 5002 «in»")};
}

void TestBarcodeTab::overlapsListed()
{
    QFETCH(QByteArrayList, added);
    QFETCH(QString, heading);
    QFETCH(QStringList, pairs);
    for (const QByteArray &values : added)
        exec("insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes, 1), " + values + ")");
    QString shownHeading;
    QStringList shownPairs;
    ModalAnswerer close([&](QWidget *window) {
        QCOMPARE(window->objectName(), QStringLiteral("FormOverlaps"));
        shownHeading = window->findChild<QLabel *>(QStringLiteral("LabelOverlaps"))->text();
        const auto *list = window->findChild<QListWidget *>(QStringLiteral("ListOverlaps"));
        for (int i = 0; i < list->count(); ++i)
            shownPairs.append(list->item(i)->text());
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("BitBtnClose")), Qt::LeftButton);
    });
    m_form->ActionOverlaps->trigger();
    QCOMPARE(close.count(), 1);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(shownHeading, heading);
    QCOMPARE(shownPairs, pairs);
}

void TestBarcodeTab::sheetSummaryFollowsTheFields()
{
    // The first range of the list fills the fields when the tab is shown.
    QCOMPARE(m_form->LabelSheets->text(), QStringLiteral("наклеек: 60\nлистов: 1\nна последнем листе: 60"));
    m_form->EditP->setText(QStringLiteral("61"));
    QCOMPARE(m_form->LabelSheets->text(), QStringLiteral("наклеек: 61\nлистов: 2\nна последнем листе: 1"));
    m_form->EditS->clear();
    QTest::keyClicks(m_form->EditS, QStringLiteral("90"));
    QCOMPARE(m_form->LabelSheets->text(),
             QStringLiteral("наклеек: 30\nлистов: 1\nна последнем листе: 30\n"
                            "конец меньше начала: наклейки пойдут от 61 до 90 по возрастанию"));
    // Once the typing stops, the numbers already on books.
    QTRY_VERIFY2(m_form->LabelSheets->text().endsWith(QStringLiteral("\nномеров в каталоге: 0")),
                 qPrintable(m_form->LabelSheets->text()));
    QTest::keyClick(m_form->EditS, Qt::Key_A);
    QCOMPARE(m_form->LabelSheets->text(), QString());
    m_form->EditS->setText(QStringLiteral("9999999999"));
    QCOMPARE(m_form->LabelSheets->text(), QString());
    // Picking another range shows its summary.
    m_form->DBGridBC->selectRow(2);
    QCOMPARE(m_form->LabelSheets->text(), QStringLiteral("наклеек: 4\nлистов: 1\nна последнем листе: 4"));
    // Beside the print button, inside the panel, clear of every field and button.
    const QRect summary = m_form->LabelSheets->geometry();
    QCOMPARE(m_form->LabelSheets->parentWidget(), m_form->PanelBL);
    QVERIFY(m_form->PanelBL->rect().contains(summary));
    // The mark's note likewise, under the mark.
    const QRect note = m_form->LabelMECut->geometry();
    QVERIFY(m_form->PanelBL->rect().contains(note));
    QVERIFY(note.top() >= m_form->EditME->geometry().bottom());
    for (QWidget *other : {static_cast<QWidget *>(m_form->EditS), static_cast<QWidget *>(m_form->EditP),
                           static_cast<QWidget *>(m_form->EditME), static_cast<QWidget *>(m_form->BitBtnAdd),
                           static_cast<QWidget *>(m_form->BitBtnPrn)}) {
        QVERIFY2(!summary.intersects(other->geometry()), qPrintable(other->objectName()));
        QVERIFY2(!note.intersects(other->geometry()), qPrintable(other->objectName()));
    }
    QVERIFY(!note.intersects(summary));
    QVERIFY(summary.top() <= m_form->BitBtnPrn->geometry().bottom()
            && summary.bottom() >= m_form->BitBtnPrn->geometry().top());
    QVERIFY(m_errors.isEmpty());
}

void TestBarcodeTab::printOrdersTheRange()
{
    m_form->EditS->setText(QStringLiteral("20"));
    m_form->EditP->setText(QStringLiteral("007"));
    m_form->EditME->setText(QStringLiteral("метка"));
    ModalAnswerer close([](QWidget *dialog) { dialog->close(); });
    QTest::mouseClick(m_form->BitBtnPrn, Qt::LeftButton);
    QCOMPARE(close.count(), 1);
    QVERIFY(m_errors.isEmpty());
    QCOMPARE(FormBC->CurrentNumber, 7);
    QCOMPARE(FormBC->LastNumber, 20);
    QCOMPARE(FormBC->QRLabelME->caption(), QStringLiteral("метка"));
    // The fields keep what was typed.
    QCOMPARE(m_form->EditS->text(), QStringLiteral("20"));
}

void TestBarcodeTab::printRefuses_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("error");
    QTest::newRow("beyond 32 bits") << QStringLiteral("9999999999") << QStringLiteral("1")
                                    << QStringLiteral("'9999999999' is not a valid integer value");
    QTest::newRow("below zero") << QStringLiteral("5") << QStringLiteral("-5")
                                << QStringLiteral("Наклейки с номерами меньше нуля не печатаются: у таких номеров нет "
                                                  "штрих-кода. Диапазон -5 — 5 начинается ниже нуля.");
}

// Before the preview opens, with the reason.
void TestBarcodeTab::printRefuses()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, error);
    m_form->EditS->setText(start);
    m_form->EditP->setText(end);
    ModalAnswerer close([](QWidget *dialog) { dialog->close(); });
    QTest::mouseClick(m_form->BitBtnPrn, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(close.count(), 0);
    QCOMPARE(m_errors, QStringList{error});
}

void TestBarcodeTab::printRefusesAHugeRange()
{
    m_form->EditS->setText(QStringLiteral("1"));
    m_form->EditP->setText(QStringLiteral("2147483647"));
    ModalAnswerer close([](QWidget *dialog) { dialog->close(); });
    QTest::mouseClick(m_form->BitBtnPrn, Qt::LeftButton);
    QTest::qWait(50);
    QCOMPARE(close.count(), 0);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QLatin1String("2000")), qPrintable(m_errors[0]));
    // The report is left ready for the next print of the same range.
    QCOMPARE(FormBC->CurrentNumber, 1);
}

// Ctrl+R on the tab: the typed numbers and mark in the preview, the range's
// fields and the register untouched.
void TestBarcodeTab::reprintPrintsTheListOnly()
{
    m_form->EditS->setText(QStringLiteral("7"));
    m_form->EditP->setText(QStringLiteral("20"));
    m_form->EditME->setText(QStringLiteral("фонд 3"));
    const int rows = m_form->DBGridBC->model()->rowCount();
    QStringList shown;
    ModalAnswerer answer([&](QWidget *dialog) {
        if (auto *reprint = qobject_cast<TFormReprint *>(dialog)) {
            QCOMPARE(reprint->EditMark->text(), QStringLiteral("фонд 3"));
            reprint->EditNumbers->setPlainText(QStringLiteral("0000000105\n12\n7"));
            reprint->EditMark->setText(QStringLiteral("повтор"));
            reprint->accept();
        } else if (auto *preview = qobject_cast<TFormPreview *>(dialog)) {
            for (const ReportPage &page : preview->PreviewPages->pages()) {
                for (const PlacedBand &band : page.bands) {
                    if (band.band->kind() == ReportBand::Detail)
                        shown << band.caption(QStringLiteral("QRLabelBCC")).remove(QLatin1Char(' ')) + QLatin1Char(' ')
                                + band.caption(QStringLiteral("QRLabelME"));
                }
            }
            preview->close();
        } else {
            dialog->close();
        }
    });
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    m_form->EditS->setFocus();
    QTest::keyClick(m_form->EditS, Qt::Key_R, Qt::ControlModifier);
    QCOMPARE(answer.count(), 2);
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(QLatin1Char('\n'))));
    QCOMPARE(shown,
             (QStringList{QStringLiteral("0000000105 повтор"), QStringLiteral("0000000012 повтор"),
                          QStringLiteral("0000000007 повтор")}));
    QVERIFY(FormBC->numberList().isEmpty());
    QCOMPARE(m_form->DBGridBC->model()->rowCount(), rows);
    QCOMPARE(m_form->EditS->text(), QStringLiteral("7"));
}

void TestBarcodeTab::currentRowIsPaleBlue()
{
    QStyleOptionViewItem option;
    option.state = QStyle::State_Selected;
    option.palette.setColor(QPalette::Text, Qt::red);
    m_form->DBGridBCDrawColumnCell(nullptr, option);
    QCOMPARE(option.backgroundBrush.color(), QColor(223, 223, 255));
    QCOMPARE(option.palette.color(QPalette::Text), QColor(Qt::black));
    option.state = QStyle::State_None;
    m_form->DBGridBCDrawColumnCell(nullptr, option);
    QCOMPARE(option.backgroundBrush.color(), QColor(Qt::white));
}

QTEST_MAIN(TestBarcodeTab)
#include "tst_barcodetab.moc"
