#!/usr/bin/env bash
# The real program under X driven with the keyboard alone, as a technician without a
# mouse would: an arrow chooses the port, Enter is Next on every page, Alt+T shows the
# terminal window in the wizard's place and Alt+F4 brings the wizard back, Tab and Space
# tick Backup Playlist beside Update Firmware, Space presses Browse, and the backup
# and a firmware update run against tidewell-devsim to their end; Escape leaves, and
# the toolkit wrote no warning on the way; closing the terminal window ends the program.
# Keys go to the focused window (xdotool key without --window: GTK ignores keys
# sent to a window).
#
# Usage: keyboard_only_test.sh TIDEWELL TIDEWELL_DEVSIM [SHOTS]
set -euo pipefail
app="$1"
devsim="$2"
shots="${3:-}"

source "$(dirname "$0")/support/real_program.sh"

# Keys to the window that has the focus, after giving it to the page.
keys() {
    xdotool windowfocus --sync "$page" 2>/dev/null || true
    sleep 0.2
    xdotool key --delay 120 "$@"
}

mkdir -p "$work/store" "$work/backups" "$work/config/tidewell"
head -c 30720 /dev/urandom >"$work/release.pkg"  # whole packets: the device keeps the padding
head -c 2000 /dev/urandom >"$work/store/playlist"
"$devsim" --link "$work/tty" --store "$work/store" --log "$work/devsim.log" \
    >"$work/devsim.out" 2>"$work/devsim.err" &
devsim_pid=$!
wait_for 10 "the device" test -s "$work/devsim.out"
# The saved port (COM2) has nothing behind it; the device is one entry further down.
cat >"$work/config/tidewell/tidewell.ini" <<INI
[Tidewell]
CommPort=2
PlaylistPath=$work/backups
[Ports]
COM1=$work/no-such-tty1
COM2=$work/no-such-tty2
COM3=$work/tty
INI
XDG_CONFIG_HOME="$work/config" "$app" >"$work/app.log" 2>&1 &
app_pid=$!

# Port page: Down chooses COM3, Enter is Next (the list does not open).
next_page none
welcome="$page"
keys Down Return
next_page "$welcome"
# Detection moves on by itself once the device has logged in.
wait_for 20 "the log-in" log_has "login accepted"
next_page "$page"
choice="$page"
# The terminal window takes the page's place (Alt+T), and gives it back when closed.
visible() { xdotool search --onlyvisible --name '^Tidewell' 2>/dev/null | grep -x "$1" >/dev/null; }
keys alt+t
wait_for 10 "the page to step aside" eval '! visible "$choice"'
terminal="$(page_window)"
[ -n "$terminal" ] || fail "no terminal window in the page's place"
sleep 0.5
xdotool windowfocus --sync "$terminal" 2>/dev/null || true
xdotool key alt+F4
wait_for 10 "the page to come back" visible "$choice"
sleep 0.4
# Operation page: the first box has the focus; Tab moves to Backup Playlist, Space
# ticks it (Update Firmware is ticked already), Enter is Next.
keys Tab space Return
next_page "$choice"
backup="$page"
wait_for 30 "the playlist backup" test -f "$work/backups/playlist.bak"
sleep 1
keys Return
next_page "$backup"
files="$page"
# Firmware page: nothing offered yet. Space presses Browse (it has the focus), the
# path typed into the file dialog and Enter choose the package, Enter is Next.
keys space
wait_for 10 "the open-file dialog" has_window '^Open$'
sleep 0.5
xdotool type --delay 20 "$work/release.pkg"
xdotool key Return
wait_for 10 "the open-file dialog to close" sh -c "! xdotool search --onlyvisible --name '^Open\$' >/dev/null"
sleep 0.3
keys Return
next_page "$files"
progress="$page"
wait_for 60 "the end of the transfer" log_has 'stored "flashimage"'
cmp -s "$work/release.pkg" "$work/store/flashimage" || fail "the package did not arrive byte-exact"
cmp -s -n 2000 "$work/store/playlist" "$work/backups/playlist.bak" ||
    fail "the playlist backup differs from the device's file"
[ ! -e "$work/backups/setting.bak" ] || fail "Backup Setting was ticked too"
# Escape leaves the wizard; the terminal window, once shown, stays until it is closed.
sleep 1
keys Escape
wait_for 10 "the page to close" eval '! visible "$page"'
terminal="$(page_window)"
[ -n "$terminal" ] || fail "the terminal window did not stay after the wizard"
xdotool windowfocus --sync "$terminal" 2>/dev/null || true
xdotool key alt+F4
wait_for 10 "the program to end" app_ended
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""
! grep -E "(Gtk|Gdk|GLib|GLib-GObject|Atk)-(WARNING|CRITICAL)" "$work/app.log" ||
    fail "the toolkit complained on standard error during the pass"
echo "a firmware update from the port page to its end with the keyboard alone"
