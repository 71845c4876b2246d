Attribute VB_Name = "OrvantaLabels"
' ORVANTA.OCX from VBA (Access, Excel, Word): import this module
' (File > Import File...). Register the control first (regsvr32, or
' regsvr32 /n /i:user ORVANTA.OCX without admin rights).
'
' Late binding (no reference needed; works with every Office bitness that
' matches the registered build): Dim o As Object / CreateObject.
' Early binding (IntelliSense, checked at compile time): Tools > References >
' "orvanta ActiveX-Steuerelement-Modul", then Dim o As ORVANTALib.Orvanta.
' A 32-bit Office needs the 32-bit OCX, a 64-bit Office the 64-bit one.
Option Explicit

Private Const PRINTER_PORT As String = "COM1"

' Late binding: print a label with an escape sequence and a form feed.
Public Sub PrintLabelLate(ByVal article As String, ByVal qty As Long)
    Dim o As Object
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
    If Not o.OpenDevice(PRINTER_PORT) Then Exit Sub   ' the control showed why
    o.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
    o.chartooem = 1                    ' the printer expects DOS characters (code page 850: ä -> 0x84, ö -> 0x94)
    o.SendEscCommand "@", ""           ' ESC @: reset
    o.SendEscCommand "E", ""           ' ESC E: bold
    o.Writeln "Artikel " & article
    o.SendEscCommand "F", ""           ' ESC F: bold off
    o.Writeln "Menge:  " & qty
    o.FormFeed
    o.CloseDevice
End Sub

' Early binding: send binary bytes (a label printer's raw command) with SendByte.
' Each call sends the low 8 bits of the number, 0 included.
Public Function SendRawBytes(bytes() As Byte) As Long
    Dim o As ORVANTALib.Orvanta          ' needs the reference above
    Set o = New ORVANTALib.Orvanta
    If Not o.OpenDevice(PRINTER_PORT) Then Exit Function
    Dim i As Long, sent As Long
    For i = LBound(bytes) To UBound(bytes)
        sent = sent + o.SendByte(bytes(i))  ' 1 per byte sent
    Next i
    o.Flush
    o.CloseDevice
    SendRawBytes = sent
End Function

' A whole print file (prepared by a label designer) in one call.
Public Function SendPrintFile(ByVal path As String) As Long
    Dim o As Object
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
    If o.OpenDevice(PRINTER_PORT) Then
        SendPrintFile = o.SendFile(path)   ' bytes sent; 0 = nothing
        o.CloseDevice
    End If
End Function
