#include "testdb.h"

#include "auth/autent.h"
#include "base/errors.h"
#include "base/platform.h"
#include "db/dberror.h"
#include "db/ownsettings.h"
#include "labels/labeldata.h"
#include "labels/register.h"
#include "labels/reprintlist.h"
#include "labels/sheetproducts.h"
#include "labels/symbology.h"
#include "labels/usedcells.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

constexpr qint32 maxInt = std::numeric_limits<qint32>::max();

// The numbers a whole run prints, walked as the report's callback walks.
QList<qint32> walk(qint32 first, qint32 last)
{
    QList<qint32> printed;
    qint32 current = first;
    bool lastSetUp = false;
    for (int calls = 0; calls < 100; ++calls) {
        const LabelStep step = stepLabels(current, last, lastSetUp);
        if (!step.printed)
            break;
        printed.append(step.number);
    }
    return printed;
}

} // namespace

// The label sheet's data side and the register's checks, without a window.
class TestLabelData : public QObject {
    Q_OBJECT

private slots:
    void printRange_data();
    void printRange();
    void walkPrintsEachNumberOnce_data();
    void walkPrintsEachNumberOnce();
    void labelTexts_data();
    void labelTexts();
    void sheetSummary_data();
    void sheetSummary();
    void symbologySetting_data();
    void symbologySetting();
    void reprintList_data();
    void reprintList();
    void freeCellsText_data();
    void freeCellsText();
    void freeCellsKept();
    void catalogueLength_data();
    void catalogueLength();
    void catalogueRead();

private:
    TestDb m_db{false};
};

void TestLabelData::printRange_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("printed");
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("last");
    // The refusal raised instead; empty: none.
    QTest::addColumn<QString>("error");
    const QString noBarcode = QStringLiteral("Наклейки с номерами меньше нуля не печатаются: у таких номеров нет "
                                             "штрих-кода. Диапазон %1 — %2 начинается ниже нуля.");
    QTest::newRow("in order") << QByteArray("20") << QByteArray("30") << true << 20 << 30 << QString();
    QTest::newRow("reversed put in order") << QByteArray("20") << QByteArray("007") << true << 7 << 20 << QString();
    QTest::newRow("from zero") << QByteArray("0") << QByteArray("5") << true << 0 << 5 << QString();
    QTest::newRow("negative start refused")
        << QByteArray("-5") << QByteArray("5") << false << 0 << 0 << noBarcode.arg(-5).arg(5);
    QTest::newRow("reversed end below zero refused")
        << QByteArray("3") << QByteArray("-1") << false << 0 << 0 << noBarcode.arg(-1).arg(3);
    QTest::newRow("largest number") << QByteArray("2147483647") << QByteArray("2147483646") << true << maxInt - 1
                                    << maxInt << QString();
    QTest::newRow("beyond 32 bits refused") << QByteArray("9999999999") << QByteArray("1") << false << 0 << 0
                                            << QStringLiteral("'9999999999' is not a valid integer value");
    QTest::newRow("blank start") << QByteArray() << QByteArray("5") << false << 0 << 0 << QString();
    QTest::newRow("letter in the end") << QByteArray("5") << QByteArray("5a") << false << 0 << 0 << QString();
}

void TestLabelData::printRange()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(bool, printed);
    QFETCH(qint32, first);
    QFETCH(qint32, last);
    QFETCH(QString, error);
    std::optional<TypedRange> range;
    try {
        range = ::printRange(start, end);
        QVERIFY(error.isEmpty());
    } catch (const AppError &e) {
        QCOMPARE(e.text(), error);
    }
    QCOMPARE(range.has_value(), printed);
    if (printed) {
        QCOMPARE(range->first, first);
        QCOMPARE(range->last, last);
    }
}

void TestLabelData::walkPrintsEachNumberOnce_data()
{
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("last");
    QTest::addColumn<QList<qint32>>("printed");
    QTest::newRow("one label") << 7 << 7 << QList<qint32>{7};
    QTest::newRow("three labels") << -1 << 1 << QList<qint32>{-1, 0, 1};
    QTest::newRow("ends at the largest number")
        << maxInt - 2 << maxInt << QList<qint32>{maxInt - 2, maxInt - 1, maxInt};
    QTest::newRow("empty range") << 5 << 4 << QList<qint32>{};
}

