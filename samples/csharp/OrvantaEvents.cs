// Scanned codes as events in C#, without aximp: the event interface is
// declared here by its IID and DISPIDs, and a handler object is connected
// through the control's connection point. Build: csc /platform:x86
// OrvantaEvents.cs for the 32-bit control (/platform:x64 for the 64-bit one;
// see OrvantaSample.cs on AnyCPU and "Prefer 32-bit"); run: OrvantaEvents COM2
// The scanner is set to 9600 baud, 8N1, codes ended by ETX (3).
//
// On a Windows Forms form with the aximp route (AxOrvantaForm.cs) the same
// events are ordinary .NET events of the imported control:
//   axOrvanta1.CodeScanned += (s, e) => listBox1.Items.Add(e.code);
//   axOrvanta1.ScanEnded += (s, e) => label1.Text = "ended: " + e.reason;
using System;
using System.Runtime.InteropServices;
using System.Runtime.InteropServices.ComTypes;
using System.Threading;

[ComImport, Guid("1C3B2483-A973-4F1E-8A7C-3A51ED70F978"), InterfaceType(ComInterfaceType.InterfaceIsIDispatch)]
public interface DOrvantaEvents
{
    [DispId(1)] void CodeScanned(string Code);
    [DispId(2)] void ScanEnded(int Reason);
}

[ComVisible(true), ClassInterface(ClassInterfaceType.None)]
public class ScanHandler : DOrvantaEvents
{
    public bool Ended;
    public void CodeScanned(string Code) { Console.WriteLine("code: " + Code); }
    public void ScanEnded(int Reason)
    {
        Console.WriteLine("scan ended, reason " + Reason);  // 0 ENDSCAN, 1 stopped, 2 closed, 3 not started
        Ended = true;
    }
}

public static class OrvantaEvents
{
    // A console program has no message loop; a form's loop does this by itself.
    [StructLayout(LayoutKind.Sequential)]
    struct Msg { public IntPtr hwnd; public uint message; public IntPtr wParam, lParam; public uint time; public int x, y; }
    [DllImport("user32.dll")] static extern bool PeekMessage(out Msg msg, IntPtr hwnd, uint min, uint max, uint remove);
    [DllImport("user32.dll")] static extern IntPtr DispatchMessage(ref Msg msg);
    static void Pump()
    {
        Msg msg;
        while (PeekMessage(out msg, IntPtr.Zero, 0, 0, 1)) DispatchMessage(ref msg);
    }

    [STAThread]  // the control raises its events on this thread, while it pumps messages
    public static int Main(string[] args)
    {
        string port = args.Length > 0 ? args[0] : "COM5";
        Type type = Type.GetTypeFromProgID("ORVANTA.OrvantaCtrl.1");
        if (type == null)
        {
            Console.WriteLine("ORVANTA.OCX is not registered (regsvr32 ORVANTA.OCX)");
            return 1;
        }
        dynamic scanner;
        try { scanner = Activator.CreateInstance(type); }
        catch (COMException e)
        {
            // The ProgID is there, the class not for this process's bitness.
            Console.WriteLine("ORVANTA.OCX is not registered for {0}-bit programs ({1})",
                              Environment.Is64BitProcess ? 64 : 32, e.Message);
            return 1;
        }
        foreach (object name in (object[])scanner.GetCOMPorts())
            Console.WriteLine("port present: " + name);

        var handler = new ScanHandler();
        var container = (IConnectionPointContainer)scanner;
        Guid events = typeof(DOrvantaEvents).GUID;
        IConnectionPoint point;
        container.FindConnectionPoint(ref events, out point);
        int cookie;
        point.Advise(handler, out cookie);

        if (!scanner.OpenDevice(port)) return 1;
        scanner.ScannerSuffixChar = (short)3;
        scanner.SetCOMSettings("baud=9600 parity=N data=8 stop=1");
        scanner.withACKN = true;
        scanner.onlyWorkwithCurrentWindow = true;
        scanner.scanWindowHandle = -1;   // events only: nothing typed, no window
        scanner.ActivateScanTask();
        for (int i = 0; i < 600 && !handler.Ended; i++)
        {
            Pump();                      // the events arrive here
            Thread.Sleep(100);
        }
        point.Unadvise(cookie);
        scanner.CloseDevice();
        return 0;
    }
}
