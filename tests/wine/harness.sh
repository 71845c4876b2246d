# shellcheck shell=bash disable=SC2015,SC2034,SC2119,SC2120,SC2317
# Wine integration-test harness. Source it; it does not change shell options.
#
#   wh_can_run ARCH                can this machine run win32 (win64) programs?
#   wh_why_not ARCH                the reason it cannot
#   wh_run_arches                  the architectures it can run, win32 first
#   wh_prefix_up ARCH DIR          boot/reuse a prefix, start its persistent wineserver
#   wh_prefix_down                 stop that wineserver (and the pairs linked into it)
#   wh_wine PROGRAM [ARGS...]      run a program with the loader that suits the prefix
#   wh_com_pair N1 N2 [DIR]        socat null-modem cable as COMN1 <-> COMN2
#   wh_com_pair_restart N          fresh socat for the pair holding COMN
#   wh_com_pair_down [N]           remove the pair holding COMN (all pairs without N)
#   wh_pty N                       Linux path of the pty behind COMN
#   wh_winpath PATH                Windows (Z:) form of a Linux path
#   wh_run TIMEOUT OUTFILE PROGRAM [ARGS...]
#   wh_prefix_pids                 live processes of this prefix (server included)
#   wh_cleanup_all                 EXIT-trap body; wh_trap_install installs it
#
# Tunables (environment): WH_BOOT_TIMEOUT (120), WH_PAIR_TIMEOUT (10),
# WH_KILL_AFTER (5), WH_LOADER32 / WH_LOADER64 (loader paths), ORVANTA_NO_WIN32=1
# (treat 32-bit as unavailable).

if [ -z "${BASH_VERSINFO:-}" ] || [ "${BASH_VERSINFO[0]}" -lt 4 ] ||
   { [ "${BASH_VERSINFO[0]}" -eq 4 ] && [ "${BASH_VERSINFO[1]}" -lt 4 ]; }; then
    echo "harness.sh: needs bash >= 4.4" >&2
    return 1 2>/dev/null || exit 1
fi

# Sourcing twice must not forget what is running.
if [ -z "${WH_HARNESS_LOADED:-}" ]; then
    WH_HARNESS_LOADED=1
    WH_ARCH=""
    WH_PREFIX=""
    WH_WINE=""
    WH_WINE32=""
    WH_SERVER_PID=""
    WH_SERVER_DIR=""
    WH_SERVER_OWNED=0
    WH_BOOT_SECONDS=""
    declare -gA WH_PAIR_PID=() WH_PAIR_PEER=() WH_PAIR_DIR=() WH_PORT_PAIR=()
fi

_wh_err() { echo "harness: $*" >&2; }

_wh_now_ms() { local t; t=$(date +%s%N); echo $((t / 1000000)); }

