#include "db/fbclient.h"
#include "db/dberror.h"

#include "base/text1251.h"
#include "db/dataset.h"
#include "db/engine.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <cerrno>

using namespace Firebird;

namespace fbclient {
namespace {

struct Client {
    // The engine's mode comes from the configuration it reads when first used.
    bool prepared = (prepareEmbeddedEngine(), true);
    IMaster *master = fb_get_master_interface();
    IUtil *util = master->getUtilInterface();
    FbRef<IProvider> provider{master->getDispatcher()};
};

Client &client()
{
    static Client c;
    return c;
}

// A status vector's error codes, text arguments and operating system error
// numbers, each in order.
struct StatusParts {
    QList<qint64> codes;
    QStringList arguments;
    QList<int> systemErrors;
};

StatusParts partsOf(const IStatus *status)
{
    StatusParts parts;
    const intptr_t *v = status->getErrors();
    while (v && *v != isc_arg_end) {
        if (v[0] == isc_arg_gds)
            parts.codes.append(qint64(v[1]));
        else if (v[0] == isc_arg_unix)
            parts.systemErrors.append(int(v[1]));
        else if (v[0] == isc_arg_string || v[0] == isc_arg_interpreted)
            parts.arguments.append(QFile::decodeName(reinterpret_cast<const char *>(v[1])));
        else if (v[0] == isc_arg_cstring)
            parts.arguments.append(QFile::decodeName(QByteArray(reinterpret_cast<const char *>(v[2]), int(v[1]))));
        // Every argument but the string-with-length kind is one word.
        v += v[0] == isc_arg_cstring ? 3 : 2;
    }
    return parts;
}

} // namespace

IMaster *master()
{
    return client().master;
}

IUtil *util()
{
    return client().util;
}

IProvider *provider()
{
    return client().provider.get();
}

DbError errorOf(const FbException &e)
{
    char buffer[2048];
    util()->formatStatus(buffer, sizeof buffer, e.getStatus());
    // The engine formats names from the database in the connection charset.
    QString text = fromCp1251(QByteArray(buffer)).trimmed();
    StatusParts parts = partsOf(e.getStatus());
    const QList<qint64> &codes = parts.codes;
    static const QList<qint64> lockCodes{isc_lock_conflict, isc_update_conflict, isc_deadlock, isc_lock_timeout};
    const bool locked = std::any_of(codes.begin(), codes.end(), [](qint64 c) { return lockCodes.contains(c); });
    if (locked) {
        text = QStringLiteral("Эти данные сейчас изменяет другое рабочее место; ничего не изменено, "
                              "повторите позже.\n\n")
            + text;
    }
    return DbError(text, std::move(parts.codes), std::move(parts.arguments), std::move(parts.systemErrors));
}

void addDpbItem(QByteArray &dpb, unsigned char tag, const QByteArray &value)
{
    if (value.size() > 255)
        throw DbError(QStringLiteral("Connection parameter too long"));
    dpb += char(tag);
    dpb += char(value.size());
    dpb += value;
}

void addDpbNumber(QByteArray &dpb, unsigned char tag, quint32 value)
{
    dpb += char(tag);
    dpb += char(4);
    for (int i = 0; i < 4; ++i)
        dpb += char(value >> (8 * i) & 0xFF);
}

QByteArray buildDpb(const QList<QByteArray> &params, int dialect)
{
    QByteArray dpb(1, char(isc_dpb_version1));
    auto add = [&](unsigned char tag, const QByteArray &value) { addDpbItem(dpb, tag, value); };
    for (const QByteArray &line : params) {
        const qsizetype eq = line.indexOf('=');
        const QByteArray name = line.left(eq).trimmed().toLower();
        const QByteArray value = eq < 0 ? QByteArray() : line.mid(eq + 1);
        if (name == "user_name")
            add(isc_dpb_user_name, value);
        else if (name == "password")
            add(isc_dpb_password, value);
        else if (name == "lc_ctype")
            add(isc_dpb_lc_ctype, value);
        else if (name == "sql_role_name")
            add(isc_dpb_sql_role_name, value);
        else if (!name.isEmpty())
            throw DbError(QStringLiteral("Unknown connection parameter: %1").arg(fromCp1251(name)));
    }
    dpb += char(isc_dpb_sql_dialect);
    dpb += char(1);
    dpb += char(dialect);
    return dpb;
}

} // namespace fbclient

void createDatabaseFile(const QString &path, const QByteArray &user, const QByteArray &charset)
{
    using namespace fbclient;
    QByteArray dpb = buildDpb({"user_name=" + user, "lc_ctype=" + charset}, 3);
    addDpbItem(dpb, isc_dpb_set_db_charset, charset);
    const QByteArray file = QFile::encodeName(path);
    FbRef<IAttachment> attachment(call([&](ThrowStatusWrapper *s) {
        return provider()->createDatabase(s, file.constData(), unsigned(dpb.size()),
                                          reinterpret_cast<const unsigned char *>(dpb.constData()));
    }));
    call([&](ThrowStatusWrapper *s) { attachment->detach(s); });
    attachment.take();
}

DbError::Cause DbError::cause() const
{
    static const QList<qint64> lost{isc_network_error, isc_net_read_err,        isc_net_write_err,
                                    isc_conn_lost,     isc_lost_db_connection,  isc_att_shutdown,
                                    isc_shutdown,      isc_net_server_shutdown, isc_bad_db_handle};
    static const QList<qint64> busy{isc_lock_conflict, isc_update_conflict, isc_deadlock, isc_lock_timeout};
    static const QList<qint64> clash{isc_unique_key_violation, isc_no_dup};
    static const QList<qint64> content{isc_string_truncation,      isc_arith_except,     isc_numeric_out_of_range,
                                       isc_convert_error,          isc_not_valid,        isc_check_constraint,
                                       isc_transliteration_failed, isc_malformed_string, isc_foreign_key};
    const auto any = [this](const QList<qint64> &list) {
        return std::any_of(list.begin(), list.end(), [this](qint64 code) { return hasCode(code); });
    };
    // The engine names the folder it could not enter; its words alone
    // would depend on the system's language.
    const QString lockFolder = QDir::cleanPath(embeddedEngineLockFolder());
    const auto inLockFolder = [&](const QString &argument) {
        const QString path = QDir::cleanPath(argument);
        return path == lockFolder || path.startsWith(lockFolder + u'/');
    };
    if (hasCode(isc_sys_request) && m_systemErrors.contains(EACCES)
        && std::any_of(m_arguments.begin(), m_arguments.end(), inLockFolder))
        return Cause::LockFolder;
    // A lost connection first: whatever else the vector says came from it.
    if (any(lost))
        return Cause::ConnectionLost;
    if (hasCode(isc_no_priv))
        return Cause::MissingRight;
    if (any(busy))
        return Cause::Busy;
    if (any(clash))
        return Cause::KeyClash;
    if (any(content))
        return Cause::Content;
    return Cause::Other;
}
