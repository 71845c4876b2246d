#!/usr/bin/env bash
# Installs what the build, the demo and the tests need on Debian 12, once:
# a second run finds everything in place and installs nothing.
#
# The package mirror can be caught mid-sync: an index file of one suite fails
# to download for hours, `apt-get update` exits 100, and a plain install can
# then not be resolved (the amd64 side wants the newer security versions that
# the i386 side lacks). So: update a few times, go on with what did download,
# and if the install cannot be resolved, pin the distribution's own release.
# Prints one line saying what it did.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev googletest
    mingw-w64 mingw-w64-tools
    wine wine32:i386 wine64
    xvfb xauth x11-utils socat python3 ser2net
    clang libclang-rt-14-dev cppcheck valgrind
    mono-mcs
    wixl osslsigncode
)
# Only the 32-bit Wine; without it the 64-bit builds still run their tests.
optional=(wine32:i386)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi

tries=${ORVANTA_APT_TRIES:-3}
pause=${ORVANTA_APT_PAUSE:-10}
update_note="apt-get update ok"
for ((i = 1; ; i++)); do
    if "${sudo[@]}" apt-get update -q >"$log" 2>&1; then
        [ "$i" -gt 1 ] && update_note="apt-get update ok on try $i"
        break
    fi
    failed_lists=$(grep -c '^E: Failed to fetch' "$log" || true)
    if [ "$i" -ge "$tries" ]; then
        # apt keeps the old list (or none) for a file that failed; the rest is fresh.
        if [ "$failed_lists" -gt 0 ] && ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1; then
            update_note="apt-get update: $failed_lists index file(s) failed $tries times ($(grep -m 1 -o 'Mirror sync in progress?' "$log" || echo 'see apt')), went on with the rest"
            break
        fi
        echo "bootstrap: apt-get update failed $tries times:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
    sleep "$pause"
done

install() {
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "$@" >>"$log" 2>&1
}
release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
: >"$log"
how="installed"
if install "${missing[@]}"; then
    :
elif [ -n "$release" ] && install -t "$release" "${missing[@]}"; then
    how="installed with -t $release (a plain install could not be resolved)"
else
    # Last resort: everything but the optional packages.
    rest=()
    for p in "${missing[@]}"; do
        [[ " ${optional[*]} " == *" $p "* ]] || rest+=("$p")
    done
    if [ ${#rest[@]} -lt ${#missing[@]} ] &&
       { install "${rest[@]}" || { [ -n "$release" ] && install -t "$release" "${rest[@]}"; }; }; then
        how="installed without ${optional[*]} (it could not be resolved; 32-bit Windows tests will not run)"
        missing=("${rest[@]}")
    else
        echo "bootstrap: could not install ${missing[*]}:" >&2
        grep -E '^(E:| )' "$log" | tail -n 30 >&2
        exit 1
    fi
fi
echo "bootstrap: $update_note; $how: ${missing[*]}"