# kill -0 is true for zombies, and this machine's init reaps late.
_wh_alive() {
    local pid=${1:-} st
    [ -n "$pid" ] || return 1
    st=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
    st=${st##*) }
    [ "${st%% *}" != Z ] && [ "${st%% *}" != X ]
}

# Wait up to $2 seconds for $1 to die; reap it when it is our child.
_wh_wait_dead() {
    local pid=$1 limit_ms=$(( $2 * 1000 )) start
    start=$(_wh_now_ms)
    while _wh_alive "$pid"; do
        [ $(( $(_wh_now_ms) - start )) -ge "$limit_ms" ] && return 1
        sleep 0.1
    done
    wait "$pid" 2>/dev/null || true
    return 0
}

_wh_stop_pid() {
    local pid=$1
    _wh_alive "$pid" || { wait "$pid" 2>/dev/null || true; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    _wh_wait_dead "$pid" 5 && return 0
    kill -KILL "$pid" 2>/dev/null || true
    _wh_wait_dead "$pid" 5
}

# Prints 014c (i386) or 8664 (x86-64) for a PE file.
_wh_pe_machine() {
    local f=$1 off sig
    [ -f "$f" ] && [ -r "$f" ] || return 1
    [ "$(head -c 2 "$f" 2>/dev/null)" = MZ ] || return 1
    off=$(od -An -tu4 -j60 -N4 "$f" 2>/dev/null | tr -d ' \n')
    [ -n "$off" ] || return 1
    sig=$(od -An -tx1 -j"$off" -N4 "$f" 2>/dev/null | tr -d ' \n')
    [ "$sig" = 50450000 ] || return 1
    od -An -tx2 -j$((off + 4)) -N2 "$f" 2>/dev/null | tr -d ' \n'
}

# Debian 12 has no wine64 on PATH; the 64-bit loader lives in /usr/lib/wine.
_wh_find_loaders() {
    local c
    WH_WINE32=${WH_LOADER32:-$(command -v wine 2>/dev/null || true)}
    if [ "$WH_ARCH" = win32 ]; then
        WH_WINE=$WH_WINE32
    else
        WH_WINE=${WH_LOADER64:-}
        if [ -z "$WH_WINE" ]; then
            for c in "$(command -v wine64 2>/dev/null || true)" \
                     /usr/lib/wine/wine64 /usr/lib64/wine/wine64 \
                     /usr/lib/x86_64-linux-gnu/wine/wine64; do
                [ -n "$c" ] && [ -x "$c" ] && { WH_WINE=$c; break; }
            done
        fi
        # "wine" still copes (it relaunches through start.exe), only slower.
        [ -n "$WH_WINE" ] || WH_WINE=$WH_WINE32
    fi
    [ -n "$WH_WINE" ] || { _wh_err "no wine loader found"; return 1; }
    export WH_WINE WH_WINE32
}

_wh_elf_class() {  # 01 for a 32-bit ELF file, 02 for a 64-bit one
    [ "$(head -c 4 "$1" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 7f454c46 ] || return 1
    od -An -tx1 -j4 -N1 "$1" | tr -d ' \n'
}

# The loader binary itself: Debian's "wine" is a wrapper that falls back to the
# 64-bit loader when the 32-bit one is missing, so it proves nothing.
_wh_loader_binary() {
    local bits=$1 c cls=01 name=wine
    [ "$bits" = 64 ] && { cls=02; name=wine64; }
    for c in /usr/lib/wine/$name /usr/lib/i386-linux-gnu/wine/$name /usr/lib32/wine/$name \
             /usr/lib/x86_64-linux-gnu/wine/$name /usr/lib64/wine/$name "$(command -v $name 2>/dev/null || true)"; do
        [ -n "$c" ] && [ -x "$c" ] && [ "$(_wh_elf_class "$c")" = "$cls" ] && { echo "$c"; return 0; }
    done
    return 1
}

# Why a loader cannot run here ("" when it can).
_wh_loader_trouble() {
    local bits=$1 loader=$2 out rc=0
    if [ -z "$loader" ]; then
        [ "$bits" = 32 ] && echo "the 32-bit Wine loader is not installed (package wine32:i386)" ||
            echo "the 64-bit Wine loader is not installed (package wine64)"
        return 0
    fi
    # bash execs it, not timeout: execvp hands a binary the kernel refuses to
    # /bin/sh, which hides the "Exec format error".
    out=$(timeout 30 bash -c 'exec "$0" --version' "$loader" 2>&1 </dev/null) || rc=$?
    [ "$rc" -eq 0 ] && return 0
    case "$out" in
        *"Exec format error"*|*"cannot execute binary file"*)
            echo "this kernel cannot run $bits-bit programs ($bits-bit emulation is off)" ;;
        *) echo "$loader --version failed with $rc: $(echo "$out" | head -n 1)" ;;
    esac
}

# Decides once which Windows architectures this machine can run and hands the
# answer to child scripts through the environment. ORVANTA_NO_WIN32=1 treats
# 32-bit as unavailable, so the fallback can be tried on a machine with both.
wh_probe_arches() {
    [ -n "${WH_PROBED:-}" ] && return 0
    local why l32="${WH_LOADER32:-}" l64="${WH_LOADER64:-}"
    [ -n "$l32" ] || l32=$(_wh_loader_binary 32 || true)
    [ -n "$l64" ] || l64=$(_wh_loader_binary 64 || true)
    WH_RUNNABLE=""
    if [ "${ORVANTA_NO_WIN32:-0}" = 1 ]; then
        WH_WHY_NOT_win32="ORVANTA_NO_WIN32=1 treats 32-bit programs as unavailable"
    else
        WH_WHY_NOT_win32=$(_wh_loader_trouble 32 "$l32")
    fi
    WH_WHY_NOT_win64=$(_wh_loader_trouble 64 "$l64")
    for why in win32 win64; do
        local v="WH_WHY_NOT_$why"
        [ -z "${!v}" ] && WH_RUNNABLE="${WH_RUNNABLE:+$WH_RUNNABLE }$why"
    done
    WH_PROBED=1
    export WH_PROBED WH_RUNNABLE WH_WHY_NOT_win32 WH_WHY_NOT_win64
}

wh_can_run() {  # ARCH (win32|win64)
    wh_probe_arches
    case " $WH_RUNNABLE " in *" ${1:-} "*) return 0 ;; esac
    return 1
}

