#!/usr/bin/env bash
# Rebuilds the devsim fuzz target's seeds from real sessions: tidewell-cli against
# tidewell-devsim (one device per session, with the faults named), each device's --log
# turned into the host's bytes by seeds_from_log.py.
# Usage: tests/fuzz/make_devsim_seeds.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/default}"
cli="$build/cli/tidewell-cli"
devsim="$build/devsim/tidewell-devsim"
out=tests/fuzz/corpus/devsim
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

head -c 3000 /dev/urandom >"$work/small.pkg"
head -c 6000 /dev/urandom >"$work/large.pkg"
head -c 1024 /dev/urandom >"$work/playlist.bak"

# session NAME "DEVSIM OPTIONS" CLI ARGUMENTS...
session() {
    local name="$1" options="$2"
    shift 2
    rm -rf "$work/store" && mkdir "$work/store"
    head -c 3000 /dev/urandom >"$work/store/setting"
    # shellcheck disable=SC2086
    "$devsim" --link "$work/tty" --store "$work/store" --log "$work/$name.log" $options >/dev/null &
    local pid=$!
    for _ in $(seq 100); do [ -e "$work/tty" ] && break; sleep 0.05; done
    "$cli" --port "$work/tty" --timeout 5 --quiet "$@" <"${STDIN:-/dev/null}" >/dev/null 2>&1 || true
    sleep 0.3
    kill "$pid" && wait "$pid" || true
    python3 tests/fuzz/seeds_from_log.py "$work/$name.log" "$out/session-$name" \
        --file flashimage="$work/${PKG:-small.pkg}" --file playlist="$work/playlist.bak"
}

session update "" update "$work/small.pkg"
PKG=large.pkg session update-large "" update "$work/large.pkg"
session backup "" backup setting --dir "$work"
session restore "" restore playlist "$work/playlist.bak"
session send-ls "" send ls
session send-help "" send help
session send-unknown "" send "format all"
printf 'ls\nhelp\nupload nothing\n' >"$work/lines"
STDIN="$work/lines" session terminal "" terminal
session refuse-transfers "--refuse-transfers" update "$work/small.pkg"
session refuse-login "--refuse-login" detect
session corrupt-received "--corrupt-packet 2" update "$work/small.pkg"
session corrupt-sent "--corrupt-packet 1" backup setting --dir "$work"
session drop-ack-received "--drop-ack 1" update "$work/small.pkg"
session drop-ack-sent "--drop-ack 2" backup setting --dir "$work"
session cancel-received "--cancel-at 2" update "$work/small.pkg"
session cancel-sent "--cancel-at 2" backup setting --dir "$work"
PKG=large.pkg session noise-update "--bit-error-rate 1e-4 --seed 3" update "$work/large.pkg"
session noise-backup "--bit-error-rate 1e-4 --seed 5" backup setting --dir "$work"
session hangup "--hangup-at 40" update "$work/small.pkg"
session boot-delay "--boot-ms 500" detect
session final-early "--final-reply-early" backup setting --dir "$work"
ls -l "$out"
