Attribute VB_Name = "OrvantaEarlyBinding"
' ORVANTA.OCX from VBA with early binding (IntelliSense, checked when the
' project compiles): import this module (File > Import File...) and set the
' reference first: Tools > References > "orvanta ActiveX-Steuerelement-Modul".
' Without that reference the whole module does not compile; the late-bound
' OrvantaLabels.bas needs none. The reference needs the control registered
' (machine-wide or for the current user), registration-free use cannot give
' VBA a type library.
'
' The printer on PRINTER_PORT is set to 9600 baud, 8N1, as named below.
Option Explicit

Private Const PRINTER_PORT As String = "COM1"
' The event class (OrvantaScanEvents.cls) while it scans: the events stop
' when the object goes.
Private scanning As OrvantaScanEvents

' Send binary bytes (a label printer's raw command) with SendByte.
' Each call sends the low 8 bits of the number, 0 included.
Public Function SendRawBytes(bytes() As Byte) As Long
    Dim o As ORVANTALib.Orvanta
    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")   ' typed, so early bound; a control class: CreateObject, not New
    If Not o.OpenDevice(PRINTER_PORT) Then Exit Function
    o.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
    Dim i As Long, sent As Long
    For i = LBound(bytes) To UBound(bytes)
        sent = sent + o.SendByte(bytes(i))  ' 1 per byte sent
    Next i
    o.Flush
    o.CloseDevice
    SendRawBytes = sent
End Function

' Scanned codes as events, in any VBA host (Access too): the class module
' OrvantaScanEvents.cls.
Public Sub StartScanning()
    Set scanning = New OrvantaScanEvents
    scanning.Start "COM2"
End Sub

Public Sub StopScanning()
    If Not scanning Is Nothing Then scanning.StopIt
    Set scanning = Nothing
End Sub
