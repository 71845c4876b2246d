#!/usr/bin/env python3
"""Includes point one way, the framework names nothing of the control, and no
product file grows past its limit.

    control/            the control's COM face: may use everything below
      windows/          the interfaces on Windows
      logic/scanner/    the control's logic, portable:
      logic/device/       each may use the ones under it
      logic/reporting/
      logic/settings/
      logic/network/      (the network ports' codec, beside settings)
        interfaces/     what the logic is written against
          framework/    the generic COM/ActiveX framework: uses nothing of ours

Product code never reaches the tests or their kit; the demo and the bench
may use the kit, never the tests themselves. interfaces/ and logic/ are
portable: their code names no Win32 type, constant or call, and nothing in
them (comments too) speaks of overlapped I/O or the DCB; the texts the user sees are
left out, as they are the system's own words.
"""
import pathlib
import re
import sys

BELOW = {
    "framework": set(),
    "interfaces": {"framework"},
    "logic/settings": {"interfaces", "framework"},
    "logic/network": {"interfaces", "framework"},
    "logic/reporting": {"logic/settings", "interfaces", "framework"},
    "logic/device": {"logic/network", "logic/reporting", "logic/settings", "interfaces", "framework"},
    "logic/scanner": {"logic/device", "logic/network", "logic/reporting", "logic/settings", "interfaces", "framework"},
    "windows": {"interfaces", "framework"},
    "control": {"windows", "logic/scanner", "logic/device", "logic/network", "logic/reporting", "logic/settings", "interfaces",
                "framework", "resources"},
    "resources": set(),
}
# Headers generated from control/ and resources/ are included by bare name.
BARE = {"orvanta.h": "control", "resource.h": "resources", "version.h": "resources"}
MAX_LINES = 400  # not counting blank lines
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = (".h", ".cpp", ".rc", ".c")
PORTABLE = ("interfaces", "logic/settings", "logic/device", "logic/scanner")
WIN32_NAMES = re.compile(
    r"\b(?:HANDLE|HWND|HINSTANCE|HKEY|DWORD|BOOL|WORD|UINT|LPARAM|WPARAM|LRESULT|HRESULT|OVERLAPPED"
    r"|DCB|COMSTAT|COMMTIMEOUTS|INFINITE|MAXDWORD|(?:ERROR|WAIT|CE|MB|WM|VK)_[A-Z0-9_]+"
    r"|WaitFor(?:Single|Multiple)Objects?|(?:Create|Set|Reset)Event[AW]?|GetOverlappedResult"
    r"|HasOverlappedIoCompleted|CancelIo(?:Ex)?|(?:Read|Write)File|CreateFile[AW]?|CloseHandle"
    r"|[GS]etLastError|EscapeCommFunction|ClearCommError|[GS]etCommState|BuildCommDCB[AW]?"
    r"|[GS]etCommTimeouts|997)\b")
OVERLAPPED = re.compile(r"overlapped|io[ _]?pending|dcb", re.I)
STRINGS = re.compile(r'"(?:\\.|[^"\\\n])*"' + r"|'(?:\\.|[^'\\\n])'")
COMMENTS = re.compile(r"//[^\n]*|/\*.*?\*/", re.S)


def folder_of(name):
    for folder in sorted(BELOW, key=len, reverse=True):
        if name.startswith(folder + "/"):
            return folder
    return None


def main(root):
    root = pathlib.Path(root)
    faults = []
    for folder, below in BELOW.items():
        for path in sorted((root / folder).glob("*")):
            if path.suffix not in SOURCES:
                continue
            text = path.read_text(encoding="latin-1")
            rel = path.relative_to(root)
            for name in INCLUDE.findall(text):
                to = BARE.get(name, folder) if "/" not in name else folder_of(name)
                if to is None:
                    faults.append(f"{rel}: includes {name} from outside the product")
                elif to != folder and to not in below:
                    faults.append(f"{rel}: includes {name}, which {folder}/ may not use")
            if folder in PORTABLE:
                words = STRINGS.sub('""', text)
                for name in sorted(set(WIN32_NAMES.findall(COMMENTS.sub(" ", words)))):
                    faults.append(f"{rel}: names {name}, a Win32 name, in portable code")
                if OVERLAPPED.search(words):
                    faults.append(f"{rel}: speaks of overlapped I/O or the DCB in portable code")
            if folder == "framework" and re.search("orvanta", text, re.I):
                faults.append(f"{rel}: the framework names the control")
            lines = sum(1 for line in text.splitlines() if line.strip())
            if lines > MAX_LINES:
                faults.append(f"{rel}: {lines} lines (limit {MAX_LINES})")
    for folder in ("demo", "bench", "testkit"):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in SOURCES:
                for name in INCLUDE.findall(path.read_text(encoding="latin-1")):
                    if name.startswith("tests/"):
                        faults.append(f"{path.relative_to(root)}: includes {name}")
    for fault in faults:
        print(fault)
    print(f"layers: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
