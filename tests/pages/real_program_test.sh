#!/usr/bin/env bash
# The real program under X, driven with the keyboard and the mouse as a user would:
# a firmware update against tidewell-devsim from the port page (a port that cannot
# be opened first) to "Transfer completed sucessfully.", then a second pass with a
# setting backup and its restore. Screenshots of each page it meets go to SHOTS.
#
# Usage: real_program_test.sh TIDEWELL TIDEWELL_DEVSIM [SHOTS]
# Without a display it runs itself under xvfb-run; without one either it is skipped (77).
set -euo pipefail
app="$1"
devsim="$2"
shots="${3:-}"

source "$(dirname "$0")/support/real_program.sh"

# The device: deaf for its first 8 s (the detection page can be seen waiting), then at
# 38400 baud both ways (the progress can be seen).
mkdir -p "$work/store" "$work/backups" "$work/config/tidewell"
head -c 40960 /dev/urandom >"$work/release.pkg"
head -c 3000 /dev/urandom >"$work/store/setting"
"$devsim" --link "$work/tty" --store "$work/store" --log "$work/devsim.log" --boot-ms 8000 \
    --baud 38400 --throttle-input >"$work/devsim.out" 2>"$work/devsim.err" &
devsim_pid=$!
wait_for 10 "the device" test -s "$work/devsim.out"

cat >"$work/config/tidewell/tidewell.ini" <<EOF
[Tidewell]
CommPort=3
FirmwarePath=$work/release.pkg
SettingPath=$work/backups
PlaylistPath=$work/backups
[Ports]
COM1=$work/no-such-tty1
COM2=$work/no-such-tty2
COM3=$work/tty
COM4=$work/no-such-tty4
EOF
XDG_CONFIG_HOME="$work/config" "$app" >"$work/app.log" 2>&1 &
app_pid=$!

# Port page: open the list, take COM4 (nothing there), Next.
next_page none
welcome="$page"
shot "$welcome" port-selection
open_port_list "$welcome"
wait_for 5 "the port list" has_window '^tidewell$'
sleep 0.3
shot_around "$welcome" "$(window_named '^tidewell$')" port-list-open
xdotool key Down Return
click_next "$welcome"
sleep 0.5
[ "$(page_window)" = "$welcome" ] || fail "the port page went on with a port that cannot be opened"
shot "$welcome" port-selection-unable-to-open
# COM3 then, with the keyboard in the list, and Next.
open_port_list "$welcome"
wait_for 5 "the port list" has_window '^tidewell$'
xdotool key Up Return
click_next "$welcome"

# Detection: waits while the device is deaf, then logs in and moves on by itself.
next_page "$welcome"
detection="$page"
log_has "login accepted" || shot "$detection" detection-detecting
wait_for 20 "the log-in" log_has "login accepted"
sleep 1
shot "$detection" detection-device-detected
next_page "$detection"
choice="$page"
shot "$choice" operation-choice

# Update Firmware is ticked: Next, then the package the settings remember.
click_next "$choice"
next_page "$choice"
files="$page"
shot "$files" file-selection-firmware
click_browse "$files"
wait_for 10 "the open-file dialog" has_window '^Open$'
sleep 0.5
shot "$(window_named '^Open$')" file-selection-browse
xdotool key Return
wait_for 10 "the open-file dialog to close" sh -c "! xdotool search --onlyvisible --name '^Open\$' >/dev/null"
sleep 0.3
click_next "$files"

next_page "$files"
progress="$page"
wait_for 30 "packets" log_count_at_least "rx packet .* ok" 12
shot "$progress" progress-update-running
wait_for 60 "the end of the transfer" log_has 'stored "flashimage"'
sleep 1
shot "$progress" progress-update-completed
cmp -s "$work/release.pkg" "$work/store/flashimage" || fail "the package did not arrive byte-exact"

# Next: a new pass at detection; this time a setting backup and its restore.
click_next "$progress"
next_page "$progress"
next_page "$page"  # the choice page, after the detection page moved on
choice="$page"
click_box "$choice" 0
click_box "$choice" 2
click_box "$choice" 3
sleep 0.3
shot "$choice" operation-choice-backup-and-restore
click_next "$choice"
next_page "$choice"
backup="$page"
wait_for 60 "the backup" test -f "$work/backups/setting.bak"
sleep 1
shot "$backup" progress-backup-completed
click_next "$backup"
next_page "$backup"
files="$page"
shot "$files" file-selection-setting
click_next "$files"  # the offered folder alone cannot be opened
wait_for 10 "the message box" has_window '^tidewell$'
sleep 0.5
shot "$(window_named '^tidewell$')" file-selection-cant-open-file
xdotool key Return
sleep 0.3
click_browse "$files"
wait_for 10 "the open-file dialog" has_window '^Open$'
sleep 0.5
xdotool type --delay 20 "$work/backups/setting.bak"
xdotool key Return
wait_for 10 "the open-file dialog to close" sh -c "! xdotool search --onlyvisible --name '^Open\$' >/dev/null"
sleep 0.5
shot "$files" file-selection-setting-chosen
click_next "$files"
next_page "$files"
wait_for 60 "the restore" log_count_at_least 'stored "setting"' 1
sleep 1
shot "$page" progress-restore-completed
grep -q "SettingFile=setting.bak" "$work/config/tidewell/tidewell.ini" ||
    fail "the chosen backup was not remembered"

# Exit ends the program.
click_du "$page" 7 179 50 14
wait_for 10 "the program to end" app_ended
wait "$app_pid" || fail "the program ended with status $?"
app_pid=""
echo "firmware update, backup and restore done through the real program"
