#!/usr/bin/env bash
# The Windows build, checked from Linux: cross-builds tarvolt.exe and
# qrvinfo.exe for 64- and 32-bit Windows with MinGW-w64, runs the 64-bit test
# program under Wine, and has tarvolt.exe (Wine) and the Linux tarvolt convert
# every fixture and corpus file, plain and welded, in separate folders: packs,
# exit codes, messages and app.log must match. The 32-bit programs are only
# built (without warnings); this machine cannot run them.
#
#   tools/windows_check.sh [LINUX_BUILD_DIR]     (default: build)
#
# Uses g++-mingw-w64-x86-64, g++-mingw-w64-i686, wine and tmux: each part
# whose tool is missing is skipped with a line that says how to install it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=${1:-build}
jobs=${JOBS:-2}
corpus=${TARVOLT_CORPUS:-$root/../shared/corpus}

started=$(date +%s)
step_started=$started
step() {
    local now
    now=$(date +%s)
    echo "windows-check: $1 ($((now - step_started)) s)"
    step_started=$now
}
fail() {
    echo "windows-check: FAILED: $*" >&2
    exit 1
}
say_passed() {
    local list note=
    if [ ${#skipped_parts[@]} -gt 0 ]; then
        printf -v list "%s; " "${skipped_parts[@]}"
        note=" (skipped: ${list%; })"
    fi
    echo "windows-check: passed in $(($(date +%s) - started)) s$note"
}

have() { command -v "$1" >/dev/null; }
skipped_parts=()
skip() {
    echo "windows-check: $1 is not installed, $2 skipped (apt-get install $3)"
    skipped_parts+=("$2")
}
# The posix thread model's compilers, which the toolchain files take.
targets=()
if have x86_64-w64-mingw32-g++-posix; then
    targets+=(x86_64)
else
    skip x86_64-w64-mingw32-g++-posix "the 64-bit Windows build and the runs under Wine" g++-mingw-w64-x86-64
fi
if have i686-w64-mingw32-g++-posix; then
    targets+=(i686)
else
    skip i686-w64-mingw32-g++-posix "the 32-bit Windows build" g++-mingw-w64-i686
fi
# The runs need the 64-bit programs.
under_wine=0
if [ "${targets[0]:-}" = x86_64 ]; then
    if have wine && have wineboot && have wineserver; then
        under_wine=1
    else
        skip wine "the runs under Wine" wine
    fi
fi
[ ${#targets[@]} -gt 0 ] || exit 0

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvolt-windows.XXXXXX")
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
tmux_socket=$work/tmux.sock
cleanup() {
    [ -S "$tmux_socket" ] && tmux -S "$tmux_socket" kill-server 2>/dev/null || true
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# 1. The Linux reference and the two Windows builds. Warnings in our own
#    sources fail the check; GoogleTest's are not ours.
cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$linux_build" -j "$jobs" --target tarvolt qrvinfo >/dev/null
for target in "${targets[@]}"; do
    dir=build-win64
    [ "$target" = x86_64 ] || dir=build-win32
    log=$work/build-$target.log
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$target.cmake" >"$log" 2>&1 ||
        { cat "$log"; fail "configuring the $target build"; }
    cmake --build "$dir" -j "$jobs" >>"$log" 2>&1 || { cat "$log"; fail "building for $target"; }
    if grep -E "^($root/)?(src|tests|fuzz|bench|tools)/[^:]*:[0-9]+(:[0-9]+)?: warning:" "$log"; then
        fail "warnings in the $target build"
    fi
    # Only system DLLs: the programs must run from a bare folder.
    for exe in "$dir"/tarvolt.exe "$dir"/qrvinfo.exe "$dir"/tests/tarvolt_tests.exe; do
        extra=$("$target-w64-mingw32-objdump" -p "$exe" | awk '/DLL Name:/ {print $3}' |
            grep -viE '^(kernel32|msvcrt)\.dll$' || true)
        [ -z "$extra" ] || fail "$exe needs $extra"
    done
    step "built $dir"
done
if [ "$under_wine" = 0 ]; then
    say_passed
    exit 0
fi
win=$root/build-win64

# 2. A fresh Wine prefix, headless.
wineboot -i </dev/null >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot"; }
step "wine prefix ready"

# 3. The test program under Wine.
if ! wine "$win/tests/tarvolt_tests.exe" </dev/null >"$work/tests.log" 2>&1; then
    cat "$work/tests.log"
    fail "tests under Wine"
fi
ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran.*/\1/p' "$work/tests.log")
passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\./\1/p' "$work/tests.log")
skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:/\1/p' "$work/tests.log")
step "tests under Wine: $ran run, $passed passed, ${skipped:-0} skipped"
grep '^\[  SKIPPED \] [A-Za-z][^ ]*$' "$work/tests.log" | sed 's/^\[  SKIPPED \]/    skipped:/' || true

# 4. The same conversions on both sides, each in a folder of its own.
inputs=("$root/samples/crate.ase")
while IFS= read -r -d '' f; do inputs+=("$f"); done < <(find "$root/tests/data" -type f -print0 | sort -z)
if [ -d "$corpus" ]; then
    while IFS= read -r -d '' f; do inputs+=("$f"); done < <(find "$corpus" -maxdepth 1 -type f ! -name '*.md' -print0 | sort -z)
else
    echo "windows-check: no corpus at $corpus, fixtures only"
fi

# CR LF to LF, and without what Wine itself prints at times when it starts
# its server: advice about a missing 32-bit Wine, and its own error channel
# ("0048:err:winediag:...", that no desktop window could be made), which are
# no program's output.
strip_cr() {
    tr -d '\r' <"$1" | grep -v -E '^(it looks like wine32 is missing|multiarch needs to be enabled first|execute "dpkg --add-architecture i386|apt-get install wine32|[0-9a-f]{4}:(err|fixme|warn|trace):)' || true
}
# Wine now and then fails to start a program at all: no output, a nonzero
# exit. Such a run is tried again, up to three times in all.
wine_tarvolt() {  # folder, arguments: the exit code of the run that printed
    local dir=$1 code=0
    shift
    for _ in 1 2 3; do
        (cd "$dir" && wine "$win/tarvolt.exe" "$@" </dev/null >stdout 2>&1) && code=0 || code=$?
        [ -z "$(strip_cr "$dir/stdout")" ] || break
    done
    return "$code"
}
runs=0 packs=0 differ=0
for input in "${inputs[@]}"; do
    name=$(basename "$input")
    for options in "" "-o" "-o -l _LM"; do
        runs=$((runs + 1))
        lin=$work/convert/$runs/linux
        wdir=$work/convert/$runs/windows
        mkdir -p "$lin" "$wdir"
        cp "$input" "$lin/$name"
        cp "$input" "$wdir/$name"
        # shellcheck disable=SC2086
        (cd "$lin" && ASAN_OPTIONS=detect_leaks=0 "$root/$linux_build/tarvolt" $options "$name" </dev/null >stdout 2>&1) &&
            lin_code=0 || lin_code=$?
        # shellcheck disable=SC2086
        wine_tarvolt "$wdir" $options "$name" && win_code=0 || win_code=$?
        what="$name [$options]"
        problems=()
        [ "$lin_code" = "$win_code" ] || problems+=("exit code $lin_code on Linux, $win_code on Windows")
        cmp -s <(strip_cr "$lin/stdout") <(strip_cr "$wdir/stdout") || problems+=("standard output")
        cmp -s <(strip_cr "$lin/app.log") <(strip_cr "$wdir/app.log") || problems+=("app.log")
        pack=${name%.*}.qrv
        if [ -f "$lin/$pack" ]; then
            if cmp -s "$lin/$pack" "$wdir/$pack"; then
                packs=$((packs + 1))
                # The Windows inspector must say what the Linux one says.
                (cd "$wdir" && "$root/$linux_build/qrvinfo" --json "$pack" >qrvinfo.linux 2>&1) || true
                (cd "$wdir" && wine "$win/qrvinfo.exe" --json "$pack" </dev/null >qrvinfo.windows 2>&1) || true
                cmp -s "$wdir/qrvinfo.linux" <(strip_cr "$wdir/qrvinfo.windows") || problems+=("qrvinfo --json")
            else
                problems+=("pack bytes")
            fi
        elif [ -e "$wdir/$pack" ]; then
            problems+=("a pack only on Windows")
        fi
        if [ ${#problems[@]} -gt 0 ]; then
            differ=$((differ + 1))
            echo "windows-check: $what differs: ${problems[*]}"
            for f in stdout app.log; do
                diff <(strip_cr "$lin/$f") <(strip_cr "$wdir/$f") | head -5 | sed "s/^/    $f: /" || true
            done
            if [ -f "$wdir/qrvinfo.windows" ]; then
                diff "$wdir/qrvinfo.linux" <(strip_cr "$wdir/qrvinfo.windows") | head -5 | sed "s/^/    qrvinfo: /" || true
            fi
        fi
        rm -rf "$work/convert/$runs"
    done
done
step "converted ${#inputs[@]} files $runs times on each side: $packs identical packs, $differ runs differ"
[ "$differ" = 0 ] || fail "$differ conversions differ between Linux and Windows"

# 5. Failed writes under Wine: a read-only pack is not replaced, and, where
#    root can mount a small tmpfs, a full file system fails the write; either
#    way the earlier pack stays and no temporary is left beside it.
faults=$work/faults
mkdir -p "$faults"
write_fault() {  # folder, what: the run must fail with the earlier pack kept
    local dir=$1 what=$2 before after
    before=$(ls -A "$dir")
    (cd "$dir" && wine "$win/tarvolt.exe" crate.ase </dev/null >"$faults/stdout" 2>&1) && fail "$what: converted"
    grep -q 'ERROR: could not write "crate.qrv"' "$faults/stdout" || { cat "$faults/stdout"; fail "$what: no error"; }
    cmp -s "$dir/crate.qrv" "$faults/earlier.qrv" || fail "$what: the earlier pack changed"
    after=$(ls -A "$dir")
    [ "$before" = "$after" ] || fail "$what: files left: $after"
}
printf 'an earlier pack' >"$faults/earlier.qrv"
mkdir -p "$faults/readonly"
cp "$root/samples/crate.ase" "$faults/readonly/"
: >"$faults/readonly/app.log"
cp "$faults/earlier.qrv" "$faults/readonly/crate.qrv"
chmod 0444 "$faults/readonly/crate.qrv"
write_fault "$faults/readonly" "read-only pack"
checked="read-only pack kept"
mkdir -p "$faults/full"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=1m tmpfs "$faults/full" 2>/dev/null; then
    cp "$root/samples/crate.ase" "$faults/full/"
    cp "$faults/earlier.qrv" "$faults/full/crate.qrv"
    : >"$faults/full/app.log"
    dd if=/dev/zero of="$faults/full/filler" bs=4096 2>/dev/null || true
    write_fault "$faults/full" "full file system"
    umount "$faults/full"
    checked="$checked, full file system fails the write"
else
    echo "windows-check: not root or no tmpfs here, full file system not checked"
fi
step "failed writes: $checked"

# 6. The console key wait: with the console as standard output, one key,
#    unechoed, ends the run; with standard output in a file it does not wait.
#    Wine connects the console's keyboard only when standard input is the
#    terminal too, so this run keeps it.
if command -v tmux >/dev/null; then
    key=$work/key
    mkdir -p "$key"
    cp "$root/samples/crate.ase" "$key/"
    cat >"$key/run.sh" <<EOF
cd '$key'
wine '$win/tarvolt.exe' crate.ase > to-file.txt
echo "exit=\$?" > to-file.result
wine '$win/tarvolt.exe' crate.ase
echo "exit=\$?" > result.tmp
mv result.tmp result
exec sleep 60
EOF
    tmux="tmux -f /dev/null -S $tmux_socket"
    env -u TMUX $tmux new-session -d -x 100 -y 30 "sh '$key/run.sh'"
    screen() { $tmux capture-pane -p; }
    for _ in $(seq 100); do
        [ -e "$key/to-file.result" ] && break
        sleep 0.2
    done
    [ "$(cat "$key/to-file.result" 2>/dev/null)" = "exit=0" ] || fail "waited for a key with standard output in a file"
    for _ in $(seq 100); do
        screen | grep -q "press any key" && break
        sleep 0.2
    done
    screen | grep -q "press any key" || { screen; fail "no key prompt on the console"; }
    sleep 0.5
    [ ! -e "$key/result" ] || fail "did not wait for a key on the console"
    $tmux send-keys Z
    for _ in $(seq 50); do
        [ -e "$key/result" ] && break
        sleep 0.2
    done
    [ "$(cat "$key/result" 2>/dev/null)" = "exit=0" ] || { screen; fail "one key did not end the run"; }
    ! screen | grep -q Z || fail "the key was echoed"
    $tmux kill-server
    step "console key wait"
else
    skip tmux "the console key wait" tmux
fi

wineserver -k || true
say_passed
