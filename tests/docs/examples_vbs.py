#!/usr/bin/env python3
"""Makes one VBScript of the reference's examples, for cscript against the
registered control on the cable COM5 <-> COM6 (tests/wine/user_hosts.sh).
Each example runs in a Sub of its own with `o` open on COM5 and exactly one
code waiting from the far end, in the reference's words: its ports become COM5,
its print file a real one, and a message box it shows on a failure fails the
run. Examples a script cannot run (a form's `Me`, boxes that wait for a
user, event handlers) are named as skipped. Prints "ALL OK" at the end.

usage: examples_vbs.py REFERENCE PRINT_FILE > examples.vbs"""
import re
import sys

SKIP = [(r"\bMe\.", "a form's code"), (r"AboutBox", "the About box waits for its user"),
        (r"debugModus = True", "debug boxes wait for their user"),
        (r"^\s*(Private |Public )?(Sub|Function) ", "declares a procedure"),
        (r"OpenDevice\(\"VID_", "needs the USB device it names")]


def main():
    reference, print_file = sys.argv[1], sys.argv[2]
    doc = open(reference, encoding="utf-8").read()
    out = ['Set far = CreateObject("ORVANTA.OrvantaCtrl.1")',
           'Sub Fail(text)', '    WScript.Echo "FAIL " & current & ": " & text', '    WScript.Quit 1', 'End Sub',
           "' Takes every code left in the port, so the next example finds exactly one.",
           'Sub Drain(o)',
           '    o.ScannerSuffixChar = 3 : o.OpenDevice "COM5" : o.SetCOMSettings "baud=9600 parity=N data=8 stop=1"',
           '    far.Write "END" & Chr(3)',
           '    Do While o.ScanCodeFromCOM() <> "END"',
           '    Loop',
           '    o.CloseDevice',
           'End Sub']
    calls = []
    for n, (member, body) in enumerate(re.findall(r"^### `(\w+)`\n(.*?)(?=^### |\Z)", doc, re.M | re.S)):
        for m, code in enumerate(re.findall(r"```vb\n(.*?)```", body, re.S)):
            code = "\n".join(line[2:] if line.startswith("  ") else line for line in code.splitlines())
            why = next((why for pattern, why in SKIP if re.search(pattern, code, re.M)), None)
            if why:
                calls.append(f'WScript.Echo "{member}: not run ({why})"')
                continue
            code = re.sub(r'"COM\d+"', '"COM5"', code)
            code = code.replace('"C:\\Etiketten\\label.prn"', '"%s"' % print_file)
            code = re.sub(r"\bMsgBox\b", "Fail", code)
            name = f"Example{n}_{m}"
            out += [f"Sub {name}()", '    Set o = CreateObject("ORVANTA.OrvantaCtrl.1")',
                    '    o.OpenDevice "COM5" : o.SetCOMSettings "baud=9600 parity=N data=8 stop=1"',
                    '    far.Write "4711" & Chr(3)   \' a code waiting for the examples that read one',
                    code, "    Drain o", "End Sub"]
            calls += [f'current = "{member}"', f"{name}"]
    out += ['far.OpenDevice "COM6"', 'far.SetCOMSettings "baud=9600 parity=N data=8 stop=1"']
    out += calls + ["far.CloseDevice", 'WScript.Echo "ALL OK"']
    sys.stdout.write("\r\n".join(out) + "\r\n")


if __name__ == "__main__":
    main()
