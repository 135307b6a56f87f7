#include "db/fbservice.h"

#include "base/text1251.h"
#include "db/fbclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QThread>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Firebird;
using namespace fbclient;

namespace {

constexpr char kLocalManager[] = "service_mgr";
// As long as the program waits for a server that does not answer.
constexpr int kConnectTimeout = 15;

// A parameter block of the client's own builder, disposed on every path.
class Xpb {
public:
    explicit Xpb(unsigned kind)
        : m_builder(call([&](ThrowStatusWrapper *s) { return util()->getXpbBuilder(s, kind, nullptr, 0); }))
    {
    }
    ~Xpb() { m_builder->dispose(); }
    Xpb(const Xpb &) = delete;
    Xpb &operator=(const Xpb &) = delete;

    void text(unsigned char tag, const QByteArray &value)
    {
        call([&](ThrowStatusWrapper *s) { m_builder->insertBytes(s, tag, value.constData(), unsigned(value.size())); });
    }
    void number(unsigned char tag, int value)
    {
        call([&](ThrowStatusWrapper *s) { m_builder->insertInt(s, tag, value); });
    }
    void tag(unsigned char tag)
    {
        call([&](ThrowStatusWrapper *s) { m_builder->insertTag(s, tag); });
    }
    unsigned length()
    {
        return call([&](ThrowStatusWrapper *s) { return m_builder->getBufferLength(s); });
    }
    const unsigned char *buffer()
    {
        return call([&](ThrowStatusWrapper *s) { return m_builder->getBuffer(s); });
    }

private:
    IXpbBuilder *m_builder;
};

// The service's words are in the file names' encoding (UTF-8 here); names
// from the database come in its character set.
QString decodeServiceText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? fromCp1251(bytes) : text;
}

ServiceError::Reason reasonOf(const QList<qint64> &codes)
{
    if (codes.contains(isc_adm_task_denied) || codes.contains(isc_login) || codes.contains(isc_no_priv))
        return ServiceError::Reason::NoRight;
    if (codes.contains(isc_gbak_disk_space_ex))
        return ServiceError::Reason::NoSpace;
    if (codes.contains(isc_gbak_open_bkup_error) || codes.contains(isc_gbak_db_create_failed))
        return ServiceError::Reason::CannotOpenFile;
    if (codes.contains(isc_gbak_db_exists))
        return ServiceError::Reason::Exists;
    return ServiceError::Reason::Other;
}

ServiceError serviceErrorOf(const FbException &e)
{
    const DbError error = errorOf(e);
    char buffer[4096];
    util()->formatStatus(buffer, sizeof buffer, e.getStatus());
    return ServiceError(decodeServiceText(QByteArray(buffer)).trimmed(), error.codes(), reasonOf(error.codes()),
                        error.arguments(), error.systemErrors());
}

// The threads of this process, by id (none where /proc is missing).
QSet<QString> threadIds()
{
    const QStringList ids = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return QSet<QString>(ids.begin(), ids.end());
}

// The embedded engine runs a service in a thread of its own, which goes on
// tidying up for a moment after the service reports its end; a process
// that ends meanwhile has the engine torn down under that thread and dies
// of it. So the thread that start() added is waited for.
void waitForThreads(QSet<QString> ids)
{
    QElapsedTimer clock;
    clock.start();
    while (!ids.isEmpty() && clock.elapsed() < 10000) {
        ids.intersect(threadIds());
        if (!ids.isEmpty())
            QThread::msleep(2);
    }
}

