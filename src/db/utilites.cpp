#include "db/utilites.h"

#include "base/errors.h"
#include "base/platform.h"
#include "base/text1251.h"
#include "db/dataset.h"
#include "db/session.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <QThread>

#include <limits>

QByteArray SqlText;

bool IsIntegerText(const QByteArray &text)
{
    if (text.isEmpty() || text == "-")
        return false;
    for (qsizetype i = text.startsWith('-') ? 1 : 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

QByteArray ZeroPad(qint32 number, qint32 width)
{
    if (number < 0)
        return QByteArray();
    return QByteArray::number(number).rightJustified(width, '0');
}

QByteArray UniqueSuffix()
{
    QThread::msleep(10);
    const QDateTime now = platform::now();
    const qint64 day = QDate(1, 1, 1).daysTo(now.date()) + 1;
    return QByteArray::number(day * 86400000LL + now.time().msecsSinceStartOfDay());
}

QString registryFileName(const QByteArray &keyPath)
{
    // "Software\Organisation\Application[\...]" -> <folder>/Organisation/Application.conf
    const QList<QByteArray> parts = keyPath.split('\\');
    if (parts.size() < 3 || parts[0].compare("Software", Qt::CaseInsensitive) != 0 || parts[1].isEmpty()
        || parts[2].isEmpty())
        return QString();
    return platform::registryFolder() + u'/' + fromCp1251(parts[1]) + u'/' + fromCp1251(parts[2])
        + QStringLiteral(".conf");
}

QByteArray ReadRegistryText(RegistryRoot root, const QByteArray &keyPath, const QByteArray &valueName)
{
    constexpr qsizetype bufferSize = 256;
    if (root != HKEY_CURRENT_USER)
        return QByteArray();
    const QString fileName = registryFileName(keyPath);
    if (fileName.isEmpty() || !QFileInfo::exists(fileName))
        return QByteArray();

    QSettings store(fileName, QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        return QByteArray();
    QString key;
    const QList<QByteArray> parts = keyPath.split('\\');
    for (qsizetype i = 3; i < parts.size(); ++i)
        key += fromCp1251(parts[i]) + u'/';
    key += fromCp1251(valueName);
    const QVariant value = store.value(key);
    if (!value.isValid())
        return QByteArray();

    QByteArray bytes;
    if (value.typeId() == QMetaType::QByteArray) {
        bytes = value.toByteArray();
    } else {
        try {
            bytes = toCp1251(value.toString());
        } catch (const ConvertError &) {
            return QByteArray();
        }
    }
    // A value that does not fit the buffer cannot be read at all.
    if (bytes.size() > bufferSize)
        return QByteArray();
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

QByteArray SqlValue(const QByteArray &value, char kind, char trailer)
{
    if (value.isEmpty())
        return QByteArray("null") + trailer;
    if (kind == 'i')
        return value + trailer;
    return '\'' + EscapeQuotes(value) + '\'' + trailer;
}

QByteArray WhereTerm(const QByteArray &value, char op, char kind, char trailer)
{
    if (!value.isEmpty()) {
        if (kind == 'i')
            return "= " + value + trailer;
        return "= '" + EscapeQuotes(value) + '\'' + trailer;
    }
    if (op == '=')
        return QByteArray("= null") + trailer;
    return QByteArray("is null") + trailer;
}

QByteArray EscapeQuotes(const QByteArray &text)
{
    // Lone apostrophes are doubled; a run that already holds a pair is taken
    // as escaped. A run of odd length (3, 5, ...) gets one more apostrophe so
    // that the literal always stays balanced and its text cannot end it.
    QByteArray result;
    result.reserve(text.size() + 8);
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] != '\'') {
            result += text[i++];
            continue;
        }
        qsizetype run = 0;
        while (i + run < text.size() && text[i + run] == '\'')
            ++run;
        result.append(run, '\'');
        if (run % 2 == 1)
            result += '\'';
        i += run;
    }
    return result;
}

qint32 StrToInt(const QByteArray &text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || !IsIntegerText(text) || value < std::numeric_limits<qint32>::min()
        || value > std::numeric_limits<qint32>::max())
        throw ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(fromCp1251(text)));
    return qint32(value);
}

