VERSION 5.00
Object = "{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}#1.0#0"; "ORVANTA.OCX"
Begin VB.Form EventsForm
   Caption         =   "Orvanta events"
   ClientHeight    =   3000
   ClientWidth     =   4800
   Begin ORVANTALib.Orvanta Scanner1
      Left            =   4200
      Top             =   120
      _Version        =   65536
      _ExtentX        =   847
      _ExtentY        =   847
   End
   Begin VB.ComboBox cboPort
      Height          =   315
      Left            =   120
      Style           =   2  'Dropdown List
      Top             =   120
      Width           =   1500
   End
   Begin VB.ListBox lstCodes
      Height          =   1815
      Left            =   120
      Top             =   600
      Width           =   3900
   End
   Begin VB.CommandButton cmdStart
      Caption         =   "Start"
      Height          =   375
      Left            =   1800
      Top             =   120
      Width           =   1000
   End
   Begin VB.Label lblStatus
      Height          =   375
      Left            =   120
      Top             =   2520
      Width           =   3900
   End
End
Attribute VB_Name = "EventsForm"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
' The control on a form, codes taken as events: no window handle, no
' keystrokes. The events come on the form's thread while it is idle.
' Open OrvantaEvents.vbp beside this form. The scanner is set to 9600 baud,
' 8N1, codes ended by ETX (3), as SetCOMSettings below names.
Option Explicit

Private task As Long

Private Sub Form_Load()
    Dim port As Variant
    For Each port In Scanner1.GetCOMPorts()
        cboPort.AddItem port
    Next
    If cboPort.ListCount > 0 Then cboPort.ListIndex = 0
End Sub

Private Sub cmdStart_Click()
    If Not Scanner1.OpenDevice(cboPort.Text) Then Exit Sub
    Scanner1.ScannerSuffixChar = 3
    Scanner1.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
    Scanner1.withACKN = True
    Scanner1.onlyWorkwithCurrentWindow = True
    Scanner1.scanWindowHandle = -1          ' events only: no window gets characters
    task = Scanner1.ActivateScanTask()
End Sub

Private Sub Scanner1_CodeScanned(ByVal Code As String)
    lstCodes.AddItem Code
    If Code = "STOP" Then Scanner1.DeactivateScanTask task   ' allowed inside the event
End Sub

Private Sub Scanner1_ScanEnded(ByVal Reason As Long)
    lblStatus.Caption = Choose(Reason + 1, "scanner sent ENDSCAN", "stopped", "device closed", _
                               "the task could not start")
End Sub

' The scanner unplugged and plugged back: the control looks for the port
' under its name, reopens it with its settings and the session goes on.
Private Sub Scanner1_DeviceLost(ByVal Name As String, ByVal Error As Long)
    lblStatus.Caption = Name & " unplugged (error " & Error & "), waiting for it"
End Sub

Private Sub Scanner1_DeviceBack(ByVal Name As String)
    lblStatus.Caption = Name & " is back"
End Sub

Private Sub Form_Unload(Cancel As Integer)
    Scanner1.CloseDevice
End Sub
