Attribute VB_Name = "OrvantaLabels"
' ORVANTA.OCX from VBA (Access, Excel, Word), late binding: import this
' module (VBA editor: File > Import File..., OrvantaLabels.bas). It names no
' type of the control's library, so it compiles with no reference set and
' works with every Office bitness that has the matching build registered
' (32-bit Office: the x86 OCX; 64-bit Office: the x64 OCX).
' Register the control first (docs\install.md). Early binding, with
' IntelliSense: OrvantaEarlyBinding.bas.
'
' The printer on PRINTER_PORT is set to what SetCOMSettings names: 9600 baud,
' no parity, 8 data bits, 1 stop bit (8N1).
Option Explicit

Private Const PRINTER_PORT As String = "COM1"
Private Const PRINTER_LINE As String = "baud=9600 parity=N data=8 stop=1"

' Print a label with an escape sequence and a form feed.
Public Sub PrintLabelLate(ByVal article As String, ByVal qty As Long)
    Dim o As Object
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")   ' error 429: not registered for this bitness
    If Not o.OpenDevice(PRINTER_PORT) Then Exit Sub   ' the control showed why
    o.SetCOMSettings PRINTER_LINE
    o.chartooem = 1                    ' the printer expects DOS characters (code pages 437 and 850: ä -> 0x84, ö -> 0x94)
    o.SendEscCommand "@", ""           ' ESC @: reset
    o.SendEscCommand "E", ""           ' ESC E: bold
    o.Writeln "Artikel " & article
    o.SendEscCommand "F", ""           ' ESC F: bold off
    o.Writeln "Menge:  " & qty
    o.FormFeed
    o.CloseDevice
End Sub

' A whole print file (prepared by a label designer) in one call.
Public Function SendPrintFile(ByVal path As String) As Long
    Dim o As Object
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
    If o.OpenDevice(PRINTER_PORT) Then
        o.SetCOMSettings PRINTER_LINE
        SendPrintFile = o.SendFile(path)   ' bytes sent; 0 = nothing
        o.CloseDevice
    End If
End Function
