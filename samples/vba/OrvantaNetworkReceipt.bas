Attribute VB_Name = "OrvantaNetworkReceipt"
' ORVANTA.OCX from VBA: a receipt on a network receipt printer (raw TCP,
' port 9100, as most receipt and label printers take it), late binding:
' import this module (VBA editor: File > Import File...,
' OrvantaNetworkReceipt.bas). Set PRINTER to your printer's address.
' The same members work on a serial device server: "rfc2217://HOST:PORT",
' where SetCOMSettings sets the server's line.
Option Explicit

Private Const PRINTER As String = "socket://192.168.1.40:9100"

Public Sub PrintReceipt(ByVal article As String, ByVal price As Currency)
    Dim o As Object
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")   ' error 429: not registered for this bitness
    ' Connects within 5 s, else False and the control shows why. A printer that
    ' stops taking data makes a write give up after its time limit (timeout).
    If Not o.OpenDevice(PRINTER) Then Exit Sub
    o.SendEscCommand "@", ""           ' ESC @: reset
    o.Writeln "Shop 42"
    o.Writeln article & "  " & Format(price, "0.00")
    If o.Writeln("Danke!") = 0 Then MsgBox "The printer did not take the receipt."
    o.SendEscCommand "d", " 4 "        ' ESC d 4: feed four lines
    o.CloseDevice
End Sub
