object ScanForm: TScanForm
  Left = 0
  Top = 0
  Caption = 'Orvanta sample'
  ClientHeight = 81
  ClientWidth = 345
  Color = clBtnFace
  Font.Charset = DEFAULT_CHARSET
  Font.Color = clWindowText
  Font.Height = -11
  Font.Name = 'Tahoma'
  Font.Style = []
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  PixelsPerInch = 96
  TextHeight = 13
  object edCode: TEdit
    Left = 8
    Top = 8
    Width = 329
    Height = 21
    TabOrder = 0
  end
  object btnPrint: TButton
    Left = 8
    Top = 40
    Width = 75
    Height = 25
    Caption = 'Print'
    TabOrder = 1
    OnClick = btnPrintClick
  end
  object btnScan: TButton
    Left = 89
    Top = 40
    Width = 75
    Height = 25
    Caption = 'Scan'
    TabOrder = 2
    OnClick = btnScanClick
  end
end
