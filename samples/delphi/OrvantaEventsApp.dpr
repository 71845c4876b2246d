program OrvantaEventsApp;

{ The Delphi event sample's project: scanned codes as the imported control's
  events OnCodeScanned and OnScanEnded, no window handle, no keystrokes.
  Import the type library first (see OrvantaDemo.pas), then open this
  project (File > Open Project), build and run. }

uses
  Vcl.Forms,
  OrvantaEvents in 'OrvantaEvents.pas' {EventsForm};

{$R *.res}

begin
  Application.Initialize;
  Application.MainFormOnTaskbar := True;
  Application.CreateForm(TEventsForm, EventsForm);
  Application.Run;
end.