wh_why_not() {  # ARCH: the reason it cannot run here
    wh_probe_arches
    case "${1:-}" in
        win32) echo "$WH_WHY_NOT_win32" ;;
        win64) echo "$WH_WHY_NOT_win64" ;;
        *) echo "unknown architecture '${1:-}'" ;;
    esac
}

wh_run_arches() {  # the architectures this machine can run, win32 first
    wh_probe_arches
    echo "$WH_RUNNABLE"
}

# A 32-bit exe in a win64 prefix goes straight to the 32-bit loader, so the
# PID that timeout signals is the program itself and not a start.exe relay.
_wh_loader_for() {
    local m
    if [ "$WH_ARCH" = win64 ] && m=$(_wh_pe_machine "${1:-}") && [ "$m" = 014c ]; then
        echo "$WH_WINE32"
    else
        echo "$WH_WINE"
    fi
}

wh_wine() {
    [ -n "$WH_PREFIX" ] || { _wh_err "wh_wine: no prefix (call wh_prefix_up)"; return 125; }
    [ $# -ge 1 ] || { _wh_err "usage: wh_wine PROGRAM [ARGS...]"; return 125; }
    local loader
    loader=$(_wh_loader_for "$1")
    "$loader" "$@"
}

# The marker, not system.reg: the server writes the registry out only later.
_wh_prefix_arch() {
    [ -f "$1/.wh-ready" ] && head -n 1 "$1/.wh-ready"
    return 0
}

# Start our own server before any wine program so that it, and not a helper
# holding our stdio, is the one everything talks to.
_wh_server_start() {
    local pid start cwd
    "${WH_WINESERVER:-wineserver}" -p -f </dev/null >/dev/null 2>&1 &
    pid=$!
    start=$(_wh_now_ms)
    while :; do
        if ! _wh_alive "$pid"; then
            local rc=0
            wait "$pid" 2>/dev/null || rc=$?
            if [ "$rc" -eq 2 ]; then
                # Someone else's server for this prefix; use it, leave it alone.
                _wh_err "a wineserver is already running for $WH_PREFIX; reusing it"
                WH_SERVER_PID=""
                WH_SERVER_OWNED=0
                return 0
            fi
            _wh_err "wineserver failed to start (rc=$rc)"
            return 1
        fi
        cwd=$(readlink "/proc/$pid/cwd" 2>/dev/null || true)
        if [ -n "$cwd" ] && [ -S "$cwd/socket" ]; then
            WH_SERVER_PID=$pid
            WH_SERVER_DIR=$cwd
            WH_SERVER_OWNED=1
            return 0
        fi
        if [ $(( $(_wh_now_ms) - start )) -ge 10000 ]; then
            _wh_err "wineserver did not come up within 10 s"
            _wh_stop_pid "$pid"
            return 1
        fi
        sleep 0.05
    done
}

# Bounded wine call used during set-up; output goes to the prefix log.
_wh_setup_run() {
    local secs=$1; shift
    timeout -k 5 "$secs" "$WH_WINE" "$@" >>"$WH_PREFIX/.wh/setup.log" 2>&1 </dev/null
}

# Only Wine's own files; logs in .wh stay for the post-mortem.
_wh_wipe_prefix() {
    local d=$1
    rm -rf -- "$d/drive_c" "$d/dosdevices" "$d/system.reg" "$d/user.reg" \
        "$d/userdef.reg" "$d/.update-timestamp" "$d/.wh-ready"
}

# The first window of a Wine program starts the desktop (explorer), whose
# first COM call starts the RPC service when it is not running. Until the
# service manager has settled after a boot it answers that start only after
# its time-out (10 s, measured), and the program's first window waits as
# long: once for each test process. Started here, once per prefix.
_wh_rpc_service_up() {
    local log=$WH_PREFIX/.wh/rpcss.log start
    start=$(_wh_now_ms)
    while [ $(( $(_wh_now_ms) - start )) -lt 60000 ]; do
        timeout 30 "$WH_WINE" sc query RpcSs >"$log" 2>&1 </dev/null || true
        grep -q RUNNING "$log" && return 0
        # Right after a boot the manager may refuse the start: ask again.
        grep -q STOPPED "$log" && { _wh_setup_run 30 sc start RpcSs || true; }
        sleep 0.5
    done
    _wh_err "the RPC service did not start: each test process may wait 10 s (see $log)"
}

wh_prefix_up() {
    if [ $# -ne 2 ]; then _wh_err "usage: wh_prefix_up win32|win64 DIR"; return 2; fi
    local arch=$1 dir=$2 have start rc ovr limit=${WH_BOOT_TIMEOUT:-120}
    case "$arch" in win32|win64) ;; *) _wh_err "wh_prefix_up: ARCH must be win32 or win64, not '$arch'"; return 2;; esac
    mkdir -p "$dir" || { _wh_err "cannot create $dir"; return 1; }
    dir=$(cd "$dir" && pwd -P) || return 1

    if [ -n "$WH_PREFIX" ] && [ "$WH_PREFIX" != "$dir" ]; then
        _wh_err "prefix $WH_PREFIX is still up; call wh_prefix_down first"
        return 1
    fi
    have=$(_wh_prefix_arch "$dir")
    if [ -n "$have" ] && [ "$have" != "$arch" ]; then
        _wh_err "$dir is a $have prefix, not $arch"
        return 1
    fi

    WH_ARCH=$arch
    WH_PREFIX=$dir
    export WINEPREFIX=$dir WINEARCH=$arch
    export WINEDEBUG=${WINEDEBUG--all}
    # Keep the Mono/Gecko installers away at run time too; a caller may opt out.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
    _wh_find_loaders || { WH_PREFIX=""; return 1; }
    mkdir -p "$dir/.wh"

    if [ -n "$WH_SERVER_PID" ] && _wh_alive "$WH_SERVER_PID"; then
        return 0
    fi

    # No marker (or a registry that never reached disk): an interrupted boot.
    # Such a prefix cannot even start wineboot again, so rebuild it. This must
    # happen before a server loads the old registry and writes it back.
    if [ ! -f "$dir/.wh-ready" ] || [ ! -f "$dir/system.reg" ]; then
        if [ -e "$dir/system.reg" ] || [ -e "$dir/drive_c" ]; then
            _wh_err "$dir holds an unfinished prefix; rebuilding it"
        fi
        _wh_wipe_prefix "$dir"
    fi
    _wh_server_start || { WH_PREFIX=""; return 1; }

    if [ -f "$dir/.wh-ready" ]; then
        # Bring up services (and mountmgr) now, before any COM link is made.
        if ! _wh_setup_run 60 wineboot; then
            _wh_err "wineboot on existing prefix $dir failed; see $dir/.wh/setup.log"
            wh_prefix_down
            return 1
        fi
        _wh_rpc_service_up
        WH_BOOT_SECONDS=0
        return 0
    fi

    : >"$dir/.wh/setup.log"
    start=$(_wh_now_ms)
    rc=0
    ovr="mscoree,mshtml="
    [ -n "$WINEDLLOVERRIDES" ] && [ "$WINEDLLOVERRIDES" != "$ovr" ] && ovr="$ovr;$WINEDLLOVERRIDES"
    WINEDLLOVERRIDES=$ovr _wh_setup_run "$limit" wineboot -i || rc=$?
    WH_BOOT_SECONDS=$(awk -v ms=$(( $(_wh_now_ms) - start )) 'BEGIN { printf "%.1f", ms / 1000 }')
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        _wh_err "wineboot -i for $dir did not finish within ${limit} s (log: $dir/.wh/setup.log)"
        wh_prefix_down
        _wh_wipe_prefix "$dir"
        return 1
    elif [ "$rc" -ne 0 ]; then
        _wh_err "wineboot -i for $dir failed with $rc:"
        tail -n 20 "$dir/.wh/setup.log" >&2
        wh_prefix_down
        _wh_wipe_prefix "$dir"
        return 1
    fi

    # Without this a crash opens winedbg's dialog and the run hangs until its time-out.
    if ! _wh_setup_run 30 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f; then
        _wh_err "could not set ShowCrashDialog=0 in $dir"
        wh_prefix_down
        return 1
    fi
    # Unmanaged windows: with no window manager on the X display, hiding a managed
    # window waits two seconds for a state change that never comes.
    if ! _wh_setup_run 30 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f; then
        _wh_err "could not set Managed=N in $dir"
        wh_prefix_down
        return 1
    fi
    _wh_rpc_service_up
    echo "$arch" >"$dir/.wh-ready"
    return 0
}

