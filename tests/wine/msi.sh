# shellcheck shell=bash
# The release's installer packages (scripts/release.sh), sourced by run.sh and
# run in the 64-bit prefix: for each build an older package (the same rows,
# version 1.0.0) is installed, a script calls the control, the release's
# package upgrades it in place, the script runs again. With both installed,
# removing the x86 package leaves the ProgID both share and the x64 control
# working; then removal leaves no key of the module's registration in either
# registry view and no file. Uses run.sh's counters.
# Wine keeps a ProgID key per registry view (Windows 7 and later share it):
# the shared ProgID rows, a 32-bit component in both packages, land in Wine's
# 32-bit view only, so the script creates the control by its class.
# shellcheck disable=SC2154
msi_none_left() {  # WHAT FILE: passes when FILE is empty
    if [ ! -s "$2" ]; then echo "[       OK ] $1"; passed=$((passed + 1))
    else echo "[  FAILED  ] $1:" >&2; sed 's/^/    /' "$2" >&2; failed=$((failed + 1)); fi
}

msi_present() {  # DUMP PROGRAMFILES: the folder and each key of the registration that exist, in both views
    local k v
    [ ! -e "$WINEPREFIX/drive_c/$2/Orvanta" ] || echo "C:\\$2\\Orvanta"
    for k in $(cut -f1 "$1" | sed -n 's/^\(\(CLSID\|Interface\|Typelib\)\\[^\\]*\|[^\\]*\).*/\1/Ip' | sort -u); do
        for v in 32 64; do
            [ "$k" = version ] || ! wh_wine reg query "HKCR\\$k" /reg:$v >/dev/null 2>&1 || echo "HKCR\\$k (/reg:$v)"
        done
    done | sort
}

msi_smoke() {  # FOLDER STEP
    local smoke=cscript.exe
    [ "$1" = x64 ] || smoke='C:\windows\syswow64\cscript.exe'
    if [ "$1" = x86 ] && ! wh_can_run win32; then
        echo "wine: the x86 package's script check ($2) not run: $(wh_why_not win32)"
    else
        check_step "a script calls the control of the $1 package ($2)" "$w/smoke-$1-$2.log" \
            "ClearCOMError -1, ThreadId 23456" "$smoke" //nologo "$(wh_winpath "$w/smoke.vbs")"
    fi
}

msi_round_trip() {
    local pkg folder dump step k v stage clsid work="$build/release/work" w="$build/wine/win64-msi" waited=0
    # The test command makes the release beside these tests and says by a
    # file when it is done: the packages are waited for, within bounds.
    if [ -n "${ORVANTA_RELEASE_DONE:-}" ]; then
        while [ ! -e "$ORVANTA_RELEASE_DONE" ] && [ "$waited" -lt 9000 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
    fi
    stage=$(ls -d "$build"/release/orvanta-*[0-9] 2>/dev/null | tail -n 1 || true)
    [ -n "$stage" ] && [ -f "$work/regdump-x64.txt" ] ||
        { echo "wine: installer packages not run: no release (scripts/release.sh makes it)"; return; }
    rm -rf "$w" && mkdir -p "$w"
    clsid=$(awk -F'\t' '$1 == "ORVANTA.OrvantaCtrl.1\\CLSID" { print $3 }' "$work/regdump-x64.txt")
    printf 'Set o = GetObject("new:%s")\r\nWScript.Echo "ClearCOMError " & o.ClearCOMError() & ", ThreadId " & o.ThreadId\r\n' \
        "$clsid" >"$w/smoke.vbs"
    echo "== Installer packages, win64 prefix"
    declare -A pfs=([x64]="Program Files" [x86]="Program Files (x86)") dumps=()
    for folder in x64 x86; do
        dump="$work/regdump-$folder.txt"
        [ -f "$dump" ] || dump="$work/regdump-x64.txt"
        dumps[$folder]=$dump
        # What is there before (another registration's leftovers) is not the package's.
        msi_present "$dump" "${pfs[$folder]}" >"$w/before-$folder.txt"
        [ ! -s "$w/before-$folder.txt" ] || sed 's/^/wine: left before the packages by an earlier registration: /' "$w/before-$folder.txt"
    done
    for folder in x64 x86; do
        pkg=$(ls "$stage"/*-"$folder".msi)
        python3 "$root/scripts/msi/make_wxs.py" "${dumps[$folder]}" "$folder" "$stage/$folder/ORVANTA.OCX" \
            "$w/older-$folder.wxs" --version 1.0.0 >/dev/null && wixl -a "$folder" -o "$w/older-$folder.msi" "$w/older-$folder.wxs"
        check_step "msiexec /i an older $folder package" "$w/i-old-$folder.log" "" \
            msiexec /i "$(wh_winpath "$w/older-$folder.msi")" /qn
        for step in installed upgraded; do
            if [ "$step" = upgraded ]; then
                check_step "msiexec /i the release's $folder package over it" "$w/i-$folder.log" "" \
                    msiexec /i "$(wh_winpath "$pkg")" /qn
                # In place: the older product is no longer registered.
                v=$(sed -n 's/.*<Product Id="\([^"]*\)".*/\1/p' "$w/older-$folder.wxs")
                for k in 32 64; do
                    ! wh_wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{$v}" /reg:$k \
                        >/dev/null 2>&1 || echo "the older product {$v} is still registered (/reg:$k)"
                done >"$w/older-left-$folder.txt"
                msi_none_left "the upgrade removed the older $folder product" "$w/older-left-$folder.txt"
            fi
            msi_smoke "$folder" "$step"
        done
    done
    # Both installed: the x86 package's removal keeps what the x64 one shares.
    check_step "msiexec /x removes the x86 package" "$w/x-x86.log" "" msiexec /x "$(wh_winpath "$(ls "$stage"/*-x86.msi)")" /qn
    # The shared rows are a 32-bit component's (on Windows the 32-bit view of
    # a shared key is the key): had the x86 package's own component held
    # them, they would be gone from that view now.
    : >"$w/progid-gone.txt"
    wh_wine reg query 'HKCR\ORVANTA.OrvantaCtrl.1\CLSID' /reg:32 2>/dev/null | grep -qF "$clsid" ||
        echo "HKCR\\ORVANTA.OrvantaCtrl.1 went with the x86 package" >"$w/progid-gone.txt"
    msi_none_left "the x64 package keeps the ProgID both packages share" "$w/progid-gone.txt"
    msi_smoke x64 "after the x86 package went"
    check_step "msiexec /x removes the x64 package" "$w/x-x64.log" "" msiexec /x "$(wh_winpath "$(ls "$stage"/*-x64.msi)")" /qn
    for folder in x64 x86; do
        msi_present "${dumps[$folder]}" "${pfs[$folder]}" | comm -13 "$w/before-$folder.txt" - >"$w/left-$folder.txt"
        msi_none_left "nothing of the $folder package is left" "$w/left-$folder.txt"
    done
}
