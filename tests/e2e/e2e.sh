#!/usr/bin/env bash
# The whole program in a real X server, as a user meets it: a window manager,
# real key presses and mouse clicks from xdotool, the real file dialogs. A
# user signs in, adds a barcode range, prints it to PDF, is asked about a
# range that overlaps another and answers no, deletes a range,
# renews a password, imports the example files (when the tree has them),
# wipes the database, restores the backup made before the wipe with the
# tool, and closes the window. The daily steps are taken by keyboard alone:
# signing in and out, adding a range, the preview, an import typed, started,
# pressed again and stopped with Esc, and another account's sign-in. Each
# step is checked where it lands: the database (read with isql-fb once the
# program has let go of the file), the PDF (pages, and every label scanned
# back), and the screen. Last, the program at twice the scale on a laptop's
# screen keeps its title bar and the preview's commands in view.
#
# The program runs in a mount namespace of its own where the run's home
# folder is /home/biblio, so that the paths it shows (and the pictures
# show) are a desk's, not the run's temporary folder. Started as root (as
# in CI), the program and the tool run as a member of staff, an ordinary
# account in the group firebird, on files that account owns; the backup
# the wipe makes is then an ordinary account's too.
#
#   e2e.sh --program FILE --dbtool FILE --calendar FILE --source DIR
#          [--server FILE] [--pictures DIR] [--keep]
#
# --server FILE runs the day against the suite's private Firebird server,
# which FILE starts, with the database named through the settings file.
# --pictures DIR also writes the pictures of the program's windows used by
# the README there. Everything is bounded by E2E_TIMEOUT seconds (180).
set -euo pipefail

program='' dbtool='' calendar='' source_dir='' pictures='' keep=0 server_tool=''

while [[ $# -gt 0 ]]; do
    case "$1" in
        --program) program=$2; shift 2 ;;
        --dbtool) dbtool=$2; shift 2 ;;
        --calendar) calendar=$2; shift 2 ;;
        --source) source_dir=$2; shift 2 ;;
        --pictures) pictures=$2; shift 2 ;;
        --server) server_tool=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "e2e: unknown argument $1" >&2; exit 2 ;;
    esac
done
for f in "$program" "$dbtool" "$calendar"; do
    [[ -x "$f" ]] || { echo "e2e: not an executable: '$f'" >&2; exit 2; }
done
[[ -d "$source_dir" ]] || { echo "e2e: no source folder '$source_dir'" >&2; exit 2; }

for tool in Xvfb openbox xdotool xprop xwininfo import convert compare setxkbmap isql-fb pdfinfo pdftoppm zbarimg; do
    command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done

# Where the program sees the run's home folder: a desk's /home/biblio, in a
# mount namespace of the program's own where one can be made (as root, or
# in a user namespace); else the folder itself.
readonly desk_home=/home/biblio
if [[ $EUID -eq 0 ]]; then
    namespace=(unshare --mount --propagation private)
else
    namespace=(unshare --mount --propagation private --map-root-user)
fi
# $0 the run's home folder, $1 the folder to start in, then the command.
readonly mount_home='mount -t tmpfs -o mode=755 tmpfs /home && mkdir /home/biblio &&
    mount --bind "$0" /home/biblio && cd "$1" && shift && exec "$@"'
isolate=()
shown_home=''

readonly total_seconds=${E2E_TIMEOUT:-180}
readonly deadline=$((SECONDS + total_seconds))
started=$(date +%s%N)
readonly started

work=$(mktemp -d "${TMPDIR:-/tmp}/utilities-e2e.XXXXXX")
home=$work/home
app_dir=$home/utilities
db=$app_dir/vesko.mika.baza
export_dir=$home/export
mkdir -p "$app_dir" "$export_dir" "$work/run" "$work/shots" "$work/pictures" "$work/out"
chmod 700 "$work/run"
if "${namespace[@]}" sh -c "$mount_home" "$home" / true 2>/dev/null; then
    isolate=("${namespace[@]}" sh -c "$mount_home" "$home")
    shown_home=$desk_home
elif [[ -n "$pictures" ]]; then
    echo "e2e: no mount namespace here, so the pictures would show the run's temporary folder" >&2
    exit 2
else
    shown_home=$home
fi
readonly shown_home

source "$(dirname "${BASH_SOURCE[0]}")/../common/ordinary.sh"
ordinary_accounts
ordinary_give "$work"

xvfb_pid='' wm_pid='' app_pid='' cal_pid='' server_pid='' xvfb2_pid='' wm2_pid='' step_no=0 failed=1
# Through a server: its connection string and administrator's password.
database='' admin_password=''


# A path of the run's home folder as the program sees it.
shown() { printf '%s\n' "${1/#"$home"/"$shown_home"}"; }

