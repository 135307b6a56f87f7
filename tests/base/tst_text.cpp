#include "base/errors.h"
#include "base/platform.h"
#include "base/settings.h"
#include "base/sqltext.h"
#include "base/text1251.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The base layer's text routines: statements' text, numbers as text,
// Windows-1251 and the settings reader.
class TestText : public QObject {
    Q_OBJECT

private slots:
    void isIntegerText_data();
    void isIntegerText();
    void zeroPad_data();
    void zeroPad();
    void escapeQuotes_data();
    void escapeQuotes();
    void escapedLiteralsStayBalanced();
    void sqlValue_data();
    void sqlValue();
    void whereTerm_data();
    void whereTerm();
    void strToInt_data();
    void strToInt();
    void registry_data();
    void registry();
    void registryWithoutFile();
    void cp1251RoundTrip();
    void cp1251RefusesNamedCharacter();
};

void TestText::isIntegerText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("lone minus") << QByteArray("-") << false;
    QTest::newRow("minus after digit") << QByteArray("5-") << false;
    QTest::newRow("leading blank") << QByteArray(" 5") << false;
    QTest::newRow("two minus signs") << QByteArray("--5") << false;
    QTest::newRow("plus sign") << QByteArray("+5") << false;
    QTest::newRow("point") << QByteArray("1.5") << false;
    QTest::newRow("letter") << QByteArray("12a") << false;
    QTest::newRow("negative") << QByteArray("-5") << true;
    QTest::newRow("minus zero") << QByteArray("-0") << true;
    QTest::newRow("leading zeros") << QByteArray("007") << true;
    QTest::newRow("eleven digits") << QByteArray("12345678901") << true;
}

void TestText::isIntegerText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, expected);
    QCOMPARE(IsIntegerText(text), expected);
}

void TestText::zeroPad_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("zero") << 0 << 10 << QByteArray("0000000000");
    QTest::newRow("minus one") << -1 << 10 << QByteArray();
    QTest::newRow("1234") << 1234 << 10 << QByteArray("0000001234");
    QTest::newRow("never cut") << 2147483647 << 5 << QByteArray("2147483647");
    QTest::newRow("exact width") << 12345 << 5 << QByteArray("12345");
}

void TestText::zeroPad()
{
    QFETCH(int, number);
    QFETCH(int, width);
    QFETCH(QByteArray, expected);
    QCOMPARE(ZeroPad(number, width), expected);
}

void TestText::escapeQuotes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no quote") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("lone inside") << QByteArray("O'Neil") << QByteArray("O''Neil");
    QTest::newRow("pair kept") << QByteArray("O''Neil") << QByteArray("O''Neil");
    QTest::newRow("single alone") << QByteArray("'") << QByteArray("''");
    QTest::newRow("ends in one") << QByteArray("a'") << QByteArray("a''");
    QTest::newRow("ends in two") << QByteArray("a''") << QByteArray("a''");
    QTest::newRow("enclosed") << QByteArray("'a'") << QByteArray("''a''");
    QTest::newRow("run of three completed") << QByteArray("a'''b") << QByteArray("a''''b");
    QTest::newRow("run of four kept") << QByteArray("a''''b") << QByteArray("a''''b");
    QTest::newRow("run of five completed") << QByteArray("'''''") << QByteArray("''''''");
    QTest::newRow("injection") << QByteArray("''' or 1=1 --") << QByteArray("'''' or 1=1 --");
}

void TestText::escapeQuotes()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(EscapeQuotes(text), expected);
}

// Every apostrophe run inside a built literal has even length, so the value
// can never end the quoted string early.
void TestText::escapedLiteralsStayBalanced()
{
    const QByteArray pieces[] = {"'", "''", "a", " ", "--", ";", "x'"};
    for (int mask = 0; mask < 7 * 7 * 7 * 7; ++mask) {
        QByteArray text;
        for (int m = mask, k = 0; k < 4; ++k, m /= 7)
            text += pieces[m % 7];
        const QByteArray inner = SqlValue(text, 's', ')').chopped(2).mid(1);
        for (qsizetype i = 0; i < inner.size();) {
            qsizetype run = 0;
            while (i + run < inner.size() && inner[i + run] == '\'')
                ++run;
            QVERIFY2(run % 2 == 0, text.constData());
            i += run ? run : 1;
        }
    }
}

void TestText::sqlValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<char>("kind");
    QTest::addColumn<char>("trailer");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("text") << QByteArray("abc") << 's' << ')' << QByteArray("'abc')");
    QTest::newRow("empty is null") << QByteArray() << 's' << ',' << QByteArray("null,");
    QTest::newRow("empty number is null") << QByteArray() << 'i' << ',' << QByteArray("null,");
    QTest::newRow("bare number") << QByteArray("42") << 'i' << ',' << QByteArray("42,");
    QTest::newRow("apostrophe") << QByteArray("O'Neil") << 's' << ',' << QByteArray("'O''Neil',");
}

