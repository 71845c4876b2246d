{ Scanned codes as events in Delphi. The type library import (see
  OrvantaDemo.pas) gives TOrvanta the events OnCodeScanned and OnScanEnded;
  they come on the form's thread while its message loop runs. The scanner
  is set to what SetCOMSettings names: 9600 baud, 8N1, codes ended by ETX (3).
  A 32-bit application needs the 32-bit OCX registered, a 64-bit one the
  64-bit OCX. }
unit OrvantaEvents;

interface

uses
  Winapi.Windows, System.SysUtils, Vcl.Forms, Vcl.StdCtrls, Vcl.Controls,
  System.Classes, ORVANTALib_TLB;

type
  TEventsForm = class(TForm)
    lstCodes: TListBox;
    btnStart: TButton;
    lblStatus: TLabel;
    procedure FormCreate(Sender: TObject);
    procedure FormDestroy(Sender: TObject);
    procedure btnStartClick(Sender: TObject);
  private
    FOrvanta: TOrvanta;
    FTask: Integer;
    procedure OrvantaCodeScanned(ASender: TObject; const Code: WideString);
    procedure OrvantaScanEnded(ASender: TObject; Reason: Integer);
  end;

var
  EventsForm: TEventsForm;

implementation

{$R *.dfm}

procedure TEventsForm.FormCreate(Sender: TObject);
begin
  FOrvanta := TOrvanta.Create(Self);
  FOrvanta.Parent := Self;                   // invisible at run time
  FOrvanta.OnCodeScanned := OrvantaCodeScanned;
  FOrvanta.OnScanEnded := OrvantaScanEnded;
end;

procedure TEventsForm.FormDestroy(Sender: TObject);
begin
  FOrvanta.CloseDevice;                      // also stops a running scan task
end;

procedure TEventsForm.btnStartClick(Sender: TObject);
begin
  if not FOrvanta.OpenDevice('COM2') then Exit;   // the control shows why
  FOrvanta.ScannerSuffixChar := 3;
  FOrvanta.SetCOMSettings('baud=9600 parity=N data=8 stop=1');
  FOrvanta.withACKN := True;                 // 0x06 for each code an event took
  FOrvanta.onlyWorkwithCurrentWindow := True;
  FOrvanta.scanWindowHandle := -1;           // events only: no window gets characters
  FTask := FOrvanta.ActivateScanTask;
  lblStatus.Caption := 'scanning';
end;

procedure TEventsForm.OrvantaCodeScanned(ASender: TObject; const Code: WideString);
begin
  lstCodes.Items.Add(Code);
  if Code = 'STOP' then FOrvanta.DeactivateScanTask(FTask);  // allowed inside the event
end;

procedure TEventsForm.OrvantaScanEnded(ASender: TObject; Reason: Integer);
const
  Reasons: array[0..3] of string = ('scanner sent ENDSCAN', 'stopped', 'device closed',
    'the task could not start');
begin
  if (Reason >= 0) and (Reason <= 3) then lblStatus.Caption := Reasons[Reason];
end;

end.
