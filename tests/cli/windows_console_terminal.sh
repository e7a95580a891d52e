#!/usr/bin/env bash
# tidewell-cli.exe terminal typed at a console under wine: wine gives a program on a
# pseudo-terminal a console fed by the keys typed there (script(1) holds the terminal).
# A device reply must show while a line is half typed (a console in line input mode holds
# it until Enter), Backspace edits the line, Ctrl-Z then Enter sends the text before it
# and ends the input, and the run ends with status 0.
# Usage: tests/cli/windows_console_terminal.sh CLI_EXE DEVSIM LINK, with WINEPREFIX set
# and COM5 of the prefix mapped to LINK.
set -euo pipefail
cli_exe="$1"
devsim="$2"
link="$3"
wine64=/usr/lib/wine/wine64

work=$(mktemp -d)
devsim_pid=""
console_pid=""
cleanup() {
    exec 3>&- || true
    for pid in $console_pid $devsim_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Up to 30 s for a condition.
eventually() {
    local tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -le 300 ] || return 1
        sleep 0.1
    done
}
# The console's text without its cursor moves (wine draws spaces as moves too).
console_text() {
    [ -f "$work/console" ] || return 0
    sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/console" | tr -d ' \r\n'
}
shows() {
    console_text | grep -qF -- "$1"
}
received() {
    grep -qF "rx line \"$1\"" "$work/devsim.log" 2>/dev/null
}
expect() {
    local what="$1"
    shift
    if ! eventually "$@"; then
        echo "   not within 30 s: $what; the console showed: $(console_text)" >&2
        return 1
    fi
    echo "   $what"
}

mkdir "$work/store"
# Each reply 1.5 s late: time to half type the next line.
"$devsim" --link "$link" --store "$work/store" --log "$work/devsim.log" --reply-delay 1500 \
    >"$work/ready" 2>"$work/devsim.err" &
devsim_pid=$!
eventually test -s "$work/ready"

mkfifo "$work/keys"
# Ctrl-Z is a key, as at a Windows console, not the terminal's suspend.
script -qfec "stty susp undef; exec '$wine64' '$cli_exe' --port COM5 terminal" "$work/console" \
    <"$work/keys" >/dev/null &
console_pid=$!
exec 3>"$work/keys"

expect "the terminal names Ctrl-Z" shows "endwithCtrl-ZorCtrl-C."
printf 'pivot\r' >&3
expect "Enter sent a line" received pivot
printf 've' >&3
expect "its reply showed while the next line was half typed" shows "ve:ERROR:"
printf '\x7fr\r' >&3
expect "Backspace took a character back" received vr
printf 'abc\x1ax\r' >&3
expect "Ctrl-Z and Enter sent the text before Ctrl-Z" received abc
exec 3>&-
status=0
wait "$console_pid" || status=$?
console_pid=""
echo "   input ended, status $status"
[ "$status" -eq 0 ]
