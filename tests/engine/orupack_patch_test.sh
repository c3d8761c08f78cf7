#!/bin/sh
# orupack's patch commands through the command line: their exit codes, and an
# independent reading of the patch file diff writes. What the engine does with the
# files is proven in-process. usage: orupack_patch_test.sh ORUPACK CHECKER
set -eu
ORUPACK=$1
CHECK=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

expect() { # expect STATUS command...
    want=$1; shift
    set +e; "$@" >out.txt 2>err.txt; got=$?; set -e
    if [ "$got" != "$want" ]; then
        echo "expected exit $want, got $got: $*"; cat out.txt err.txt; exit 1
    fi
}

mkdir -p old/bin old/Unibrook new/bin new/Unibrook new/docs
python3 - <<'PY'
import random
random.seed(3)
blob = bytes(random.randrange(256) for _ in range(300000))
open("old/bin/app.exe", "wb").write(blob)
app = bytearray(blob[:1000] + b"changed" + blob[1007:200000] + b"more" + blob[200000:])
for i in range(500, len(app), 700):  # scattered small changes: a difference delta
    app[i] = (app[i] + 3) & 0xFF
open("new/bin/app.exe", "wb").write(app)
# Code whose callers move while the functions they call stay: the x86 transform's case.
targets = [0x400000 + random.randrange(0x100000) for _ in range(64)]
for tree, grown in (("old", False), ("new", True)):
    pick = random.Random(12)
    code = bytearray(b"MZ")
    for block in range(3000):
        code += bytes(random.Random(block).randrange(8) for _ in range(20))
        if grown and block % 7 == 0:
            code += b"\x90" * (1 + block % 3)
        rel = (targets[pick.randrange(64)] - (len(code) + 5)) & 0xFFFFFFFF
        code += b"\xe8" + rel.to_bytes(4, "little")
    open(tree + "/bin/code.dll", "wb").write(code)
for tree, text in (("old", b"v1\r\n"), ("new", b"v2\r\n")):
    open(tree + "/readme.txt", "wb").write(text)
    open(tree + "/Unibrook/ub.dll", "wb").write(text * 100)
open("old/gone.txt", "wb").write(b"bye")
open("new/docs/new.txt", "wb").write(b"hello")
PY

expect 0 "$ORUPACK" diff --help
expect 2 "$ORUPACK" diff old new
expect 2 "$ORUPACK" diff old new p.rtp "UNI=../x"
expect 0 "$ORUPACK" diff old new p.rtp MAIN=. "UNIBROOK=Unibrook=Unibrook job tools"
grep -q "patch MAIN:bin\\\\code.dll (difference delta, x86 branches" out.txt
python3 "$CHECK" p.rtp old new

# A group folder that is elsewhere: aborted without an answer, applied with one.
cp -r old target && mv target/Unibrook ub-elsewhere
expect 1 "$ORUPACK" apply target p.rtp
grep -q "give it with --folder UNIBROOK=DIR" err.txt
expect 0 "$ORUPACK" apply target p.rtp --folder "unibrook=$work/ub-elsewhere"
mv ub-elsewhere target/Unibrook && diff -r target new

# A damaged patch fails with the engine's code; recover undoes an interrupted run
# and refuses a journal that is not ours.
python3 -c "import sys; b=bytearray(open('p.rtp','rb').read()); b[40]^=1; open('bad.rtp','wb').write(b)"
expect 1 "$ORUPACK" apply target bad.rtp
grep -q "0x8002" err.txt
printf 'ORUJRNL1' > target/ORUPATCH.~oru-journal
expect 0 "$ORUPACK" recover target
test ! -e target/ORUPATCH.~oru-journal
printf 'PK\003\004' > target/ORUPATCH.~oru-journal
expect 1 "$ORUPACK" recover target
grep -q "not a journal of this engine" err.txt
echo "orupack patch commands: all checks passed"
