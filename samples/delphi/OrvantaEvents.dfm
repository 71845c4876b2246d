object EventsForm: TEventsForm
  Left = 0
  Top = 0
  Caption = 'Orvanta events'
  ClientHeight = 201
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
  object lstCodes: TListBox
    Left = 8
    Top = 40
    Width = 329
    Height = 129
    TabOrder = 0
  end
  object btnStart: TButton
    Left = 8
    Top = 8
    Width = 75
    Height = 25
    Caption = 'Start'
    TabOrder = 1
    OnClick = btnStartClick
  end
  object lblStatus: TLabel
    Left = 8
    Top = 176
    Width = 329
    Height = 13
  end
end
