#!/usr/bin/env bash
# The demo as a user meets the control, called by demo.sh: ORVANTA.OCX is
# registered with regsvr32 in the demo's own prefix and driven from a script
# host (cscript) through COM, as the samples do. The far end of the virtual
# cable (COM5 <-> COM6) plays the printer and the scanner; Notepad is the
# application the scanned codes are typed into.
#   run_demo.sh BUILD i686|x86_64 [--auto]
# With --auto the demo answers the control's boxes itself and prints them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
arch=$2
auto=${3:-}
prefix_arch=win32
[ "$arch" = x86_64 ] && prefix_arch=win64
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install
start=$(date +%s)
out="$build/demo"
mkdir -p "$out"
rm -f "$out/scan.done" "$out"/*.log
wh_prefix_up "$prefix_arch" "$build/wine/demo-$prefix_arch"
wh_com_pair 5 6
helper="$build/$arch/orvanta_demo.exe"
win() { wh_winpath "$1"; }
cd "$out"

echo "== 1. Register the control: regsvr32 ORVANTA.OCX ($prefix_arch prefix $build/wine/demo-$prefix_arch)"
# Unregistered first, so that every run starts where a new user starts.
wh_run 60 "$out/regsvr32-u.log" regsvr32 /s /u "$(win "$build/$arch/ORVANTA.OCX")" >/dev/null || true
wh_run 60 "$out/regsvr32.log" regsvr32 "$(win "$build/$arch/ORVANTA.OCX")" | tr -d '\r' | sed 's/^/  /'
wh_run 30 "$out/reg.log" reg query 'HKCR\ORVANTA.OrvantaCtrl.1\CLSID' | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ */  ProgID ORVANTA.OrvantaCtrl.1 -> CLSID /p'

echo "== 2. A print job from VBScript (demo/print_job.vbs) to the printer on COM6"
wh_run 60 "$out/print.log" cscript.exe //nologo "$(win "$root/demo/print_job.vbs")" COM5 \
    "$(win "$root/demo/label.prn")" | tr -d '\r'
python3 "$root/demo/far_end.py" printer "$(wh_pty 6)"
echo "  OCXPROT.PRT (the control's copy of what it wrote, in cscript's current directory): $(stat -c %s "$out/OCXPROT.PRT") bytes"

# Waits (at most 30 s) until a host's log shows its scan task started, or the host ended.
until_started() {
    for _ in $(seq 1 300); do
        grep -q 'ActivateScanTask' "$1" 2>/dev/null && return
        kill -0 "$2" 2>/dev/null || return
        sleep 0.1
    done
}

echo "== 3. A scan session from VBScript (demo/scan_session.vbs): codes typed into Notepad"
wh_com_pair_restart 5 >/dev/null
wh_run 120 "$out/scan.log" cscript.exe //nologo "$(win "$root/demo/scan_session.vbs")" COM5 \
    "$(win "$out/scan.done")" "$(win "$helper")" >/dev/null &
session=$!
until_started "$out/scan.log" "$session"
tr -d '\r' <"$out/scan.log"
if [ "$auto" = --auto ]; then
    wh_run 90 "$out/boxes.log" "$helper" boxes 2 60 >/dev/null &
else
    echo "  (press OK on the control's two closing messages when they appear)"
    wh_run 600 "$out/boxes.log" "$helper" boxes 2 590 --watch >/dev/null &
fi
boxes=$!
python3 "$root/demo/far_end.py" scanner "$(wh_pty 6)" '4711\r' 'Lot-AB12\r' ERROR '4006381333931\r' ENDSCAN
wait "$boxes" || true
echo "  the control's closing messages after ENDSCAN:"
tr -d '\r' <"$out/boxes.log"

echo "  Notepad's text, read back from its window:"
wh_run 30 "$out/typed.txt" "$helper" text Notepad | tr -d '\r' | sed 's/^/    | /'
echo
shot="$out/scan-notepad.png"
if wh_run 30 "$out/shot.log" "$helper" shot Notepad "$(win "$out/scan-notepad.bmp")" >/dev/null &&
   python3 "$root/demo/bmp_to_png.py" "$out/scan-notepad.bmp" "$shot"; then
    rm -f "$out/scan-notepad.bmp"
    echo "  screenshot of Notepad with the typed codes: $shot"
else
    echo "  no screenshot (see $out/shot.log)"
fi
touch "$out/scan.done"
wait "$session" || true
tail -n 1 "$out/scan.log" | tr -d '\r'

echo "== 4. The event way: a compiled host (demo/event_host.cpp) takes the codes as CodeScanned events"
wh_com_pair_restart 5 >/dev/null
wh_run 90 "$out/events.log" "$build/$arch/orvanta_event_host.exe" COM5 2 >/dev/null &
host=$!
until_started "$out/events.log" "$host"
python3 "$root/demo/far_end.py" scanner "$(wh_pty 6)" 'A-100' 'B-200' >"$out/events-scanner.log"
wait "$host" || true
tr -d '\r' <"$out/events.log"
cat "$out/events-scanner.log"
echo "== 5. The same print job to a printer on the network, listening on 127.0.0.1 (raw TCP)"
rm -f "$out/netprinter.port"
python3 "$root/demo/far_end.py" netprinter "$out/netprinter.port" >"$out/netprinter.log" 2>&1 &
printer=$!
for _ in $(seq 1 100); do [ -f "$out/netprinter.port" ] && break; sleep 0.1; done
wh_run 60 "$out/print-net.log" cscript.exe //nologo "$(win "$root/demo/print_job.vbs")" \
    "socket://127.0.0.1:$(cat "$out/netprinter.port" 2>/dev/null)" "$(win "$root/demo/label.prn")" | tr -d '\r'
wait "$printer" || kill "$printer" 2>/dev/null || true
cat "$out/netprinter.log"
echo "  OCXPROT.PRT (the control's copy of what it wrote): $(stat -c %s "$out/OCXPROT.PRT") bytes"
echo "== 6. The scanner's cable pulled for 2 s and plugged back under the same name while the host's session runs"
wh_com_pair_restart 5 >/dev/null
wh_run 90 "$out/replug.log" "$build/$arch/orvanta_event_host.exe" COM5 2 >/dev/null &
host=$!
until_started "$out/replug.log" "$host"
python3 "$root/demo/far_end.py" scanner "$(wh_pty 6)" 'C-300' >"$out/replug-scanner.log"
wh_com_pair_down 5 && sleep 2 && wh_com_pair 5 6 >/dev/null
sleep 1
python3 "$root/demo/far_end.py" scanner-back "$(wh_pty 6)" 'D-400' >>"$out/replug-scanner.log"
wait "$host" || true
tr -d '\r' <"$out/replug.log"
cat "$out/replug-scanner.log"
echo "== done in $(( $(date +%s) - start )) s; logs in $out"
