// ORVANTA.OCX from JScript: a scan session read on request, answered like
// the scan task answers (0x06 after each code), ended by the code "ENDSCAN".
//
//   cscript //nologo scan_session.js [PORT] [FAR_END]
//
// PORT is the scanner's port (default COM5). FAR_END (default COM6) is the
// other end of a null-modem cable: a second control there plays the scanner,
// so the script checks itself and prints "ALL OK" (exit code 0) or one
// "FAIL" line per problem. With a real scanner, drop the far end.
//
// For codes typed into your application while it goes on working, use
// ActivateScanTask instead (see samples/vba and docs/reference.md).
var failures = 0;
function check(what, got, want) {
    if (got !== want) {
        WScript.Echo("FAIL " + what + ": got [" + got + "], want [" + want + "]");
        failures++;
    }
}

var args = WScript.Arguments;
var port = args.length > 0 ? args(0) : "COM5";
var farEnd = args.length > 1 ? args(1) : "COM6";

var ctl = new ActiveXObject("ORVANTA.OrvantaCtrl.1");
var scanner = new ActiveXObject("ORVANTA.OrvantaCtrl.1");
if (!ctl.OpenDevice(port) || !scanner.OpenDevice(farEnd)) {
    WScript.Echo("FAIL cannot open " + port + " or " + farEnd);
    WScript.Quit(1);
}

// Many scanners end a code with CR (13). SetCOMSettings makes the suffix the
// line's event character: call it after every change of ScannerSuffixChar.
ctl.ScannerSuffixChar = 13;
check("settings", ctl.SetCOMSettings("baud=9600 parity=N data=8 stop=1"), true);
// The simulated scanner waits for the ACK byte (6) as its "code" end.
scanner.ScannerSuffixChar = 6;
check("scanner settings", scanner.SetCOMSettings("baud=9600 parity=N data=8 stop=1"), true);

var sent = ["4006381333931", "ABC-123", "ENDSCAN"];
var got = [];
for (var i = 0; i < sent.length; i++) {
    scanner.Write(sent[i] + "\r");                 // the scanner sends a code
    var code = ctl.ScanCodeFromCOM();              // blocks until one arrives
    if (code === "ERROR") {                        // the wait failed
        ctl.SendByte(15);                          // 0x0F, as the scan task does
        continue;
    }
    ctl.SendByte(6);                               // ACK
    check("ACK " + (i + 1), scanner.ScanCodeFromCOM(), "");
    if (code === "ENDSCAN") break;
    got.push(code);
}
check("codes", got.join(","), "4006381333931,ABC-123");

ctl.CloseDevice();
scanner.CloseDevice();
if (failures === 0) WScript.Echo("ALL OK");
WScript.Quit(failures);
