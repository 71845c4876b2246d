' A print job to a printer on raw TCP, as a user's script writes it:
'   cscript //nologo network.vbs socket://127.0.0.1:PORT
' The run compares what the printer received with the protocol file.
' Prints one line per failure and "ALL OK" last.
Option Explicit
Dim failures : failures = 0

Sub Check(what, got, want)
    If got <> want Then
        WScript.Echo "FAIL " & what & ": " & got & ", want " & want
        failures = failures + 1
    End If
End Sub

Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")
Dim label : Set label = fso.CreateTextFile("label.prn", True)
label.Write "^XA^FO50,50^FDOrvanta^FS^XZ" & vbCrLf
label.Close

Dim o : Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
Check "open", o.OpenDevice(WScript.Arguments(0)), True
Check "SetCOMSettings", o.SetCOMSettings("baud=19200 parity=E data=8 stop=1"), True
Check "Writeln", o.Writeln("Bon 4711 " & Chr(255) & Chr(228)), CLng(13)
Check "SendEscCommand", o.SendEscCommand("@", ""), CInt(2)
Check "SendByte", o.SendByte(255), CInt(1)
o.FormFeed
Check "SendFile", o.SendFile(fso.GetAbsolutePathName("label.prn")), CLng(29)
Check "ClearCOMError", o.ClearCOMError(), CLng(0)
Check "SetSignalOnCOM", o.SetSignalOnCOM(3), True
o.CloseDevice

If failures = 0 Then WScript.Echo "ALL OK"
WScript.Quit failures
