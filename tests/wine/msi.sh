# shellcheck shell=bash
# The Windows Installer packages of the release (scripts/release.sh), sourced
# by run.sh and run in the 64-bit prefix after the other checks: for each
# package an older one (the same registry rows, a lower version) is
# installed, a script creates the control and calls it, the package of the
# release upgrades it in place, the script runs again, and removal leaves no
# key of the module's registration in either registry view and no file.
# Uses run.sh's check_step and counters.
# shellcheck disable=SC2154
msi_expect_empty() {  # WHAT FILE: passes when FILE is empty, else shows it
    if [ ! -s "$2" ]; then
        echo "[       OK ] $1"
        passed=$((passed + 1))
    else
        echo "[  FAILED  ] $1:" >&2
        sed 's/^/    /' "$2" >&2
        failed=$((failed + 1))
    fi
}

msi_round_trip() {
    local stage pkg folder pf smoke w work older dump wxs left k v step
    stage=$(find "$build/release" -maxdepth 1 -type d -name 'orvanta-*' ! -name '*-symbols' | sort | tail -n 1)
    work="$build/release/work"
    if [ -z "$stage" ] || [ ! -f "$work/regdump-x64.txt" ]; then
        echo "wine: installer packages not run: no release under $build/release (scripts/release.sh makes it)"
        return
    fi
    w="$build/wine/win64-msi"
    rm -rf "$w" && mkdir -p "$w"
    printf 'Set o = CreateObject("ORVANTA.OrvantaCtrl.1")\r\nWScript.Echo "ClearCOMError " & o.ClearCOMError() & ", ThreadId " & o.ThreadId\r\n' >"$w/smoke.vbs"
    echo "== Installer packages, win64 prefix"
    for folder in x64 x86; do
        pkg=$(ls "$stage"/orvanta-*-"$folder".msi)
        pf="Program Files" smoke="cscript.exe"
        [ "$folder" = x64 ] || { pf="Program Files (x86)" smoke='C:\windows\syswow64\cscript.exe'; }
        older="$w/older-$folder.msi" dump="$work/regdump-$folder.txt"
        [ -f "$dump" ] || dump="$work/regdump-x64.txt"
        python3 "$root/scripts/msi/make_wxs.py" "$dump" "$folder" "$stage/$folder/ORVANTA.OCX" \
            "$w/older-$folder.wxs" --version 1.0.0 >/dev/null
        wixl -a "$folder" -o "$older" "$w/older-$folder.wxs"
        check_step "msiexec /i an older $folder package" "$w/i-old-$folder.log" "" msiexec /i "$(wh_winpath "$older")" /qn
        for step in "installed" "upgraded"; do
            if [ "$step" = upgraded ]; then
                check_step "msiexec /i the release's $folder package upgrades it" "$w/i-$folder.log" "" \
                    msiexec /i "$(wh_winpath "$pkg")" /qn
                # In place: the older product is gone, one product is left.
                for wxs in "$w/older-$folder.wxs" "$work/$(basename "${pkg%.msi}").wxs"; do
                    k=$(sed -n 's/.*<Product Id="\([^"]*\)".*/\1/p' "$wxs")
                    for v in 32 64; do
                        wh_wine reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{$k}" \
                            /reg:$v >/dev/null 2>&1 && echo "$wxs"
                    done | sort -u
                done >"$w/products-$folder.txt"
                printf '%s\n' "$work/$(basename "${pkg%.msi}").wxs" | diff - "$w/products-$folder.txt" >"$w/products-diff-$folder.txt"
                msi_expect_empty "only the newer $folder product is installed" "$w/products-diff-$folder.txt"
            fi
            if [ "$folder" = x86 ] && ! wh_can_run win32; then
                echo "wine: the $folder package's script check ($step) not run: $(wh_why_not win32)"
            else
                check_step "a script calls the control from the $folder package ($step)" "$w/smoke-$folder-$step.log" \
                    "ClearCOMError -1, ThreadId 23456" "$smoke" //nologo "$(wh_winpath "$w/smoke.vbs")"
            fi
        done
        check_step "msiexec /x removes the $folder package" "$w/x-$folder.log" "" msiexec /x "$(wh_winpath "$pkg")" /qn
        left="$w/left-$folder.txt"
        : >"$left"
        [ ! -e "$WINEPREFIX/drive_c/$pf/Orvanta" ] || echo "C:\\$pf\\Orvanta" >>"$left"
        # Every key the module's registration writes, in both views.
        for k in $(cut -f1 "$work/regdump-x64.txt" | sed -n 's/^\(\(CLSID\|Interface\|Typelib\)\\[^\\]*\|[^\\]*\).*/\1/Ip' | sort -u); do
            [ "$k" = version ] && continue
            for v in 32 64; do
                wh_wine reg query "HKCR\\$k" /reg:$v >/dev/null 2>&1 && echo "HKCR\\$k (/reg:$v)" >>"$left"
            done
        done
        msi_expect_empty "nothing of the $folder package is left" "$left"
    done
}
