#!/usr/bin/env bash
# Runs every benchmark on the native-release build: ./run bench
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/native-release}

# archive
echo "== archive extraction"
bench/archive/run.sh "$BUILD"

# engine
echo "== patch engine: diff and apply on a 200 MB file"
bench/engine/run.sh "$BUILD"

# patch methods against the other delta tools
echo "== patch size and speed per file pair: ours against bsdiff, xdelta3 and zstd"
python3 bench/engine/delta_bench.py "$BUILD"

# delta codec
echo "== VCDIFF codec: delta size and apply speed against xdelta3 and bsdiff"
python3 bench/engine/vcdiff_bench.py "$BUILD"
