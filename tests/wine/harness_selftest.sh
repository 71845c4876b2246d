#!/usr/bin/env bash
# Checks harness.sh on this machine: boot, reuse, wh_run, COM pairs, teardown.
# Usage: harness_selftest.sh [win32|win64|all]   (default all; prefixes are rebuilt)
# The prefixes (0.6 GB win32, 1.2 GB win64) are removed at the end unless
# WH_SELFTEST_KEEP=1.
# shellcheck disable=SC2015
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# wineboot and explorer want a display; give them a virtual one.
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a bash "$here/$(basename "$0")" "$@"
fi

# shellcheck source=harness.sh
. "$here/harness.sh"
wh_trap_install

which_arch=${1:-all}
fails=0
declare -a started_pids=()
declare -a report=()

ok()   { echo "PASS: $*"; }
bad()  { echo "FAIL: $*"; fails=$((fails + 1)); }
now_ms() { local t; t=$(date +%s%N); echo $((t / 1000000)); }

# Send $3 into pty $1, expect it on pty $2; the reader is opened first.
check_link() {
    local from=$1 to=$2 msg=$3 got rpid
    got=$(mktemp)
    timeout 5 head -c "${#msg}" <"$to" >"$got" &
    rpid=$!
    sleep 0.2
    printf '%s' "$msg" >"$from"
    wait "$rpid"
    if [ "$(cat "$got")" = "$msg" ]; then rm -f "$got"; return 0; fi
    echo "  sent '$msg', got '$(cat "$got")'"
    rm -f "$got"
    return 1
}

# Nothing must arrive on pty $1 within a second.
check_silent() {
    local got n
    got=$(mktemp)
    timeout 1 head -c 1 <"$1" >"$got"
    n=$(wc -c <"$got")
    rm -f "$got"
    [ "$n" -eq 0 ]
}