wh_prefix_down() {
    [ -n "$WH_PREFIX" ] || return 0
    local rc=0 parent
    wh_com_pair_down || rc=1
    WINEPREFIX=$WH_PREFIX timeout 30 "${WH_WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true
    if [ -n "$WH_SERVER_PID" ]; then
        if ! _wh_wait_dead "$WH_SERVER_PID" 30; then
            _wh_err "wineserver $WH_SERVER_PID ignored -k; killing it"
            _wh_stop_pid "$WH_SERVER_PID" || rc=1
        fi
        # Debian keeps the server's mkdtemp dir after exit; it is recreated on demand.
        if [ -n "$WH_SERVER_DIR" ] && [ -d "$WH_SERVER_DIR" ] && [ ! -S "$WH_SERVER_DIR/socket" ]; then
            parent=${WH_SERVER_DIR%/server-*}
            case "$parent" in
                */wine-*) rm -rf -- "$parent" ;;
                *) rm -rf -- "$WH_SERVER_DIR" ;;
            esac
        fi
    else
        WINEPREFIX=$WH_PREFIX timeout 30 "${WH_WINESERVER:-wineserver}" -w >/dev/null 2>&1 || rc=1
    fi
    WH_SERVER_PID=""
    WH_SERVER_DIR=""
    WH_SERVER_OWNED=0
    WH_PREFIX=""
    WH_ARCH=""
    return "$rc"
}

