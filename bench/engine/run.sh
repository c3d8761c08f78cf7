#!/usr/bin/env bash
# Engine benchmark: time and peak memory of orupack diff and of applying a patch
# to a 200 MB file, with each delta method and with the whole file. Takes the
# native-release build folder; needs GNU time (/usr/bin/time) and about 1.5 GB of
# free space in the temporary folder.
set -euo pipefail
BUILD=$(realpath "${1:-build/native-release}")
ORUPACK=$BUILD/tools/orupack
SIZE_MB=${ORU_BENCH_MB:-200}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir old new

# Text-like content (random words), so both deflate and the delta have work;
# 200 scattered edits and one inserted block make the new version.
python3 - "$SIZE_MB" <<'PY'
import random, sys
size = int(sys.argv[1]) << 20
rng = random.Random(5)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) + b" "
         for _ in range(5000)]
data = bytearray()
while len(data) < size:
    data += b"".join(rng.choice(words) for _ in range(10000))
open("old/big.bin", "wb").write(data)
for _ in range(200):
    p = rng.randrange(len(data) - 100)
    data[p:p + 20] = bytes(rng.randrange(256) for _ in range(20))
data[1000:1000] = b"inserted block" * 1000
open("new/big.bin", "wb").write(data)
PY

measure() { # measure LABEL command...
    local label=$1; shift
    /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null
    read -r seconds kb <time.txt
    awk -v l="$label" -v s="$seconds" -v k="$kb" 'BEGIN { printf "%-42s %7.2f s %8.1f MB peak\n", l, s, k / 1024 }'
}

for kind in vcdiff difference whole; do
    flag="--method $kind"
    [ "$kind" = whole ] && flag=--whole
    measure "diff ($kind)" "$ORUPACK" diff old new "$kind.rtp" --quiet $flag
    printf '%-42s %10d bytes\n' "patch file ($kind)" "$(stat -c %s "$kind.rtp")"
    rm -rf target && mkdir target && cp old/big.bin target/
    measure "apply ${SIZE_MB} MB ($kind)" "$ORUPACK" apply target "$kind.rtp"
    cmp -s target/big.bin new/big.bin || { echo "apply ($kind) produced a wrong file"; exit 1; }
    measure "verify, already up to date ($kind)" "$ORUPACK" verify target "$kind.rtp"
done

# The same pair through xdelta3 for comparison (bsdiff needs about 17 times the file
# in memory, so it is left out at this size). Our apply also checks the old file,
# hashes the new one and swaps it in under the journal; xdelta3 only writes.
if command -v xdelta3 >/dev/null; then
    measure "diff (xdelta3 -9)" xdelta3 -e -9 -f -s old/big.bin new/big.bin xd.vcdiff
    printf '%-42s %10d bytes\n' "patch file (xdelta3 -9)" "$(stat -c %s xd.vcdiff)"
    measure "apply ${SIZE_MB} MB (xdelta3 -d)" xdelta3 -d -f -s old/big.bin xd.vcdiff out.bin
    cmp -s out.bin new/big.bin || { echo "xdelta3 -d produced a wrong file"; exit 1; }
fi
