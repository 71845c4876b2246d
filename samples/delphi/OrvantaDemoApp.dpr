program OrvantaDemoApp;

{ The Delphi sample's project: open it in the IDE (File > Open Project),
  import the type library once (see OrvantaDemo.pas), then build and run.
  The IDE writes OrvantaDemoApp.res (icon, version) when it opens the project. }

uses
  Vcl.Forms,
  OrvantaDemo in 'OrvantaDemo.pas' {ScanForm};

{$R *.res}

begin
  Application.Initialize;
  Application.MainFormOnTaskbar := True;
  Application.CreateForm(TScanForm, ScanForm);
  Application.Run;
end.