void TestLabelData::walkPrintsEachNumberOnce()
{
    QFETCH(qint32, first);
    QFETCH(qint32, last);
    QFETCH(QList<qint32>, printed);
    QCOMPARE(walk(first, last), printed);
}

void TestLabelData::labelTexts_data()
{
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QByteArray>("barcode");
    QTest::addColumn<QString>("digits");
    QTest::newRow("seven") << 7 << QByteArray("0000000007") << QStringLiteral("0 0 0 0 0 0 0 0 0 7");
    QTest::newRow("1234") << 1234 << QByteArray("0000001234") << QStringLiteral("0 0 0 0 0 0 1 2 3 4");
    QTest::newRow("largest") << maxInt << QByteArray("2147483647") << QStringLiteral("2 1 4 7 4 8 3 6 4 7");
    QTest::newRow("negative: frame and mark only") << -3 << QByteArray() << QString();
}

void TestLabelData::labelTexts()
{
    QFETCH(qint32, number);
    QFETCH(QByteArray, barcode);
    QFETCH(QString, digits);
    const LabelTexts texts = ::labelTexts(number);
    QCOMPARE(texts.barcode, barcode);
    QCOMPARE(texts.digits, digits);
}

void TestLabelData::sheetSummary_data()
{
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<qint64>("labels"); // -1: no summary
    QTest::addColumn<qint64>("sheets");
    QTest::addColumn<qint64>("onLastSheet");
    // Numbers already on catalogue books, as counted for the tab; -1: not
    // counted yet.
    QTest::addColumn<qint64>("inCatalog");
    QTest::addColumn<QString>("text");
    const auto plain = [](const char *labels, const char *sheets, const char *last) {
        return QStringLiteral("наклеек: %1\nлистов: %2\nна последнем листе: %3")
            .arg(QLatin1String(labels), QLatin1String(sheets), QLatin1String(last));
    };
    QTest::newRow("1 label") << QByteArray("7") << QByteArray("7") << 1LL << 1LL << 1LL << -1LL << plain("1", "1", "1");
    QTest::newRow("60 labels: one full sheet")
        << QByteArray("1") << QByteArray("60") << 60LL << 1LL << 60LL << -1LL << plain("60", "1", "60");
    QTest::newRow("61 labels: one on the second sheet")
        << QByteArray("100") << QByteArray("160") << 61LL << 2LL << 1LL << -1LL << plain("61", "2", "1");
    QTest::newRow("120,000 labels: the most one print takes")
        << QByteArray("1") << QByteArray("120000") << 120000LL << 2000LL << 60LL << -1LL
        << plain("120000", "2000", "60");
    QTest::newRow("reversed prints upwards from the lower number")
        << QByteArray("020") << QByteArray("7") << 14LL << 1LL << 14LL << -1LL
        << plain("14", "1", "14") + QStringLiteral("\nконец меньше начала: наклейки пойдут от 7 до 20 по возрастанию");
    QTest::newRow("none in the catalogue") << QByteArray("1") << QByteArray("60") << 60LL << 1LL << 60LL << 0LL
                                           << plain("60", "1", "60") + QStringLiteral("\nномеров в каталоге: 0");
    QTest::newRow("reversed, some in the catalogue")
        << QByteArray("160") << QByteArray("100") << 61LL << 2LL << 1LL << 12LL
        << plain("61", "2", "1")
            + QStringLiteral("\nконец меньше начала: наклейки пойдут от 100 до 160 по возрастанию"
                             "\nномеров в каталоге: 12");
    const QString negative = QStringLiteral("номера меньше нуля не печатаются: у них нет штрих-кода");
    QTest::newRow("across zero: refused, nothing counted")
        << QByteArray("-5") << QByteArray("5") << 11LL << 1LL << 11LL << 0LL << negative;
    QTest::newRow("the whole 32-bit range: refused") << QByteArray("2147483647") << QByteArray("-2147483648")
                                                     << 4294967296LL << 71582789LL << 16LL << -1LL << negative;
    QTest::newRow("empty start") << QByteArray() << QByteArray("5") << -1LL << 0LL << 0LL << -1LL << QString();
    QTest::newRow("letter") << QByteArray("5") << QByteArray("5a") << -1LL << 0LL << 0LL << -1LL << QString();
    QTest::newRow("lone minus") << QByteArray("-") << QByteArray("5") << -1LL << 0LL << 0LL << -1LL << QString();
    QTest::newRow("one beyond 32 bits") << QByteArray("2147483648") << QByteArray("1") << -1LL << 0LL << 0LL << -1LL
                                        << QString();
    QTest::newRow("one below 32 bits") << QByteArray("1") << QByteArray("-2147483649") << -1LL << 0LL << 0LL << -1LL
                                       << QString();
    QTest::newRow("ten nines") << QByteArray("9999999999") << QByteArray("1") << -1LL << 0LL << 0LL << -1LL
                               << QString();
    QTest::newRow("beyond 64 bits") << QByteArray(40, '9') << QByteArray("1") << -1LL << 0LL << 0LL << -1LL
                                    << QString();
}

