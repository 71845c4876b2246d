// The aximp route: the control on a Windows Forms form, with IntelliSense.
//
//   aximp ORVANTA.OCX          -> ORVANTALib.dll, AxORVANTALib.dll
//   csc /platform:x86 /r:ORVANTALib.dll /r:AxORVANTALib.dll /r:System.Windows.Forms.dll AxOrvantaForm.cs
//
// (/platform:x64 with the 64-bit OCX.) Not built here: aximp and the Windows
// Forms designer exist only on Windows.
using System;
using System.Windows.Forms;

class AxOrvantaForm : Form
{
    readonly AxORVANTALib.AxOrvanta orvanta = new AxORVANTALib.AxOrvanta();
    readonly TextBox code = new TextBox { Left = 10, Top = 10, Width = 300 };
    int task;

    AxOrvantaForm()
    {
        Text = "Orvanta (aximp)";
        ((System.ComponentModel.ISupportInitialize)orvanta).BeginInit();
        Controls.Add(orvanta);           // invisible at run time
        ((System.ComponentModel.ISupportInitialize)orvanta).EndInit();
        Controls.Add(code);
        Shown += (s, e) => StartScan();
        FormClosed += (s, e) => orvanta.CloseDevice();   // stops the scan task too
    }

    void StartScan()
    {
        if (!orvanta.OpenDevice("COM2")) return;          // the control shows why
        orvanta.ScannerSuffixChar = 3;                    // the scanner: 9600 baud, 8N1, ETX ends codes
        orvanta.SetCOMSettings("baud=9600 parity=N data=8 stop=1");
        orvanta.withACKN = true;
        orvanta.onlyWorkwithCurrentWindow = true;         // WM_CHAR to one window:
        orvanta.scanWindowHandle = code.Handle.ToInt32(); // this text box
        task = orvanta.ActivateScanTask();                // the form must keep pumping messages
    }

    [STAThread]
    static void Main() { Application.Run(new AxOrvantaForm()); }
}
