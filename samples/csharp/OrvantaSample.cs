// ORVANTA.OCX from C#: late binding with `dynamic`, no interop assembly.
//
//   csc /r:Microsoft.CSharp.dll OrvantaSample.cs   (Windows, .NET Framework)
//   mcs -r:Microsoft.CSharp.dll OrvantaSample.cs   (Mono)
//   OrvantaSample.exe [PORT] [FAR_END]
//
// Build for the control's bitness: /platform:x86 with the 32-bit OCX,
// /platform:x64 with the 64-bit one. AnyCPU runs 64-bit on 64-bit Windows,
// unless "Prefer 32-bit" is ticked (Project > Properties > Build), which
// Visual Studio does by default for .NET Framework application projects:
// then it runs 32-bit and needs the 32-bit OCX. Environment.Is64BitProcess
// says which. Both ends of the cable are set to 9600 baud, 8N1.
// COM controls need a single-threaded apartment: [STAThread] below.
//
// The aximp route (the control on a Windows Forms form, with IntelliSense):
// see AxOrvantaForm.cs. Visual Studio does the same when you add the control
// to the toolbox (Choose Items > COM Components > Orvanta Control).
using System;

static class OrvantaSample
{
    [STAThread]
    static int Main(string[] args)
    {
        string port = args.Length > 0 ? args[0] : "COM5";
        string farEnd = args.Length > 1 ? args[1] : "COM6";

        Type type = Type.GetTypeFromProgID("ORVANTA.OrvantaCtrl.1");
        if (type == null)
        {
            Console.WriteLine("FAIL ORVANTA.OCX is not registered (regsvr32 ORVANTA.OCX)");
            return 1;
        }
        dynamic ctl, far;
        try
        {
            ctl = Activator.CreateInstance(type);
            far = Activator.CreateInstance(type);       // the far end of the cable plays the printer
        }
        catch (System.Runtime.InteropServices.COMException e)
        {
            // REGDB_E_CLASSNOTREG: the ProgID is there (both builds share it),
            // the class is not registered for this process's bitness.
            Console.WriteLine("FAIL ORVANTA.OCX is not registered for {0}-bit programs ({1})",
                              Environment.Is64BitProcess ? 64 : 32, e.Message);
            return 1;
        }
        int failures = 0;
        Action<string, object, object> check = (what, got, want) =>
        {
            if (!Equals(got, want)) { Console.WriteLine("FAIL {0}: got [{1}], want [{2}]", what, got, want); failures++; }
        };

        // Results, not exceptions: OpenDevice gives false and shows a notice.
        if (!ctl.OpenDevice(port) || !far.OpenDevice(farEnd))
        {
            Console.WriteLine("FAIL cannot open {0} or {1}", port, farEnd);
            return 1;
        }
        ctl.SetCOMSettings("baud=9600 parity=N data=8 stop=1");
        far.ScannerSuffixChar = (short)10;              // Integer properties are short in C#
        far.SetCOMSettings("baud=9600 parity=N data=8 stop=1");

        check("Writeln", ctl.Writeln("Hallo aus C#"), 14);  // long -> int
        check("far end", far.ScanCodeFromCOM(), "Hallo aus C#\r");
        check("SendByte", ctl.SendByte((short)0x0C), (short)1);

        ctl.CloseDevice();
        far.CloseDevice();
        if (failures == 0) Console.WriteLine("ALL OK");
        return failures;
    }
}
