#!/usr/bin/env python3
"""Reads every file under samples/ as its host reads it (the Wine tests also
run two of the scripts); one line per fault, exit status 0 when there is none.
usage: check_samples.py ROOT text|vb6|delphi|hta|vba|script|csharp"""
import pathlib
import re
import sys

# Window members a page's script finds before an element of the same id.
WINDOW = {"status", "name", "event", "length", "parent", "self", "top", "opener", "history", "location"}


def typelib(root):
    idl = (root / "control/orvanta.idl.in").read_text(encoding="latin-1")
    lib = re.search(r"uuid\(([0-9A-F-]+)\),\s*version\([^)]*\).*?library\s+(\w+)", idl, re.S)
    coclass = re.search(r"uuid\(([0-9A-F-]+)\)[^\]]*\]\s*coclass\s+(\w+)", idl)
    sys.path.insert(0, str(root / "control"))
    import member_list
    version = member_list.library_version(root / "control/orvanta_ids.h")
    return (lib.group(1), version, lib.group(2)) + coclass.groups()


# Which check reads a file, by its name's ending.
READERS = {".vbs": "script", ".js": "script", ".bas": "vba", ".cls": "vba", ".txt": "vba", ".vbp": "vb6",
           ".frm": "vb6", ".dpr": "delphi", ".pas": "delphi", ".dfm": "delphi", ".hta": "hta", ".cs": "csharp"}


def events(root):  # event name -> parameter count
    sys.path.insert(0, str(root / "control"))
    import member_list
    entries = member_list.read(root / "control/orvanta_member_list.h")
    return {e["name"]: len(e["params"]) for e in entries if e["kind"] == "event"}


def files(root, *suffixes):
    return [p for p in sorted((root / "samples").rglob("*")) if p.is_file() and p.suffix in suffixes]


def text(root, faults):  # CRLF everywhere; Windows-1252 where the host reads no UTF-8
    readme = (root / "samples/README.md").read_text(encoding="utf-8")
    for named in sorted(set(re.findall(r"`((?:\w+/)?\w+\.\w+)`", readme))):
        if "/" in named and not (root / "samples" / named).exists():
            faults.append(f"README.md names {named}, which is not there")
    # Every host has its event sample (JScript's host is the VBScript one's).
    for folder in sorted(p for p in (root / "samples").iterdir() if p.is_dir() and p.name != "jscript"):
        if not any(b"CodeScanned" in f.read_bytes() for f in folder.iterdir()):
            faults.append(f"{folder.name}/: no sample takes the codes as events")
    for path in sorted((root / "samples").rglob("*.*")):
        data = path.read_bytes()
        if path.name != "README.md" and path.suffix not in READERS:
            faults.append(f"{path.name}: no check reads it as its host would")
        if path.name != "README.md" and path.name not in readme:
            faults.append(f"{path.name}: README.md does not name it")
        # The default settings (7 data bits, 2 stop bits) are not what the samples' far ends use.
        if path.name != "README.md" and re.search(rb"SetCOMSettings\s*\(?\s*(\"\"|'')", data):
            faults.append(f"{path.name}: SetCOMSettings with an empty string: name the line settings both ends use")
        if path.name != "README.md" and data.count(b"\n") != data.count(b"\r\n"):
            faults.append(f"{path.name}: LF line ends, a Windows IDE wants CRLF")
        # Bytes past ASCII that all read as UTF-8 are UTF-8 (Windows-1252 text hardly ever is).
        if (path.suffix in (".bas", ".cls", ".frm", ".vbp", ".vbs") and re.search(rb"[\x80-\xff]", data)
                and data == data.decode("utf-8", "ignore").encode()):
            faults.append(f"{path.name}: UTF-8, its host reads Windows-1252")


def vb6(root, faults):  # the project's and form's object lines, the form's controls and handlers
    libid, version, libname, _, coclass = typelib(root)
    folder, want = root / "samples/vb6", "{%s}#%s#0" % (libid, version)
    in_projects = set()
    for vbp in files(root, ".vbp"):
        project = vbp.read_text(encoding="cp1252")
        if f"Object={want}; ORVANTA.OCX" not in project.splitlines():
            faults.append(f"{vbp.name}: no object line for {want}")
        forms = [f.strip() for f in re.findall(r"^Form=(.+)$", project, re.M)]
        in_projects.update(forms)
        vb6_forms(folder, want, forms, libname, coclass, faults)
    for frm in files(root, ".frm"):
        if frm.name not in in_projects:
            faults.append(f"{frm.name}: in no project, so VB6 cannot open it as shipped")