# Starts the program from its folder as the desk sees them, with the
# environment's further NAME=VALUE words; it takes the shell's place.
start_app() {
    local dir
    dir=$(shown "$app_dir")
    local run=(env -u QT_STYLE_OVERRIDE -u QT_QPA_PLATFORMTHEME -u QT_SCALE_FACTOR QT_QPA_PLATFORM=xcb QT_FONT_DPI=96
        HOME="$shown_home" XDG_CONFIG_HOME="$shown_home/.config" XDG_RUNTIME_DIR="$work/run" "$@" "$dir/utilities")
    cd "$app_dir"
    if ((${#isolate[@]})); then exec "${isolate[@]}" "$dir" "${staff[@]}" "${run[@]}"; fi
    exec "${staff[@]}" "${run[@]}"
}

# The database tool as the desk's user, with the same home folder, for at
# most the given seconds.
dbtool_as_staff() {
    local seconds=$1
    shift
    timeout "$seconds" "${staff[@]}" env -u FIREBIRD HOME="$home" XDG_CONFIG_HOME="$home/.config" \
        XDG_CACHE_HOME="$home/.cache" "$dbtool" "$@"
}

log() { printf '[e2e %6.1fs] %s\n' "$(( ($(date +%s%N) - started) / 1000000 ))e-3" "$*"; }

cleanup() {
    local pid
    ordinary_restore
    for pid in "$cal_pid" "$app_pid" "$wm_pid" "$xvfb_pid" "$wm2_pid" "$xvfb2_pid" "$server_pid"; do
        if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; fi
    done
    for pid in "$cal_pid" "$app_pid" "$wm_pid" "$xvfb_pid" "$wm2_pid" "$xvfb2_pid" "$server_pid"; do
        [[ -z "$pid" ]] && continue
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    if [[ $failed -eq 0 && $keep -eq 0 ]]; then
        rm -rf "$work"
    else
        echo "e2e: screenshots, logs and files kept in $work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Any other command that fails ends the run too; say which.
trap 'log "FAIL: line $LINENO: $BASH_COMMAND"' ERR

fail() {
    log "FAIL: $*"
    if [[ -n "${DISPLAY:-}" ]]; then
        timeout 10 import -window root "$work/shots/failure.png" 2>/dev/null || true
        { timeout 5 xdotool getmouselocation --shell; timeout 5 xdotool getactivewindow;
          timeout 5 xwininfo -root -children; } >"$work/xstate.txt" 2>&1 || true
    fi
    if [[ -s "$work/app.log" ]]; then
        echo "--- program output:"
        tail -n 40 "$work/app.log"
    fi
    # Where a program that no longer answers stands.
    if [[ -n "$app_pid" ]] && kill -0 "$app_pid" 2>/dev/null && command -v gdb >/dev/null; then
        timeout 30 gdb -p "$app_pid" -batch -ex 'thread apply all bt 30' >"$work/app-stacks.txt" 2>&1 || true
        echo "e2e: the program's stacks are in $work/app-stacks.txt"
    fi
    exit 1
}

step() {
    step_no=$((step_no + 1))
    log "step $step_no: $*"
}

ok() { log "  ok: $*"; }

# Polls a command every 0.1 s until it succeeds, for at most the given
# seconds and never past the overall deadline.
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

xdo() { timeout 10 xdotool "$@"; }

# The first visible window whose title matches the pattern.
window_named() { xdo search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
has_window() { [[ -n "$(window_named "$1")" ]]; }
no_window() { [[ -z "$(window_named "$1")" ]]; }
active_is() { [[ "$(xdo getactivewindow 2>/dev/null)" == "$1" ]]; }
active_is_not() { local a; a=$(xdo getactivewindow 2>/dev/null) && [[ -n "$a" && "$a" != "$1" && "$a" != "$2" ]]; }

wait_window() {
    wait_for "window '$1'" "${2:-20}" has_window "$1"
    window_named "$1"
}

focus() {
    xdo windowactivate --sync "$1" >/dev/null 2>&1 || true
    wait_for "focus on window $1" 10 active_is "$1"
}

# Client-area position of a window on the screen. (xdotool's
# getwindowgeometry adds the frame's offset once more under a reparenting
# window manager; xwininfo reports the true position, and clicks are given
# relative to the window anyway.)
origin() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

# The window manager's frame around a client window: its outermost
# ancestor below the root.
frame_of() {
    local w=$1 parent root
    root=$(xwininfo -root | awk '/Window id:/ {print $4}')
    while :; do
        parent=$(xwininfo -tree -id "$w" | awk '/Parent window id:/ {print $4}')
        [[ -z "$parent" || $((parent)) -eq $((root)) ]] && break
        w=$parent
    done
    echo "$w"
}

geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                             /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}'
}

click() { xdo mousemove --window "$1" --sync "$2" "$3" click 1; }
keys() { xdo key --delay 40 "$@"; }
type_text() { xdo type --delay 25 -- "$1"; }

# A screenshot of the whole screen, numbered in step order for diagnosis.
shot() {
    local file
    file=$work/shots/$(printf '%02d' "$step_no")-$1.png
    timeout 10 import -window root "$file"
    echo "$file"
}

# A picture of a window with its frame; a dialog is taken through its owner,
# over which it is centred.
picture() {
    local name=$1 window=$2 file
    file=$work/pictures/$name.png
    timeout 10 import -window root -crop "$(geometry "$(frame_of "$window")")" +repage "$file"
    if [[ -n "$pictures" ]]; then
        mkdir -p "$pictures"
        cp "$file" "$pictures/$name.png"
    fi
}

# True when a rectangle of a screenshot is not one flat colour.
busy() {
    local file=$1 x=$2 y=$3 w=$4 h=$5 spread
    spread=$(convert "$file" -crop "${w}x${h}+${x}+${y}" +repage -colorspace Gray -format '%[fx:standard_deviation]' info:)
    awk -v s="$spread" 'BEGIN { exit !(s > 0.02) }'
}

# isql-fb on the program's database as its administrator, reading a script
# on standard input.
isql_db() {
    if [[ -n "$database" ]]; then
        timeout 20 isql-fb -q -user SYSDBA -password "$admin_password" -ch UTF8 "$database"
    else
        timeout 20 isql-fb -q -user SYSDBA -ch UTF8 "$db"
    fi
}

# One select of one column against the database through isql-fb; prints
# its rows.
sql() {
    local out
    while ((SECONDS < deadline)); do
        if out=$(printf 'set heading off;\n%s;\n' "$1" | isql_db 2>&1); then
            printf '%s\n' "$out" | sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e '/^$/d'
            return 0
        fi
        # The engine may still be letting go of the file.
        grep -q 'lock' <<<"$out" || { echo "$out" >&2; return 1; }
        sleep 0.2
    done
    echo "$out" >&2
    return 1
}

expect_sql() {
    local what=$1 query=$2 expected=$3 actual
    actual=$(sql "$query") || fail "$what: query failed: $query"
    [[ "$actual" == "$expected" ]] || fail "$what: expected '$expected', got '$actual' ($query)"
    ok "$what"
}

attached() {
    if [[ -n "$database" ]]; then
        [[ $(sql "select count(*) from mon\$attachments where mon\$remote_pid = $app_pid") -gt 0 ]]
    else
        readlink /proc/"$app_pid"/fd/* 2>/dev/null | grep -qxF "$(shown "$db")"
    fi
}
detached() { ! attached; }

# Layout of the main window, in its client area (the style's tab bar puts
# the tab pages 2 px right and 25 px below the tab control's corner).
readonly page_x=2 page_y=73
readonly login_x=297 strip_y=20 go_x=506
readonly first_tab_x=20 first_tab_y=60
readonly grid_x=$((page_x + 233 + 60)) grid_row0=$((page_y + 26)) grid_row=17

page() { click "$main" $((page_x + $1)) $((page_y + $2)); }

# Shows tab 0, 1 or 2 of the task tabs: a click on the first tab, a click
# into its first field, then Ctrl+Tab.
show_tab() {
    click "$main" "$first_tab_x" "$first_tab_y"
    page $((72 + 76)) $((16 + 10))
    local i
    for ((i = 0; i < $1; i++)); do keys ctrl+Tab; done
}

# The tab pages are on screen (the grid of the barcode tab, or any tab's
# contents) rather than the bare window of the signed-out state.
tabs_shown() {
    local file x y
    file=$(shot "${1:-tabs}")
    read -r x y < <(origin "$main")
    busy "$file" $((x + 4)) $((y + 50)) 540 20
}
tabs_hidden() { ! tabs_shown "${1:-no-tabs}"; }

sign_in() {
    local user=$1 password=$2
    focus "$main"
    click "$main" "$login_x" "$strip_y"
    keys ctrl+a
    type_text "$user"
    keys Tab
    type_text "$password"
    keys Return
}

wait_signed_in() {
    wait_for "the program to attach the database" 20 attached
    wait_for "the task tabs to appear" 10 tabs_shown signed-in
}

sign_out() {
    click "$main" "$go_x" "$strip_y"
}

wait_signed_out() {
    wait_for "the program to let go of the database" "${1:-20}" detached
    wait_for "the task tabs to disappear" 10 tabs_hidden signed-out
}

# Answers the confirmation dialog: it opens with the focus on "нет", so
# Enter says no and Tab, Enter yes. On a loaded machine the keys now and
# then reach the dialog before it is ready for them; then the button is
# clicked instead.
answer() {
    local dialog=$1 button=$2 until
    wait_for "the confirmation dialog to take the focus" 10 active_is "$dialog"
    if [[ $button == да ]]; then keys Tab Return; else keys Return; fi
    until=$((SECONDS + 5))
    while ! no_window '^ $' && ((SECONDS < until)); do sleep 0.1; done
    if ! no_window '^ $'; then
        log "  the keys were not taken; clicking $button"
        shot keys-not-taken >/dev/null
        if [[ $button == да ]]; then click "$dialog" 428 37; else click "$dialog" 428 81; fi
    fi
    wait_for "the confirmation dialog to close" 10 no_window '^ $'
}
answer_yes() { answer "$1" да; }
answer_no() { answer "$1" нет; }

# True when the first window is stacked above the second.
stacked_above() {
    local id i=0 ia=0 ib=0
    for id in $(xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*'); do
        i=$((i + 1))
        ((id == $1)) && ia=$i
        ((id == $2)) && ib=$i
    done
    ((ia > 0 && ib > 0 && ia > ib))
}

# A borderless window is dragged by its body: press at a point of the
# window, move the mouse by 40, 30 in two steps, release; the window must
# follow.
check_drag() {
    local w=$1 x=$2 y=$3 x0 y0 x1 y1
    read -r x0 y0 < <(origin "$w")
    xdo mousemove --window "$w" --sync "$x" "$y" mousedown 1
    sleep 0.2
    xdo mousemove_relative --sync 20 15
    sleep 0.2
    xdo mousemove_relative --sync 20 15
    sleep 0.2
    xdo mouseup 1
    moved() {
        read -r x1 y1 < <(origin "$w")
        ((x1 - x0 >= 35 && x1 - x0 <= 45 && y1 - y0 >= 25 && y1 - y0 <= 35))
    }
    wait_for "window $w to follow the drag from $x0,$y0" 5 moved
    ok "dragged by its body from $x0,$y0 to $(origin "$w" | tr ' ' ',')"
}

# The client area of a window has the size of its layout.
expect_size() {
    local w=$1 size=$2 what=$3 actual
    actual=$(geometry "$w")
    [[ "${actual%%+*}" == "$size" ]] || fail "$what is ${actual%%+*}, its layout says $size"
}

# A menu pops up as a window that the window manager leaves alone.
popup_shown() {
    local w
    for w in $(xdo search --onlyvisible --class utilities); do
        xwininfo -id "$w" | grep -q 'Override Redirect State: yes' && return 0
    done
    return 1
}

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }

# A modal dialog takes the focus, and keeps it and its place above the main
# window when the user clicks the main window behind it.
check_modal_on_top() {
    local dialog=$1 state
    state=$(xprop -id "$dialog" _NET_WM_STATE)
    [[ "$state" == *_NET_WM_STATE_MODAL* ]] || fail "dialog $dialog is not modal: $state"
    wait_for "dialog $dialog to take the focus" 10 active_is "$dialog"
    log "  dialog $dialog at $(geometry "$dialog"), focused"
    stacked_above "$dialog" "$main" || fail "dialog $dialog is stacked below the main window"
    # An empty spot of the sign-in strip, outside every dialog.
    click "$main" 60 20
    sleep 0.3
    viewable "$dialog" || fail "dialog $dialog went away on a click behind it"
    stacked_above "$dialog" "$main" || fail "dialog $dialog fell behind the main window on a click"
    wait_for "dialog $dialog to keep the focus" 5 active_is "$dialog"
    ok "dialog $dialog stays modal and on top at $(geometry "$dialog")"
}

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
# A Russian second layout, as at a Russian desk: xdotool then types Cyrillic
# by switching the group instead of remapping a spare key for each letter,
# which the program can miss.
setxkbmap -layout us,ru || fail "setxkbmap failed"
ok "display $DISPLAY"

cp "$program" "$app_dir/utilities"
if [[ -n "$server_tool" ]]; then
    step "a private Firebird server with a fresh demo database, named in the settings file"
    "$server_tool" >"$work/server.info" 2>"$work/server.log" &
    server_pid=$!
    server_ready() { grep -q '^account=' "$work/server.info"; }
    wait_for "the private server" 60 server_ready
    database=$(sed -n 's/^database=//p' "$work/server.info")
    admin_password=$(sed -n 's/^password=//p' "$work/server.info")
    account_password=$(sed -n 's/^account=//p' "$work/server.info")
    mkdir -p "$home/.config/Tovi"
    # The desk's copy of the line that the tool's grant kept for this server.
    printf '[General]\ndatabase=%s\naccount%%20password=%s\n' "$database" "$account_password" \
        >"$home/.config/Tovi/Vesko Mika.conf"
    ok "$database"
else
    step "a copy of the program beside a fresh demo database"
    dbtool_as_staff 30 create "$db" --demo >/dev/null || fail "could not create the demo database"
fi
# A row in every working table, so that the wipe has something to remove.
isql_db >/dev/null <<'EOF' || fail "could not seed the working tables"
insert into catalog (num, barcod, title) values (gen_id(nncatalog, 1), '0000000001', 'Книга');
insert into izdatelstvo (num, barcod, izd) values (gen_id(nnizdatelstvo, 1), '0000000001', 'Изд');
insert into readers (num, nomer, lname) values (gen_id(nnreaders, 1), 1, 'Читатель');
insert into sbornik (num) values (gen_id(nnsbornik, 1));
insert into comment (num) values (gen_id(nncomment, 1));
insert into mnogotom (num) values (gen_id(nnmnogotom, 1));
insert into udkop (num) values (gen_id(nnudkop, 1));
insert into ruki (num) values (gen_id(nnruki, 1));
insert into zakaz (num) values (gen_id(nnzakaz, 1));
insert into complect (num) values (gen_id(nncomplect, 1));
insert into newbooks (num) values (gen_id(nnnewbooks, 1));
insert into spisanie (num) values (gen_id(nnspisanie, 1));
insert into spisanieitems (num) values (gen_id(nnspisanieitems, 1));
set generator aacatalog to 5; set generator ssizdatelstvo to 5; set generator ooreaders to 5;
set generator sssbornik to 5; set generator sscomment to 5; set generator ssmnogotom to 5;
set generator rrcomplect to 5; set generator ddcomplect to 5; set generator llspisanie to 5;
commit;
EOF
ok "working tables seeded"

step "start the program"
# What was made for the desk meanwhile (its settings) is the desk user's.
ordinary_give "$home"
start_app >"$work/app.log" 2>&1 &
app_pid=$!
main=$(wait_window '^  утилиты$' 30)
focus "$main"
expect_size "$main" 554x377 "the main window"

ok "main window $main at $(geometry "$main")"
detached || fail "the program holds the database before anyone signed in"
wait_for "the signed-out window" 10 tabs_hidden start
picture main-signed-out "$main"

step "the password field shows Caps Lock and the layout while it has the focus"
readonly password_x=$((224 + 144)) password_w=89
# The right end of the password field, where the marks go (the text cursor
# stays at its left end).
marks() {
    local file=$work/shots/marks-$1.png x y
    read -r x y < <(origin "$main")
    timeout 10 import -window root -crop "40x17+$((x + password_x + password_w - 42))+$((y + 12))" +repage "$file"
    echo "$file"
}
# compare's status: 0 the same pixels, 1 some differ, 2 it could not read
# one (a shot that failed), which is neither.
differ() {
    local status=0
    compare -metric AE "$1" "$2" null: >/dev/null 2>&1 || status=$?
    ((status == 1))
}
same() { compare -metric AE "$1" "$2" null: >/dev/null 2>&1; }
click "$main" $((password_x + 20)) "$strip_y"
sleep 0.5
plain=$(marks plain)
keys Caps_Lock
caps_marked() { differ "$plain" "$(marks caps)"; }
wait_for "the Caps Lock mark" 5 caps_marked
picture sign-in-marks "$main"
keys Caps_Lock
caps_gone() { same "$plain" "$(marks caps-off)"; }
wait_for "the Caps Lock mark to go" 5 caps_gone
setxkbmap -layout ru,us || fail "setxkbmap failed"
layout_changed() { differ "$plain" "$(marks layout)"; }
wait_for "the layout mark to change" 5 layout_changed
setxkbmap -layout us,ru || fail "setxkbmap failed"
layout_back() { same "$plain" "$(marks layout-back)"; }
wait_for "the layout mark to change back" 5 layout_back
ok "Caps Lock marked and unmarked, the layout followed"

step "sign in as admin/admin by keyboard: back to the user name, typed, Enter"
# The password field has the focus since the Caps Lock check. The layout
# switches there leave the window manager unsure which window is active
# (input then stops reaching the program now and then): activated again.
focus "$main"
keys shift+Tab ctrl+a
type_text admin
keys Tab
type_text admin
keys Return
wait_signed_in
picture tab-barcodes "$main"
ok "signed in; the barcode tab shows the register"

step "F1 opens the guide over the window; Esc closes it"
keys F1
help=$(wait_window '^справка$' 10)
wait_for "the guide to take the focus" 10 active_is "$help"
guide_shown() {
    local x y
    read -r x y < <(origin "$help")
    busy "$(shot guide)" $((x + 20)) $((y + 20)) 300 200
}
wait_for "the guide's text" 10 guide_shown
picture help "$help"
keys Escape
wait_for "the guide to close" 10 no_window '^справка$'
wait_for "the main window to take the focus back" 10 active_is "$main"
ok "the guide opened and closed"
# The sheet summary beside the print button, left of it and below the add
# button; now that of the first row's range.
summary() {
    local file=$work/shots/summary-$1.png x y
    read -r x y < <(origin "$main")
    timeout 10 import -window root -crop "170x40+$((x + page_x + 8))+$((y + page_y + 128))" +repage "$file"
    echo "$file"
}
summary_before=$(summary signed-in)

step "add the range 7000-7063 with a Cyrillic mark by keyboard"
# From the password field over the strip's button, the tabs and the print
# button to the start field; the mark's Tab reaches the add button, and
# Enter presses it.
keys Tab Tab Tab Tab ctrl+a
type_text 7000
keys Tab ctrl+a
type_text 7063
keys Tab ctrl+a
type_text 'Детский отдел'
keys Tab Return
range_listed() {
    local x y
    read -r x y < <(origin "$main")
    busy "$(shot added)" $((x + grid_x - 55)) $((y + grid_row0 + 3 * grid_row - 6)) 80 12
}
wait_for "the new range in the grid's fourth row" 10 range_listed
ok "the grid shows a fourth row"
# 64 labels, 2 sheets, 4 on the last, where the first row's range showed
# 60 on one sheet.
summary_shown() {
    local file
    file=$(summary added)
    busy "$file" 0 0 170 40 && differ "$summary_before" "$file"
}
wait_for "the sheet summary to follow the fields" 10 summary_shown
picture sheet-summary "$main"
ok "the sheet summary follows the fields"

step "print the range from the keyboard: preview, the first free label and the offsets, save as PDF through the file dialog"
# From the add button back over the three fields to the print button, and
# Enter.
keys shift+Tab shift+Tab shift+Tab shift+Tab Return
preview=$(wait_window '^предварительный просмотр$' 30)
focus "$preview"
picture label-preview "$preview"
# The preview opens on its print command; after it and the PDF and test
# sheet commands come the sheet's settings: the first free label is the
# fifth, and the printer wants everything 1.5 mm to the right and 0.7 mm up;
# the sheet's picture beside the start field is passed over.
keys Tab Tab Tab ctrl+a
type_text 5
keys Tab Tab ctrl+a
type_text 1.5
keys Tab ctrl+a
type_text -0.7
keys Tab
settings=$home/.config/Tovi/'Vesko Mika.conf'
offset_kept() { grep -q '^offset%20x=1.5$' "$settings" && grep -q '^offset%20y=-0.7$' "$settings"; }
wait_for "the offsets in the settings file" 10 offset_kept
sleep 0.5
picture label-sheet-settings "$preview"
ok "first free label 5, offset 1.5 mm right and 0.7 mm up, kept in $(basename "$settings")"
keys ctrl+s
wait_for "the save dialog" 15 active_is_not "$preview" "$main"
save_dialog=$(xdo getactivewindow)
shot save-dialog >/dev/null
pdf=$work/out/labels.pdf
type_text "$pdf"
keys Return
pdf_written() { pdfinfo "$pdf"; }
wait_for "the PDF to be written" 30 pdf_written
wait_for "the save dialog to close" 10 active_is "$preview"
ok "saved $(stat -c %s "$pdf") bytes through dialog $save_dialog"
keys Escape
wait_for "the preview to close" 10 no_window '^предварительный просмотр$'

step "check the PDF: two pages from the fifth place, every label scans back to its number"
pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
[[ "$pages" == 2 ]] || fail "the PDF has $pages pages, expected 2 for 64 labels"
timeout 60 pdftoppm -r 300 -png "$pdf" "$work/out/page"
for page_file in "$work/out"/page-*.png; do
    timeout 60 zbarimg -q --raw -Sdisable -Scode39.enable "$page_file" 2>>"$work/out/zbarimg.log" |
        sort >"${page_file%.png}.codes" || true
done
codes=("$work/out"/page-*.codes)
first_page=${codes[0]}
[[ $(wc -l <"$first_page") -eq 56 ]] || fail "page 1 carries $(wc -l <"$first_page") labels, expected 56 from the fifth place on"
cat "$work/out"/page-*.codes | sort >"$work/out/scanned"
for n in $(seq 7000 7063); do printf '%010d\n' "$n"; done >"$work/out/expected"
diff -u "$work/out/expected" "$work/out/scanned" >"$work/out/labels.diff" ||
    fail "scanned labels differ from 0000007000..0000007063: $(head -n 20 "$work/out/labels.diff")"
ok "2 pages, 56 + 8 labels, all 64 numbers scanned"

step "reprint three damaged labels on 4 x 16 stock by keyboard: Ctrl+R, the numbers, the stock picked in the preview, saved as PDF"
wait_for "the main window to take the focus back" 10 active_is "$main"
keys ctrl+r
reprint=$(wait_window '^перепечатать наклейки$' 10)
wait_for "the reprint list to take the focus" 10 active_is "$reprint"
type_text 7001
keys Return
type_text 7002
keys Return
type_text 7003
sleep 0.3
picture reprint-list "$reprint"
keys ctrl+Return
preview=$(wait_window '^предварительный просмотр$' 30)
focus "$preview"
# From print over PDF, the test sheet, the first free label, the sheet's
# picture and the two offsets to the stock command.
keys Tab Tab Tab Tab Tab Tab Tab Return
picker=$(wait_window '^наклейки$' 10)
wait_for "the stock picker to take the focus" 10 active_is "$picker"
type_text 'EA-483x169'
sleep 0.5
picture label-stock "$picker"
keys Return
wait_for "the stock picker to close" 10 no_window '^наклейки$'
wait_for "the preview to take the focus back" 10 active_is "$preview"
sleep 1
picture label-stock-preview "$preview"
keys ctrl+s
wait_for "the save dialog" 15 active_is_not "$preview" "$main"
reprint_pdf=$work/out/reprint.pdf
type_text "$reprint_pdf"
keys Return
reprint_written() { pdfinfo "$reprint_pdf"; }
wait_for "the reprint's PDF to be written" 30 reprint_written
wait_for "the save dialog to close" 10 active_is "$preview"
keys Escape
wait_for "the preview to close" 10 no_window '^предварительный просмотр$'
[[ $(pdfinfo "$reprint_pdf" | awk '/^Pages:/ {print $2}') == 1 ]] || fail "the reprint is not one page"
timeout 60 pdftoppm -r 300 -png "$reprint_pdf" "$work/out/reprint"
timeout 60 zbarimg -q --raw -Sdisable -Scode39.enable "$work/out"/reprint-*.png 2>>"$work/out/zbarimg.log" |
    sort >"$work/out/reprint.codes" || true
printf '%010d\n' 7001 7002 7003 >"$work/out/reprint.expected"
diff -u "$work/out/reprint.expected" "$work/out/reprint.codes" >"$work/out/reprint.diff" ||
    fail "the reprint scanned as $(tr '\n' ' ' <"$work/out/reprint.codes")"
ok "three labels, 0000007001..0000007003, on the 4 x 16 stock, scanned; nothing registered"

step "add 1-10, which overlaps 1-60: the question, answered no (that its number 1 is on a book asks nothing)"
# Back from the preview on the print button; the start field is next.
wait_for "the main window to take the focus back" 10 active_is "$main"
keys Tab ctrl+a
type_text 1
keys Tab ctrl+a
type_text 10
keys Tab ctrl+a
type_text 'Повтор'
keys Tab space
dialog=$(wait_window '^ $' 10)
expect_size "$dialog" 520x120 "the confirmation dialog"
wait_for "the overlap question to take the focus" 10 active_is "$dialog"
log "  dialog $dialog at $(geometry "$dialog"), main window at $(geometry "$main")"
sleep 0.3
picture confirm-overlap "$main"
# The focus is on "нет", so Enter answers no.
answer_no "$dialog"
ok "answered no"

step "delete the range 5000-5003 through the popup menu, answering yes"
# The third row of the register (ranges are sorted by their start).
click "$main" "$grid_x" "$grid_row0"
keys Down Down
keys Menu
wait_for "the popup menu" 5 popup_shown
keys Down Return
dialog=$(wait_window '^ $' 10)
expect_size "$dialog" 520x120 "the confirmation dialog"
check_modal_on_top "$dialog"
[[ $(xprop -id "$dialog" _NET_WM_STATE) == *_NET_WM_STATE_ABOVE* ]] || fail "the confirmation dialog is not kept on top"
picture confirm-delete "$main"
check_drag "$dialog" 10 10
answer_yes "$dialog"
ok "answered yes"

step "sign out; check the register in the database"
sign_out
wait_signed_out
expect_sql "the register" "select bs || '|' || bp || '|' || coalesce(me, '') from barcodes order by bs" \
"1|60|Абонемент
1001|1061|Читальный зал
7000|7063|Детский отдел"
# The range answered no took no key either.
expect_sql "the register's generator" "select gen_id(nnbarcodes, 0) from rdb\$database" 4

step "sign in as petrov/novyi: a new password is required"
sign_in petrov novyi
pass_dialog=$(wait_window 'Введите пароль' 20)
expect_size "$pass_dialog" 349x76 "the password dialog"
check_modal_on_top "$pass_dialog"
picture password-dialog "$main"
type_text 'пароль-7'
keys Tab
type_text 'пароль-7'
keys Return
wait_for "the password dialog to close" 10 no_window 'Введите пароль'
wait_signed_in
ok "signed in with the new password"
sign_out
wait_signed_out
expect_sql "petrov's account" "select xmass || '|' || status from users where xuser = 'petrov'" "пароль-7|включен"

# Counted while the program has let go of the file, for the import's checks.
catalog_before=$(sql "select count(*) from catalog") || fail "could not count the catalogue"
readers_before=$(sql "select count(*) from readers") || fail "could not count the readers"

step "sign in as admin again"
sign_in admin admin
wait_signed_in

if [[ -f "$source_dir/examples/catalog.csv" && -f "$source_dir/examples/readers.csv" ]] &&
   grep -rqs 'BitBtnIM = new' "$source_dir/src"; then
    # Records whose first field is a number; the rest are rejected.
    records() { tr -d '\r' <"$1" | LC_ALL=C grep -cE '^[[:space:]]*"?[0-9]+"?[[:space:]]*(;|$)' || true; }
    # The red skull shows while a run goes, and only then.
    skull() {
        local x y
        read -r x y < <(origin "$main")
        busy "$(shot "skull-$1")" $((x + page_x + 354)) $((y + page_y + 124)) 36 34
    }
    running() { skull run; }
    not_running() { ! skull idle; }
    # A run that has ended: the file's encoding beside the counters, no skull.
    run_ended() {
        local file x y
        read -r x y < <(origin "$main")
        file=$(shot ended)
        busy "$file" $((x + page_x + 200)) $((y + page_y + 184)) 200 16 &&
            ! busy "$file" $((x + page_x + 354)) $((y + page_y + 124)) 36 34
    }
    # Imports a file through the folder button's dialog; with a third
    # argument, takes that picture of the tab when the run has ended.
    import_file() {
        local radio_y=$1 file=$2 name=${3:-}
        show_tab 1
        page $((16 + 8)) $((radio_y + 8))
        page $((16 + 12)) $((64 + 12))
        wait_for "the open-file dialog" 15 active_is_not "$main" ''
        type_text "$(shown "$file")"
        keys Return
        wait_for "the open-file dialog to close" 10 active_is "$main"
        page $((16 + 72)) $((136 + 12))
        if [[ -n "$name" ]]; then
            wait_for "the run to end" 90 run_ended
            sleep 0.3
            picture "$name" "$main"
        fi
        # The run owns the window: the strip's button is not acted on while
        # it goes, so it is pressed until the run has ended and it signs out.
        # The pointer leaves first: a click where it stands already waits
        # for a move that never comes, and presses nothing.
        signed_out_after_run() { xdo mousemove 0 0; sign_out; sleep 0.5; tabs_hidden signed-out; }
        wait_for "the run to end and the window to sign out" 90 signed_out_after_run
        wait_signed_out
    }
    cp "$source_dir/examples/catalog.csv" "$source_dir/examples/readers.csv" "$export_dir/"

    step "import the example catalogue"
    import_file 16 "$export_dir/catalog.csv"
    expect_sql "catalogue rows" "select count(*) from catalog" "$((catalog_before + $(records "$export_dir/catalog.csv")))"

    step "import the example reader register"
    sign_in admin admin
    wait_signed_in
    import_file 32 "$export_dir/readers.csv" tab-import
    expect_sql "reader rows" "select count(*) from readers" "$((readers_before + $(records "$export_dir/readers.csv")))"

    sign_in admin admin
    wait_signed_in
    show_tab 1

    step "tick the clearing: the rows it would delete are named, then untick it"
    page $((16 + 8)) $((104 + 8))
    counts_shown() {
        local x y
        read -r x y < <(origin "$main")
        busy "$(shot clear-counts)" $((x + page_x + 400)) $((y + page_y + 92)) 136 88
    }
    wait_for "the rows the clearing would delete" 10 counts_shown
    picture import-clear-counts "$main"
    # The tick has the focus; a second click on the very spot the pointer
    # stands on would be a move that never happens.
    keys space
    counts_gone() {
        local x y
        read -r x y < <(origin "$main")
        ! busy "$(shot no-clear-counts)" $((x + page_x + 400)) $((y + page_y + 92)) 136 88
    }
    wait_for "the counts to go with the tick" 10 counts_gone
    ok "counted, and gone with the tick"

    # A catalogue long enough to be pressed again and stopped while it runs.
    readonly long_records=2000
    long=$export_dir/catalog-2024.csv
    for ((i = 1; i <= long_records; i++)); do
        printf '%d;Иванов И. И.;Книга %d;Москва;Наука\r\n' $((500000 + i)) "$i"
    done | iconv -f UTF-8 -t CP1251 >"$long"
    # From the import button back over the tick, the file field, the folder
    # button, the mode and the tabs to the strip's button, and Space.
    sign_out_from_import() {
        keys shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
        wait_signed_out
    }

    step "import a long catalogue by keyboard: the path typed, Tab to импорт, Enter; pressed again by key and click meanwhile"
    catalog_before=$(($(records "$export_dir/catalog.csv") + catalog_before))
    # The tick has the focus: back to the file field.
    keys shift+Tab ctrl+a
    type_text "$(shown "$long")"
    keys Tab Tab Return
    wait_for "the run to start" 20 running
    keys Return
    page $((16 + 72)) $((136 + 12))
    ok "импорт pressed twice more while the run went"
    wait_for "the run to end" 90 not_running
    sign_out_from_import
    expect_sql "one run's catalogue rows" "select count(*) from catalog" "$((catalog_before + long_records))"

    step "sign in as ivanova by keyboard: the renewal dismissed with Alt+F4 is a grace sign-in"
    # The strip's button has the focus: back to the user name.
    keys shift+Tab shift+Tab ctrl+a
    type_text ivanova
    keys Tab
    type_text kniga
    keys Return
    pass_dialog=$(wait_window 'Введите пароль' 20)
    wait_for "the password dialog to take the focus" 10 active_is "$pass_dialog"
    # Esc does not dismiss it, so that no stray key costs a sign-in; the
    # window manager's close does.
    keys Escape
    sleep 0.3
    has_window 'Введите пароль' || fail "Esc dismissed the password dialog"
    keys alt+F4
    wait_for "the password dialog to close" 10 no_window 'Введите пароль'
    wait_signed_in
    grace_said() {
        local x y
        read -r x y < <(origin "$main")
        busy "$(shot grace)" $((x + 8)) $((y + 2)) 212 42
    }
    wait_for "the line on the grace sign-ins" 10 grace_said
    picture grace-sign-in "$main"
    ok "signed in, the grace sign-in said"

    step "the long catalogue again with the clearing, by keyboard; Esc stops it and the question is answered by keyboard"
    # From the password field to the tabs, the next tab, and over the mode
    # and the folder button to the file field.
    keys Tab Tab Right Tab Tab Tab ctrl+a
    type_text "$(shown "$long")"
    keys Tab space Tab Return
    wait_for "the run to start" 30 running
    keys Escape
    dialog=$(wait_window '^ $' 20)
    answer_yes "$dialog"
    wait_for "the run to stop" 20 not_running
    sleep 0.3
    picture import-stopped "$main"
    sign_out_from_import
    expect_sql "ivanova's grace sign-ins" "select explogins from users where xuser = 'ivanova'" 5
    stored=$(sql "select count(*) from catalog") || fail "could not count the catalogue"
    ((stored > 0 && stored < long_records)) || fail "the stopped run stored $stored of $long_records records"
    expect_sql "whole records only" "select count(*) from izdatelstvo" "$stored"
    ok "stopped after $stored records"

    step "the tool goes on from the line after the last stored record"
    if [[ -n "$database" ]]; then target=$database; else target=$db; fi
    # As the desk's user, whose settings hold the account's password on a server.
    dbtool_as_staff 120 import catalog "$long" "$target" --from-line $((stored + 1)) >"$work/from-line.log" 2>&1 ||
        fail "the tool did not go on: $(tail -n 5 "$work/from-line.log")"
    expect_sql "the whole catalogue, each record once" \
        "select count(*) || ' ' || count(distinct barcod) from catalog" "$long_records $long_records"

    sign_in admin admin
    wait_signed_in
else
    step "import: no import tab or example files in this tree, skipped"
    show_tab 1
    sleep 0.3
    picture tab-import "$main"
fi

step "first-run wipe, answering yes"
show_tab 2
table_counts_shown() {
    local x y
    read -r x y < <(origin "$main")
    busy "$(shot table-counts)" $((x + page_x + 16)) $((y + page_y + 164)) 400 90
}
wait_for "the rows of the tables the wipe empties" 10 table_counts_shown
picture tab-firstrun "$main"
page $((16 + 112)) $((40 + 12))
dialog=$(wait_window '^ $' 10)
check_modal_on_top "$dialog"
shot confirm-wipe >/dev/null
answer_yes "$dialog"
if [[ -n "$database" ]]; then
    # Through a server the backup is the administrator's: the program asks.
    admin=$(wait_window '^Администратор базы данных$' 20)
    focus "$admin"
    type_text "$admin_password"
    keys Return
    wait_for "the administrator's dialog to close" 10 no_window '^Администратор базы данных$'
fi
# The wipe owns the window while it runs; then the tab says it is done and
# names the backup.
wipe_done() {
    local file x y
    read -r x y < <(origin "$main")
    file=$(shot wipe)
    busy "$file" $((x + page_x + 16)) $((y + page_y + 108)) 400 30 && ! busy "$file" $((x + page_x + 280)) $((y + page_y + 24)) 120 40
}
wait_for "the wipe to end" 60 wipe_done
sleep 0.3
picture firstrun-done "$main"
# The strip's button is not acted on while the wipe goes; by then it is.
sign_out
wait_signed_out 60
for table in catalog udkop izdatelstvo mnogotom comment sbornik complect newbooks spisanie spisanieitems readers zakaz ruki; do
    expect_sql "$table emptied" "select count(*) from $table" 0
done
expect_sql "generators reset" "select gen_id(nncatalog, 0) + gen_id(aacatalog, 0) + gen_id(nnudkop, 0)
    + gen_id(nnizdatelstvo, 0) + gen_id(ssizdatelstvo, 0) + gen_id(nnmnogotom, 0) + gen_id(ssmnogotom, 0)
    + gen_id(nncomment, 0) + gen_id(sscomment, 0) + gen_id(nnsbornik, 0) + gen_id(sssbornik, 0)
    + gen_id(nncomplect, 0) + gen_id(rrcomplect, 0) + gen_id(ddcomplect, 0) + gen_id(nnnewbooks, 0)
    + gen_id(nnspisanie, 0) + gen_id(llspisanie, 0) + gen_id(nnspisanieitems, 0) + gen_id(nnreaders, 0)
    + gen_id(ooreaders, 0) + gen_id(nnzakaz, 0) + gen_id(nnruki, 0) from rdb\$database" 0
expect_sql "accounts, register and departments kept" \
    "select (select count(*) from users) || ' ' || (select count(*) from barcodes) || ' ' || (select count(*) from otdely) from rdb\$database" \
    "4 3 2"
if [[ -z "$database" ]]; then
    step "the backup made before the wipe, restored by the tool"
    backups=("$app_dir"/vesko.mika.baza.*.vesko-mika-backup.fbk)
    [[ ${#backups[@]} -eq 1 && -s ${backups[0]} ]] || fail "expected one backup beside the database, found: ${backups[*]}"
    # Made by the desk's user, the backup and its record are the database's
    # owner's, group's and mode.
    for made in "${backups[0]}" "${backups[0]%.fbk}.txt"; do
        [[ $(stat -c '%U:%G %a' "$made") == "$(stat -c '%U:%G %a' "$db")" ]] ||
            fail "$(basename "$made") is $(stat -c '%U:%G %a' "$made"), the database $(stat -c '%U:%G %a' "$db")"
    done
    ok "the backup and its record: $(stat -c '%U:%G %a' "$db"), as the database"
    dbtool_as_staff 60 restore "${backups[0]}" "$work/restored.fdb" >"$work/restore.log" 2>&1 \
        || fail "the tool could not restore $(basename "${backups[0]}"): $(cat "$work/restore.log")"
    db=$work/restored.fdb expect_sql "seeded rows and counters back" \
        "select (select count(*) from spisanieitems) || ' ' || gen_id(aacatalog, 0) from rdb\$database" "1 5"
fi

step "close the window"
focus "$main"
keys alt+F4
app_gone() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_for "the program to end" 15 app_gone
status=0
wait "$app_pid" || status=$?
app_pid=''
[[ $status -eq 0 ]] || fail "the program ended with status $status"
ok "the program ended with status 0"

if [[ -n "$database" ]]; then
    failed=0
    log "all steps passed in ${SECONDS}s"
    exit 0
fi

step "the calendar dialog (never opened by the program) on its own"
(
    exec env -u QT_STYLE_OVERRIDE -u QT_QPA_PLATFORMTHEME -u QT_SCALE_FACTOR \
        QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 HOME="$home" XDG_RUNTIME_DIR="$work/run" "$calendar"
) >"$work/calendar.log" 2>&1 &
cal_pid=$!
cal=$(wait_window '^Календарь$' 20)
expect_size "$cal" 433x329 "the calendar"
day_known() { grep -q '^day20 ' "$work/calendar.log"; }
wait_for "the calendar's layout" 10 day_known
focus "$cal"
picture calendar "$cal"
check_drag "$cal" 12 150
read -r _ day_x day_y < <(grep '^day20 ' "$work/calendar.log")
click "$cal" "$day_x" "$day_y"
cal_gone() { ! kill -0 "$cal_pid" 2>/dev/null; }
wait_for "the calendar to close on a day click" 10 cal_gone
wait "$cal_pid" || fail "the calendar program failed"
cal_pid=''
grep -qx 'picked 1 2024-05-20' "$work/calendar.log" || fail "the calendar handed back: $(tail -n 1 "$work/calendar.log")"
ok "a click on day 20 picked 2024-05-20"

step "twice the scale on a 1366 x 768 screen: the title bar and the preview's commands in view"
Xvfb -displayfd 4 -screen 0 1366x768x24 -nolisten tcp 4>"$work/display2" >"$work/xvfb2.log" 2>&1 &
xvfb2_pid=$!
second_display_known() { [[ -s "$work/display2" ]]; }
wait_for "the second Xvfb to pick a display" 15 second_display_known
DISPLAY=:$(tr -d '[:space:]' <"$work/display2")
openbox --sm-disable >"$work/openbox2.log" 2>&1 &
wm2_pid=$!
wait_for "the second window manager" 15 wm_running
setxkbmap -layout us,ru || fail "setxkbmap failed"
start_app QT_SCALE_FACTOR=2 >"$work/app2.log" 2>&1 &
app_pid=$!
main=$(wait_window '^  утилиты$' 30)
focus "$main"
# On the screen: the frame's corner, and so the title bar to move it by
# (the frame comes a moment after the window).
title_bar_shown() {
    read -r frame_x frame_y < <(origin "$(frame_of "$main")")
    ((frame_x >= 0 && frame_y >= 0 && frame_x < 1366 - 100))
}
wait_for "the main window's title bar on the screen" 8 title_bar_shown
ok "the main window's frame at $frame_x,$frame_y"
# Signed in by keyboard: the user name field has the focus.
keys ctrl+a
type_text admin
keys Tab
type_text admin
keys Return
wait_for "the program to attach the database" 20 attached
# Over the strip's button and the tabs to the print button.
keys Tab Tab Tab Return
preview=$(wait_window '^предварительный просмотр$' 30)
focus "$preview"
read -r px py < <(origin "$(frame_of "$preview")")
read -r pw ph < <(geometry "$(frame_of "$preview")" | sed 's/[x+]/ /g' | cut -d' ' -f1,2)
((px >= 0 && py >= 0 && px + pw <= 1366 && py + ph <= 768)) ||
    fail "the preview's frame ${pw}x${ph}+$px+$py leaves the screen"
# The first row of commands holds the test sheet's button: pressed by its
# shortcut, it shows pressed there.
commands() {
    local file=$work/shots/scale-commands-$1.png x y w
    read -r x y < <(origin "$preview")
    w=$(geometry "$preview" | cut -dx -f1)
    timeout 10 import -window root -crop "${w}x60+$x+$y" +repage "$file"
    echo "$file"
}
sleep 0.5
unpressed=$(commands before)
busy "$unpressed" 0 0 200 60 || fail "no commands at the top of the preview"
keys ctrl+t
test_sheet_pressed() { differ "$unpressed" "$(commands after)"; }
wait_for "the test sheet's button to show pressed" 10 test_sheet_pressed
shot scale-preview >/dev/null
keys Escape
wait_for "the preview to close" 10 no_window '^предварительный просмотр$'
focus "$main"
keys alt+F4
wait_for "the program at twice the scale to end" 15 app_gone
app_pid=''
ok "title bar on the screen, the preview ${pw}x${ph} within it, its test sheet's button in view"

failed=0
log "all steps passed in ${SECONDS}s"
