# shellcheck shell=bash
# The release's installer packages (scripts/release.sh), sourced by run.sh and
# run in the 64-bit prefix: an older package (the same rows, version 1.0.0) is
# installed, a script calls the control, the release's package upgrades it in
# place, the script runs again, and removal leaves no key of the module's
# registration in either registry view and no file. Uses run.sh's counters.
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

msi_round_trip() {
    local stage pkg folder pf smoke w="$build/wine/win64-msi" work="$build/release/work" dump step k v
    stage=$(ls -d "$build"/release/orvanta-*[0-9] 2>/dev/null | tail -n 1 || true)
    [ -n "$stage" ] && [ -f "$work/regdump-x64.txt" ] ||
        { echo "wine: installer packages not run: no release (scripts/release.sh makes it)"; return; }
    rm -rf "$w" && mkdir -p "$w"
    printf 'Set o = CreateObject("ORVANTA.OrvantaCtrl.1")\r\nWScript.Echo "ClearCOMError " & o.ClearCOMError() & ", ThreadId " & o.ThreadId\r\n' >"$w/smoke.vbs"
    echo "== Installer packages, win64 prefix"
    for folder in x64 x86; do
        pkg=$(ls "$stage"/*-"$folder".msi) pf="Program Files" smoke=cscript.exe dump="$work/regdump-$folder.txt"
        [ "$folder" = x64 ] || pf="Program Files (x86)" smoke='C:\windows\syswow64\cscript.exe'
        [ -f "$dump" ] || dump="$work/regdump-x64.txt"
        python3 "$root/scripts/msi/make_wxs.py" "$dump" "$folder" "$stage/$folder/ORVANTA.OCX" "$w/older-$folder.wxs" \
            --version 1.0.0 >/dev/null && wixl -a "$folder" -o "$w/older-$folder.msi" "$w/older-$folder.wxs"
        # What is there before (another registration's leftovers) is not the package's.
        msi_present "$dump" "$pf" >"$w/before-$folder.txt"
        [ ! -s "$w/before-$folder.txt" ] || sed 's/^/wine: left before the packages by an earlier registration: /' "$w/before-$folder.txt"
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
            if [ "$folder" = x86 ] && ! wh_can_run win32; then
                echo "wine: the x86 package's script check ($step) not run: $(wh_why_not win32)"
            else
                check_step "a script calls the control of the $folder package ($step)" "$w/smoke-$folder-$step.log" \
                    "ClearCOMError -1, ThreadId 23456" "$smoke" //nologo "$(wh_winpath "$w/smoke.vbs")"
            fi
        done
        check_step "msiexec /x removes the $folder package" "$w/x-$folder.log" "" msiexec /x "$(wh_winpath "$pkg")" /qn
        msi_present "$dump" "$pf" | comm -13 "$w/before-$folder.txt" - >"$w/left-$folder.txt"
        msi_none_left "nothing of the $folder package is left" "$w/left-$folder.txt"
    done
}
