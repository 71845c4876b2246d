#!/usr/bin/env python3
"""Reads the samples no host here can run as their hosts' loaders read them;
one line per fault, exit status 0 when there is none.
usage: check_samples.py ROOT text|vb6|delphi|hta"""
import pathlib
import re
import sys

# Window members a page's script finds before an element of the same id.
WINDOW = {"status", "name", "event", "length", "parent", "self", "top", "opener", "history", "location"}


def typelib(root):
    idl = (root / "control/orvanta.idl").read_text(encoding="latin-1")
    lib = re.search(r"uuid\(([0-9A-F-]+)\),\s*version\((\d+\.\d+)\).*?library\s+(\w+)", idl, re.S)
    coclass = re.search(r"uuid\(([0-9A-F-]+)\)[^\]]*\]\s*coclass\s+(\w+)", idl)
    return lib.groups() + coclass.groups()


def text(root, faults):  # CRLF everywhere; Windows-1252 where the host reads no UTF-8
    for path in sorted((root / "samples").rglob("*.*")):
        data = path.read_bytes()
        if path.name != "README.md" and data.count(b"\n") != data.count(b"\r\n"):
            faults.append(f"{path.name}: LF line ends, a Windows IDE wants CRLF")
        # Bytes past ASCII that all read as UTF-8 are UTF-8 (Windows-1252 text hardly ever is).
        if (path.suffix in (".bas", ".cls", ".frm", ".vbp", ".vbs") and re.search(rb"[\x80-\xff]", data)
                and data == data.decode("utf-8", "ignore").encode()):
            faults.append(f"{path.name}: UTF-8, its host reads Windows-1252")


def vb6(root, faults):  # the project's and form's object lines, the form's controls and handlers
    libid, version, libname, _, coclass = typelib(root)
    folder, want = root / "samples/vb6", "{%s}#%s#0" % (libid, version)
    project = (folder / "OrvantaSample.vbp").read_text(encoding="cp1252")
    if f"Object={want}; ORVANTA.OCX" not in project.splitlines():
        faults.append(f"OrvantaSample.vbp: no object line for {want}")
    for form in re.findall(r"^Form=(.+)$", project, re.M):
        frm = (folder / form.strip()).read_text(encoding="cp1252")
        if f'Object = "{want}"; "ORVANTA.OCX"' not in frm:
            faults.append(f"{form}: no object line for {want}")
        controls = re.findall(r"^\s*Begin (\w+)\.(\w+) (\w+)", frm, re.M)
        for lib, kind, name in controls:
            if lib != "VB" and (lib, kind) != (libname, coclass):
                faults.append(f"{form}: {name} is a {lib}.{kind}, which no loaded library has")
        for owner in re.findall(r"^(?:Private |Public )?Sub (\w+)_\w+\(", frm, re.M):
            if owner not in {c[2] for c in controls} | {"Form"}:
                faults.append(f"{form}: a handler of {owner}, which the form does not have")


def delphi(root, faults):  # project -> unit -> form file, its components and handlers
    folder = root / "samples/delphi"
    units = [u for dpr in folder.glob("*.dpr") for u in re.findall(r"in '([^']+)' \{(\w+)\}", dpr.read_text())]
    for file, form in units or [("(no project)", "")]:
        pas, dfm = folder / file, (folder / file).with_suffix(".dfm")
        if not pas.exists() or not dfm.exists() or "{$R *.dfm}" not in pas.read_text():
            faults.append(f"{file}: no unit with its form file")
            continue
        pas, dfm = pas.read_text(encoding="cp1252"), dfm.read_text(encoding="cp1252")
        top = re.match(r"object (\w+): (\w+)", dfm).groups()
        cls = re.search(rf"{top[1]} = class\(TForm\)(.*?)\n  (?:private|public|end)", pas, re.S)
        if top[0] != form or not cls or f"{form}: {top[1]};" not in pas:
            faults.append(f"{file}: the form file's {top} is not the unit's form {form}")
            continue
        fields = set(re.findall(r"^\s*(\w+: \w+);", cls.group(1), re.M))
        for odd in sorted(fields ^ set(re.findall(r"^\s+object (\w+: \w+)", dfm, re.M))):
            faults.append(f"{file}: {odd} is in only one of the unit and the form file")
        for handler in re.findall(r"^\s*On\w+ = (\w+)", dfm, re.M):
            if f"procedure {handler}(Sender: TObject);" not in cls.group(1):
                faults.append(f"{file}: the form file wires {handler}, which the class does not publish")


def hta(root, faults):  # the control's class; every name the script reaches is an element
    clsid = typelib(root)[3]
    page = (root / "samples/html/orvanta.hta").read_text(encoding="cp1252")
    if re.findall(r'<object id="\w+" classid="clsid:([0-9A-F-]+)"', page) != [clsid]:
        faults.append(f"orvanta.hta: its object is not the control's class {clsid}")
    ids = set(re.findall(r'\bid="(\w+)"', page)) | {"document", "window"}
    script = "\n".join(a + b for a, b in re.findall(r"<script[^>]*>(.*?)</script>|\bon\w+=\"([^\"]*)\"", page, re.S))
    for name in sorted(set(re.findall(r"(?<![\w.\"])(\w+)\.\w", re.sub(r"'.*", "", script)))):
        if name in WINDOW or name not in ids:
            faults.append(f"orvanta.hta: '{name}.' in the script is not an element of the page")


def main():
    root, host, faults = pathlib.Path(sys.argv[1]), sys.argv[2], []
    globals()[host](root, faults)  # a file that is missing ends it with a traceback
    print("".join(f"samples: {f}\n" for f in faults) + f"samples ({host}): {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
