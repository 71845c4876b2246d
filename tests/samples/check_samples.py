#!/usr/bin/env python3
"""Reads the samples no host here can run as their hosts' loaders read them:
line ends and encoding, the VB6 form's and project's object line against
the type library, the form's controls and handlers, the Delphi project's
unit, form file and handlers, the HTA's control and elements. One line per
fault; exit status 0 when there is none.

usage: check_samples.py ROOT text|vb6|vba|delphi|hta"""
import pathlib
import re
import sys

# Window members a page's script reaches before an element of the same id.
WINDOW_NAMES = {"status", "name", "event", "length", "parent", "self", "top", "opener", "closed",
                "history", "location", "navigator", "screen", "external", "document", "window"}
ANSI_HOSTS = (".bas", ".cls", ".frm", ".vbp", ".vbs")


def typelib(root):
    idl = (root / "control/orvanta.idl").read_text(encoding="latin-1")
    lib = re.search(r"uuid\(([0-9A-F-]+)\),\s*version\((\d+\.\d+)\).*?library\s+(\w+)", idl, re.S)
    coclass = re.search(r"uuid\(([0-9A-F-]+)\)[^\]]*\]\s*coclass\s+(\w+)", idl)
    return lib.group(1), lib.group(2), lib.group(3), coclass.group(1), coclass.group(2)


def text(root, faults):
    for path in sorted((root / "samples").rglob("*.*")):
        if path.name == "README.md":
            continue
        data = path.read_bytes()
        if data.count(b"\n") != data.count(b"\r\n"):
            faults.append(f"{path.relative_to(root)}: LF line ends, a Windows IDE wants CRLF")
        if path.suffix in ANSI_HOSTS and re.search(rb"[\x80-\xff]", data):
            try:
                data.decode("utf-8")
                faults.append(f"{path.relative_to(root)}: UTF-8, its host reads Windows-1252")
            except UnicodeDecodeError:
                pass


def vb6(root, faults):
    libid, version, libname, _, coclass = typelib(root)
    folder = root / "samples/vb6"
    want = "{%s}#%s#0" % (libid, version)
    project = (folder / "OrvantaSample.vbp").read_text(encoding="cp1252")
    if f"Object={want}; ORVANTA.OCX" not in project.splitlines():
        faults.append(f"OrvantaSample.vbp: no object line for {want}")
    forms = re.findall(r"^Form=(.+)$", project, re.M)
    startup = re.search(r'^Startup="(\w+)"', project, re.M)
    names = []
    for form in forms:
        frm = (folder / form.strip()).read_text(encoding="cp1252")
        names.append(re.search(r'^Attribute VB_Name = "(\w+)"', frm, re.M).group(1))
        if f'Object = "{want}"; "ORVANTA.OCX"' not in frm:
            faults.append(f"{form}: no object line for {want}")
        controls = re.findall(r"^\s*Begin (\w+\.\w+) (\w+)", frm, re.M)
        for kind, name in controls:
            if kind.split(".")[0] not in ("VB", libname) or (kind.startswith(libname) and kind != f"{libname}.{coclass}"):
                faults.append(f"{form}: {name} is a {kind}, which no loaded library has")
        known = {name for _, name in controls} | {"Form"}
        for owner in re.findall(r"^(?:Private |Public )?Sub (\w+)_\w+\(", frm, re.M):
            if owner not in known:
                faults.append(f"{form}: handler for {owner}, which the form does not have")
    if not startup or startup.group(1) not in names:
        faults.append("OrvantaSample.vbp: the startup form is none of its forms")


def vba(root, faults):
    _, _, libname, _, coclass = typelib(root)
    for path in sorted((root / "samples/vba").glob("*.bas")):
        code = path.read_text(encoding="cp1252")
        if not code.startswith('Attribute VB_Name = "'):
            faults.append(f"{path.name}: Import wants Attribute VB_Name on the first line")
        for name in re.findall(rf"\b{libname}\.(\w+)", code):
            if name != coclass:
                faults.append(f"{path.name}: {libname}.{name} is not in the type library")


def delphi(root, faults):
    folder = root / "samples/delphi"
    if not list(folder.glob("*.dpr")):
        faults.append("delphi: no project (.dpr)")
    for dpr in sorted(folder.glob("*.dpr")):
        for unit, file, form in re.findall(r"(\w+) in '([^']+)' \{(\w+)\}", dpr.read_text(encoding="cp1252")):
            pas = (folder / file).read_text(encoding="cp1252")
            if "{$R *.dfm}" not in pas or not (folder / file).with_suffix(".dfm").exists():
                faults.append(f"{file}: no form file beside it")
                continue
            dfm = (folder / file).with_suffix(".dfm").read_text(encoding="cp1252")
            top = re.match(r"object (\w+): (\w+)", dfm)
            cls = re.search(rf"{top.group(2)} = class\(TForm\)(.*?)\n  (?:private|public|end)", pas, re.S)
            if top.group(1) != form or not cls or f"{form}: {top.group(2)};" not in pas:
                faults.append(f"{file}: the form file's {top.group(0)} is not the unit's form {form}")
                continue
            fields = set(re.findall(r"^\s*(\w+: \w+);", cls.group(1), re.M))
            objects = {" ".join(o.split()) for o in re.findall(r"^\s+object (\w+: \w+)", dfm, re.M)}
            for missing in sorted(fields ^ objects):
                faults.append(f"{file}: {missing} is only in {'the unit' if missing in fields else 'the form file'}")
            for handler in re.findall(r"^\s*On\w+ = (\w+)", dfm, re.M):
                if not re.search(rf"procedure {handler}\(Sender: TObject\);", cls.group(1)):
                    faults.append(f"{file}: the form file wires {handler}, which the class does not publish")


def hta(root, faults):
    _, _, _, clsid, _ = typelib(root)
    page = (root / "samples/html/orvanta.hta").read_text(encoding="cp1252")
    objects = re.findall(r'<object id="(\w+)" classid="clsid:([0-9A-F-]+)"', page)
    if [o[1] for o in objects] != [clsid]:
        faults.append(f"orvanta.hta: its object is not the control's class {clsid}")
    ids = set(re.findall(r'\bid="(\w+)"', page))
    for wanted in re.findall(r'getElementById\("(\w+)"\)', page):
        if wanted not in ids:
            faults.append(f"orvanta.hta: no element {wanted}")
    script = "\n".join(re.findall(r"<script[^>]*>(.*?)</script>", page, re.S))
    script += "\n".join(re.findall(r'\bon\w+="([^"]*)"', page))
    for name in sorted(set(re.findall(r"(?<![\w.\"])(\w+)\.\w+", re.sub(r"'.*", "", script)))):
        if name in WINDOW_NAMES - {"document", "window"} or (name not in ids and name not in WINDOW_NAMES):
            faults.append(f"orvanta.hta: '{name}.' in the script is no element of the page (or is the window's)")


def main():
    root, host = pathlib.Path(sys.argv[1]), sys.argv[2]
    faults = []
    try:
        globals()[host](root, faults)
    except OSError as e:
        faults.append(f"{host}: {e}")
    for fault in faults:
        print("samples: " + fault)
    print(f"samples ({host}): {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
