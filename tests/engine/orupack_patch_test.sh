#!/bin/sh
# orupack diff / verify / apply end to end on a small tree, plus an independent
# reading of the patch file it wrote. usage: orupack_patch_test.sh ORUPACK CHECKER
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
grep -q "patch MAIN:bin\\\\app.exe (difference delta, [0-9]* bytes; VCDIFF" out.txt
grep -q "patch MAIN:bin\\\\code.dll (difference delta, x86 branches" out.txt
python3 "$CHECK" p.rtp old new

cp -r old target
expect 0 "$ORUPACK" verify target p.rtp
expect 0 "$ORUPACK" apply target p.rtp
grep -q "^\[19\] group: UNIBROOK \[Unibrook job tools\] -> apply" out.txt
diff -r target new
expect 0 "$ORUPACK" apply target p.rtp
grep -q "already up to date" out.txt

# A group folder that is elsewhere: aborted without an answer, applied with one.
rm -rf target && cp -r old target && mv target/Unibrook ub-elsewhere
expect 1 "$ORUPACK" apply target p.rtp
grep -q "give it with --folder UNIBROOK=DIR" err.txt
cmp target/readme.txt old/readme.txt
expect 0 "$ORUPACK" apply target p.rtp --folder "unibrook=$work/ub-elsewhere"
cmp ub-elsewhere/ub.dll new/Unibrook/ub.dll

# A file that is neither old nor new, and a damaged patch: exit 1, nothing written.
rm -rf target && cp -r old target && echo local > target/readme.txt
expect 1 "$ORUPACK" verify target p.rtp
grep -q "neither the original nor the updated version" err.txt
python3 -c "import sys; b=bytearray(open('p.rtp','rb').read()); b[40]^=1; open('bad.rtp','wb').write(b)"
rm -rf target && cp -r old target
expect 1 "$ORUPACK" apply target bad.rtp
grep -q "0x8002" err.txt
diff -r target old

# An interrupted run: verify reports it, recover undoes it; a foreign journal is
# refused and stays, with the installation untouched.
rm -rf target && cp -r old target && printf 'ORUJRNL1' > target/ORUPATCH.~oru-journal
expect 0 "$ORUPACK" verify target p.rtp
grep -q "was interrupted" out.txt
expect 0 "$ORUPACK" recover target
grep -q "found and undone" out.txt
test ! -e target/ORUPATCH.~oru-journal
diff -r target old
printf 'PK\003\004' > target/ORUPATCH.~oru-journal
expect 1 "$ORUPACK" recover target
grep -q "cannot be used: it is not a journal of this engine" err.txt
test -e target/ORUPATCH.~oru-journal
expect 1 "$ORUPACK" apply target p.rtp
rm target/ORUPATCH.~oru-journal && diff -r target old
echo "orupack patch commands: all checks passed"
