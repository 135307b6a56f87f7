#!/usr/bin/env bash
# The Debian package as a user gets it: made by CPack from a build folder,
# checked by lintian and the menu and AppStream validators, unpacked into a
# temporary root (never installed on this machine), and its program started
# from there in a real X server. With no database setting signing in ends
# in a message (its words are checked by the sign-in tests); with the
# shipped settings file's database line pointing at a demo database, a user
# signs in and out. The unpacked program uses this machine's libraries and Qt
# plugins.
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

log() { printf '[package %4ds] %s\n' "$SECONDS" "$*"; }
step() { step_no=$((step_no + 1)); log "step $step_no: $*"; }
ok() { log "  ok: $*"; }

cleanup() {
    local pid
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
            usr/share/doc/vesko-mika/README.md usr/share/doc/vesko-mika/copyright usr/share/doc/vesko-mika/changelog.gz \
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

step "the maintainer script: the staff group, and the settings file readable by it alone"
dpkg-deb -e "$deb" "$work/control"
[[ -x "$work/control/postinst" ]] || fail "the package has no executable postinst"
# The commands it runs, as stubs that only note their arguments; getent and
# dpkg-statoverride answer as each row says.
stubs=$work/stubs
mkdir -p "$stubs"
for command in addgroup chgrp chmod getent dpkg-statoverride; do
    printf '#!/bin/sh\necho "%s $*" >>"$CALLS"\ncase %s in getent) exit "$GROUP_RC" ;; dpkg-statoverride) exit "$OVERRIDE_RC" ;; esac\n' \
        "$command" "$command" >"$stubs/$command"
    chmod +x "$stubs/$command"
done
settings_file="/etc/xdg/Tovi/Vesko Mika.conf"
made="addgroup --system vesko-mika"
narrowed="chgrp vesko-mika $settings_file|chmod 0640 $settings_file"
#    row                                 action          getent  override  what it changes
while IFS=';' read -r row action group_rc override_rc expected; do
    : >"$work/calls"
    CALLS=$work/calls GROUP_RC=$group_rc OVERRIDE_RC=$override_rc PATH="$stubs:/usr/bin:/bin" \
        sh "$work/control/postinst" "$action" || fail "postinst $action failed ($row)"
    changes=$({ grep -v -e '^getent ' -e '^dpkg-statoverride ' "$work/calls" || true; } | paste -sd '|')
    [[ "$changes" == "$expected" ]] || fail "$row: postinst ran '$changes', not '$expected'"
    ok "$row"
done <<ROWS
first install;configure;2;1;$made|$narrowed
upgrade, the group made before;configure;0;1;$narrowed
the administrator's statoverride stands;configure;0;0;
not a configure;abort-upgrade;2;1;
ROWS

# The unpacked program and tool run in a home of their own, with no
# FIREBIRD preset, so that they make their own engine folder as installed.
run_env=(env -u FIREBIRD -u QT_STYLE_OVERRIDE -u QT_QPA_PLATFORMTHEME -u QT_SCALE_FACTOR
         HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
         XDG_RUNTIME_DIR="$work/run" QT_FONT_DPI=96)

step "the unpacked tool readies its engine folder and makes a demo database"
engine=$("${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" engine-root) || fail "engine-root failed"
[[ "$engine" == "$work/cache/vesko-mika/firebird" && -s "$engine/firebird.conf" && -e "$engine/plugins" ]] ||
    fail "engine folder '$engine' is not the program's own, ready one"
db=$work/data/library.baza
"${run_env[@]}" timeout 30 "$root/usr/bin/utilities-db" --demo "$db" >/dev/null || fail "could not create $db"
ok "$engine; $db"

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

start_program() {
    "${run_env[@]}" QT_QPA_PLATFORM=xcb "$root/usr/bin/utilities" >>"$work/app.log" 2>&1 &
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
    start_program
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
[[ $(grep -c '^database=' "$user_settings") -eq 1 ]] || fail "the shipped file has no ';database=' line to set"
ok "$(grep '^database=' "$user_settings")"

step "sign in as admin/admin and sign out"
start_program
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
