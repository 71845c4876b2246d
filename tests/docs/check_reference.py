#!/usr/bin/env python3
"""Checks docs/reference.md against the member list (control/orvanta_member_list.h):
every member of _DOrvanta and every event of _DOrvantaEvents has its own
entry with the right DISPID and an example, every property its row with the
DISPID in the table, and the reference names no member the list lacks.
Against the control's code: every quoted German text is the control's
own, byte for byte, and every message has its English; every result the
dispatch code refuses a call with is named; the About box's version text is
the resource's and the version's; every environment variable the control
reads is named in the reference and the install guide. Exit status 0 when all
hold; one line per fault otherwise.

usage: check_reference.py MEMBER_LIST REFERENCE"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "control"))
import member_list  # noqa: E402


def entries(doc_text):
    """name -> text of its ### section"""
    parts = re.split(r"^### `(\w+)`\s*$", doc_text, flags=re.M)
    return {parts[i]: parts[i + 1].split("\n## ")[0] for i in range(1, len(parts), 2)}


def c_strings(text):
    """name -> value of each `inline constexpr char kName[] = "..." "...";` (Windows-1252 decoded)"""
    found = {}
    for name, body in re.findall(r"constexpr char (k\w+)\[\] =\s*((?:\"(?:[^\"\\]|\\.)*\"\s*)+);", text):
        raw = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', body))
        value = re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]).decode("cp1252"), raw)
        found[name] = value.replace("\\r", "\r").replace("\\n", "\n")
    return found


# Texts of the control that are no message: names, codes, formats of boxes.
NOT_MESSAGES = {"kCaptionDbgMsg", "kTraceFormat", "kProtocolFileName", "kCodeEndScan", "kCodeError",
                "kLineSettingsFormat", "kFnOpenDevice", "kFnCloseDevice", "kFnSendFile", "kFnSetCOMSettings",
                "kFnSetSignalOnCOM", "kFnClearCOMError"}


def code_checks(root, doc, faults):
    read = lambda path: open(os.path.join(root, path), encoding="latin-1").read()
    texts = c_strings(read("logic/reporting/texts.h"))
    traces = set(re.findall(r'DbgMsg\("([^"]*)"', "".join(
        read(os.path.join(d, f)) for d in ("logic/device", "logic/scanner", "control")
        for f in os.listdir(os.path.join(root, d)) if f.endswith(".cpp"))))
    english = doc.split("\n## The texts in English", 1)[-1].split("\n## ", 1)[0]
    rows = dict(re.findall(r'^\| "(.+?)" \| (.+?) \|$', english, re.M))
    for german in rows:
        if german.replace("\\n", "\n") not in set(texts.values()) | traces:
            faults.append('texts in English: "%s" is not a text of the control' % german)
    for name, value in texts.items():
        if name not in NOT_MESSAGES and value.replace("\n", "\\n") not in rows:
            faults.append("texts in English: no row for %s (%r)" % (name, value))
    messages = doc.split("\n## Messages at a glance", 1)[-1].split("\n## ", 1)[0]
    for quoted in re.findall(r'"([^"|]+)"', messages):
        if not all(piece.strip() in "".join(texts.values()) for piece in quoted.split("…")):
            faults.append('messages at a glance: "%s" is not a text of the control' % quoted)
    refused = set(re.findall(r"\b(DISP_E_\w+|E_INVALIDARG|E_OUTOFMEMORY)\b",
                             read("framework/dispatch.cpp") + read("framework/control_base.cpp")))
    conventions = doc.split("\n## Conventions", 1)[-1].split("\n## ", 1)[0]
    for result in sorted(refused - set(re.findall(r"`(\w+)`", conventions))):
        faults.append("conventions: the dispatch code answers %s, which they do not name" % result)
    rc, version = read("resources/orvanta.rc"), read("resources/version.h")
    about = re.search(r'LTEXT\s+"([^"]*Version (\d+)\.(\d+))"', rc)
    numbers = [re.search(r"define ORVANTA_VERSION_%s (\d+)" % part, version).group(1) for part in ("MAJOR", "MINOR")]
    if not about or list(about.groups()[1:]) != numbers or '"%s"' % about.group(1) not in re.sub(r"\s+", " ", doc):
        faults.append("AboutBox: the reference's version text is not the About box's, or that is not the version")
    install = read("docs/install.md")
    for var in sorted(set(re.findall(r'GetEnvironmentVariable[AW]?\(L?"(\w+)"', "".join(
            read(os.path.join(d, f)) for d in ("windows", "logic/device", "logic/scanner", "logic/reporting", "control")
            for f in os.listdir(os.path.join(root, d)) if f.endswith(".cpp"))))):
        if var not in doc or var not in install:
            faults.append("the control reads the environment variable %s: the reference or docs/install.md does not say so" % var)


def main():
    listed, ref = sys.argv[1], sys.argv[2]
    entries_of_list = member_list.read(listed)
    found = {e["name"]: e["dispid"] for e in entries_of_list if e["kind"] != "event"}
    events = {e["name"]: e["dispid"] for e in entries_of_list if e["kind"] == "event"}
    kinds = {e["name"]: e["kind"] + "s" for e in entries_of_list}
    with open(ref, encoding="utf-8") as f:
        doc = f.read()
    faults = []
    sections = entries(doc)
    for name, dispid in sorted(found.items(), key=lambda kv: kv[1]) + sorted(events.items()):
        text = sections.get(name)
        if text is None:
            faults.append("%s (DISPID %d): no entry '### `%s`'" % (name, dispid, name))
            continue
        if not re.search(r"DISPID: %d\b" % dispid, text):
            faults.append("%s: entry does not give DISPID: %d" % (name, dispid))
        if "```" not in text:
            faults.append("%s: entry has no example" % name)
        if kinds[name] == "methods" and "- Result:" not in text:
            faults.append("%s: entry does not say its result" % name)
        if kinds[name] == "properties" and not re.search(r"^\| %d \| `%s` \|" % (dispid, name), doc, re.M):
            faults.append("%s: no row '| %d | `%s` |' in the property table" % (name, dispid, name))
    for name in sections:
        if name not in kinds:
            faults.append("entry '%s' names no member of the list" % name)
    code_checks(os.path.dirname(os.path.dirname(os.path.abspath(listed))), doc, faults)
    for fault in faults:
        print("reference: " + fault)
    if not faults:
        print("reference: all %d members and %d events documented" % (len(found), len(events)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
