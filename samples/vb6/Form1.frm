VERSION 5.00
Object = "{1C3B2481-A973-4F1E-8A7C-3A51ED70F978}#1.0#0"; "ORVANTA.OCX"
Begin VB.Form Form1 
   Caption         =   "Orvanta sample"
   ClientHeight    =   3000
   ClientLeft      =   60
   ClientTop       =   345
   ClientWidth     =   4800
   LinkTopic       =   "Form1"
   ScaleHeight     =   3000
   ScaleWidth      =   4800
   StartUpPosition =   3  'Windows Default
   Begin ORVANTALib.Orvanta Orvanta1 
      Left            =   4200
      Top             =   120
      _Version        =   65536
      _ExtentX        =   847
      _ExtentY        =   847
   End
   Begin VB.TextBox txtCode 
      Height          =   315
      Left            =   120
      TabIndex        =   0
      Top             =   120
      Width           =   3900
   End
   Begin VB.CommandButton cmdPrint 
      Caption         =   "Print"
      Height          =   375
      Left            =   120
      TabIndex        =   1
      Top             =   600
      Width           =   1215
   End
   Begin VB.CommandButton cmdScan 
      Caption         =   "Scan"
      Height          =   375
      Left            =   1440
      TabIndex        =   2
      Top             =   600
      Width           =   1215
   End
End
Attribute VB_Name = "Form1"
Attribute VB_GlobalNameSpace = False
Attribute VB_Creatable = False
Attribute VB_PredeclaredId = True
Attribute VB_Exposed = False
' VB6: open OrvantaSample.vbp beside this form; it names the control. In a
' project of your own: Project > Components > "orvanta ActiveX-Steuerelement-
' Modul", then draw the control on the form (it is invisible at run time; at
' design time a white box with an ellipse). None of its properties is saved
' with the form: set them in code, as below.
Option Explicit

Private Sub cmdPrint_Click()
    If Not Orvanta1.OpenDevice("LPT1") Then Exit Sub   ' a parallel port: no line settings
    Orvanta1.Writeln "Hallo vom Formular"
    Orvanta1.SendEscCommand "E", ""       ' ESC E
    Orvanta1.Writeln "fett"
    Orvanta1.FormFeed
    Orvanta1.CloseDevice
End Sub

Private Sub cmdScan_Click()
    If Not Orvanta1.OpenDevice("COM2") Then Exit Sub
    ' The scanner is set the same: 9600 baud, 8N1, codes ended by ETX (3).
    Orvanta1.ScannerSuffixChar = 3
    Orvanta1.SetCOMSettings "baud=9600 parity=N data=8 stop=1"
    Orvanta1.withACKN = True
    Orvanta1.onlyWorkwithCurrentWindow = True   ' characters to one window...
    Orvanta1.scanWindowHandle = txtCode.hWnd    ' ...this text box
    Orvanta1.ActivateScanTask
End Sub

Private Sub Form_Unload(Cancel As Integer)
    Orvanta1.CloseDevice                        ' stops the scan task too
End Sub