def vb6_forms(folder, want, forms, libname, coclass, faults):
    for form in forms:
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
        # Events of the imported control, wired in code: the handler is a method of the class.
        for event, handler in re.findall(r"\.On(\w+) := (\w+);", pas):
            if event in events(root) and not re.search(rf"procedure {handler}\(ASender: TObject;", cls.group(0) + pas):
                faults.append(f"{file}: On{event} is wired to {handler}, which the class does not declare")


def hta(root, faults):  # the control's class; every name the script reaches is an element
    clsid = typelib(root)[3]
    for path in files(root, ".hta"):
        page, name = path.read_text(encoding="cp1252"), path.name
        if re.findall(r'<object id="\w+" classid="clsid:([0-9A-F-]+)"', page) != [clsid]:
            faults.append(f"{name}: its object is not the control's class {clsid}")
        ids = set(re.findall(r'\bid="(\w+)"', page)) | {"document", "window"}
        script = "\n".join(a + b for a, b in re.findall(r"<script[^>]*>(.*?)</script>|\bon\w+=\"([^\"]*)\"", page, re.S))
        for used in sorted(set(re.findall(r"(?<![\w.\"])(\w+)\.\w", re.sub(r"'.*", "", script)))):
            if used in WINDOW or used not in ids:
                faults.append(f"{name}: '{used}.' in the script is not an element of the page")
        for event, args in re.findall(r'<script for="\w+" event="(\w+)\(([^)]*)\)"', page):
            sink(name, event, args, events(root), faults)


def sink(name, event, args, known, faults):  # a handler of an event the control raises, with its arguments
    count = len([a for a in args.split(",") if a.strip()])
    if known.get(event) != count:
        faults.append(f"{name}: a handler of {event} with {count} arguments, which the control does not raise")


def script(root, faults):  # a script's event subs are the control's events
    for path in files(root, ".vbs", ".js"):
        code = path.read_text(encoding="cp1252")
        for prefix in re.findall(r'ConnectObject \w+, "(\w+)"', code):
            for event, args in re.findall(rf"^Sub {prefix}(\w+)\((.*?)\)", code, re.M):
                sink(path.name, event, args, events(root), faults)


def vba(root, faults):  # what File > Import makes of a file, or what pasting it into a module compiles
    for path in files(root, ".bas", ".cls", ".txt"):
        code = path.read_text(encoding="cp1252")
        lines = code.splitlines()
        body = "\n".join(re.sub(r"'.*", "", line) for line in lines if not line.startswith("Attribute "))
        if path.suffix == ".cls" and lines[:4] != ["VERSION 1.0 CLASS", "BEGIN", "  MultiUse = -1  'True", "END"]:
            faults.append(f"{path.name}: no class header, so Import makes it a standard module")
        if path.suffix in (".bas", ".cls") and f'Attribute VB_Name = "{path.stem}"' not in lines[:5]:
            faults.append(f"{path.name}: its first lines do not name the module {path.stem}")
        if path.suffix == ".txt" and re.search(r"^(VERSION|BEGIN|Attribute) ", code, re.M):
            faults.append(f"{path.name}: text to paste holds header lines, which do not compile in a module")
        procedures = re.split(r"^End (?:Sub|Function|Property)\b", body, maxsplit=1, flags=re.M)
        if len(procedures) > 1 and re.search(r"^(?:Dim|Const|Global|Option|(?:Private|Public) (?!Sub|Function|Property))",
                                             procedures[1], re.M):
            faults.append(f"{path.name}: a declaration after a procedure, which VBA does not compile")
        if path.suffix == ".bas" and re.search(r"\bWithEvents\b|\bMe\.", body):
            faults.append(f"{path.name}: WithEvents or Me in a standard module does not compile")
        if "ORVANTALib." in body and "Tools > References" not in code:
            faults.append(f"{path.name}: names ORVANTALib but does not say to set the reference")
        if "ORVANTALib." in body and re.search(r"no reference", code, re.I):
            faults.append(f"{path.name}: says it needs no reference, but names ORVANTALib (VBA compiles the whole module)")


def csharp(root, faults):  # a program that finds the control by its ProgID tells an unregistered one
    for path in files(root, ".cs"):
        code = path.read_text(encoding="cp1252")
        if "GetTypeFromProgID" in code and not ("== null" in code and "catch (" in code and "COMException" in code):
            faults.append(f"{path.name}: does not check that the control is registered for its bitness")


def main():
    root, host, faults = pathlib.Path(sys.argv[1]), sys.argv[2], []
    globals()[host](root, faults)  # a file that is missing ends it with a traceback
    print("".join(f"samples: {f}\n" for f in faults) + f"samples ({host}): {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