# Live PIDs of this prefix: our server plus every wine process using it.
wh_prefix_pids() {
    local dir=${1:-${WH_PREFIX:-${WINEPREFIX:-}}} p exe
    [ -n "$dir" ] || return 0
    [ -n "$WH_SERVER_PID" ] && _wh_alive "$WH_SERVER_PID" && echo "$WH_SERVER_PID"
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        exe=$(readlink "/proc/$p/exe" 2>/dev/null) || continue
        case "$exe" in */wine*) ;; *) continue ;; esac
        [ "$p" = "${WH_SERVER_PID:-}" ] && continue
        _wh_alive "$p" || continue
        if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$dir"; then
            echo "$p"
        fi
    done
}

_wh_valid_port() {
    case "${1:-}" in ''|*[!0-9]*|0*) return 1 ;; esac
    [ "$1" -ge 1 ] && [ "$1" -le 256 ]
}

_wh_pair_start() {
    local a=$1 b=$2 dir=$3 pid start log
    log="$dir/socat-$a-$b.log"
    rm -f "$dir/pty$a" "$dir/pty$b"
    socat -d -d "pty,raw,echo=0,link=$dir/pty$a" "pty,raw,echo=0,link=$dir/pty$b" \
        </dev/null >"$log" 2>&1 &
    pid=$!
    start=$(_wh_now_ms)
    # The links appear a moment before socat starts moving data.
    until [ -e "$dir/pty$a" ] && [ -e "$dir/pty$b" ] &&
          grep -q 'starting data transfer loop' "$log" 2>/dev/null; do
        if ! _wh_alive "$pid"; then
            wait "$pid" 2>/dev/null || true
            _wh_err "socat for COM$a/COM$b exited early:"
            cat "$log" >&2
            return 1
        fi
        if [ $(( $(_wh_now_ms) - start )) -ge $(( ${WH_PAIR_TIMEOUT:-10} * 1000 )) ]; then
            _wh_err "socat for COM$a/COM$b not ready within ${WH_PAIR_TIMEOUT:-10} s"
            _wh_stop_pid "$pid"
            rm -f "$dir/pty$a" "$dir/pty$b"
            return 1
        fi
        sleep 0.05
    done
    # Wine wants lower-case names; pointing at socat's link keeps restarts transparent.
    ln -sfn "$dir/pty$a" "$WH_PREFIX/dosdevices/com$a" &&
    ln -sfn "$dir/pty$b" "$WH_PREFIX/dosdevices/com$b" || {
        _wh_err "cannot link COM$a/COM$b into $WH_PREFIX/dosdevices"
        _wh_stop_pid "$pid"
        return 1
    }
    WH_PAIR_PID[$a]=$pid
    WH_PAIR_PEER[$a]=$b
    WH_PAIR_DIR[$a]=$dir
    WH_PORT_PAIR[$a]=$a
    WH_PORT_PAIR[$b]=$a
}

