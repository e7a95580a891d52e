#!/usr/bin/env bash
# tidewell.exe under wine, driven with the keyboard alone against tidewell-devsim behind
# COM5 of the wine prefix: the saved port is COM5 and Enter is Next; Space ticks Backup
# Setting beside Update Firmware; the backup runs; the firmware page's Browse opens the
# file dialog, the package's path typed there chooses it, Alt+N is Next; the update runs
# to its end and Escape leaves.
# The backup and the device's flash image are compared byte for byte with their sources,
# and each page is photographed into SHOTS.
#
# Usage: wizard_keyboard.sh TIDEWELL_EXE TIDEWELL_DEVSIM COM5_LINK SHOTS
# (WINEPREFIX names the prefix; COM5 of it points at COM5_LINK.)
set -euo pipefail
exe="$1"
devsim="$2"
com5="$3"
shots="$4"
app=""

source "$(dirname "$0")/../pages/support/real_program.sh"
wine64=/usr/lib/wine/wine64
# A failure also leaves the screen as it was.
eval "report_$(declare -f fail)"
fail() {
    import -window root "$shots/failed.png" 2>/dev/null || true
    report_fail "$@"
}

# Keys to the window that has the focus, after giving it to the page.
keys() {
    xdotool windowfocus --sync "$page" 2>/dev/null || true
    sleep 0.3
    xdotool key --delay 150 "$@"
}
# Windows paths of the work folder: wine's drive Z: is the root of the file system.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

rm -rf "$shots"
mkdir -p "$work/store" "$work/backups" "$shots"
# Whole packets: XMODEM carries no length, the padding of a last packet stays.
head -c 307200 /dev/urandom >"$work/release.pkg"
head -c 20480 /dev/urandom >"$work/store/setting"
rm -f "$com5"
"$devsim" --link "$com5" --store "$work/store" --log "$work/devsim.log" \
    --baud 115200 --throttle-input >"$work/devsim.out" 2>"$work/devsim.err" &
devsim_pid=$!
wait_for 10 "the device" test -s "$work/devsim.out"

settings="$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/tidewell"
mkdir -p "$settings"
rm -f "$settings/.tidewell.lock"
printf '[Tidewell]\r\nCommPort=5\r\nSettingPath=%s\r\n' "$(windows_path "$work/backups")" \
    >"$settings/tidewell.ini"
"$wine64" "$exe" >"$work/app.log" 2>&1 &
app_pid=$!

# Port page: the saved COM5 is chosen; Enter is Next.
has_page() { [ -n "$(page_window)" ]; }
wait_for 60 "the first page" has_page
next_page none
shot "$page" 1-port
welcome="$page"
keys Return
next_page "$welcome"
shot "$page" 2-detection
wait_for 30 "the log-in" log_has "login accepted"
next_page "$page"
choice="$page"
shot "$page" 3-operation
# Backup Setting has the focus: Space ticks it beside Update Firmware; Enter is Next.
keys space
sleep 0.3
shot "$page" 3-operation-chosen
keys Return
next_page "$choice"
backup="$page"
wait_for 60 "the setting backup" test -f "$work/backups/setting.bak"
sleep 1
shot "$page" 4-backup-completed
keys Return
next_page "$backup"
files="$page"
shot "$page" 5-firmware
# Space presses Browse; the package's path typed into the file dialog chooses it.
keys space
wait_for 20 "the open-file dialog" has_window '^Open$'
sleep 1
shot "$(window_named '^Open$')" 5-firmware-browse
xdotool type --delay 30 "$(windows_path "$work/release.pkg")"
xdotool key Return
wait_for 20 "the open-file dialog to close" sh -c "! xdotool search --onlyvisible --name '^Open\$' >/dev/null"
sleep 0.5
shot "$page" 5-firmware-chosen
# Browse keeps the focus, and Windows gives Enter to a focused button: Alt+N is Next.
keys alt+n
next_page "$files"
progress="$page"
sleep 2
shot "$page" 6-update-running
wait_for 120 "the end of the update" log_has 'stored "flashimage"'
sleep 2
shot "$page" 6-update-completed
cmp "$work/release.pkg" "$work/store/flashimage" || fail "the package did not arrive byte-exact"
cmp "$work/store/setting" "$work/backups/setting.bak" ||
    fail "the setting backup differs from the device's file"
echo "   byte for byte: the setting backup ($(stat -c %s "$work/backups/setting.bak") bytes)" \
    "and the flash image ($(stat -c %s "$work/store/flashimage") bytes)"
keys Escape
wait_for 20 "the program to end" app_ended
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""
echo "   tidewell.exe: port, detection, operation, backup, firmware and update pages" \
    "with the keyboard alone; screenshots in $shots"