run_arch() {
    local arch=$1 dir=$2 out=$2-out t0 ms rc p5 p6 p7 old_pid pty_dir
    echo "=== $arch in $dir"
    case "$dir" in /tmp/wh-selftest*) rm -rf -- "$dir" "$out" ;; esac
    mkdir -p "$out"

    if wh_prefix_up "$arch" "$dir"; then
        ok "$arch prefix booted in ${WH_BOOT_SECONDS} s"
        report+=("$arch fresh boot: ${WH_BOOT_SECONDS} s")
    else
        bad "$arch prefix did not boot"
        return 1
    fi
    started_pids+=("$WH_SERVER_PID")
    [ -n "$WH_SERVER_PID" ] && ok "own wineserver pid $WH_SERVER_PID" || bad "no wineserver pid recorded"

    # Exported, so child processes see them.
    if [ "$(bash -c 'echo "$WINEPREFIX|$WINEARCH|$WINEDEBUG"')" = "$dir|$arch|-all" ]; then
        ok "WINEPREFIX/WINEARCH/WINEDEBUG exported"
    else
        bad "environment not exported: $(bash -c 'echo "$WINEPREFIX|$WINEARCH|$WINEDEBUG"')"
    fi
    report+=("$arch loader: WH_WINE=$WH_WINE WH_WINE32=$WH_WINE32")

    t0=$(now_ms)
    wh_prefix_up "$arch" "$dir" && ms=$(( $(now_ms) - t0 )) && ok "second wh_prefix_up is a no-op (${ms} ms)" ||
        bad "second wh_prefix_up failed"

    t0=$(now_ms)
    wh_run 30 "$out/echo.txt" cmd /c echo hi >/dev/null; rc=$?
    ms=$(( $(now_ms) - t0 ))
    if [ "$rc" -eq 0 ] && grep -q '^hi' "$out/echo.txt"; then
        ok "wh_run cmd /c echo hi (${ms} ms)"
        report+=("$arch 'cmd /c echo hi' with warm server: ${ms} ms")
    else
        bad "wh_run cmd /c echo hi: rc=$rc, output: $(cat "$out/echo.txt")"
    fi

    wh_wine cmd /c echo hi >"$out/direct.txt" 2>&1; rc=$?
    [ "$rc" -eq 0 ] && grep -q '^hi' "$out/direct.txt" && ok "wh_wine cmd /c echo hi" ||
        bad "wh_wine cmd /c echo hi: rc=$rc, $(cat "$out/direct.txt")"

    wh_run 30 "$out/arch.txt" cmd /c echo %PROCESSOR_ARCHITECTURE% >/dev/null
    report+=("$arch native cmd.exe reports $(tr -d '\r\n' <"$out/arch.txt")")
    if [ "$arch" = win64 ]; then
        grep -q AMD64 "$out/arch.txt" && ok "64-bit cmd.exe runs" || bad "64-bit cmd: $(cat "$out/arch.txt")"
        # A Linux path to a 32-bit exe goes to the 32-bit loader.
        wh_run 30 "$out/arch32.txt" "$dir/drive_c/windows/syswow64/cmd.exe" /c echo %PROCESSOR_ARCHITECTURE% >/dev/null
        grep -q x86 "$out/arch32.txt" && ok "32-bit cmd.exe runs in the win64 prefix" ||
            bad "32-bit cmd in win64: $(cat "$out/arch32.txt")"
    fi

    wh_run 30 "$out/exit.txt" cmd /c exit 7 >/dev/null; rc=$?
    [ "$rc" -eq 7 ] && ok "wh_run passes the exit code through" || bad "exit code: want 7, got $rc"

    wh_run 30 "$out/reg.txt" reg query 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog >/dev/null
    grep -q 'ShowCrashDialog.*0x0' "$out/reg.txt" && ok "ShowCrashDialog=0" ||
        bad "crash dialog still on: $(cat "$out/reg.txt")"

    # A real crash must end the program, not wait on winedbg's dialog.
    local cc=i686-w64-mingw32-gcc
    [ "$arch" = win64 ] && cc=x86_64-w64-mingw32-gcc
    if command -v "$cc" >/dev/null 2>&1; then
        printf 'int main(void) { *(volatile int *)0 = 1; return 0; }\n' >"$out/crash.c"
        if "$cc" -o "$out/crash.exe" "$out/crash.c" 2>"$out/cc.txt"; then
            # Several runs: the exit status Wine reports for a crash is racy.
            local i codes="" crash_bad=0
            for i in 1 2 3 4 5; do
                t0=$(now_ms)
                wh_run 20 "$out/crash.txt" "$out/crash.exe" >/dev/null 2>>"$out/crash.err"; rc=$?
                ms=$(( $(now_ms) - t0 ))
                codes="$codes $rc"
                if [ "$rc" -eq 0 ] || [ "$rc" -eq 124 ] || ! grep -q 'Unhandled' "$out/crash.txt"; then
                    bad "crash run $i: rc=$rc, $(head -c 300 "$out/crash.txt")"
                    crash_bad=1
                fi
            done
            [ "$crash_bad" -eq 0 ] && ok "crash ends at once with a non-zero status (rc:$codes; last ${ms} ms)"
            report+=("$arch crashing exe x5: rc$codes, last took ${ms} ms; harness corrected $(grep -c 'reported exit 0' "$out/crash.err") of 5")
        else
            bad "could not build crash.exe: $(cat "$out/cc.txt")"
        fi
    else
        echo "SKIP: no $cc, crash check left out"
    fi

    # No WScript.Sleep in Wine, so spin.
    printf 'Dim t\r\nt = Timer\r\nDo While Timer - t < 60\r\nLoop\r\n' >"$out/spin.vbs"
    t0=$(now_ms)
    wh_run 2 "$out/spin.txt" cscript.exe //nologo "$(wh_winpath "$out/spin.vbs")" >/dev/null 2>"$out/spin.err"; rc=$?
    ms=$(( $(now_ms) - t0 ))
    if [ "$rc" -eq 124 ] && grep -q TIMEOUT "$out/spin.err"; then
        ok "wh_run time-out gives 124 and a message (${ms} ms)"
    else
        bad "time-out: rc=$rc, stderr: $(cat "$out/spin.err")"
    fi
    sleep 0.5
    if pgrep -f 'spin\.vbs' >/dev/null; then bad "timed-out cscript still running"; else ok "timed-out program is gone"; fi

    pty_dir="$dir/.wh/pty"
    if wh_com_pair 5 6 && wh_com_pair 7 8; then ok "pairs COM5/COM6 and COM7/COM8 up"; else bad "pair set-up failed"; return 1; fi
    started_pids+=("${WH_PAIR_PID[5]}" "${WH_PAIR_PID[7]}")
    p5=$(wh_pty 5); p6=$(wh_pty 6); p7=$(wh_pty 7)
    [ "$(readlink "$dir/dosdevices/com5")" = "$p5" ] && [ "$(readlink "$dir/dosdevices/com8")" = "$pty_dir/pty8" ] &&
        ok "dosdevices/com5..com8 point at the socat links" || bad "dosdevices links wrong: $(ls -l "$dir/dosdevices")"
    wh_com_pair 6 9 2>/dev/null && bad "COM6 was accepted twice" || ok "a port cannot join two pairs"

    check_link "$p5" "$p6" "five-to-six" && ok "bytes COM5 -> COM6" || bad "bytes COM5 -> COM6"
    check_link "$p6" "$p5" "six-to-five" && ok "bytes COM6 -> COM5" || bad "bytes COM6 -> COM5"
    check_link "$p7" "$pty_dir/pty8" "seven" && ok "bytes COM7 -> COM8" || bad "bytes COM7 -> COM8"
    check_link "$pty_dir/pty8" "$p7" "eight" && ok "bytes COM8 -> COM7" || bad "bytes COM8 -> COM7"

    # The Windows side reaches the same cable through dosdevices.
    local got rpid
    got="$out/fromwin.txt"
    timeout 10 head -c 9 <"$p6" >"$got" &
    rpid=$!
    sleep 0.2
    wh_run 15 "$out/comwrite.txt" cmd /c "echo fromwin> COM5" >/dev/null
    wait "$rpid"
    [ "$(head -c 7 "$got")" = fromwin ] && ok "cmd.exe writing COM5 arrives on COM6's pty" ||
        bad "Windows write to COM5: got '$(cat "$got")', cmd said: $(cat "$out/comwrite.txt")"

    # Unread bytes must not survive a restart.
    printf 'stale' >"$p5"
    sleep 0.2
    old_pid=${WH_PAIR_PID[5]}
    if wh_com_pair_restart 6; then ok "pair COM5/COM6 restarted"; else bad "restart failed"; fi
    started_pids+=("${WH_PAIR_PID[5]}")
    _wh_alive "$old_pid" && bad "old socat $old_pid still alive" || ok "old socat $old_pid gone"
    [ "${WH_PAIR_PID[5]}" != "$old_pid" ] && ok "new socat pid ${WH_PAIR_PID[5]}" || bad "socat pid unchanged"
    check_silent "$p6" && ok "no stale bytes after restart" || bad "stale bytes crossed a restart"
    check_link "$p5" "$p6" "fresh" && ok "restarted pair carries bytes" || bad "restarted pair is dead"

    local pid78=${WH_PAIR_PID[7]}
    wh_com_pair_down 8
    if ! _wh_alive "$pid78" && [ ! -e "$dir/dosdevices/com7" ] && [ ! -e "$pty_dir/pty8" ]; then
        ok "wh_com_pair_down 8 removed COM7/COM8"
    else
        bad "COM7/COM8 left behind"
    fi

    local server=$WH_SERVER_PID
    wh_prefix_down && ok "wh_prefix_down" || bad "wh_prefix_down returned an error"
    _wh_alive "$server" && bad "wineserver $server survived" || ok "wineserver $server stopped"
    [ -z "$(wh_prefix_pids "$dir")" ] && ok "no wine process left for $dir" ||
        bad "left over: $(wh_prefix_pids "$dir" | tr '\n' ' ')"
    [ ! -e "$dir/dosdevices/com5" ] && [ ! -e "$p5" ] && ok "COM links removed" || bad "COM links left"

    # Existing prefix: no boot, just a new server.
    t0=$(now_ms)
    if wh_prefix_up "$arch" "$dir"; then
        ms=$(( $(now_ms) - t0 ))
        ok "reuse of the existing prefix (${ms} ms)"
        report+=("$arch reuse of existing prefix (new server + wineboot): ${ms} ms")
        started_pids+=("$WH_SERVER_PID")
        wh_run 30 "$out/echo2.txt" cmd /c echo again >/dev/null && grep -q again "$out/echo2.txt" &&
            ok "programs run after reuse" || bad "after reuse: $(cat "$out/echo2.txt")"
        wh_com_pair 5 6 && started_pids+=("${WH_PAIR_PID[5]}")
    else
        bad "reuse of existing prefix failed"
    fi
    # The pair stays up on purpose: wh_cleanup_all must take it down.
    wh_cleanup_all
    [ -z "$(wh_prefix_pids "$dir")" ] && ok "wh_cleanup_all left nothing for $dir" ||
        bad "after cleanup: $(wh_prefix_pids "$dir" | tr '\n' ' ')"
}

