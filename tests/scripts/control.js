// The control as JScript drives it: numbers arrive as VT_I4 or VT_R8,
// booleans as VT_BOOL. Prints one line per failure and "ALL OK" last when
// nothing failed; the exit code is the failure count.
var failures = 0;
function check(what, got, want) {
    if (typeof got !== typeof want || got !== want) {
        WScript.Echo("FAIL " + what + ": " + typeof got + " " + got + ", want " + typeof want + " " + want);
        failures++;
    }
}

var o = new ActiveXObject("ORVANTA.OrvantaCtrl.1");
var ports = new VBArray(o.GetCOMPorts()).toArray();
check("GetCOMPorts", typeof ports.length === "number" && (ports.length === 0 || typeof ports[0] === "string"), true);
check("withACKN", o.withACKN, false);
check("defaultComSettings", o.defaultComSettings, "baud=9600 parity=N data=7 stop=2");
check("ScannerSuffixChar", o.ScannerSuffixChar, 3);
check("onlyWorkwithCurrentWindow", o.onlyWorkwithCurrentWindow, false);
check("debugModus", o.debugModus, false);
check("ThreadId", o.ThreadId, 23456);
check("scanWindowHandle", o.scanWindowHandle, 0);
check("timeout", o.timeout, 10);
check("chartooem", o.chartooem, 0);

o.withACKN = true; check("withACKN put", o.withACKN, true);
o.defaultComSettings = "baud=4800 parity=O data=7 stop=1";
check("defaultComSettings put", o.defaultComSettings, "baud=4800 parity=O data=7 stop=1");
o.ScannerSuffixChar = 13.0; check("ScannerSuffixChar put", o.ScannerSuffixChar, 13);
o.onlyWorkwithCurrentWindow = true; check("onlyWorkwithCurrentWindow put", o.onlyWorkwithCurrentWindow, true);
o.debugModus = true; check("debugModus put", o.debugModus, true);
o.debugModus = false; check("debugModus put back", o.debugModus, false);
o.ThreadId = 3000000000 - 2999999999; check("ThreadId put", o.ThreadId, 1);
o.scanWindowHandle = 65538.0; check("scanWindowHandle put", o.scanWindowHandle, 65538);
o.scanWindowHandle = 0;
o.timeout = 1.5e2; check("timeout put", o.timeout, 150);
o.chartooem = 1; check("chartooem put", o.chartooem, 1);

var s = "Hallo";
check("write", o.write(s), 0);
check("host string after write", s, "Hallo");
check("FLUSH", o.FLUSH(), 0);
check("ClearComError", o.ClearComError(), -1);
check("setcomsettings", o.setcomsettings(""), false);
check("ScanCodeFromCom", o.ScanCodeFromCom(), "");
check("ReadBytes", o.ReadBytes("buffer", 6, 2), 0);
o.closeDevice();

var unknown = 0;
try { o.NoSuchMember(); } catch (e) { unknown = 1; }
check("unknown member throws", unknown, 1);

o = null;
if (failures === 0) WScript.Echo("ALL OK");
WScript.Quit(failures);
