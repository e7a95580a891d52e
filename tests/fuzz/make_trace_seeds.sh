#!/usr/bin/env bash
# Rebuilds the trace fuzz target's seeds from real sessions: tidewell-cli against
# tidewell-devsim, both tracing (host and device side), bounded and with every byte, a
# corrupted packet in each; one host trace cut short inside its transfer.
# Usage: tests/fuzz/make_trace_seeds.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/default}"
cli="$build/cli/tidewell-cli"
devsim="$build/devsim/tidewell-devsim"
out=tests/fuzz/corpus/trace
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
export XDG_CONFIG_HOME="$work/config"
head -c 1500 /dev/urandom >"$work/small.pkg"

# session NAME BYTES CLI ARGUMENTS...: host and device traces as NAME-host, NAME-device.
session() {
    local name="$1" bytes="$2"
    shift 2
    rm -rf "$work/store" && mkdir "$work/store"
    head -c 1500 /dev/urandom >"$work/store/setting"
    "$devsim" --link "$work/tty" --store "$work/store" --corrupt-packet 1 --baud 115200 \
        --trace "$out/$name-device" --trace-bytes "$bytes" >/dev/null &
    local pid=$!
    for _ in $(seq 100); do [ -e "$work/tty" ] && break; sleep 0.05; done
    "$cli" --port "$work/tty" --timeout 5 --quiet --trace "$out/$name-host" \
        --trace-bytes "$bytes" "$@" >/dev/null 2>&1 || true
    sleep 0.3
    kill "$pid" && wait "$pid" || true
}

session backup bounded backup setting --dir "$work"
session update all update "$work/small.pkg"
head -n 40 "$out/backup-host" >"$out/backup-host-cut-short"