namespace {

// A query still reading in the connection's default transaction gets one of
// its own, kept until its owner (or the query itself, when it has none)
// goes; reads then never hold up the default.
void givePrivateTransaction(DbQuery *query)
{
    DbConnection *connection = query->database();
    if (query->transaction() && (!connection || query->transaction() != connection->defaultTransaction()))
        return;
    if (!connection)
        throw DbError(QStringLiteral("Database not connected"));
    query->close();
    QObject *owner = query->parent() ? query->parent() : query;
    auto *transaction = new DbTransaction(*connection, DbTransaction::Action::CommitRetaining, owner);
    transaction->setObjectName(QStringLiteral("TR") + QString::fromLatin1(UniqueSuffix()));
    query->setTransaction(transaction);
}

void openOn(DbQuery *query, const QByteArray &statement, bool endPreviousRead)
{
    givePrivateTransaction(query);
    if (endPreviousRead && query->transaction()->inTransaction())
        query->transaction()->rollback();
    query->close();
    query->unprepare();
    query->setSql(statement);
    query->prepare();
    query->open();
}

} // namespace

void OpenScratchSelect(DbQuery *query)
{
    openOn(query, SqlText, query->objectName() == QLatin1String("IBQXXMAIN"));
}

void OpenSelect(DbQuery *query, char mode)
{
    openOn(query, SqlText, mode != 'n');
}

void OpenSelectText(DbQuery *query, const QByteArray &statement, char mode)
{
    openOn(query, statement, mode != 'n');
}

QByteArray NextGeneratorValue(DbSession &session, const QByteArray &generator)
{
    OpenSelectText(&session.scratch(), "select gen_id(" + generator + ",1) zz from rdb$database", '*');
    return session.scratch().field("zz").asString();
}

SnapshotRead::SnapshotRead(DbConnection &connection, const QByteArray &statement)
    : m_transaction(connection), m_query(connection, m_transaction, statement)
{
    m_query.open();
}

void ExecAndCommit(DbConnection &connection, const QByteArray &statement)
{
    // Declared in this order so the statement is freed before its
    // transaction, which then commits if it is still running.
    DbTransaction transaction(connection, DbTransaction::Action::Commit);
    DbQuery query(connection, transaction, statement);
    transaction.start();
    query.prepare();
    query.execSql();
    transaction.commit();
}

void ExecAllOrNothing(DbConnection &connection, const QList<QByteArray> &statements)
{
    DbTransaction transaction(connection);
    transaction.start();
    for (const QByteArray &statement : statements) {
        SqlText = statement;
        DbQuery(connection, transaction, SqlText).execSql();
    }
    transaction.commit();
}

bool LocateQuietly(DbQuery *query, const QByteArray &keyFields, const QByteArray &keyValue, int options)
{
    const auto afterScroll = std::exchange(query->afterScroll, nullptr);
    const auto onCalcFields = std::exchange(query->onCalcFields, nullptr);
    bool found = false;
    try {
        found = query->locate(keyFields, keyValue,
                              ((options & loCaseInsensitive) ? DbQuery::CaseInsensitive : 0)
                                  | ((options & loPartialKey) ? DbQuery::PartialKey : 0));
    } catch (...) {
        query->afterScroll = afterScroll;
        query->onCalcFields = onCalcFields;
        throw;
    }
    query->afterScroll = afterScroll;
    query->onCalcFields = onCalcFields;
    if (query->onCalcFields)
        query->onCalcFields(query);
    if (query->afterScroll)
        query->afterScroll(query);
    return found;
}
