#!/usr/bin/env bash
# A manual page agrees with its program: every option of --help is in the page's
# tables and the page names no option --help lacks; the exit statuses and their
# meanings are the same; --version and the page's header carry the version; troff
# reads the page without a warning.
#
# With README, the exit statuses of its "**Exit status**" table are those of --help too.
#
# Usage: manual_page_test.sh PROGRAM PAGE VERSION [README]
set -euo pipefail
program="$1"
page="$2"
version="$3"
readme="${4:-}"
name="$(basename "$program")"
failed=0
fail() {
    echo "FAILED: $name: $*" >&2
    failed=1
}

help="$("$program" --help)"
# troff source as text: no font escapes, \- as -, \e as \, no \& or \%.
plain() { sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\e/\\/g' -e 's/\\[&%]//g' "$page"; }

# Options: the leading option words of every entry term of the help ...
help_options="$(printf '%s\n' "$help" | awk '
    /^ +-/ { for (i = 1; i <= NF && $i ~ /^-/; i++) { w = $i; sub(/,$/, "", w); print w } }' |
    sort -u)"
# ... and of every term (the line after .TP) of the page.
page_options="$(plain | awk '
    after_tp { for (i = 1; i <= NF && $i ~ /^-/; i++) { w = $i; sub(/,$/, "", w); print w } }
    { after_tp = ($0 == ".TP") }' | sort -u)"
missing="$(comm -23 <(printf '%s\n' "$help_options") <(printf '%s\n' "$page_options"))"
extra="$(comm -13 <(printf '%s\n' "$help_options") <(printf '%s\n' "$page_options"))"
[ -z "$missing" ] || fail "options in --help but not in the manual page: $(echo $missing)"
[ -z "$extra" ] || fail "options in the manual page but not in --help: $(echo $extra)"
[ -n "$help_options" ] || fail "--help lists no option"
# Long options the page's prose names must exist too.
prose="$(plain | grep -o -E -- '(^|[^A-Za-z0-9-])--[a-z][a-z0-9-]*' | sed 's/^[^-]*//' | sort -u)"
stale="$(comm -13 <(printf '%s\n' "$help_options") <(printf '%s\n' "$prose"))"
[ -z "$stale" ] || fail "the manual page names options --help does not have: $(echo $stale)"

# Exit statuses: "N meaning" from the help's "Exit status:" section and from the
# page's EXIT STATUS section, continuation lines joined.
help_statuses="$(printf '%s\n' "$help" | awk '
    /^[^ ].*:$/ { inside = ($0 == "Exit status:"); next }
    !inside || /^ *$/ { next }
    $1 ~ /^[0-9]+$/ { if (line != "") print line; line = $0; next }
    { line = line " " $0 }
    END { if (line != "") print line }' | tr -s ' ' | sed 's/^ //')"
page_statuses="$(plain | awk '
    /^\.SH/ { inside = ($0 ~ /EXIT STATUS/); next }
    !inside { next }
    /^\.TP/ { if (line != "") print line; line = ""; term = 1; next }
    /^\./ { next }
    { line = line " " $0 }
    END { if (line != "") print line }' | tr -s ' ' | sed 's/^ //')"
[ -n "$help_statuses" ] || fail "--help has no \"Exit status:\" section"
if [ "$help_statuses" != "$page_statuses" ]; then
    fail "the exit statuses differ (< --help, > manual page):"
    diff <(printf '%s\n' "$help_statuses") <(printf '%s\n' "$page_statuses") >&2 || true
fi

if [ -n "$readme" ]; then
    readme_numbers="$(awk '
        /^\*\*Exit status\*\*/ { inside = 1; next }
        inside && /^\| *[0-9]+ *\|/ { split($0, cell, "|"); gsub(/ /, "", cell[2]); print cell[2]; seen = 1; next }
        inside && seen && !/^\|/ { exit }' "$readme")"
    help_numbers="$(printf '%s\n' "$help_statuses" | awk '{ print $1 }')"
    if [ "$help_numbers" != "$readme_numbers" ]; then
        fail "the README's exit statuses differ from --help's: [$(echo $readme_numbers)] vs [$(echo $help_numbers)]"
    fi
fi

# One version everywhere.
[ "$("$program" --version)" = "$name $version" ] ||
    fail "--version prints \"$("$program" --version)\", not \"$name $version\""
grep -q "^\.TH .*\"Tidewell $version\"" "$page" || fail "the page's header lacks \"Tidewell $version\""

# troff reads it cleanly.
warnings="$(groff -man -ww -z "$page" 2>&1)"
[ -z "$warnings" ] || fail "troff warns: $warnings"

[ "$failed" -eq 0 ] || exit 1
echo "$name: $(echo "$help_options" | wc -l) options and $(echo "$help_statuses" | wc -l) exit statuses agree"
