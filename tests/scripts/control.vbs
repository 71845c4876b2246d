' The control as VBScript drives it: defaults, each property written and read
' back, methods by name in any letter case. Prints one line per failure and
' "ALL OK" last when nothing failed; the exit code is the failure count.
Option Explicit
Dim failures : failures = 0

Sub Check(what, got, want)
    If TypeName(got) <> TypeName(want) Then
        WScript.Echo "FAIL " & what & ": type " & TypeName(got) & ", want " & TypeName(want)
        failures = failures + 1
    ElseIf got <> want Then
        WScript.Echo "FAIL " & what & ": " & got & ", want " & want
        failures = failures + 1
    End If
End Sub

Dim o : Set o = CreateObject("ORVANTA.OrvantaCtrl.1")

Check "withACKN", o.withACKN, False
Check "defaultComSettings", o.defaultComSettings, "baud=9600 parity=N data=7 stop=2"
Check "ScannerSuffixChar", o.ScannerSuffixChar, CInt(3)
Check "onlyWorkwithCurrentWindow", o.onlyWorkwithCurrentWindow, False
Check "debugModus", o.debugModus, False
Check "ThreadId", o.ThreadId, CLng(23456)
Check "scanWindowHandle", o.scanWindowHandle, CLng(0)
Check "timeout", o.timeout, CInt(10)
Check "chartooem", o.chartooem, CInt(0)

' Variables go by reference; the control must read through them.
Dim v
o.withACKN = True : Check "withACKN put", o.withACKN, True
v = "baud=1200 parity=E data=8 stop=1" : o.defaultComSettings = v
Check "defaultComSettings put", o.defaultComSettings, "baud=1200 parity=E data=8 stop=1"
v = 13 : o.ScannerSuffixChar = v : Check "ScannerSuffixChar put", o.ScannerSuffixChar, CInt(13)
o.onlyWorkwithCurrentWindow = True : Check "onlyWorkwithCurrentWindow put", o.onlyWorkwithCurrentWindow, True
o.debugModus = True : Check "debugModus put", o.debugModus, True
o.debugModus = False : Check "debugModus put back", o.debugModus, False
v = 70000 : o.ThreadId = v : Check "ThreadId put", o.ThreadId, CLng(70000)
o.scanWindowHandle = 12345 : Check "scanWindowHandle put", o.scanWindowHandle, CLng(12345)
o.scanWindowHandle = 0
o.timeout = 250 : Check "timeout put", o.timeout, CInt(250)
o.chartooem = 1 : Check "chartooem put", o.chartooem, CInt(1)

' Methods, by name in any letter case; no device is open.
Dim s : s = "Hallo"
Check "write", o.write(s), CLng(0)
Check "host string after WRITE", s, "Hallo"
Check "WRITELN", o.WRITELN(s), CLng(0)
Check "Flush", o.Flush(), CLng(0)
Check "clearcomerror", o.clearcomerror(), CLng(-1)
Check "SetComSettings", o.SetComSettings(""), False
Check "setsignaloncom", o.setsignaloncom(3), False
Check "SENDBYTE", o.SENDBYTE(6), CInt(0)
Check "scancodefromcom", o.scancodefromcom(), ""
Check "deactivatescantask", o.deactivatescantask(0), CLng(0)
o.FormFeed
o.closedevice
Check "scanWindowHandle after deactivate", o.scanWindowHandle, CLng(0)

On Error Resume Next
o.NoSuchMember
Check "unknown member error", Err.Number, CLng(438)
Err.Clear
On Error Goto 0

Set o = Nothing
If failures = 0 Then WScript.Echo "ALL OK"
WScript.Quit failures