void TestLabelData::sheetSummary()
{
    QFETCH(QByteArray, start);
    QFETCH(QByteArray, end);
    QFETCH(qint64, labels);
    QFETCH(qint64, sheets);
    QFETCH(qint64, onLastSheet);
    QFETCH(qint64, inCatalog);
    QFETCH(QString, text);
    auto summary = ::sheetSummary(start, end, 60);
    QCOMPARE(summary.has_value(), labels >= 0);
    if (!summary)
        return;
    QCOMPARE(summary->labels, labels);
    QCOMPARE(summary->sheets, sheets);
    QCOMPARE(summary->onLastSheet, onLastSheet);
    if (inCatalog >= 0)
        summary->inCatalog = inCatalog;
    QCOMPARE(sheetSummaryText(*summary), text);
}

void TestLabelData::symbologySetting_data()
{
    // What is done to a fresh database: a tool call, or a statement run
    // as its administrator.
    QTest::addColumn<QStringList>("tool");
    QTest::addColumn<QByteArray>("statement");
    QTest::addColumn<QByteArray>("read");
    // The refusal raised instead; empty: none.
    QTest::addColumn<QString>("error");

    QTest::newRow("nothing set") << QStringList() << QByteArray() << QByteArray("code39") << QString();
    QTest::newRow("a database the tool has not readied")
        << QStringList() << QByteArray("drop table utilities_settings") << QByteArray("code39") << QString();
    QTest::newRow("Code 128 set by the tool")
        << QStringList{QStringLiteral("code128")} << QByteArray() << QByteArray("code128") << QString();
    QTest::newRow("mod 43 set by the tool")
        << QStringList{QStringLiteral("code39mod43")} << QByteArray() << QByteArray("code39mod43") << QString();
    QTest::newRow("set back to Code 39") << QStringList{QStringLiteral("codabar"), QStringLiteral("code39")}
                                         << QByteArray() << QByteArray("code39") << QString();
    QTest::newRow("written by hand in capitals")
        << QStringList() << QByteArray("insert into utilities_settings values ('label symbology', ' CODABAR ')")
        << QByteArray("codabar") << QString();
    QTest::newRow("a value no symbology has")
        << QStringList() << QByteArray("insert into utilities_settings values ('label symbology', 'qr')")
        << QByteArray()
        << QStringLiteral("В настройках базы данных указана неизвестная символика штрих-кода «qr»; администратор "
                          "базы задаёт одну из них (code39, code39mod43, code128, codabar) командой "
                          "«utilities-db symbology»");
}

// Read as the program reads it, through its own account, which may not
// change it.
void TestLabelData::symbologySetting()
{
    QFETCH(QStringList, tool);
    QFETCH(QByteArray, statement);
    QFETCH(QByteArray, read);
    QFETCH(QString, error);

    const QString path = m_db.freshFile();
    for (const QString &name : tool) {
        QByteArray output;
        QCOMPARE(runDbTool({QStringLiteral("symbology"), path, name}, &output), 0);
        QVERIFY2(output.contains("печатаются символикой"), output.constData());
    }
    if (!statement.isEmpty())
        DbReader(path).exec(statement);

    DbReader program(path, builtInConnectionParams());
    try {
        const Symbology symbology = readSymbology(program.connection());
        QVERIFY2(error.isEmpty(), "the unknown value was not refused");
        QCOMPARE(symbologyName(symbology), read);
    } catch (const AppError &e) {
        QCOMPARE(e.text(), error);
    }
    if (statement.startsWith("drop"))
        return;
    try {
        program.exec("update utilities_settings set setting = 'code128'");
        QFAIL("the program's account changed the setting");
    } catch (const DbError &e) {
        QVERIFY2(e.text().contains(QLatin1String("UPDATE")), qPrintable(e.text()));
    }
}

