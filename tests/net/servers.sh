# shellcheck shell=bash
# Servers on the loopback address for the network ports' tests. Source it.
#
#   ns_recorder_start DIR [RCVBUF]  a printer on raw TCP (tests/net/recorder.py); its port in NS_PORT
#   ns_recorder_stall DIR on|off    it stops (resumes) reading
#   ns_recorder_send DIR FILE       it sends FILE's bytes to the peer
#   ns_recorder_drop DIR [reset]    it closes the connection (with a reset)
#   ns_ser2net_start DIR            ser2net with an RFC 2217 accepter on a socat
#                                   pty pair; its port in NS_PORT. DIR/dev is the pty
#                                   ser2net drives (stty -F it for the line
#                                   settings), DIR/far the far end (read it)
#   ns_stop DIR                     stops what was started for DIR
#   ns_stop_all                     stops everything started here
#
# Call the starters directly, not in $(...): a subshell would forget what runs.
# Linux ptys keep the rate, the stop bits and odd/even but always read as 8
# data bits without parity (the pty driver clears those bits): a test of
# line settings on a pty checks what a pty holds.
# ser2net opens its pty only while a client is connected (at 9600n81, its
# configuration); once the client leaves, the pty reads 38400 again: check
# the settings while the connection is held.
#
# What ser2net 4.3 answers on a pty (measured): it agrees to BINARY,
# SUPPRESS-GO-AHEAD and COM-PORT-OPTION, offers ECHO, and sends
# NOTIFY-MODEMSTATE 0 at once. SET-BAUDRATE (any rate), SET-DATASIZE,
# SET-PARITY, SET-STOPSIZE 1 and 2, PURGE-DATA and the flow settings of
# SET-CONTROL are answered with the value asked; SET-STOPSIZE 1.5 is not
# answered. DTR and RTS on or off are never answered (asking for their state
# answers the asking value, 7 or 10); break on and off are both answered "on"
# (5). The two state masks are answered 0, and FLOWCONTROL-SUSPEND/RESUME
# with SET-CONTROL 1.

declare -gA NS_PIDS=()
NS_PORT=""
_ns_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

_ns_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits up to 10 s for a file to exist.
_ns_wait_for() {
    local i
    for ((i = 0; i < 100; i++)); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    echo "servers: $1 did not appear" >&2
    return 1
}

# A zombie is not alive (kill -0 says it is).
_ns_alive() {
    local st
    st=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    st=${st##*) }
    [ "${st%% *}" != Z ] && [ "${st%% *}" != X ]
}

_ns_started() { NS_PIDS[$1]="${NS_PIDS[$1]:-} $2"; }

ns_recorder_start() {
    local dir=$1
    mkdir -p "$dir" && rm -f "$dir"/{port,received,events,stall,send,drop}
    python3 "$_ns_root/tests/net/recorder.py" "$dir" "${2:-0}" >"$dir/recorder.log" 2>&1 &
    _ns_started "$dir" $!
    _ns_wait_for "$dir/port" && NS_PORT=$(cat "$dir/port")
}

ns_recorder_stall() { if [ "$2" = on ]; then : >"$1/stall"; else rm -f "$1/stall"; fi; }
ns_recorder_send() { cp "$2" "$1/send.tmp" && mv "$1/send.tmp" "$1/send"; }
ns_recorder_drop() { echo "${2:-}" >"$1/drop.tmp" && mv "$1/drop.tmp" "$1/drop"; }

ns_ser2net_start() {
    local dir=$1 port i
    command -v ser2net >/dev/null || { echo "servers: ser2net is not installed" >&2; return 1; }
    mkdir -p "$dir" && rm -f "$dir"/{dev,far,port}
    socat pty,raw,echo=0,link="$dir/dev" pty,raw,echo=0,link="$dir/far" >"$dir/socat.log" 2>&1 &
    _ns_started "$dir" $!
    _ns_wait_for "$dir/dev" && _ns_wait_for "$dir/far" || return 1
    port=$(_ns_free_port)
    cat >"$dir/ser2net.yaml" <<YAML
connection: &orvanta
    accepter: telnet(rfc2217),tcp,127.0.0.1,$port
    connector: serialdev,$dir/dev,9600n81,local
    options:
      kickolduser: true
YAML
    # -u: no UUCP lock files; -n: stays in the foreground, so its pid is ours.
    ser2net -n -u -c "$dir/ser2net.yaml" >"$dir/ser2net.log" 2>&1 &
    _ns_started "$dir" $!
    for ((i = 0; i < 100; i++)); do
        if grep -qi "^ *[0-9]*: 0100007F:$(printf '%04X' "$port") 00000000:0000 0A" /proc/net/tcp; then
            NS_PORT=$port
            echo "$port" >"$dir/port"
            return 0
        fi
        sleep 0.1
    done
    echo "servers: ser2net did not listen on $port (log: $dir/ser2net.log)" >&2
    return 1
}

ns_stop() {
    local pid i
    for pid in ${NS_PIDS[$1]:-}; do
        kill -TERM "$pid" 2>/dev/null || continue
        for ((i = 0; i < 50; i++)); do
            _ns_alive "$pid" || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    unset "NS_PIDS[$1]"
}

ns_stop_all() {
    local dir
    for dir in "${!NS_PIDS[@]}"; do ns_stop "$dir"; done
}