# Every live socat serving the links of pair A in DIR: a pair restarted in a
# subshell has a PID this shell never learnt.
_wh_pair_pids() {
    local a=$1 dir=$2 p
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        tr '\0' ' ' 2>/dev/null <"/proc/$p/cmdline" | grep -qF "link=$dir/pty$a " || continue
        _wh_alive "$p" && echo "$p"
    done
}

_wh_pair_stop() {
    local a=$1 b=${WH_PAIR_PEER[$1]} dir=${WH_PAIR_DIR[$1]} pid=${WH_PAIR_PID[$1]} n rc=0 other
    for other in $(_wh_pair_pids "$a" "$dir"); do
        _wh_stop_pid "$other" || { _wh_err "socat $other for COM$a/COM$b would not die"; rc=1; }
    done
    wait "$pid" 2>/dev/null || true
    for n in "$a" "$b"; do
        if [ -n "$WH_PREFIX" ] && [ "$(readlink "$WH_PREFIX/dosdevices/com$n" 2>/dev/null)" = "$dir/pty$n" ]; then
            rm -f "$WH_PREFIX/dosdevices/com$n"
        fi
        rm -f "$dir/pty$n"
        unset "WH_PORT_PAIR[$n]"
    done
    unset "WH_PAIR_PID[$a]" "WH_PAIR_PEER[$a]" "WH_PAIR_DIR[$a]"
    return "$rc"
}

wh_com_pair() {
    if [ $# -lt 2 ] || [ $# -gt 3 ]; then _wh_err "usage: wh_com_pair N1 N2 [DIR]"; return 2; fi
    local a=$1 b=$2 dir
    [ -n "$WH_PREFIX" ] || { _wh_err "wh_com_pair: no prefix (call wh_prefix_up)"; return 1; }
    _wh_valid_port "$a" && _wh_valid_port "$b" && [ "$a" != "$b" ] ||
        { _wh_err "wh_com_pair: need two different port numbers 1..256, got '$a' '$b'"; return 2; }
    if [ -n "${WH_PORT_PAIR[$a]:-}" ] || [ -n "${WH_PORT_PAIR[$b]:-}" ]; then
        _wh_err "wh_com_pair: COM$a or COM$b is already part of a pair"
        return 1
    fi
    command -v socat >/dev/null 2>&1 || { _wh_err "socat is not installed"; return 1; }
    dir=${3:-${WH_PTY_DIR:-$WH_PREFIX/.wh/pty}}
    mkdir -p "$dir" && dir=$(cd "$dir" && pwd -P) || { _wh_err "cannot create $dir"; return 1; }
    _wh_pair_start "$a" "$b" "$dir"
}

# Bytes still inside socat survive PurgeComm; a new socat is the only clean slate.
wh_com_pair_restart() {
    if [ $# -ne 1 ]; then _wh_err "usage: wh_com_pair_restart N"; return 2; fi
    local a="" b dir
    _wh_valid_port "$1" && a=${WH_PORT_PAIR[$1]:-}
    [ -n "$a" ] || { _wh_err "wh_com_pair_restart: COM$1 is not part of a pair"; return 1; }
    b=${WH_PAIR_PEER[$a]}
    dir=${WH_PAIR_DIR[$a]}
    _wh_pair_stop "$a" || return 1
    _wh_pair_start "$a" "$b" "$dir"
}

wh_com_pair_down() {
    local a rc=0
    if [ $# -ge 1 ]; then
        a=""
        _wh_valid_port "$1" && a=${WH_PORT_PAIR[$1]:-}
        [ -n "$a" ] || { _wh_err "wh_com_pair_down: COM$1 is not part of a pair"; return 1; }
        _wh_pair_stop "$a" || rc=1
        return "$rc"
    fi
    for a in "${!WH_PAIR_PID[@]}"; do
        _wh_pair_stop "$a" || rc=1
    done
    return "$rc"
}

wh_pty() {
    local a=""
    _wh_valid_port "${1:-}" && a=${WH_PORT_PAIR[$1]:-}
    [ -n "$a" ] || { _wh_err "wh_pty: COM${1:-?} is not part of a pair"; return 1; }
    echo "${WH_PAIR_DIR[$a]}/pty$1"
}

# While winedbg prints its backtrace, the crashed process's Unix exit status
# is often 0 (measured: most 64-bit crashes, some 32-bit ones). Recover the
# low byte of the exception code, as an uncontended run would report it.
_wh_crash_status() {
    local line code
    line=$(grep -a -m 1 '^wine: Unhandled' "$1" 2>/dev/null) || return 1
    case "$line" in
        *"page fault"*)             echo 5 ;;
        *"breakpoint"*)             echo 3 ;;
        *"illegal instruction"*)    echo 29 ;;
        *"divide by zero"*)         echo 148 ;;
        *"privileged instruction"*) echo 150 ;;
        *"stack overflow"*)         echo 253 ;;
        *"exception 0x"*)
            code=${line#*exception 0x}
            code=${code:0:8}
            case "$code" in
                *[!0-9a-fA-F]*|'') echo 5 ;;
                *) code=$(( 16#$code & 255 )); echo $(( code ? code : 1 )) ;;
            esac ;;
        *)                          echo 5 ;;
    esac
}

