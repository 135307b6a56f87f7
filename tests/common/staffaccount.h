#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/types.h>

// Who runs a command in a test: this process's own account (root in the
// suite), or an ordinary account, in the engine's group firebird or outside
// it, as a member of staff would be.
enum class Account { Own, Staff, Outsider };

// The ordinary accounts, as nobody's numeric uid with or without the
// firebird group. While this lives, the engine's lock folder stands as the
// system's Firebird server makes it at boot (0770, group firebird); it is
// put back as it was when this goes, a failed test included.
class OrdinaryAccounts {
public:
    OrdinaryAccounts();
    ~OrdinaryAccounts();
    OrdinaryAccounts(const OrdinaryAccounts &) = delete;
    OrdinaryAccounts &operator=(const OrdinaryAccounts &) = delete;

    // Why the ordinary accounts cannot be had here; empty when they can.
    QString missing() const { return m_missing; }
    uid_t uid() const { return 65534; }

    // The program and its arguments as the account runs them.
    QStringList command(Account account, const QString &program, const QStringList &arguments) const;
    // The account's environment: its own home and settings and engine
    // folders in a folder it owns, no FIREBIRD preset.
    QProcessEnvironment environment(Account account) const;
    // Gives a file or folder to the ordinary account.
    bool give(const QString &path) const;

private:
    QString m_missing;
    gid_t m_group = 0;
    QString m_lockFolder;
    bool m_hadLockFolder = false;
    struct stat m_before {};
    QTemporaryDir m_home;
};
