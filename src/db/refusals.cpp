#include "db/refusals.h"
#include "db/dberror.h"

#include "db/dataset.h"
#include "db/engine.h"

#include <pwd.h>
#include <unistd.h>

QString tablesBusyText()
{
    return QStringLiteral("другое рабочее место сейчас записывает в эти таблицы; повторите позже");
}

namespace {

QString missingRightSentence(const QString &database)
{
    return QStringLiteral("У учётной записи программы нет прав на базу данных «%1»: их даёт администратор базы "
                          "командой «utilities-db grant %1», один раз для каждой базы.")
        .arg(database);
}

QString accountName()
{
    const passwd *account = ::getpwuid(::geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QStringLiteral("ИМЯ");
}

} // namespace

QString lockFolderSentence()
{
    return QStringLiteral("Встроенный сервер базы данных не может работать от имени учётной записи «%1»: его папка "
                          "блокировок «%2» открыта только группе firebird, а эта учётная запись в неё не входит. "
                          "Администратор добавляет её в группу командой «sudo adduser %1 firebird»; после этого "
                          "выйдите из сеанса рабочего стола и войдите снова.")
        .arg(accountName(), embeddedEngineLockFolder());
}

QString attachRefusalText(const std::exception &error)
{
    const auto *refusal = dynamic_cast<const DbError *>(&error);
    const QString words = QString::fromUtf8(error.what());
    if (!refusal || refusal->cause() != DbError::Cause::LockFolder)
        return words;
    return lockFolderSentence() + QStringLiteral("\n\n") + words;
}

QString missingRightText(const QString &database, const QString &why)
{
    return missingRightSentence(database) + QStringLiteral("\n\n") + why;
}

QString unreachableText(const QString &database, const QString &why)
{
    return QStringLiteral("Связь с базой данных «%1» потеряна, и восстановить её не удалось: сервер базы данных "
                          "недоступен. Повторите, когда он снова заработает.\n\n%2")
        .arg(database, why);
}

QString causeSentence(const DbError &error, const QString &database)
{
    switch (error.cause()) {
    case DbError::Cause::ConnectionLost:
        return QStringLiteral("Связь с базой данных «%1» потеряна: сервер базы данных остановлен или перезапущен, "
                              "база закрыта администратором или прервалась сеть.")
            .arg(database);
    case DbError::Cause::MissingRight:
        return missingRightSentence(database);
    case DbError::Cause::LockFolder:
        return lockFolderSentence();
    case DbError::Cause::KeyClash:
        // Keys come from the database's own counters, never from a file.
        return QStringLiteral("Запись с таким ключом уже есть: ключ новой записи дал счётчик базы данных, а он "
                              "отстал от записей таблицы. Счётчик поправит администратор базы.");
    case DbError::Cause::Content:
    case DbError::Cause::Busy:
    case DbError::Cause::Other:
        break;
    }
    return QString();
}

DbError explained(const DbError &error, const QString &database)
{
    if (error.explained())
        return error;
    const QString sentence = causeSentence(error, database);
    return sentence.isEmpty() ? error : error.explainedAs(sentence + QStringLiteral("\n\n") + error.text());
}

void runReattaching(DbConnection *connection, const std::function<void()> &work)
{
    const auto attachAgain = [connection] {
        try {
            connection->reattach();
        } catch (const DbError &e) {
            throw e.explainedAs(unreachableText(connection->databaseName, e.text()));
        }
    };
    if (connection->lost())
        attachAgain();
    const quint64 commitsBefore = connection->commits();
    try {
        work();
        return;
    } catch (const DbError &e) {
        if (!e.connectionLost() || connection->commits() != commitsBefore)
            throw explained(e, connection->databaseName);
    }
    attachAgain();
    try {
        work();
    } catch (const DbError &e) {
        throw explained(e, connection->databaseName);
    }
}
