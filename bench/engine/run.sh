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

# What crash safety costs: the same apply with the journal and every flush, and
# with neither (bench/engine/JournalCost.cpp). Runs alternate, the median of three
# counts; the target is copied afresh before each.
COST=$BUILD/bench/engine/journal_cost
cost_of() { # cost_of LABEL SOURCE_DIR PATCH [DISK_FLOOR_SECONDS]
    local label=$1 source=$2 patch=$3 floor=${4:-0} kind runs=3
    for kind in durable bare; do : >"$kind.times"; done
    for ((i = 0; i < runs; i++)); do
        for kind in durable bare; do
            rm -rf target && cp -r "$source" target && sync
            "$COST" "$kind" target "$patch" >>"$kind.times"
        done
    done
    local durable bare
    durable=$(sort -n durable.times | sed -n 2p)
    bare=$(sort -n bare.times | sed -n 2p)
    awk -v l="$label" -v d="$durable" -v b="$bare" -v f="$floor" 'BEGIN {
        printf "%-34s %7.2f s with journal and flushes, %7.2f s without: %+.1f %%\n", l, d, b, (d / b - 1) * 100
        # Durable cannot beat the slower of the bare apply and the disk floor.
        if (f > b) printf "%-34s %+.1f %% over the disk floor, the least any durable apply takes\n", "", (d / f - 1) * 100 }'
}
# The floor of any durable apply: the new file's bytes written and on the disk.
measure "disk floor: ${SIZE_MB} MB written, flushed" dd if=new/big.bin of=floor.bin bs=8M conv=fdatasync status=none
read -r floor _ <time.txt
rm -f floor.bin
cost_of "journal cost, ${SIZE_MB} MB delta" old difference.rtp "$floor"

# Many small files: every one is patched, so each has its own record, flush and swap.
rm -rf old new && mkdir -p old/Data new/Data
python3 - <<'PY'
import random
rng = random.Random(7)
for i in range(2000):
    body = bytes(rng.randrange(256) for _ in range(4096))
    open(f"old/Data/f{i:04}.dat", "wb").write(body)
    open(f"new/Data/f{i:04}.dat", "wb").write(body[:1000] + b"changed" + body[1007:])
PY
"$ORUPACK" diff old new small.rtp --quiet
cost_of "journal cost, 2000 files of 4 KB" old small.rtp
