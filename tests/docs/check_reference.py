#!/usr/bin/env python3
"""Checks docs/reference.md against the automation interface in control/orvanta.idl:
every member of _DOrvanta and every event of _DOrvantaEvents has its own
entry with the right DISPID and an example, every property its row with the
DISPID in the table, and the reference names no member the interfaces lack. Exit status 0 when all hold;
one line per fault otherwise.

usage: check_reference.py IDL REFERENCE"""
import re
import sys


def members(idl_text, interface="_DOrvanta"):
    body = re.search(r"dispinterface\s+%s\s*\{(.*?)\};" % interface, idl_text, re.S)
    if not body:
        sys.exit("no dispinterface %s in the IDL" % interface)
    found = {}
    kinds = {}
    section = None
    for line in body.group(1).splitlines():
        line = line.split("//")[0].strip()
        if line in ("properties:", "methods:"):
            section = line[:-1]
            continue
        m = re.match(r"\[id\((-?\d+)\)\]\s+[\w ]+?\s\*?(\w+)\s*[(;]", line)
        if m:
            found[m.group(2)] = int(m.group(1))
            kinds[m.group(2)] = section
    return found, kinds


def entries(doc_text):
    """name -> text of its ### section"""
    parts = re.split(r"^### `(\w+)`\s*$", doc_text, flags=re.M)
    return {parts[i]: parts[i + 1].split("\n## ")[0] for i in range(1, len(parts), 2)}


def main():
    idl, ref = sys.argv[1], sys.argv[2]
    with open(idl, encoding="latin-1") as f:
        idl_text = f.read()
    found, kinds = members(idl_text)
    events, _ = members(idl_text, "_DOrvantaEvents")
    kinds.update((name, "events") for name in events)
    with open(ref, encoding="utf-8") as f:
        doc = f.read()
    faults = []
    if len(found) != 28:
        faults.append("expected 28 members (18 methods, AboutBox, 9 properties) in the IDL, found %d" % len(found))
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
            faults.append("entry '%s' names no member of _DOrvanta" % name)
    for fault in faults:
        print("reference: " + fault)
    if not faults:
        print("reference: all %d members and %d events documented" % (len(found), len(events)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
