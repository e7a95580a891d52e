#!/usr/bin/env bash
# Rebuilds the engine fuzz targets' session seeds (tests/fuzz/corpus/{receiver,sender,line}/
# session-*): the engine against the simulated device's core in simulated time, with the
# faults engine_seeds.cpp names, each device's side recorded as a device script.
# Usage: tests/fuzz/make_engine_seeds.sh [BUILD_DIR]   (default: build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/default}"
cmake --build "$build" --target tidewell_fuzz_engine_seeds
"$build/tests/fuzz/tidewell_fuzz_engine_seeds" tests/fuzz/corpus
