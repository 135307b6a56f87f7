#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from a build folder,
# checked by lintian and the menu and AppStream validators, unpacked into a
# temporary root (never installed on this machine), and its program started
# from there in a real X server. The program and the tool run as a member
# of staff runs them: an ordinary account in the group firebird, which
# creates a demo database, imports, is refused a grant on a database that
# is the administrator's, and signs in and out; an account outside the
# group is told how to join it and creates nothing. With no database
# setting signing in ends in a message (the messages' words are checked by
# the sign-in tests). The unpacked program uses this machine's libraries
# and Qt plugins.
#
#   package.sh --build DIR [--cpack FILE] [--keep]
#
# Everything is bounded by PACKAGE_TEST_TIMEOUT seconds (240).
set -Eeuo pipefail

build='' cpack=cpack keep=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build=$2; shift 2 ;;
        --cpack) cpack=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "package: unknown argument $1" >&2; exit 2 ;;
    esac
done
[[ -f "$build/CPackConfig.cmake" ]] || { echo "package: no CPackConfig.cmake in '$build'" >&2; exit 2; }
build=$(cd "$build" && pwd)

for tool in "$cpack" dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli \
            Xvfb openbox xdotool xprop xwininfo import convert; do
    command -v "$tool" >/dev/null || { echo "package: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done

readonly deadline=$((SECONDS + ${PACKAGE_TEST_TIMEOUT:-240}))
work=$(mktemp -d "${TMPDIR:-/tmp}/utilities-package.XXXXXX")
root=$work/root
mkdir -p "$work/pkg" "$root" "$work/home" "$work/config" "$work/cache" "$work/run" "$work/data" "$work/shots"
chmod 700 "$work/run"

xvfb_pid='' wm_pid='' app_pid='' failed=1 step_no=0

# The program and the tool run as staff (in the group firebird) and as an
# account outside it; as root, the engine's lock folder stands as the
# Firebird server makes it meanwhile.
source "$(dirname "${BASH_SOURCE[0]}")/../common/ordinary.sh"
ordinary_accounts
if ((${#staff[@]})); then
    chmod 0755 "$work"
    ordinary_give "$work/home" "$work/config" "$work/cache" "$work/run" "$work/data"
fi

log() { printf '[package %4ds] %s\n' "$SECONDS" "$*"; }
step() { step_no=$((step_no + 1)); log "step $step_no: $*"; }
ok() { log "  ok: $*"; }

cleanup() {
    local pid
    ordinary_restore
    for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do
        if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; fi
    done
    for pid in "$app_pid" "$wm_pid" "$xvfb_pid"; do
        [[ -z "$pid" ]] && continue
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    if [[ $failed -eq 0 && $keep -eq 0 ]]; then
        rm -rf "$work"
    else
        echo "package: package, unpacked root, screenshots and logs kept in $work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
trap 'log "FAIL: line $LINENO: $BASH_COMMAND"' ERR

fail() {
    log "FAIL: $*"
    if [[ -s "$work/app.log" ]]; then
        echo "--- program output:"
        tail -n 40 "$work/app.log"
    fi
    exit 1
}

wait_for() {
    local what=$1 limit=$2
    shift 2
    local until=$((SECONDS + limit))
    ((until > deadline)) && until=$deadline
    while ! "$@" >/dev/null 2>&1; do
        ((SECONDS >= until)) && fail "timed out waiting for $what"
        sleep 0.1
    done
}

step "make the package with CPack"
(cd "$work/pkg" && timeout 300 "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/pkg/*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
ok "$(basename "$deb"), $(stat -c %s "$deb") bytes"

step "what it declares: dependencies and the settings file as a conffile"
depends=$(dpkg-deb -f "$deb" Depends)
log "  Depends: $depends"
for package in libfbclient2 firebird3.0-server-core adduser libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done
# The bar code libraries the labels are drawn and checked with, whatever
# their soname's version.
for package in 'libzint[0-9.]+' 'libzxing[0-9]+'; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done
conffiles=$(dpkg-deb -I "$deb" conffiles)
[[ "$conffiles" == "/etc/xdg/Tovi/Vesko Mika.conf" ]] || fail "conffiles lists '$conffiles'"
ok "the linked libraries, the embedded engine and one conffile"

step "lintian: no errors"
lintian --fail-on error --tag-display-limit 0 -I "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors"; }
sed -e 's/^/  /' -e '/running with root privileges/d' "$work/lintian.log"
ok "lintian"

step "unpack it into a temporary root"
dpkg-deb -x "$deb" "$root"
readonly app_id=org.tovi.vesko_mika
share=$root/usr/share
for file in usr/bin/utilities usr/bin/utilities-db "etc/xdg/Tovi/Vesko Mika.conf" \
            "usr/share/applications/$app_id.desktop" "usr/share/metainfo/$app_id.metainfo.xml" \
            "usr/share/icons/hicolor/scalable/apps/$app_id.svg" \
            usr/share/man/man1/utilities.1.gz usr/share/man/man1/utilities-db.1.gz \
            usr/share/doc/vesko-mika/README.md usr/share/doc/vesko-mika/README.Debian usr/share/doc/vesko-mika/copyright \
            usr/lib/tmpfiles.d/vesko-mika.conf usr/share/doc/vesko-mika/changelog.gz \
            usr/share/doc/vesko-mika/examples/catalog.csv usr/share/doc/vesko-mika/examples/readers.csv; do
    [[ -s "$root/$file" ]] || fail "the package lacks /$file"
done
for size in 16 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x$size/apps/$app_id.png
    [[ "$(identify -format '%wx%h' "$png" 2>/dev/null)" == "${size}x$size" ]] || fail "no ${size}x$size icon at $png"
done
desktop-file-validate "$share/applications/$app_id.desktop" || fail "the menu entry is not valid"
appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "the AppStream metadata is not valid"; }
ok "program, tool, menu entry, AppStream metadata, icons, manual pages, README and examples"

step "the tool's manual page covers each of its commands and options"
manual=$(zcat "$share/man/man1/utilities-db.1.gz" | sed 's/\\-/-/g')
for word in create --demo grant restore engine-root import catalog readers \
            --force --schema --user --password --clear --check --from-line --help; do
    grep -qE -- "^\.[A-Z]+ .*(^|[ \"])$word([ \"]|$)" <<<"$manual" || fail "the manual page does not name $word"
done
ok "utilities-db.1"

step "no password in the program files"
# The account's password is made for each server and kept in the settings;
# the one that used to be put together inside the program is gone.
for program in utilities utilities-db; do
    ! grep -aq Kniga "$root/usr/bin/$program" || fail "/usr/bin/$program holds the old password"
done
ok "neither /usr/bin/utilities nor /usr/bin/utilities-db holds one"

step "the maintainer script: the staff groups, the engine's lock folder, and the settings file readable by staff alone"
dpkg-deb -e "$deb" "$work/control"
[[ -x "$work/control/postinst" ]] || fail "the package has no executable postinst"
# The commands it runs, as stubs that only note their arguments; getent
# (per group) and dpkg-statoverride answer as each row says.
stubs=$work/stubs
mkdir -p "$stubs"
for command in addgroup chgrp chmod mkdir getent dpkg-statoverride; do
    printf '#!/bin/sh\necho "%s $*" >>"$CALLS"\ncase %s in\n  getent) [ "$2" = firebird ] && exit "$FIREBIRD_RC"; exit "$GROUP_RC" ;;\n  dpkg-statoverride) exit "$OVERRIDE_RC" ;;\nesac\n' \
        "$command" "$command" >"$stubs/$command"
    chmod +x "$stubs/$command"
done
settings_file="/etc/xdg/Tovi/Vesko Mika.conf"
dpkg_root=$work/dpkg-root
postinst_lock=$dpkg_root/tmp/firebird
made="addgroup --system vesko-mika"
made_firebird="addgroup --system firebird"
lock_made="mkdir -m 0700 $postinst_lock|chgrp firebird $postinst_lock|chmod 2770 $postinst_lock"
narrowed="chgrp vesko-mika $settings_file|chmod 0640 $settings_file"
#    row                                 action;old version;getent vesko-mika;getent firebird;override;lock folder there;what it changes;the note
while IFS=';' read -r row action old group_rc firebird_rc override_rc lock_there expected note; do
    : >"$work/calls"
    rm -rf "$dpkg_root"
    mkdir -p "$dpkg_root/tmp"
    [[ $lock_there == yes ]] && mkdir "$postinst_lock"
    said=$(CALLS=$work/calls GROUP_RC=$group_rc FIREBIRD_RC=$firebird_rc OVERRIDE_RC=$override_rc DPKG_ROOT=$dpkg_root \
           PATH="$stubs:/usr/bin:/bin" sh "$work/control/postinst" "$action" $old) || fail "postinst $action failed ($row)"
    changes=$({ grep -v -e '^getent ' -e '^dpkg-statoverride ' "$work/calls" || true; } | paste -sd '|')
    [[ "$changes" == "$expected" ]] || fail "$row: postinst ran '$changes', not '$expected'"
    if [[ $note == yes ]]; then
        grep -qF 'sudo adduser NAME firebird; sudo adduser NAME vesko-mika' <<<"$said" ||
            fail "$row: no note of the groups in '$said'"
    else
        [[ -z "$said" ]] || fail "$row: postinst said '$said'"
    fi
    ok "$row"
done <<ROWS
first install, no Firebird server;configure;;2;2;1;no;$made|$made_firebird|$lock_made|$narrowed;yes
first install beside the Firebird server;configure;;2;0;1;yes;$made|$narrowed;yes
upgrade, the groups made before;configure;0.9;0;0;1;yes;$narrowed;no
upgrade after a reboot without the server: the lock folder again;configure;0.9;0;0;1;no;$lock_made|$narrowed;no
the administrator's statoverride stands;configure;0.9;0;0;0;yes;;no
not a configure;abort-upgrade;;2;2;1;no;;no
ROWS
tmpfiles_line=$(grep -v '^#' "$root/usr/lib/tmpfiles.d/vesko-mika.conf")
[[ "$tmpfiles_line" == "d /tmp/firebird 2770 root firebird -" ]] || fail "tmpfiles.d makes '$tmpfiles_line'"
ok "at boot: $tmpfiles_line"

# The unpacked program and tool run in a home of their own, with no
# FIREBIRD preset, so that they make their own engine folder as installed.
run_env=(env -u FIREBIRD -u QT_STYLE_OVERRIDE -u QT_QPA_PLATFORMTHEME -u QT_SCALE_FACTOR
         HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
         XDG_RUNTIME_DIR="$work/run" QT_FONT_DPI=96)

step "the unpacked tool, as staff, readies its engine folder and makes a demo database"
engine=$("${staff[@]}" "${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" engine-root) || fail "engine-root failed"
[[ "$engine" == "$work/cache/vesko-mika/firebird" && -s "$engine/firebird.conf" && -e "$engine/plugins" ]] ||
    fail "engine folder '$engine' is not the program's own, ready one"
db=$work/data/library.baza
"${staff[@]}" "${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" --demo "$db" >/dev/null || fail "could not create $db"
# The maker's and its group's, as the engine makes a database.
[[ $(stat -c '%a' "$db") == 660 ]] || fail "$db is made with mode $(stat -c '%a' "$db")"
ok "$engine; $db"

step "staff import the example reader register through the tool"
readers=$work/data/readers.csv
cp "$share/doc/vesko-mika/examples/readers.csv" "$readers"
ordinary_give "$readers"
"${staff[@]}" "${run_env[@]}" timeout 60 "$root/usr/bin/utilities-db" import readers "$readers" "$db" \
    >"$work/import.log" 2>&1 || { cat "$work/import.log"; fail "the import failed"; }
grep -q 'всего записей 8, обработано 8, из них ошибок 0' "$work/import.log" ||
    { cat "$work/import.log"; fail "the import did not store the eight reader cards"; }
ok "eight reader cards"

if ((${#staff[@]})); then
    step "staff are refused a grant on a database that is the administrator's"
    mkdir -p "$work/admin"
    admin_db=$work/admin/library.baza
    "${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" create "$admin_db" >/dev/null || fail "root could not create $admin_db"
    before=$(stat -c '%Y %s' "$admin_db")
    status=0
    "${staff[@]}" "${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" grant "$admin_db" >"$work/grant.log" 2>&1 || status=$?
    [[ $status -eq 1 ]] || { cat "$work/grant.log"; fail "the grant ended with $status, not 1"; }
    grep -q "не удалось дать учётной записи программы права на базу данных «$admin_db»" "$work/grant.log" ||
        { cat "$work/grant.log"; fail "the refused grant does not say so"; }
    [[ $(stat -c '%Y %s' "$admin_db") == "$before" ]] || fail "the refused grant changed $admin_db"
    ok "refused, exit status 1, the database as it was"

    step "an account outside the group firebird: the tool says how to join it, exits 1 and creates nothing"
    status=0
    "${outsider[@]}" "${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" --demo "$work/data/outsider.baza" \
        >"$work/outsider.log" 2>&1 || status=$?
    [[ $status -eq 1 ]] || { cat "$work/outsider.log"; fail "the outsider's create ended with $status, not 1"; }
    for words in "не входит" "sudo adduser nobody firebird" "выйдите из сеанса рабочего стола и войдите снова" \
                 "$ordinary_lock/"; do
        grep -qF "$words" "$work/outsider.log" || { cat "$work/outsider.log"; fail "the message lacks '$words'"; }
    done
    [[ ! -e "$work/data/outsider.baza" ]] || fail "the outsider's create left $work/data/outsider.baza"
    ok "told, and nothing made"
fi

step "start Xvfb and a window manager"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display_known() { [[ -s "$work/display" ]]; }
wait_for "Xvfb to pick a display" 15 display_known
DISPLAY=:$(tr -d '[:space:]' <"$work/display")
export DISPLAY
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for "the window manager" 15 wm_running
ok "display $DISPLAY"

xdo() { timeout 10 xdotool "$@"; }
window_named() { xdo search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n "$(window_named "$1")" ]]; }
active_is() { [[ "$(xdo getactivewindow 2>/dev/null)" == "$1" ]]; }
active_is_not() { local a; a=$(xdo getactivewindow 2>/dev/null) && [[ -n "$a" && "$a" != "$1" ]]; }
keys() { xdo key --delay 40 "$@"; }
type_text() { xdo type --delay 25 -- "$1"; }
# No --sync: it would wait for ever when the pointer is already there.
click() { xdo mousemove --window "$1" "$2" "$3" click 1; }
focus() {
    xdo windowactivate --sync "$1" >/dev/null 2>&1 || true
    wait_for "focus on window $1" 10 active_is "$1"
}
origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

# The sign-in strip of the main window, and the band below it that the task
# tabs fill once signed in (blank before).
readonly login_x=297 strip_y=20 go_x=506
tabs_shown() {
    local file x y spread
    file=$work/shots/$(printf '%02d' "$step_no")-$1.png
    timeout 10 import -window root "$file"
    read -r x y < <(origin "$main")
    spread=$(convert "$file" -crop "540x20+$((x + 4))+$((y + 50))" +repage -colorspace Gray \
             -format '%[fx:standard_deviation]' info:)
    awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }'
}
tabs_hidden() { ! tabs_shown "$1"; }
attached() { readlink /proc/"$app_pid"/fd/* 2>/dev/null | grep -qxF "$db"; }
detached() { ! attached; }

# $1: who runs it, as the name of an array (staff or outsider).
start_program() {
    local -n as=$1
    "${as[@]}" "${run_env[@]}" QT_QPA_PLATFORM=xcb "$root/usr/bin/utilities" >>"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for "the main window" 30 has_window '^  утилиты$'
    main=$(window_named '^  утилиты$')
    focus "$main"
    wait_for "the signed-out window" 10 tabs_hidden start
}

sign_in() {
    focus "$main"
    click "$main" "$login_x" "$strip_y"
    keys ctrl+a
    type_text "$1"
    keys Tab
    type_text "$2"
    keys Return
}

close_program() {
    focus "$main"
    keys alt+F4
    app_gone() { ! kill -0 "$app_pid" 2>/dev/null; }
    wait_for "the program to end" 15 app_gone
    local status=0
    wait "$app_pid" || status=$?
    app_pid=''
    [[ $status -eq 0 ]] || fail "the program ended with status $status"
}

user_settings=$work/config/Tovi/Vesko\ Mika.conf
system_settings=/etc/xdg/Tovi/Vesko\ Mika.conf
if [[ -f "$system_settings" ]] && grep -qE '^[[:space:]]*database[[:space:]]*=' "$system_settings"; then
    step "no database setting: skipped, this machine's $system_settings sets one"
else
    step "no database setting: signing in says so in a message, and the window stays signed out"
    start_program staff
    wm_class=$(xprop -id "$main" WM_CLASS)
    startup_class=$(sed -n 's/^StartupWMClass=//p' "$share/applications/$app_id.desktop")
    [[ "$wm_class" == *"\"$startup_class\""* ]] ||
        fail "the window's $wm_class does not carry the menu entry's StartupWMClass=$startup_class"
    sign_in admin admin
    wait_for "the message" 20 active_is_not "$main"
    box=$(xdo getactivewindow)
    [[ $(xprop -id "$box" WM_CLASS _NET_WM_WINDOW_TYPE) == *utilities*_NET_WM_WINDOW_TYPE_DIALOG* ]] ||
        fail "window $box is not the program's message: $(xprop -id "$box" WM_CLASS _NET_WM_WINDOW_TYPE)"
    timeout 10 import -window root "$work/shots/no-database.png"
    keys Return
    wait_for "the message to close" 10 active_is "$main"
    tabs_hidden after-message || fail "the tabs show after a failed sign-in"
    close_program
    ok "a message, and still signed out"
fi

step "the shipped settings file's database line, set in the user's file"
mkdir -p "$(dirname "$user_settings")"
sed -e "s|^;database=.*|database=$db|" "$root$system_settings" >"$user_settings"
ordinary_give "$work/config"
[[ $(grep -c '^database=' "$user_settings") -eq 1 ]] || fail "the shipped file has no ';database=' line to set"
ok "$(grep '^database=' "$user_settings")"

if ((${#outsider[@]})); then
    step "an account outside the group firebird signs in: a message, and the window stays signed out"
    start_program outsider
    sign_in admin admin
    wait_for "the message" 20 active_is_not "$main"
    timeout 10 import -window root "$work/shots/outside-the-group.png"
    keys Return
    wait_for "the message to close" 10 active_is "$main"
    tabs_hidden outsider-after-message || fail "the tabs show after the outsider's sign-in"
    ! attached || fail "the outsider's program holds $db"
    close_program
    ok "a message, and still signed out"
fi

step "staff sign in as admin/admin and sign out"
start_program staff
sign_in admin admin
wait_for "the program to attach the demo database" 20 attached
wait_for "the task tabs to appear" 10 tabs_shown signed-in
ok "signed in on $db"
click "$main" "$go_x" "$strip_y"
wait_for "the program to let go of the database" 20 detached
wait_for "the task tabs to disappear" 10 tabs_hidden signed-out
close_program
ok "signed out; the program ended with status 0"

failed=0
log "the package passed in ${SECONDS}s"
