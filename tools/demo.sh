#!/usr/bin/env bash
# A real update of a sample installation: makes a small Parcelon installation and an
# update package for it with orupack (an archive of new files and a patch made by our
# engine's diff, with the engine packed beside it), then runs ORUUpdate.exe on it
# under Wine. With DISPLAY set the window appears on your display and you press Done
# yourself; without one it runs under Xvfb and the demo driver presses Done. Either
# way the History is printed and a screenshot of the window saved.
#
# Expects the native and windows presets built (./run demo does that first); other
# build folders can be named with ORU_NATIVE_BUILD and ORU_WINDOWS_BUILD.
# Usage: tools/demo.sh [OUT_DIR]          (default: out/demo)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
NATIVE=${ORU_NATIVE_BUILD:-$ROOT/build/native}
WIN=${ORU_WINDOWS_BUILD:-$ROOT/build/windows}
ORUPACK=$NATIVE/tools/orupack
UPDATE_EXE=$WIN/src/app/ORUUpdate.exe
ENGINE=$WIN/engine/patchw32.dll
DRIVER=$WIN/tools/demo_driver.exe
WINE_RUN=$WIN/wine-run.sh
SESSION=$ROOT/cmake/wine-session.sh
PREFIX=$WIN/wineprefix

if [ "${1:-}" = "--inside-display" ]; then
    INSIDE=1
    shift
else
    INSIDE=0
fi
DEMO=$(realpath -m "${1:-$ROOT/out/demo}")

for f in "$ORUPACK" "$UPDATE_EXE" "$ENGINE" "$DRIVER" "$WINE_RUN"; do
    [ -e "$f" ] || { echo "demo: $f is missing; build the native and windows presets first (./run demo)" >&2; exit 1; }
done

# Runs the update under the current display: the driver reports when Done is
# offered, the screenshot is taken, then the driver (unattended) or you press Done.
run_update() {
    local mode=$1 signals=$DEMO/signals
    rm -rf "$signals"
    mkdir -p "$signals"
    "$SESSION" start "$PREFIX" >/dev/null
    # Registered like a real installation, so that reloading the county table after
    # the run finds the presort tables without asking.
    "$WINE_RUN" reg add 'HKLM\Software\Oru Software\Parcelon 2010\Paths' /v ORU_PATH \
        /d "Z:${DEMO//\//\\}\\Parcelon\\" /f >/dev/null 2>&1
    local status=0
    "$WINE_RUN" "$DRIVER" "$DEMO/Update/ORUUpdate.exe" "$DEMO/Parcelon/" "$signals" $mode \
        >"$signals/driver.log" 2>&1 &
    local driver=$!
    for _ in $(seq 1 600); do
        [ -s "$signals/window.txt" ] && break
        kill -0 "$driver" 2>/dev/null || break
        sleep 0.5
    done
    if [ -s "$signals/window.txt" ]; then
        read -r left top width height <"$signals/window.txt"
        sleep 0.5 # let the last line and the Done caption paint
        # The Wine desktop window holds the update window; fall back to the whole screen.
        import -window "Default - Wine desktop" "$signals/desktop.png" 2>/dev/null ||
            import -window root "$signals/desktop.png"
        /usr/bin/convert "$signals/desktop.png" -crop "${width}x${height}+${left}+${top}" +repage \
            "$DEMO/ORUUpdate-window.png"
        touch "$signals/shot.done"
    fi
    wait "$driver" || status=$?
    "$WINE_RUN" reg delete 'HKLM\Software\Oru Software\Parcelon 2010\Paths' /v ORU_PATH /f >/dev/null 2>&1 || true
    "$SESSION" stop "$PREFIX" >/dev/null
    return $status
}

if [ "$INSIDE" = 1 ]; then
    run_update --unattended
    exit $?
fi

echo "== sample installation and package in $DEMO"
rm -rf "$DEMO"
mkdir -p "$DEMO"/{Parcelon,Update,source}
SRC=$DEMO/source
python3 - "$DEMO" <<'PY'
import os, random, sys
demo = sys.argv[1]
rnd = random.Random(2010)
def write(rel, data):
    path = os.path.join(demo, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
program = bytearray(b"MZ" + bytes(rnd.randrange(256) for _ in range(300000)))
rates = "".join(f"{z:05d};{rnd.randrange(30, 900) / 100:.2f}\r\n" for z in range(10000, 12000)).encode()
counties = b"".join(rnd.randrange(1 << 32).to_bytes(4, "little") + bytes([rnd.randrange(56)]) for _ in range(3000))
for tree in ("Parcelon", "source/old"):
    write(f"{tree}/parcelon.exe", bytes(program))
    write(f"{tree}/Data Files/rates.dat", rates)
    write(f"{tree}/Data Files/obsolete.dat", b"retired zone table\r\n")
write("Parcelon/Presort Tables/COUNTIES.TBL", counties)
# The new release: a few bytes of the program change, rates go up, a table is added.
for at in (1000, 150000, 299000):
    program[at:at + 16] = b"Parcelon 4.1    "
write("source/new/parcelon.exe", bytes(program))
write("source/new/Data Files/rates.dat", rates.replace(b";0.", b";1."))
write("source/new/Data Files/zones.dat", b"zone;1;2;3\r\n" * 500)
write("source/files/COUNTIES.TBL", counties[:-5] + b"\x01\x02\x03\x04\x05")
write("source/files/Readme.txt", b"Parcelon 4.1: new postage rates and zone tables.\r\n")
write("source/files/Update notes.txt", b"Installed by the ORU update of 01.23.00.00.\r\n")
PY
cat >"$SRC/manifest.txt" <<MANIFEST
# The sample package: whole files into placeholder folders, a patch, the engine.
version: 01.23.00.00
notice: 100
notice-line: Parcelon has new postage rates.
notice-line:  Restart Parcelon to use them.
file: <INSTALLDIR>;1 Presort Tables\\COUNTIES.TBL = files/COUNTIES.TBL
file: <INSTALLDIR>;1 Readme.txt = files/Readme.txt
file: <TEMP>;1 Parcelon update notes.txt = files/Update notes.txt
patch-old: old
patch-new: new
engine: $ENGINE
MANIFEST
"$ORUPACK" build "$SRC/manifest.txt" "$DEMO/Update"
cp "$UPDATE_EXE" "$DEMO/Update/"

echo "== ORUUpdate.exe \"$DEMO/Parcelon/\" -NV N -P 1 (under Wine)"
status=0
if [ -n "${DISPLAY:-}" ]; then
    echo "   The update window opens on your display: press OK on the notice, then Done."
    run_update "" || status=$?
else
    xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --inside-display "$DEMO" || status=$?
fi
sed 's/^box: /message box: /' "$DEMO/signals/driver.log" 2>/dev/null || true

if [ -f "$DEMO/signals/history.txt" ]; then
    echo "== History"
    tr -d '\r' <"$DEMO/signals/history.txt"
else
    echo "demo: the run did not reach its end (no History)" >&2
    status=1
fi
echo "== installation after the update"
(cd "$DEMO/Parcelon" && find . -type f | sort | sed 's|^\./|   |')
if [ -f "$DEMO/ORUUpdate-window.png" ]; then
    echo "== screenshot: $DEMO/ORUUpdate-window.png"
fi
echo "== ORUUpdate.exe exit status: $status"
exit $status
