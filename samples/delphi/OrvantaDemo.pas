{ ORVANTA.OCX from Delphi.
  Import the type library once: Component > Import Component > Import a Type
  Library > "orvanta ActiveX-Steuerelement-Modul" (ORVANTALib). Delphi writes
  ORVANTALib_TLB.pas with the wrapper TOrvanta (a TOleControl) and installs it
  on the palette. Drop it on a form, or create it in code as below. The unit
  names ORVANTALib_TLB, so it compiles only once the import is done; created
  in code, the control is not in the form file, so the form designer opens
  the form even before. The project is OrvantaDemoApp.dpr; the form
  OrvantaDemo.dfm wires the buttons to the handlers below. Events:
  OrvantaEventsApp.dpr. The devices are set to what SetCOMSettings names:
  9600 baud, no parity, 8 data bits, 1 stop bit (8N1).
  A 32-bit application needs the 32-bit OCX registered, a 64-bit one the
  64-bit OCX. }
unit OrvantaDemo;

interface

uses
  Winapi.Windows, System.SysUtils, Vcl.Forms, Vcl.StdCtrls, Vcl.Controls,
  System.Classes, ORVANTALib_TLB;

type
  TScanForm = class(TForm)
    edCode: TEdit;
    btnPrint: TButton;
    btnScan: TButton;
    procedure FormCreate(Sender: TObject);
    procedure FormDestroy(Sender: TObject);
    procedure btnPrintClick(Sender: TObject);
    procedure btnScanClick(Sender: TObject);
  private
    FOrvanta: TOrvanta;  // invisible at run time
  end;

var
  ScanForm: TScanForm;

implementation

{$R *.dfm}

procedure TScanForm.FormCreate(Sender: TObject);
begin
  FOrvanta := TOrvanta.Create(Self);
  FOrvanta.Parent := Self;
end;

procedure TScanForm.FormDestroy(Sender: TObject);
begin
  FOrvanta.CloseDevice;  // also stops a running scan task
end;

procedure TScanForm.btnPrintClick(Sender: TObject);
begin
  // Results, not exceptions: False / 0 mean failure (the control shows why).
  if not FOrvanta.OpenDevice('COM1') then Exit;
  FOrvanta.SetCOMSettings('baud=9600 parity=N data=8 stop=1');
  FOrvanta.SendEscCommand('@', '');          // ESC @: reset
  FOrvanta.Writeln('Lieferschein 4711');
  FOrvanta.SendByte($0C);                    // form feed as a raw byte
  FOrvanta.CloseDevice;
end;

procedure TScanForm.btnScanClick(Sender: TObject);
begin
  if not FOrvanta.OpenDevice('COM2') then Exit;
  FOrvanta.ScannerSuffixChar := 3;           // the scanner ends codes with ETX
  FOrvanta.SetCOMSettings('baud=9600 parity=N data=8 stop=1');
  FOrvanta.withACKN := True;                 // 0x06 per code, 0x0F on "ERROR"
  FOrvanta.onlyWorkwithCurrentWindow := True;
  FOrvanta.scanWindowHandle := Integer(edCode.Handle); // codes as WM_CHAR into the edit
  FOrvanta.ActivateScanTask;                 // returns at once
end;

end.
