' What a script host's own call costs: an empty loop, the same loop calling a
' property of a system automation object, and of the registered control.
' One line per repetition, in nanoseconds per iteration:
'   SCRIPT,rep,bare loop,dictionary,control   (control -1 when it is not registered)
' Integers only, so the locale's decimal separator does not matter.
Option Explicit
Dim n, reps, rep, i, x, t, bare, dict, ctrl, d, o
n = 200000
reps = 5
If WScript.Arguments.Count > 0 Then reps = CInt(WScript.Arguments(0))
Set d = CreateObject("Scripting.Dictionary")
d.Add "k", 1
On Error Resume Next
Set o = CreateObject("ORVANTA.OrvantaCtrl.1")
If Err.Number <> 0 Then Set o = Nothing
On Error GoTo 0

Function PerCall(seconds)
    PerCall = CLng(seconds * 1000000000 / n)
End Function

For rep = 1 To reps
    t = Timer
    For i = 1 To n : x = i : Next
    bare = PerCall(Timer - t)
    t = Timer
    For i = 1 To n : x = d.Count : Next
    dict = PerCall(Timer - t)
    ctrl = -1
    If Not o Is Nothing Then
        t = Timer
        For i = 1 To n : x = o.timeout : Next
        ctrl = PerCall(Timer - t)
    End If
    WScript.Echo "SCRIPT," & rep & "," & bare & "," & dict & "," & ctrl
Next
