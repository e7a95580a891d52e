#!/usr/bin/env bash
# `cmake --install` puts every file a desktop user needs in place, and nothing
# else: the programs, the desktop entry starting the wizard, the icon at every
# size, the metainfo, the three manual pages, the completion, the documents.
#
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

id=org.tidewell.Tidewell
expected="$(
    printf '%s\n' usr/bin/tidewell usr/bin/tidewell-cli usr/bin/tidewell-devsim \
        usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
        usr/share/icons/hicolor/scalable/apps/$id.svg \
        usr/share/man/man1/tidewell.1.gz usr/share/man/man1/tidewell-cli.1.gz \
        usr/share/man/man1/tidewell-devsim.1.gz \
        usr/share/bash-completion/completions/tidewell-cli \
        usr/share/doc/tidewell/copyright usr/share/doc/tidewell/changelog.gz
    for size in 16 32 48 64 128 256; do
        echo "usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    done
)"
installed="$(cd "$root" && find . -type f | sed 's|^\./||' | sort)"
if [ "$installed" != "$(printf '%s\n' "$expected" | sort)" ]; then
    echo "FAILED: the installed files differ (< expected, > installed):" >&2
    diff <(printf '%s\n' "$expected" | sort) <(printf '%s\n' "$installed") >&2
    exit 1
fi
for size in 16 32 48 64 128 256; do
    identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" |
        grep -qx "${size}x${size}" || { echo "FAILED: the ${size}px icon has another size" >&2; exit 1; }
done
exec_line="$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$id.desktop")"
[ -x "$root/usr/bin/${exec_line%% *}" ] ||
    { echo "FAILED: the desktop entry starts \"$exec_line\", which is not installed" >&2; exit 1; }
grep -q "^Icon=$id\$" "$root/usr/share/applications/$id.desktop" ||
    { echo "FAILED: the desktop entry's icon is not $id" >&2; exit 1; }
"$root/usr/bin/tidewell-cli" --version >/dev/null
MANWIDTH=80 man -l "$root/usr/share/man/man1/tidewell-cli.1.gz" 2>/dev/null | grep -q "EXIT STATUS" ||
    { echo "FAILED: man cannot read the installed tidewell-cli(1)" >&2; exit 1; }
echo "$(echo "$installed" | wc -l) files installed where a desktop expects them"