case "$which_arch" in
    win32|win64|all) ;;
    *) echo "usage: $0 [win32|win64|all]" >&2; exit 2 ;;
esac
for a in win32 win64; do
    [ "$which_arch" = all ] || [ "$which_arch" = "$a" ] || continue
    if ! wh_can_run "$a"; then
        echo "NOT RUN: $a: $(wh_why_not "$a")"
        continue
    fi
    if [ "$a" = win32 ]; then run_arch win32 /tmp/wh-selftest; else run_arch win64 /tmp/wh-selftest64; fi
done

for p in "${started_pids[@]}"; do
    [ -n "$p" ] || continue
    _wh_alive "$p" && bad "pid $p ($(tr '\0' ' ' <"/proc/$p/cmdline")) still running"
done
if pgrep -f 'link=/tmp/wh-selftest' >/dev/null; then bad "a socat for the self-test is still running"; fi
echo "checked ${#started_pids[@]} started socat/wineserver pids for leftovers"

if [ "${WH_SELFTEST_KEEP:-0}" != 1 ]; then
    rm -rf -- /tmp/wh-selftest /tmp/wh-selftest-out /tmp/wh-selftest64 /tmp/wh-selftest64-out
fi

echo "--- measurements"
printf '  %s\n' "${report[@]}"
if [ "$fails" -eq 0 ]; then echo "ALL PASSED"; else echo "$fails FAILED"; fi
[ "$fails" -eq 0 ]
