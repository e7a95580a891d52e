#!/usr/bin/env bash
# The bash completion of tidewell-cli offers what the program takes: its commands
# and options (read from its --help), COM numbers after --port, the device files
# after backup and restore, *.bak files after restore's device file and after verify.
#
# Usage: completion_test.sh COMPLETION TIDEWELL_CLI
set -uo pipefail
source "$1"
program="$2"
failed=0
# Completes the last of the words given; sets $offered to the offers, one a line.
complete_words() {
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _tidewell_cli
    offered="$(printf '%s\n' "${COMPREPLY[@]}" | sort)"
}
expect() {
    local want="$1"
    shift
    complete_words "$@"
    if [ "$offered" != "$(printf '%s\n' $want | sort)" ]; then
        echo "FAILED: tidewell-cli $* <Tab> offers [$(echo $offered)], not [$want]" >&2
        failed=1
    fi
}

commands="$("$program" --help | awk '/^[^ ].*:$/ { s = $0; next } s == "Commands:" && /^  [a-z]/ { print $1 }')"
expect "$commands" ""
expect "--timeout" --ti
expect "$commands" --port COM3 --speed 9600 ""
expect "--quiet" --port COM3 --q
expect "COM1 COM10 COM11 COM12 COM13 COM14 COM15 COM16" --port COM1
expect "9600" -s 96
expect "setting playlist" --port COM2 backup ""
expect "" backup setting ""
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
touch "$work/setting.bak" "$work/setting_1.bak" "$work/notes.txt" "$work/release.pkg"
expect "$work/setting.bak $work/setting_1.bak" restore setting "$work/s"
expect "$work/setting.bak $work/setting_1.bak" verify "$work/setting.bak" "$work/s"
expect "$work" update "$work/release.pkg" --backup-first "$work"
expect "$work/release.pkg" update "$work/r"
expect "$work" --dir "$work"
[ "$failed" -eq 0 ] || exit 1
echo "completion offers the commands, options, COM numbers and files"
