' Scanned codes as events in a script: cscript scan_events.vbs [PORT]
' WScript.ConnectObject joins the control's events to the subs named
' Scanner_<event>. The script host delivers events while the script waits in
' WScript.Sleep. Stops after "ENDSCAN" from the scanner or 60 s.
' The scanner must be set to what SetCOMSettings names below: 9600 baud,
' no parity, 8 data bits, 1 stop bit, codes ended by ETX (3).
' (Wine's cscript has no ConnectObject: this sample is for Windows.)
Option Explicit
Dim port : port = "COM5"
If WScript.Arguments.Count > 0 Then port = WScript.Arguments(0)
Dim ended : ended = False

Dim scanner : Set scanner = CreateObject("ORVANTA.OrvantaCtrl.1")   ' error 429: not registered for this bitness
WScript.ConnectObject scanner, "Scanner_"

Sub Scanner_CodeScanned(Code)
    WScript.Echo "code: " & Code
End Sub

Sub Scanner_ScanEnded(Reason)
    WScript.Echo "scan ended, reason " & Reason   ' 0 ENDSCAN, 1 stopped, 2 closed, 3 not started
    ended = True
End Sub

Dim p
For Each p In scanner.GetCOMPorts()
    WScript.Echo "port present: " & p
Next
If Not scanner.OpenDevice(port) Then WScript.Quit 1
scanner.ScannerSuffixChar = 3                        ' ETX ends each code
scanner.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
scanner.withACKN = True
scanner.onlyWorkwithCurrentWindow = True
scanner.scanWindowHandle = -1       ' events only: nothing typed, no window
scanner.ActivateScanTask
Dim waited : waited = 0
Do While Not ended And waited < 600
    WScript.Sleep 100                ' events arrive here
    waited = waited + 1
Loop
scanner.CloseDevice