// Attaches to the manager as login, starts the service that fill describes
// and reads what it writes to its end. The lines are returned; a failure
// the service reports is thrown as ServiceError.
QStringList runService(const QString &manager, const ServiceLogin &login, const std::function<void(Xpb &)> &fill)
{
    Xpb attach(IXpbBuilder::SPB_ATTACH);
    attach.text(isc_spb_user_name, login.user);
    if (!login.password.isEmpty())
        attach.text(isc_spb_password, login.password);
    if (!login.role.isEmpty())
        attach.text(isc_spb_sql_role_name, login.role);
    attach.number(isc_spb_connect_timeout, kConnectTimeout);
    Xpb start(IXpbBuilder::SPB_START);
    fill(start);

    const QByteArray name = manager.toUtf8();
    FbRef<IService> service;
    try {
        Status status;
        service.reset(
            provider()->attachServiceManager(status.get(), name.constData(), attach.length(), attach.buffer()));
    } catch (const FbException &e) {
        throw serviceErrorOf(e);
    }

    const bool embedded = manager == QLatin1String(kLocalManager);
    const QSet<QString> before = embedded ? threadIds() : QSet<QString>();
    QSet<QString> serviceThreads;
    QStringList lines;
    std::optional<ServiceError> failure;
    try {
        Status status;
        service->start(status.get(), start.length(), start.buffer());
        if (embedded)
            serviceThreads = threadIds().subtract(before);
        std::vector<unsigned char> buffer(32768);
        const unsigned char items[] = {isc_info_svc_line};
        for (;;) {
            service->query(status.get(), 0, nullptr, sizeof items, items, unsigned(buffer.size()), buffer.data());
            const unsigned char *p = buffer.data();
            if (*p != isc_info_svc_line)
                break;
            const unsigned length = unsigned(p[1]) | unsigned(p[2]) << 8;
            if (length > buffer.size() - 4)
                break;
            // Nothing yet from a service still at work, or the end.
            const bool notReady = p[3 + length] == isc_info_data_not_ready;
            if (length == 0 && !notReady)
                break;
            const QByteArray chunk(reinterpret_cast<const char *>(p + 3), qsizetype(length));
            for (const QByteArray &line : chunk.split('\n')) {
                if (!line.trimmed().isEmpty())
                    lines.append(decodeServiceText(line).trimmed());
            }
            if (notReady)
                QThread::msleep(5);
        }
    } catch (const FbException &e) {
        failure = serviceErrorOf(e);
    }
    try {
        Status status;
        service->detach(status.get());
        service.take();
    } catch (const FbException &) {
        service.reset();
    }
    waitForThreads(serviceThreads);
    if (failure) {
        failure->output = lines;
        throw *failure;
    }
    return lines;
}

// The last lines of a service's output, as its own word on what it did.
QString tail(const QStringList &lines)
{
    return lines.mid(qMax<qsizetype>(0, lines.size() - 6)).join(u'\n');
}

// The rows of each table from a service's verbose lines: a line naming the
// table ("writing data for table X"), later the count ("N records written");
// a restore names no count for a table it found empty.
TableRows tableRows(const QStringList &lines, const QString &naming, const QString &counting)
{
    const QRegularExpression table(QStringLiteral("^(?:gbak:\\s*)?") + naming + QStringLiteral(" (.+)$"));
    const QRegularExpression count(QStringLiteral("^(?:gbak:\\s*)?(\\d+) ") + counting + u'$');
    TableRows rows;
    QString current;
    for (const QString &line : lines) {
        const QRegularExpressionMatch named = table.match(line);
        if (named.hasMatch()) {
            if (!current.isEmpty())
                rows.append({current, 0});
            current = named.captured(1).trimmed();
            continue;
        }
        const QRegularExpressionMatch counted = count.match(line);
        if (counted.hasMatch() && !current.isEmpty()) {
            rows.append({current, counted.captured(1).toLongLong()});
            current.clear();
        }
    }
    if (!current.isEmpty())
        rows.append({current, 0});
    return rows;
}

} // namespace

