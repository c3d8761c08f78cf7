#!/usr/bin/env bash
# Archive benchmark; takes the native-release build folder.
set -euo pipefail
exec python3 "$(dirname "$0")/run_bench.py" "${1:-build/native-release}"
