' The demo's scan session, as a user's script writes it: Notepad is the
' application, ORVANTA.OCX types each scanned code into it (keystroke mode)
' and answers the scanner with 0x06. The scanner's "ENDSCAN" ends the task
' with its two closing messages. The script keeps the control alive until
' the file DONE exists.
'   cscript //nologo scan_session.vbs PORT DONE HELPER
' HELPER (the demo's orvanta_demo.exe) waits for Notepad's window and brings
' it to the front, which is all the scan needs from the desktop.
Option Explicit
Dim port : port = WScript.Arguments(0)
Dim done : done = WScript.Arguments(1)
Dim helper : helper = WScript.Arguments(2)
Dim shell : Set shell = CreateObject("WScript.Shell")
Dim fso : Set fso = CreateObject("Scripting.FileSystemObject")

' The application the codes are for. Keystrokes go to the focused window.
shell.Run "notepad.exe", 1, False
If shell.Run("""" & helper & """ focus Notepad", 0, True) <> 0 Then
    WScript.Echo "  Notepad did not come up" : WScript.Quit 1
End If
WScript.Echo "  Notepad is up and has the focus"
Dim t

Dim o : Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
If Not o.OpenDevice(port) Then WScript.Echo "  cannot open " & port : WScript.Quit 1
o.SetCOMSettings ""                         ' the suffix 3 becomes the event character
o.withACKN = True                           ' 0x06 at start and after each code, 0x0F after ERROR
o.onlyWorkwithCurrentWindow = False         ' keystroke mode: type into the focused window
Dim task : task = o.ActivateScanTask()
WScript.Echo "  ActivateScanTask() = " & task & " (non-zero: the scan task runs)"

t = Timer
Do While Not fso.FileExists(done)
    If Timer - t > 50 Then Exit Do
    shell.Run "cmd.exe /c exit", 0, True
Loop
o.CloseDevice
WScript.Echo "  CloseDevice"