ServiceTarget serviceTarget(const QString &connectionString)
{
    const QString text = connectionString.trimmed();
    ServiceTarget target;

    static const QRegularExpression url(QStringLiteral("^(inet|inet4|inet6|wnet|xnet)://(.*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = url.match(text);
    if (match.hasMatch()) {
        const QString protocol = match.captured(1).toLower();
        const QString rest = match.captured(2);
        if (protocol == QLatin1String("xnet")) {
            // Another process's server on this machine.
            target.manager = QStringLiteral("xnet://service_mgr");
            target.database = rest;
            target.host = QStringLiteral("localhost");
            return target;
        }
        const qsizetype slash = rest.indexOf(u'/');
        const QString authority = slash < 0 ? rest : rest.left(slash);
        target.manager = protocol + QStringLiteral("://") + authority + QStringLiteral("/service_mgr");
        target.database = slash < 0 ? QString() : rest.mid(slash + 1);
        if (authority.startsWith(u'['))
            target.host = authority.mid(1, authority.indexOf(u']') - 1);
        else
            target.host = authority.left(authority.indexOf(u':'));
        return target;
    }

    if (text.startsWith(QLatin1String("\\\\"))) {
        const QString rest = text.mid(2);
        const qsizetype backslash = rest.indexOf(u'\\');
        target.host = rest.left(backslash);
        target.manager = QStringLiteral("\\\\") + target.host + QStringLiteral("\\service_mgr");
        target.database = backslash < 0 ? QString() : rest.mid(backslash + 1);
        return target;
    }

    // As the client library reads it: the first colon (after a bracketed
    // IPv6 address) ends the server's part.
    qsizetype colon = -1;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        colon = close < 0 ? -1 : text.indexOf(u':', close);
    } else {
        colon = text.indexOf(u':');
    }
    if (colon > 0) {
        const QString node = text.left(colon);
        target.manager = node + QStringLiteral(":service_mgr");
        target.database = text.mid(colon + 1);
        if (node.startsWith(u'['))
            target.host = node.mid(1, node.indexOf(u']') - 1);
        else
            target.host = node.left(node.indexOf(u'/'));
        return target;
    }

    target.manager = QString::fromLatin1(kLocalManager);
    target.database = text.isEmpty() ? QString() : QFileInfo(text).absoluteFilePath();
    return target;
}

ServiceLogin serviceLogin(const QList<QByteArray> &params)
{
    ServiceLogin login;
    for (const QByteArray &line : params) {
        const qsizetype eq = line.indexOf('=');
        const QByteArray name = line.left(eq).trimmed().toLower();
        const QByteArray value = eq < 0 ? QByteArray() : line.mid(eq + 1);
        if (name == "user_name")
            login.user = value;
        else if (name == "password")
            login.password = value;
        else if (name == "sql_role_name")
            login.role = value;
    }
    return login;
}

BackupReport backUpThroughService(const QString &manager, const ServiceLogin &login, const QString &database,
                                  const QString &file)
{
    const QStringList lines = runService(manager, login, [&](Xpb &spb) {
        spb.tag(isc_action_svc_backup);
        spb.text(isc_spb_dbname, QFile::encodeName(database));
        spb.text(isc_spb_bkp_file, QFile::encodeName(file));
        spb.tag(isc_spb_verbose);
    });
    // The engine's last words on a backup written to its end. A failure has
    // been seen to end a service with no error reported, so without these
    // words there is no backup, whatever the status said.
    static const QRegularExpression finished(QStringLiteral("closing file, committing, and finishing\\. (\\d+) bytes"));
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch match = finished.match(lines[i]);
        if (match.hasMatch())
            return {match.captured(1).toLongLong(),
                    tableRows(lines, QStringLiteral("writing data for table"), QStringLiteral("records written"))};
    }
    ServiceError error(tail(lines), {}, ServiceError::Reason::Other);
    error.output = lines;
    throw error;
}

TableRows restoreThroughService(const QString &manager, const ServiceLogin &login, const QString &backupFile,
                                const QString &database, bool replace)
{
    const QStringList lines = runService(manager, login, [&](Xpb &spb) {
        spb.tag(isc_action_svc_restore);
        spb.text(isc_spb_bkp_file, QFile::encodeName(backupFile));
        spb.text(isc_spb_dbname, QFile::encodeName(database));
        spb.number(isc_spb_options, replace ? isc_spb_res_replace : isc_spb_res_create);
        spb.tag(isc_spb_verbose);
    });
    // A cut-off backup ends the service "successfully" with a half-made
    // database; only these words say the restore went to its end, and only
    // with no complaint on the way.
    const bool finished = std::any_of(lines.begin(), lines.end(), [](const QString &line) {
        return line.contains(QLatin1String("finishing, closing, and going home"));
    });
    const QStringList trouble = serviceTrouble(lines);
    if (!finished || !trouble.isEmpty()) {
        ServiceError error(trouble.isEmpty() ? tail(lines) : trouble.join(u'\n'), {}, ServiceError::Reason::Other);
        error.output = lines;
        throw error;
    }
    return tableRows(lines, QStringLiteral("restoring data for table"), QStringLiteral("records restored"));
}

QStringList serviceTrouble(const QStringList &output)
{
    static const QRegularExpression trouble(
        QStringLiteral("^(?:gbak:\\s*)?(?:error|warning)\\b|warning\\s*--|could not be restored|"
                       "exiting before completion"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList lines;
    for (const QString &line : output) {
        if (trouble.match(line).hasMatch())
            lines.append(line);
    }
    return lines;
}

bool restoreMadeDatabase(const QStringList &output)
{
    return std::any_of(output.begin(), output.end(),
                       [](const QString &line) { return line.contains(QLatin1String("created database")); });
}