void TestLabelData::reprintList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<qint32>>("numbers");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("scanned, with line ends of either kind")
        << QStringLiteral("0000001234\r\n0000000007\r\n") << QList<qint32>{1234, 7} << QStringList();
    QTest::newRow("typed, blanks and empty lines")
        << QStringLiteral("  15 \n\n\t2147483647\n15") << QList<qint32>{15, 2147483647, 15} << QStringList();
    QTest::newRow("bad lines named, the good kept")
        << QStringLiteral("12a\n5\n-3\n2147483648\n1 2\n99999999999999999999") << QList<qint32>{5}
        << QStringList{QStringLiteral("строка 1: «12a» — не номер"),
                       QStringLiteral("строка 3: «-3» — номер меньше нуля, у такой наклейки нет штрих-кода"),
                       QStringLiteral("строка 4: «2147483648» — номер больше 2147483647"),
                       QStringLiteral("строка 5: «1 2» — не номер"),
                       QStringLiteral("строка 6: «99999999999999999999» — номер больше 2147483647")};
    QTest::newRow("empty") << QString() << QList<qint32>() << QStringList();
}

void TestLabelData::reprintList()
{
    QFETCH(QString, text);
    QFETCH(QList<qint32>, numbers);
    QFETCH(QStringList, problems);

    const ReprintList list = readReprintList(text);
    QCOMPARE(list.numbers, numbers);
    QCOMPARE(list.problems, problems);
}

void TestLabelData::freeCellsText_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << 1 << QStringLiteral("свободна 1 наклейка на последнем листе");
    QTest::newRow("24") << 24 << QStringLiteral("свободно 24 наклейки на последнем листе");
    QTest::newRow("12") << 12 << QStringLiteral("свободно 12 наклеек на последнем листе");
    QTest::newRow("11") << 11 << QStringLiteral("свободно 11 наклеек на последнем листе");
    QTest::newRow("21") << 21 << QStringLiteral("свободна 21 наклейка на последнем листе");
    QTest::newRow("59") << 59 << QStringLiteral("свободно 59 наклеек на последнем листе");
}

void TestLabelData::freeCellsText()
{
    QFETCH(int, count);
    QFETCH(QString, text);
    QCOMPARE(::freeCellsText(count), text);
}

void TestLabelData::freeCellsKept()
{
    QTemporaryDir registry;
    platform::registryFolder = [&] { return registry.path(); };
    // Per printer and stock: one does not see another's sheet.
    writeFreeCells(QStringLiteral("Склад/A4 [1]"), QString(), {37, 38, 60});
    writeFreeCells(QStringLiteral("Склад/A4 [1]"), QStringLiteral("Igepa EA-483x169"), {64});
    writeSheetChoice(QStringLiteral("Склад/A4 [1]"), QStringLiteral("Igepa EA-483x169"));
    QCOMPARE(readFreeCells(QStringLiteral("Склад/A4 [1]"), QString()), (QList<int>{37, 38, 60}));
    QCOMPARE(readFreeCells(QStringLiteral("Склад/A4 [1]"), QStringLiteral("Igepa EA-483x169")), QList<int>{64});
    QCOMPARE(readFreeCells(QStringLiteral("другой"), QString()), QList<int>());
    QCOMPARE(readSheetChoice(QStringLiteral("Склад/A4 [1]")), QStringLiteral("Igepa EA-483x169"));
    QCOMPARE(readSheetChoice(QStringLiteral("другой")), QString());
    // A sheet used up is forgotten.
    writeFreeCells(QStringLiteral("Склад/A4 [1]"), QString(), {});
    QCOMPARE(readFreeCells(QStringLiteral("Склад/A4 [1]"), QString()), QList<int>());
}

void TestLabelData::catalogueLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("mm"); // below zero: not a length

    QTest::newRow("millimetres") << QStringLiteral("48.3mm") << 48.3;
    QTest::newRow("inches") << QStringLiteral("1in") << 25.4;
    QTest::newRow("points") << QStringLiteral("72pt") << 25.4;
    QTest::newRow("bare number, points") << QStringLiteral("144") << 50.8;
    QTest::newRow("centimetres") << QStringLiteral("0.5cm") << 5.0;
    QTest::newRow("exponent") << QStringLiteral("1.5e1mm") << 15.0;
    QTest::newRow("unknown unit") << QStringLiteral("3furlong") << -1.0;
    QTest::newRow("empty") << QString() << -1.0;
}

