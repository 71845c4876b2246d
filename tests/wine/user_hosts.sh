# shellcheck shell=bash
# What a user does first, per architecture, sourced by run.sh and run after
# its real-host checks (the OCX unregistered again): registration for the
# current user by regsvr32 /n /i:user and its removal, each checked by the
# test host; then the VBScript and JScript samples against the control
# registered machine-wide, and the reference's examples, each on a fresh
# cable. Uses run.sh's check_step
# and count_gtest, and its root and build.
# shellcheck disable=SC2154
#   user_hosts ARCH DIR OCX WORK
user_hosts() {
    local arch=$1 dir=$2 ocx=$3 work=$4 w state rc
    w="$build/wine/$arch-user"
    mkdir -p "$w"
    echo "== The user's first hour, $arch"
    pushd "$work" >/dev/null || return
    check_step "regsvr32 /n /i:user registers for the user ($arch)" "$w/peruser.log" "" \
        regsvr32 /s /n /i:user "$ocx"
    for state in registered unregistered; do
        if [ "$state" = unregistered ]; then
            check_step "regsvr32 /u /n /i:user removes it ($arch)" "$w/peruser-u.log" "" \
                regsvr32 /s /u /n /i:user "$ocx"
        fi
        rc=0
        ORVANTA_PER_USER=$state wh_run 120 "$w/peruser-$state.log" "$dir/orvanta_wine_tests.exe" \
            "--ocx=$ocx" --gtest_filter='PerUserRegsvr32.*' >/dev/null || rc=$?
        count_gtest "$w/peruser-$state.log" "$rc" "the $arch per-user check ($state)"
        tail -n 1 "$w/peruser-$state.log"
    done

    check_step "regsvr32 registers for the samples ($arch)" "$w/samples-reg.log" "" regsvr32 /s "$ocx"
    wh_com_pair_restart 5 >/dev/null
    check_step "sample VBScript print_and_scan.vbs ($arch)" "$w/sample-vbs.log" "ALL OK" \
        cscript.exe //nologo "$(wh_winpath "$root/samples/vbscript/print_and_scan.vbs")" COM5 COM6
    wh_com_pair_restart 5 >/dev/null
    check_step "sample JScript scan_session.js ($arch)" "$w/sample-js.log" "ALL OK" \
        cscript.exe //nologo "$(wh_winpath "$root/samples/jscript/scan_session.js")" COM5 COM6
    # The reference's examples, each as a script runs it (tests/docs/examples_vbs.py).
    python3 "$root/tests/docs/examples_vbs.py" "$root/docs/reference.md" "$(wh_winpath "$root/demo/label.prn")" \
        >"$w/examples.vbs"
    wh_com_pair_restart 5 >/dev/null
    check_step "the reference's examples ($arch)" "$w/examples.log" "ALL OK" \
        cscript.exe //nologo "$(wh_winpath "$w/examples.vbs")"
    grep ' not run ' "$w/examples.log" | sed "s/^/  /" || true
    check_step "regsvr32 /u after the samples ($arch)" "$w/samples-unreg.log" "" regsvr32 /s /u "$ocx"
    popd >/dev/null || return
}
