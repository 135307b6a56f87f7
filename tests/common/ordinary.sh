# Sourced by the suite's scripts: the ordinary accounts a member of staff
# runs the program as, the same as the C++ tests' (tests/common/staffaccount.h).
#
# ordinary_accounts  As root, with a group firebird on the machine: sets
#                    staff (nobody's uid in the group firebird) and outsider
#                    (the same uid outside it) to setpriv command prefixes,
#                    and has the engine's lock folder stand as the Firebird
#                    server package makes it (0770, group firebird).
#                    Elsewhere both stay empty: this account runs all.
# ordinary_restore   Puts the lock folder back as it was; for the EXIT trap.
# ordinary_give      Gives files and folders, with all they hold, to that uid.

staff=() outsider=() ordinary_lock_was=''
readonly ordinary_uid=65534 ordinary_lock=${FIREBIRD_LOCK:-/tmp/firebird}

ordinary_accounts() {
    local gid
    [[ $EUID -eq 0 ]] || return 0
    gid=$(getent group firebird | cut -d: -f3) || return 0
    [[ -n "$gid" ]] || return 0
    if [[ -e "$ordinary_lock" ]]; then
        ordinary_lock_was=$(stat -c '%u:%g %a' "$ordinary_lock")
    else
        # Left in place at the end: the engine makes it so for root, and
        # another test's engine may be using it by then.
        mkdir -m 0700 "$ordinary_lock"
    fi
    chgrp firebird "$ordinary_lock"
    chmod 0770 "$ordinary_lock"
    staff=(setpriv "--reuid=$ordinary_uid" "--regid=$ordinary_uid" "--groups=$gid" --)
    outsider=(setpriv "--reuid=$ordinary_uid" "--regid=$ordinary_uid" --clear-groups --)
}

ordinary_restore() {
    [[ -n "$ordinary_lock_was" ]] || return 0
    chown "${ordinary_lock_was% *}" "$ordinary_lock" || true
    chmod "${ordinary_lock_was#* }" "$ordinary_lock" || true
}

ordinary_give() {
    ((${#staff[@]})) || return 0
    chown -R "$ordinary_uid:$ordinary_uid" "$@"
}