void TestText::sqlValue()
{
    QFETCH(QByteArray, value);
    QFETCH(char, kind);
    QFETCH(char, trailer);
    QFETCH(QByteArray, expected);
    QCOMPARE(SqlValue(value, kind, trailer), expected);
}

void TestText::whereTerm_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<char>("op");
    QTest::addColumn<char>("kind");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("text") << QByteArray("ann") << '!' << 's' << QByteArray("= 'ann' ");
    QTest::newRow("empty, other operator") << QByteArray() << '!' << 's' << QByteArray("is null ");
    QTest::newRow("empty, equals") << QByteArray() << '=' << 's' << QByteArray("= null ");
    QTest::newRow("number") << QByteArray("7") << '!' << 'i' << QByteArray("= 7 ");
    QTest::newRow("quote") << QByteArray("d'Arc") << '!' << 's' << QByteArray("= 'd''Arc' ");
}

void TestText::whereTerm()
{
    QFETCH(QByteArray, value);
    QFETCH(char, op);
    QFETCH(char, kind);
    QFETCH(QByteArray, expected);
    QCOMPARE(WhereTerm(value, op, kind, ' '), expected);
}

void TestText::strToInt_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("zero padded") << QByteArray("007") << true << 7;
    QTest::newRow("largest") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("smallest") << QByteArray("-2147483648") << true << int(-2147483648LL);
    QTest::newRow("one too many") << QByteArray("2147483648") << false << 0;
    QTest::newRow("blank") << QByteArray(" 1") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
}

void TestText::strToInt()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid) {
        QCOMPARE(StrToInt(text), value);
        return;
    }
    try {
        StrToInt(text);
        QFAIL("accepted");
    } catch (const ConvertError &e) {
        QCOMPARE(e.text(), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(text)));
    }
}

void TestText::registry_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QVariant(QStringLiteral("admin")) << QByteArray("admin");
    QTest::newRow("cyrillic as 1251") << QVariant(QStringLiteral("Иванова")) << toCp1251(QStringLiteral("Иванова"));
    QTest::newRow("cut at zero byte") << QVariant(QByteArray("ab\0cd", 5)) << QByteArray("ab");
    QTest::newRow("256 bytes whole") << QVariant(QByteArray(256, 'x')) << QByteArray(256, 'x');
    QTest::newRow("257 bytes unreadable") << QVariant(QByteArray(257, 'x')) << QByteArray();
    QTest::newRow("300 bytes unreadable") << QVariant(QString(300, u'y')) << QByteArray();
    QTest::newRow("not in 1251") << QVariant(QStringLiteral("漢")) << QByteArray();
}

void TestText::registry()
{
    QFETCH(QVariant, stored);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    const auto saved = platform::registryFolder;
    platform::registryFolder = [&] { return dir.path(); };
    {
        QSettings store(registryFileName("Software\\Tovi\\Vesko Mika"), QSettings::IniFormat);
        store.setValue(QStringLiteral("last login"), stored);
    }
    QCOMPARE(ReadRegistryText(HKEY_CURRENT_USER, "Software\\Tovi\\Vesko Mika", "last login"), expected);
    QCOMPARE(ReadRegistryText(HKEY_CURRENT_USER, "Software\\Tovi\\Vesko Mika", "missing"), QByteArray());
    QCOMPARE(ReadRegistryText(HKEY_LOCAL_MACHINE, "Software\\Tovi\\Vesko Mika", "last login"), QByteArray());
    platform::registryFolder = saved;
}

void TestText::registryWithoutFile()
{
    QTemporaryDir dir;
    const auto saved = platform::registryFolder;
    platform::registryFolder = [&] { return dir.path(); };
    QCOMPARE(ReadRegistryText(HKEY_CURRENT_USER, "Software\\Tovi\\Vesko Mika", "last login"), QByteArray());
    QCOMPARE(ReadRegistryText(HKEY_CURRENT_USER, "Tovi", "last login"), QByteArray());
    QVERIFY(!QDir(dir.path() + QStringLiteral("/Tovi")).exists());
    platform::registryFolder = saved;
}

void TestText::cp1251RoundTrip()
{
    const QString text = QStringLiteral("Ёлка «№» ёж — €");
    const QByteArray bytes = toCp1251(text);
    QCOMPARE(bytes.size(), text.size());
    QCOMPARE(bytes.at(0), char(0xA8)); // Ё
    QCOMPARE(fromCp1251(bytes), text);
}

void TestText::cp1251RefusesNamedCharacter()
{
    try {
        toCp1251(QStringLiteral("ok 漢 no"));
        QFAIL("accepted");
    } catch (const ConvertError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("漢")) && e.text().contains(QStringLiteral("U+6F22")),
                 qPrintable(e.text()));
    }
}

QTEST_MAIN(TestText)
#include "tst_text.moc"
