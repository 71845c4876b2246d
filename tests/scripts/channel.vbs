' The device channel through automation: one control on each end of the
' virtual cable (COM5 and COM6). What the first writes, the second reads as
' scanned codes. Prints one line per failure and "ALL OK" last.
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

Dim printer : Set printer = CreateObject("ORVANTA.OrvantaCtrl.1")
Dim scanner : Set scanner = CreateObject("ORVANTA.OrvantaCtrl.1")
Check "open COM5", printer.OpenDevice("COM5"), True
Check "open COM6", scanner.OpenDevice("COM6"), True
Check "settings COM6", scanner.SetCOMSettings(""), True

Dim suffix : suffix = Chr(3)
Check "Write", printer.Write("4711" & suffix), CLng(5)
Check "code 1", scanner.ScanCodeFromCOM(), "4711"
Check "Writeln", printer.Writeln("Zeile"), CLng(7)
Check "SendByte", printer.SendByte(259), CInt(1)
Check "code 2", scanner.ScanCodeFromCOM(), "Zeile" & vbCrLf
Check "SendEscCommand", printer.SendEscCommand("E", " 51 3 "), CInt(4)
Check "code 3", scanner.ScanCodeFromCOM(), Chr(27) & "E3"
' Text in the ANSI code page arrives as the same bytes.
Check "Write umlauts", printer.Write("M" & Chr(228) & "rz" & suffix), CLng(5)
Check "code 4", scanner.ScanCodeFromCOM(), "M" & Chr(228) & "rz"
Check "ClearCOMError", scanner.ClearCOMError(), CLng(0)
Check "SetSignalOnCOM 0", printer.SetSignalOnCOM(0), False
Check "SetSignalOnCOM XON", printer.SetSignalOnCOM(6), True
' The port list: an array of strings, the cable's ends among them.
Dim ports, port, found : ports = scanner.GetCOMPorts() : found = ""
Check "GetCOMPorts LBound", LBound(ports), CLng(0)
For Each port In ports
    If port = "COM5" Or port = "COM6" Then found = found & port
Next
Check "GetCOMPorts", found, "COM5COM6"
printer.CloseDevice
scanner.CloseDevice
Check "Write after close", printer.Write("x"), CLng(0)

If failures = 0 Then WScript.Echo "ALL OK"
WScript.Quit failures