void TestLabelData::catalogueLength()
{
    QFETCH(QString, text);
    QFETCH(qreal, mm);
    const std::optional<qreal> length = ::catalogueLength(text);
    QCOMPARE(length.has_value(), mm >= 0);
    if (length)
        QVERIFY2(qAbs(*length - mm) < 1e-9, qPrintable(QString::number(*length)));
}

void TestLabelData::catalogueRead()
{
    QTemporaryDir folder;
    auto write = [&](const char *name, const QByteArray &text) {
        QFile file(folder.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write("paper-sizes.xml", R"(<Glabels-paper-sizes>
  <Paper-size id="A4" _name="A4" width="210mm" height="297mm"/>
  <Paper-size id="US-Letter" _name="US Letter" width="8.5in" height="11in"/>
</Glabels-paper-sizes>)");
    write("maker-templates.xml", R"(<Glabels-templates>
  <Template brand="Maker" part="B2" size="A4" _description="Two layouts">
    <Label-rectangle id="0" width="50mm" height="20mm">
      <Layout nx="1" ny="2" x0="60mm" y0="10mm" dx="50mm" dy="20mm"/>
      <Layout nx="1" ny="1" x0="10mm" y0="10mm" dx="50mm" dy="20mm"/>
    </Label-rectangle>
  </Template>
  <Template brand="Maker" part="A1" size="US-Letter" description="Letter">
    <Label-rectangle id="0" width="2in" height="1in"><Layout nx="2" ny="3" x0="0.5in" y0="0.5in"
      dx="2.5in" dy="1in"/></Label-rectangle>
  </Template>
  <Template brand="Maker" part="A1-copy" equiv="A1"/>
  <Template brand="Maker" part="ghost" equiv="nowhere"/>
  <Template brand="Maker" part="CD" size="A4"><Label-cd id="0" radius="58mm" hole="18mm">
    <Layout nx="1" ny="2" x0="0" y0="0" dx="0" dy="0"/></Label-cd></Template>
  <Template brand="Maker" part="Roll" size="Other" width="62mm" height="100mm">
    <Label-rectangle id="0" width="62mm" height="29mm"><Layout nx="1" ny="3" x0="0" y0="0" dx="0" dy="29mm"/>
    </Label-rectangle></Template>
</Glabels-templates>)");
    write("broken-templates.xml", "<Glabels-templates><Template brand=\"X\" part=\"Y\" size=\"A4\"><Label-rec");

    const QList<SheetProduct> products = readSheetProducts(folder.path());
    QStringList ids;
    for (const SheetProduct &product : products)
        ids.append(product.id());
    QCOMPARE(ids,
             (QStringList{QStringLiteral("Maker A1"), QStringLiteral("Maker A1-copy"), QStringLiteral("Maker B2"),
                          QStringLiteral("Maker Roll")}));
    const SheetProduct &letter = products[0];
    QCOMPARE(letter.description, QStringLiteral("Letter"));
    QCOMPARE(letter.paperMm, QSizeF(215.9, 279.4));
    QCOMPARE(letter.columns, 2);
    QCOMPARE(letter.rows, 3);
    // Column by column, each from the top.
    QCOMPARE(letter.cells.value(1), QRectF(12.7, 38.1, 50.8, 25.4));
    QCOMPARE(letter.cells.value(4), QRectF(76.2, 38.1, 50.8, 25.4));
    QCOMPARE(products[1].cells, letter.cells);
    const SheetProduct &two = products[2];
    QCOMPARE(two.cells, (QList<QRectF>{QRectF(10, 10, 50, 20), QRectF(60, 10, 50, 20), QRectF(60, 30, 50, 20)}));
    QCOMPARE(two.columns, 2);
    QCOMPARE(two.rows, 2);
    QCOMPARE(products[3].paperMm, QSizeF(62, 100));

    QCOMPARE(productsForPaper(products, QSizeF(210, 297)).size(), 1);
    QCOMPARE(matchingProducts(products, QStringLiteral("maker a1")).size(), 2);
    QCOMPARE(matchingProducts(products, QStringLiteral("layouts b2")).size(), 1);
    QVERIFY(readSheetProducts(folder.filePath(QStringLiteral("missing"))).isEmpty());
}

QTEST_GUILESS_MAIN(TestLabelData)
#include "tst_labeldata.moc"
