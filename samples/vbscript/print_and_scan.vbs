' ORVANTA.OCX from VBScript: a print job, then a code read from a scanner.
'
'   cscript //nologo print_and_scan.vbs [PORT] [FAR_END]
'
' PORT is the printer/scanner port (default COM5). FAR_END (default COM6) is
' the other end of a null-modem cable from PORT: a second control on it plays
' the printer and the scanner, so the script checks itself and ends with
' "ALL OK" (exit code 0) or one "FAIL" line per problem. On a shop floor you
' would drop the far end and talk to the real device.
'
' Register the control first: regsvr32 ORVANTA.OCX (or, without admin
' rights, regsvr32 /n /i:user ORVANTA.OCX).
'
' Both ends of the cable get the same line settings, named in full:
' 9600 baud, no parity, 8 data bits, 1 stop bit (8N1). A device of your own
' must be set to what SetCOMSettings names, or bytes arrive changed.
Option Explicit
Dim failures : failures = 0
Sub Check(what, got, want)
    If got <> want Then
        WScript.Echo "FAIL " & what & ": got [" & got & "], want [" & want & "]"
        failures = failures + 1
    End If
End Sub

Dim port, farEnd
port = "COM5" : farEnd = "COM6"
If WScript.Arguments.Count > 0 Then port = WScript.Arguments(0)
If WScript.Arguments.Count > 1 Then farEnd = WScript.Arguments(1)

Const LINE = "baud=9600 parity=N data=8 stop=1"
' OpenDevice writes the protocol file OCXPROT.PRT into the current folder:
' make it the user's temporary folder, which the user may write to.
Dim shell : Set shell = CreateObject("WScript.Shell")
shell.CurrentDirectory = shell.ExpandEnvironmentStrings("%TEMP%")

Dim ctl : Set ctl = CreateObject("ORVANTA.OrvantaCtrl.1")
Dim far : Set far = CreateObject("ORVANTA.OrvantaCtrl.1")

' --- open both ends. OpenDevice shows a notice itself when a port is missing.
If Not ctl.OpenDevice(port) Then WScript.Echo "FAIL cannot open " & port : WScript.Quit 1
If Not far.OpenDevice(farEnd) Then WScript.Echo "FAIL cannot open " & farEnd : WScript.Quit 1
' 8 data bits for text with umlauts; the same settings on both ends.
Check "line settings", ctl.SetCOMSettings(LINE), True
' The far end reads "lines": every code it reads ends at LF (10).
far.ScannerSuffixChar = 10
Check "far end settings", far.SetCOMSettings(LINE), True

' --- the print job: text, an escape sequence, single bytes.
Check "Writeln", ctl.Writeln("Lieferschein 4711"), 19           ' 17 + CR LF
Check "far end line 1", far.ScanCodeFromCOM(), "Lieferschein 4711" & vbCr
' ESC E (bold on) plus a number per byte: here CR and LF. Result: 2 + 2.
Check "SendEscCommand", ctl.SendEscCommand("E", "13 10"), 4
Check "far end line 2", far.ScanCodeFromCOM(), Chr(27) & "E" & vbCr
' Binary bytes go one by one with SendByte (low 8 bits of the number).
ctl.SendByte 228 : ctl.SendByte 13 : ctl.SendByte 10             ' "ä" CR LF
Check "far end line 3", far.ScanCodeFromCOM(), Chr(228) & vbCr

' --- a scan: the far end is now the scanner. It sends codes ending in the
' suffix (here 3, ETX); ScanCodeFromCOM waits for one and returns it.
' SetCOMSettings makes the suffix the line's event character. (An empty
' string would apply defaultComSettings, 7 data bits and 2 stop bits: not
' what the far end uses.)
ctl.ScannerSuffixChar = 3
Check "scanner settings", ctl.SetCOMSettings(LINE), True
far.Write "4006381333931" & Chr(3)
Check "scanned code", ctl.ScanCodeFromCOM(), "4006381333931"
far.ScannerSuffixChar = 6                       ' the scanner waits for the ACK
Check "scanner waits for ACK", far.SetCOMSettings(LINE), True
ctl.SendByte 6                                  ' answer the scanner: ACK (0x06)
Check "ACK", far.ScanCodeFromCOM(), ""          ' the ACK itself is the suffix

Check "line errors", ctl.ClearCOMError(), 0
ctl.CloseDevice
far.CloseDevice

' --- the protocol file: everything written to the port, in the host's
' current directory (%TEMP% here). Readable once the device is closed.
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
If fso.FileExists("OCXPROT.PRT") Then
    Dim f : Set f = fso.OpenTextFile("OCXPROT.PRT", 1)
    Dim logged : logged = ""
    If Not f.AtEndOfStream Then logged = f.ReadAll
    f.Close
    ' The first control to open a port holds the file (no sharing): it is
    ' ctl's, with every byte ctl wrote.
    Check "protocol file", logged, "Lieferschein 4711" & vbCrLf & Chr(27) & "E" & vbCrLf & _
        Chr(228) & vbCrLf & Chr(6)
Else
    Check "protocol file exists", False, True
End If

If failures = 0 Then WScript.Echo "ALL OK"
WScript.Quit failures
