#include "staffaccount.h"

#include "db/engine.h"

#include <QFile>

#include <grp.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

} // namespace

OrdinaryAccounts::OrdinaryAccounts()
{
    if (::geteuid() != 0) {
        m_missing = QStringLiteral("an ordinary account needs the tests to start as root");
        return;
    }
    const group *firebird = ::getgrnam("firebird");
    if (!firebird) {
        m_missing = QStringLiteral("no group firebird on this machine");
        return;
    }
    m_group = firebird->gr_gid;
    m_lockFolder = embeddedEngineLockFolder();
    const QByteArray folder = QFile::encodeName(m_lockFolder);
    m_hadLockFolder = ::stat(folder.constData(), &m_before) == 0;
    // Made as the engine makes it for root; left in place, since an
    // engine of another test may be using it meanwhile.
    if (!m_hadLockFolder && ::mkdir(folder.constData(), 0770) != 0)
        m_missing = QStringLiteral("cannot make %1").arg(m_lockFolder);
    if (::chown(folder.constData(), uid_t(-1), m_group) != 0 || ::chmod(folder.constData(), 0770) != 0)
        m_missing = QStringLiteral("cannot give %1 to the group firebird").arg(m_lockFolder);
    if (!m_home.isValid() || !give(m_home.path()))
        m_missing = QStringLiteral("no home folder for the ordinary account");
}

OrdinaryAccounts::~OrdinaryAccounts()
{
    if (m_hadLockFolder) {
        const QByteArray folder = QFile::encodeName(m_lockFolder);
        (void)::chown(folder.constData(), m_before.st_uid, m_before.st_gid);
        (void)::chmod(folder.constData(), m_before.st_mode & 07777);
    }
}

QStringList OrdinaryAccounts::command(Account account, const QString &program, const QStringList &arguments) const
{
    if (account == Account::Own)
        return QStringList{program} + arguments;
    QStringList command{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(kNobody),
                        QStringLiteral("--regid=%1").arg(kNobody)};
    command
        += account == Account::Staff ? QStringLiteral("--groups=%1").arg(m_group) : QStringLiteral("--clear-groups");
    return command + QStringList{QStringLiteral("--"), program} + arguments;
}

QProcessEnvironment OrdinaryAccounts::environment(Account account) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (account == Account::Own)
        return env;
    env.remove(QStringLiteral("FIREBIRD"));
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral(".cache")));
    return env;
}

bool OrdinaryAccounts::give(const QString &path) const
{
    return ::chown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
}
