' The demo's print job, as a user's script writes it: ORVANTA.OCX through
' COM on the printer's port. Text, an escape sequence, a whole file, a form
' feed. Each line says what the control answered.
'   cscript //nologo print_job.vbs PORT FILE
Option Explicit
Dim o : Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
Dim port : port = WScript.Arguments(0)
Dim file : file = WScript.Arguments(1)
Dim opened : opened = o.OpenDevice(port)
WScript.Echo "  OpenDevice(""" & port & """) = " & opened
If Not opened Then WScript.Quit 1
o.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
WScript.Echo "  Writeln(""Orvanta Druckauftrag"") = " & o.Writeln("Orvanta Druckauftrag")
WScript.Echo "  SendEscCommand(""E"", """") = " & o.SendEscCommand("E", "") & "   (ESC E: bold)"
WScript.Echo "  Writeln(""Lieferschein 4711"") = " & o.Writeln("Lieferschein 4711")
WScript.Echo "  SendEscCommand(""F"", ""13 10"") = " & o.SendEscCommand("F", "13 10") & "   (ESC F, then CR LF as bytes)"
WScript.Echo "  SendFile(""" & file & """) = " & o.SendFile(file)
o.FormFeed
WScript.Echo "  FormFeed"
o.CloseDevice
WScript.Echo "  CloseDevice"