# Z: maps to /. Windows programs such as cscript take no Unix paths: given
# one, cscript exits 1 without a word.
wh_winpath() {
    local p=${1:?usage: wh_winpath PATH}
    case "$p" in /*) ;; *) p="$PWD/$p" ;; esac
    p=${p//\//\\}
    echo "Z:$p"
}

wh_run() {
    if [ $# -lt 3 ]; then _wh_err "usage: wh_run TIMEOUT_SECONDS OUTFILE PROGRAM [ARGS...]"; return 125; fi
    local secs=$1 out=$2 prog=$3 loader rc=0 start elapsed crash
    shift 3
    [ -n "$WH_PREFIX" ] || { _wh_err "wh_run: no prefix (call wh_prefix_up)"; return 125; }
    case "$secs" in ''|*[!0-9.]*) _wh_err "wh_run: bad timeout '$secs'"; return 125 ;; esac
    mkdir -p "$(dirname -- "$out")" || return 125
    loader=$(_wh_loader_for "$prog")
    start=$(_wh_now_ms)
    # A file, never a pipe: Wine's helper processes inherit these handles.
    timeout -k "${WH_KILL_AFTER:-5}" "$secs" "$loader" "$prog" "$@" >"$out" 2>&1 </dev/null || rc=$?
    elapsed=$(( $(_wh_now_ms) - start ))
    # 137 means the KILL after the TERM was needed; still a time-out.
    if [ "$rc" -eq 137 ] && awk -v e="$elapsed" -v s="$secs" 'BEGIN { exit !(e >= s * 1000) }'; then
        rc=124
    fi
    if [ "$rc" -eq 124 ]; then
        _wh_err "wh_run: TIMEOUT after ${secs} s: $prog $* (output: $out)"
    elif [ "$rc" -eq 0 ] && crash=$(_wh_crash_status "$out"); then
        _wh_err "wh_run: $prog crashed but Wine reported exit 0; returning $crash (see $out)"
        rc=$crash
    fi
    cat -- "$out"
    return "$rc"
}

wh_cleanup_all() {
    local rc=$?
    wh_com_pair_down || true
    if [ -n "$WH_PREFIX" ]; then
        if [ "$WH_SERVER_OWNED" = 1 ]; then
            wh_prefix_down || true
        else
            WH_PREFIX=""
        fi
    fi
    return "$rc"
}

# INT/TERM go through exit so the EXIT trap runs once.
wh_trap_install() {
    trap 'wh_cleanup_all' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}
